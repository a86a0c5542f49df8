#include "platform/win32/DocumentEventHandler.h"

#include "shared/Guard.h"

namespace ko {

ComPtr<DocumentEventHandler> DocumentEventHandler::Create(std::function<bool()> onEvent) {
    ComPtr<DocumentEventHandler> handler;
    handler.Attach(new DocumentEventHandler(std::move(onEvent)));
    return handler;
}

HRESULT DocumentEventHandler::QueryInterface(REFIID iid, void** out) {
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

ULONG DocumentEventHandler::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

ULONG DocumentEventHandler::Release() {
    LONG left = InterlockedDecrement(&m_references);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT DocumentEventHandler::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT DocumentEventHandler::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT DocumentEventHandler::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT DocumentEventHandler::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) {
    if (id != DISPID_VALUE) {
        return DISP_E_MEMBERNOTFOUND;
    }
    bool proceed = true;
    // A copy: the handler may detach itself (the page navigates away) while it runs.
    std::function<bool()> onEvent = m_onEvent;
    if (onEvent) {
        Guarded("document event", [&] { proceed = onEvent(); });
    }
    if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = proceed ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

}  // namespace ko
