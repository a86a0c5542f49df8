#include "platform/win32/HtmlDocumentAccess.h"

#include "platform/win32/AnsiText.h"

namespace ko {

namespace {

// A property read through the element's own dispatch interface, as script reads it: this works
// for every element that has the property (input, select, textarea) and for attributes that the
// document exposes as properties.
bool ReadProperty(IDispatch* object, const wchar_t* name, std::string& out) {
    if (object == nullptr) {
        return false;
    }
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        return false;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    UniqueVariant value;
    if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              value.Get(), nullptr, nullptr))) {
        return false;
    }
    return value.ToAnsi(out);
}

std::optional<std::string> ReadAttribute(IHTMLElement* element, const char* name) {
    UniqueBstr attribute(name);
    UniqueVariant value;
    // Flag 0: the name matches without regard to case.
    if (FAILED(element->getAttribute(attribute.Get(), 0, value.Get()))) {
        return std::nullopt;
    }
    std::string text;
    if (!value.ToAnsi(text)) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> ValueOf(IDispatch* element) {
    std::string text;
    if (ReadProperty(element, L"value", text)) {
        return text;
    }
    // An element the engine does not know (a layout value's own tag) keeps value as an attribute.
    ComPtr<IHTMLElement> html;
    if (element != nullptr &&
        SUCCEEDED(element->QueryInterface(IID_IHTMLElement, html.PutVoid()))) {
        return ReadAttribute(html.Get(), "value");
    }
    return std::nullopt;
}

}  // namespace

ComPtr<IHTMLDocument2> HtmlDocumentAccess::DocumentOf(IWebBrowser2* browser) {
    ComPtr<IHTMLDocument2> document;
    if (browser == nullptr) {
        return document;
    }
    ComPtr<IDispatch> dispatch;
    if (FAILED(browser->get_Document(dispatch.Put())) || !dispatch) {
        return document;
    }
    dispatch.QueryInterface(IID_IHTMLDocument2, document);
    return document;
}

bool HtmlDocumentAccess::SetBodyHtml(IHTMLDocument2* document, const std::string& html) {
    ComPtr<IHTMLElement> body;
    if (document == nullptr || FAILED(document->get_body(body.Put())) || !body) {
        return false;
    }
    UniqueBstr text(html);
    return text.Allocated() && SUCCEEDED(body->put_innerHTML(text.Get()));
}

FieldValue::State HtmlDocumentAccess::Find(IHTMLDocument2* document, const std::string& name,
                                           ComPtr<IHTMLElement>& element) {
    element.Reset();
    ComPtr<IHTMLElementCollection> all;
    if (document == nullptr || FAILED(document->get_all(all.Put())) || !all) {
        return FieldValue::State::Missing;
    }
    // The key is borrowed from keyText, which outlives the call.
    UniqueBstr keyText(name);
    VARIANT key;
    VariantInit(&key);
    key.vt = VT_BSTR;
    key.bstrVal = keyText.Get();
    // No index: several elements under the name come back as a collection of them.
    VARIANT noIndex;
    VariantInit(&noIndex);
    ComPtr<IDispatch> found;
    if (FAILED(all->item(key, noIndex, found.Put())) || !found) {
        return FieldValue::State::Missing;
    }
    ComPtr<IHTMLElementCollection> several;
    if (SUCCEEDED(found.QueryInterface(IID_IHTMLElementCollection, several))) {
        long count = 0;
        several->get_length(&count);
        if (count != 1) {
            return count == 0 ? FieldValue::State::Missing : FieldValue::State::Ambiguous;
        }
        UniqueVariant first;
        first.Get()->vt = VT_I4;
        first.Get()->lVal = 0;
        ComPtr<IDispatch> only;
        if (FAILED(several->item(*first.Get(), *first.Get(), only.Put())) || !only) {
            return FieldValue::State::Missing;
        }
        found = only;
    }
    return SUCCEEDED(found.QueryInterface(IID_IHTMLElement, element)) ? FieldValue::State::Present
                                                                      : FieldValue::State::Missing;
}

