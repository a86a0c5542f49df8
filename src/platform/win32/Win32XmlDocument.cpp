#include "platform/win32/Win32XmlDocument.h"

#include <oleauto.h>

#include <algorithm>
#include <utility>

#include "platform/win32/AnsiText.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// IXMLDOMDocument2 (for setProperty); mingw's uuid library does not carry it.
const IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

constexpr long kReadyStateComplete = 4;

std::string Ansi(BSTR text) {
    return WideToAnsi(text, SysStringLen(text));
}

bool OnlyBlanks(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Copies the component's tree into plain data. Counts the characters copied, so a document
// larger than the limit is refused like one whose download ran past it.
class TreeCopy {
  public:
    explicit TreeCopy(std::size_t maxChars) : m_budget(maxChars) {}

    bool Element(IXMLDOMNode* element, XmlNode& out, std::size_t depth) {
        if (depth > XmlNode::kMaxDepth) {
            return false;
        }
        out.kind = XmlNode::Kind::Element;
        if (!Name(element, out.name) || !Attributes(element, out)) {
            return false;
        }
        return Children(element, out, depth);
    }

  private:
    // Copies the child nodes of parent into out. An entity reference stands for its expansion,
    // which is copied in its place, as the other platform's parser substitutes it.
    bool Children(IXMLDOMNode* parent, XmlNode& out, std::size_t depth) {
        if (depth > XmlNode::kMaxDepth) {
            return false;
        }
        ComPtr<IXMLDOMNode> child;
        parent->get_firstChild(child.Put());
        while (child) {
            DOMNodeType type = NODE_INVALID;
            child->get_nodeType(&type);
            XmlNode node;
            bool keep = true;
            switch (type) {
                case NODE_ELEMENT:
                    if (!Element(child.Get(), node, depth + 1)) {
                        return false;
                    }
                    break;
                case NODE_TEXT:
                    node.kind = XmlNode::Kind::Text;
                    keep = Value(child.Get(), node.value) && !OnlyBlanks(node.value);
                    break;
                case NODE_CDATA_SECTION:
                    node.kind = XmlNode::Kind::CData;
                    keep = Value(child.Get(), node.value);
                    break;
                case NODE_COMMENT:
                    node.kind = XmlNode::Kind::Comment;
                    keep = Value(child.Get(), node.value);
                    break;
                case NODE_PROCESSING_INSTRUCTION:
                    node.kind = XmlNode::Kind::Instruction;
                    keep = Name(child.Get(), node.name) && Value(child.Get(), node.value);
                    break;
                case NODE_ENTITY_REFERENCE:
                    keep = false;
                    if (!Children(child.Get(), out, depth + 1)) {
                        return false;
                    }
                    break;
                default:
                    keep = false;
                    break;
            }
            if (m_exhausted) {
                return false;
            }
            if (keep && node.kind == XmlNode::Kind::Text && !out.children.empty() &&
                out.children.back().kind == XmlNode::Kind::Text) {
                // Text on both sides of an expanded entity is one text, as on the other platform.
                out.children.back().value += node.value;
            } else if (keep) {
                out.children.push_back(std::move(node));
            }
            ComPtr<IXMLDOMNode> next;
            child->get_nextSibling(next.Put());
            child = std::move(next);
        }
        return true;
    }

    bool Take(const std::string& text) {
        if (text.size() > m_budget) {
            m_exhausted = true;
            return false;
        }
        m_budget -= text.size();
        return true;
    }

    bool Name(IXMLDOMNode* node, std::string& out) {
        UniqueBstr name;
        if (FAILED(node->get_nodeName(name.Put()))) {
            return false;
        }
        out = Ansi(name.Get());
        return Take(out);
    }

    bool Value(IXMLDOMNode* node, std::string& out) {
        UniqueVariant value;
        if (FAILED(node->get_nodeValue(value.Put())) || value.Value().vt != VT_BSTR) {
            return false;
        }
        out = Ansi(value.Value().bstrVal);
        return Take(out);
    }

    bool Attributes(IXMLDOMNode* element, XmlNode& out) {
        ComPtr<IXMLDOMNamedNodeMap> map;
        if (FAILED(element->get_attributes(map.Put())) || !map) {
            return true;
        }
        long count = 0;
        map->get_length(&count);
        for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> attribute;
            if (FAILED(map->get_item(i, attribute.Put())) || !attribute) {
                continue;
            }
            XmlAttribute entry;
            UniqueBstr text;
            if (!Name(attribute.Get(), entry.name) || FAILED(attribute->get_text(text.Put()))) {
                return !m_exhausted;
            }
            entry.value = Ansi(text.Get());
            if (!Take(entry.value)) {
                return false;
            }
            out.attributes.push_back(std::move(entry));
        }
        return true;
    }

    std::size_t m_budget;
    bool m_exhausted = false;
};

}  // namespace

