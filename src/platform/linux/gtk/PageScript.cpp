#include "platform/linux/gtk/PageScript.h"

#include "platform/BrowserView.h"

namespace ko {
namespace PageScript {
namespace {

// Finds elements as the document's `all` collection does: by id or by name, several matches
// being ambiguous. find() gives {state: 0 missing, 1 present, 2 ambiguous, element}.
constexpr const char* kLookup = R"JS(
function koIsFormElement(el) {
  var tag = (el.tagName || '').toLowerCase();
  return tag === 'input' || tag === 'select' || tag === 'textarea' || tag === 'button';
}
function koValueOf(el) {
  if (koIsFormElement(el) && typeof el.value === 'string') return el.value;
  return el.getAttribute('value');
}
function koFind(idOrName) {
  if (!idOrName) return {state: 0};
  var found = null;
  var all = document.getElementsByTagName('*');
  for (var i = 0; i < all.length; ++i) {
    var el = all[i];
    if (el.getAttribute('id') === idOrName || el.getAttribute('name') === idOrName) {
      if (found) return {state: 2};
      found = el;
    }
  }
  return found ? {state: 1, element: found} : {state: 0};
}
function koRead(idOrName) {
  var found = koFind(idOrName);
  if (found.state !== 1) return {id: idOrName, state: found.state};
  var value = koValueOf(found.element);
  return value === null ? {id: idOrName, state: 0} : {id: idOrName, state: 1, value: value};
}
)JS";

std::string JsStringArray(const char* const* items, std::size_t count) {
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        out += (i == 0 ? "'" : ", '") + std::string(items[i]) + "'";
    }
    return out + "]";
}

}  // namespace

std::string ClickScript(bool cancelClickDefault) {
    std::string script = "(function () {\n'use strict';\n";
    script += kLookup;
    script += "var cancelClickDefault = " + std::string(cancelClickDefault ? "true" : "false") +
              ";\nvar fieldIds = " + JsStringArray(kClickFieldIds.data(), kClickFieldIds.size()) +
              ";\nvar chooserId = '" + kServiceChooserId + "';\nvar suffixes = " +
              JsStringArray(kServiceFieldSuffixes.data(), kServiceFieldSuffixes.size()) +
              ";\nvar maxChain = " + std::to_string(kMaxClickChain) + ";\n";
    script += R"JS(
function attribute(el, name) {
  var value = el.getAttribute(name);
  return value === null ? undefined : value;
}
document.addEventListener('click', function (event) {
  var chain = [];
  for (var el = event.target; el && el.nodeType === 1 && chain.length < maxChain;
       el = el.parentElement) {
    chain.push({id: el.getAttribute('id') || '', koCustomer: attribute(el, 'KoCustomer'),
                fileName: attribute(el, 'fileName')});
  }
  var fields = [];
  for (var i = 0; i < fieldIds.length; ++i) fields.push(koRead(fieldIds[i]));
  var chooser = koRead(chooserId);
  if (chooser.state === 1) {
    for (var k = 0; k < suffixes.length; ++k) fields.push(koRead(chooser.value + suffixes[k]));
  }
  try {
    window.webkit.messageHandlers.)JS";
    script += kClickChannel;
    script += R"JS(.postMessage({chain: chain, fields: fields});
  } catch (e) {
  }
  if (cancelClickDefault) event.preventDefault();
}, false);
})();
)JS";
    return script;
}

std::string ReadLayoutBody() {
    return std::string(kLookup) + R"JS(
function first(tag) {
  var list = document.getElementsByTagName(tag);
  return list.length ? koValueOf(list[0]) : null;
}
return [first('KoWidth'), first('KoHeight'), first('koVerticalPosition'),
        first('koHorizontalPosition')];
)JS";
}

std::string SetBodyHtmlBody() {
    return "if (document.body) document.body.innerHTML = html;\nreturn true;\n";
}

std::string SetInnerTextsBody() {
    return std::string(kLookup) + R"JS(
var list = JSON.parse(pairs);
for (var i = 0; i < list.length; ++i) {
  var found = koFind(list[i][0]);
  if (found.state === 1) found.element.innerText = list[i][1];
}
return true;
)JS";
}

}  // namespace PageScript
}  // namespace ko
