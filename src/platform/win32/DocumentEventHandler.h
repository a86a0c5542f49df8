#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>

#include "platform/win32/ComPtr.h"

namespace ko {

// A script-style event handler for a document property such as onclick: the document calls
// Invoke with DISPID_VALUE and takes the result as the handler's return value (false cancels
// the browser's own handling). Detach() cuts it from its owner, so a document that outlives the
// binding calls nothing.
class DocumentEventHandler final : public IDispatch {
  public:
    // onEvent returns the handler's result.
    static ComPtr<DocumentEventHandler> Create(std::function<bool()> onEvent);
    void Detach() { m_onEvent = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                     EXCEPINFO*, UINT*) override;

  private:
    explicit DocumentEventHandler(std::function<bool()> onEvent) : m_onEvent(std::move(onEvent)) {}
    ~DocumentEventHandler() = default;

    LONG m_references = 1;
    std::function<bool()> m_onEvent;
};

}  // namespace ko