// The document's onreadystatechange handler: the component calls the default method of the
// object it was given. It only tells the adapter which load it belongs to.
class ReadyStateSink : public IDispatch {
  public:
    ReadyStateSink(Win32XmlDocument* owner, std::uint64_t generation)
        : m_owner(owner), m_generation(generation) {}

    // The owner lets go of the load; a late event then does nothing.
    void Detach() { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        // No exception may cross back into the component.
        Guarded("Win32XmlDocument ready state", [this] {
            if (m_owner != nullptr) {
                m_owner->OnReadyStateChange(m_generation);
            }
        });
        return S_OK;
    }

  private:
    virtual ~ReadyStateSink() = default;

    ULONG m_references = 1;
    Win32XmlDocument* m_owner;
    std::uint64_t m_generation;
};

Win32XmlDocument::Win32XmlDocument(Win32EventLoop& loop, std::uint32_t timeoutMs,
                                   std::size_t maxBytes)
    : m_loop(loop),
      m_timeoutMs(std::min<std::uint32_t>(timeoutMs, EventLoop::kMaxTimerInterval)),
      m_maxBytes(maxBytes) {
    m_timer = m_loop.AddTimer([this] {
        m_loop.SetTimerInterval(m_timer, 0);
        if (m_loading && !m_completionQueued) {
            Logger::Debug("Win32XmlDocument: load timed out");
            ReleaseDocument();
            Complete(true);
        }
    });
}

Win32XmlDocument::~Win32XmlDocument() {
    ReleaseDocument();
    m_loop.RemoveTimer(m_timer);
}

void Win32XmlDocument::Load(const std::string& url, Completion onComplete) {
    Cancel();
    m_onComplete = std::move(onComplete);
    m_loading = true;
    m_completionQueued = false;
    m_failed = false;
    if (!IsHttpAddress(url) || !StartLoad(url)) {
        ReleaseDocument();
        Complete(true);
        return;
    }
    long state = 0;
    if (m_document && SUCCEEDED(m_document->get_readyState(&state)) &&
        state == kReadyStateComplete) {
        // HACK: Wine's component loads inside load() and never raises the ready-state event;
        // the completion is queued here instead (once: a real event would find it queued).
        Complete(false);
        return;
    }
    m_loop.SetTimerInterval(m_timer, m_timeoutMs);
}

void Win32XmlDocument::Cancel() {
    ++m_generation;
    m_loop.SetTimerInterval(m_timer, 0);
    ReleaseDocument();
    m_loading = false;
    m_onComplete = nullptr;
}