FieldValue HtmlDocumentAccess::ReadValue(IHTMLDocument2* document, const std::string& name) {
    FieldValue field;
    ComPtr<IHTMLElement> element;
    field.state = Find(document, name, element);
    if (field.state != FieldValue::State::Present) {
        return field;
    }
    std::optional<std::string> value = ValueOf(element.Get());
    if (!value) {
        field.state = FieldValue::State::Missing;
        return field;
    }
    field.value = std::move(*value);
    return field;
}

bool HtmlDocumentAccess::SetInnerText(IHTMLDocument2* document, const std::string& name,
                                      const std::string& text) {
    ComPtr<IHTMLElement> element;
    if (Find(document, name, element) != FieldValue::State::Present) {
        return false;
    }
    UniqueBstr value(text);
    return value.Allocated() && SUCCEEDED(element->put_innerText(value.Get()));
}

std::optional<std::string> HtmlDocumentAccess::InnerText(IHTMLDocument2* document,
                                                         const std::string& name) {
    ComPtr<IHTMLElement> element;
    if (Find(document, name, element) != FieldValue::State::Present) {
        return std::nullopt;
    }
    UniqueBstr text;
    if (FAILED(element->get_innerText(text.Put()))) {
        return std::nullopt;
    }
    return text.Ansi();
}

std::optional<std::string> HtmlDocumentAccess::FirstTagValue(IHTMLDocument2* document,
                                                             const std::string& tag) {
    ComPtr<IHTMLDocument3> document3;
    if (document == nullptr ||
        FAILED(document->QueryInterface(IID_IHTMLDocument3, document3.PutVoid()))) {
        return std::nullopt;
    }
    UniqueBstr tagName(tag);
    ComPtr<IHTMLElementCollection> elements;
    if (FAILED(document3->getElementsByTagName(tagName.Get(), elements.Put())) || !elements) {
        return std::nullopt;
    }
    UniqueVariant first;
    first.Get()->vt = VT_I4;
    first.Get()->lVal = 0;
    ComPtr<IDispatch> element;
    if (FAILED(elements->item(*first.Get(), *first.Get(), element.Put())) || !element) {
        return std::nullopt;
    }
    return ValueOf(element.Get());
}

std::vector<ClickedElement> HtmlDocumentAccess::EventChain(IHTMLDocument2* document,
                                                           std::size_t limit) {
    std::vector<ClickedElement> chain;
    ComPtr<IHTMLWindow2> window;
    ComPtr<IHTMLEventObj> event;
    ComPtr<IHTMLElement> element;
    if (document == nullptr || FAILED(document->get_parentWindow(window.Put())) || !window ||
        FAILED(window->get_event(event.Put())) || !event ||
        FAILED(event->get_srcElement(element.Put()))) {
        return chain;
    }
    while (element && chain.size() < limit) {
        ClickedElement entry;
        UniqueBstr id;
        if (SUCCEEDED(element->get_id(id.Put()))) {
            entry.id = id.Ansi();
        }
        entry.koCustomer = ReadAttribute(element.Get(), "KoCustomer");
        entry.fileName = ReadAttribute(element.Get(), "fileName");
        chain.push_back(std::move(entry));
        ComPtr<IHTMLElement> parent;
        if (FAILED(element->get_parentElement(parent.Put()))) {
            break;
        }
        element = std::move(parent);
    }
    return chain;
}

void HtmlDocumentAccess::CancelEventDefault(IHTMLDocument2* document) {
    ComPtr<IHTMLWindow2> window;
    ComPtr<IHTMLEventObj> event;
    if (document == nullptr || FAILED(document->get_parentWindow(window.Put())) || !window ||
        FAILED(window->get_event(event.Put())) || !event) {
        return;
    }
    VARIANT no;
    VariantInit(&no);
    no.vt = VT_BOOL;
    no.boolVal = VARIANT_FALSE;
    event->put_returnValue(no);
}

}  // namespace ko