bool Win32XmlDocument::StartLoad(const std::string& url) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"MSXML2.DOMDocument", &clsid))) {
        Logger::Error("Win32XmlDocument: MSXML2.DOMDocument is not registered");
        return false;
    }
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                  m_document.PutVoid());
    if (FAILED(hr) || !m_document) {
        Logger::Error("Win32XmlDocument: cannot create the document (is COM entered?)");
        return false;
    }
    m_document->put_async(VARIANT_TRUE);
    m_document->put_validateOnParse(VARIANT_FALSE);
    m_document->put_resolveExternals(VARIANT_FALSE);
    m_document->put_preserveWhiteSpace(VARIANT_FALSE);
    ComPtr<IXMLDOMDocument2> document2;
    if (SUCCEEDED(m_document.QueryInterface(kIidXmlDomDocument2, document2))) {
        // Internal entities are expanded as the component does by default; nothing external is
        // resolved (above). The size and depth limits keep an expanding entity from eating the
        // memory; older components that do not know them still have the copy's own limits.
        auto set = [&](const char* property, VARIANT value) {
            UniqueBstr name(property);
            document2->setProperty(name.Get(), value);
        };
        VARIANT allowDtd;
        VariantInit(&allowDtd);
        allowDtd.vt = VT_BOOL;
        allowDtd.boolVal = VARIANT_FALSE;
        set("ProhibitDTD", allowDtd);
        VARIANT maxSize;
        VariantInit(&maxSize);
        maxSize.vt = VT_I4;
        maxSize.lVal = static_cast<LONG>(std::max<std::size_t>(1, m_maxBytes / 1024));
        set("MaxXMLSize", maxSize);
        VARIANT maxDepth;
        VariantInit(&maxDepth);
        maxDepth.vt = VT_I4;
        maxDepth.lVal = static_cast<LONG>(XmlNode::kMaxDepth);
        set("MaxElementDepth", maxDepth);
    }

    m_sink.Attach(new ReadyStateSink(this, m_generation));
    VARIANT handler;
    VariantInit(&handler);
    handler.vt = VT_DISPATCH;
    handler.pdispVal = m_sink.Get();
    if (FAILED(m_document->put_onreadystatechange(handler))) {
        return false;
    }

    const std::wstring wideUrl = AnsiToWide(url);
    UniqueVariant source;
    source.Get()->vt = VT_BSTR;
    source.Get()->bstrVal = SysAllocString(wideUrl.c_str());
    VARIANT_BOOL started = VARIANT_FALSE;
    hr = m_document->load(*source.Get(), &started);
    // An asynchronous load reports false until it is done; only a failed call is final.
    return SUCCEEDED(hr);
}

void Win32XmlDocument::ReleaseDocument() {
    if (m_sink) {
        m_sink->Detach();
    }
    if (m_document) {
        long state = 0;
        if (SUCCEEDED(m_document->get_readyState(&state)) && state != kReadyStateComplete) {
            m_document->abort();
        }
        VARIANT none;
        VariantInit(&none);
        none.vt = VT_NULL;
        m_document->put_onreadystatechange(none);
    }
    m_document.Reset();
    m_sink.Reset();
}

void Win32XmlDocument::OnReadyStateChange(std::uint64_t generation) {
    if (generation != m_generation || !m_loading || !m_document) {
        return;
    }
    long state = 0;
    if (SUCCEEDED(m_document->get_readyState(&state)) && state == kReadyStateComplete) {
        // The event may come from inside load() (an address that fails at once): the handler
        // always runs later, from the loop.
        Complete(false);
    }
}

void Win32XmlDocument::Complete(bool failed) {
    if (m_completionQueued) {
        return;
    }
    m_completionQueued = true;
    m_failed = failed;
    m_loop.SetTimerInterval(m_timer, 0);
    std::weak_ptr<int> life = m_life;
    const std::uint64_t generation = m_generation;
    m_loop.Post([this, life, generation] {
        if (!life.expired()) {
            Deliver(generation);
        }
    });
}

void Win32XmlDocument::Deliver(std::uint64_t generation) {
    if (generation != m_generation || !m_loading) {
        return;
    }
    XmlNode document = m_failed ? XmlNode() : ReadDocument();
    ReleaseDocument();
    m_loading = false;
    Completion onComplete = std::move(m_onComplete);
    m_onComplete = nullptr;
    if (onComplete) {
        // The owner may load anew or destroy this object from inside.
        onComplete(std::move(document));
    }
}

XmlNode Win32XmlDocument::ReadDocument() {
    if (!m_document) {
        return {};
    }
    ComPtr<IXMLDOMParseError> error;
    long code = 0;
    if (FAILED(m_document->get_parseError(error.Put())) || !error ||
        FAILED(error->get_errorCode(&code)) || code != 0) {
        Logger::Debug("Win32XmlDocument: the document did not load or parse");
        return {};
    }
    ComPtr<IXMLDOMElement> root;
    if (FAILED(m_document->get_documentElement(root.Put())) || !root) {
        return {};
    }
    ComPtr<IXMLDOMNode> rootNode;
    if (FAILED(root.QueryInterface(IID_IXMLDOMNode, rootNode))) {
        return {};
    }
    XmlNode element;
    TreeCopy copy(m_maxBytes);
    if (!copy.Element(rootNode.Get(), element, 1)) {
        Logger::Debug("Win32XmlDocument: the document is too large or too deep");
        return {};
    }
    return XmlNode::MakeDocument(std::move(element));
}

}  // namespace ko
