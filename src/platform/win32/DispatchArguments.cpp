#include "platform/win32/DispatchArguments.h"

#include "platform/win32/AnsiText.h"

namespace ko {

// Event arguments arrive last-first; index counts in the declared order.
VARIANT* Argument(DISPPARAMS* params, UINT index) {
    if (params == nullptr || params->rgvarg == nullptr || index >= params->cArgs) {
        return nullptr;
    }
    return &params->rgvarg[params->cArgs - 1 - index];
}

namespace {

VARIANT* Dereferenced(VARIANT* value) {
    while (value != nullptr && value->vt == (VT_BYREF | VT_VARIANT)) {
        value = value->pvarVal;
    }
    return value;
}

}  // namespace

std::string TextArgument(DISPPARAMS* params, UINT index) {
    VARIANT* value = Dereferenced(Argument(params, index));
    if (value == nullptr) {
        return {};
    }
    if (value->vt == VT_BSTR && value->bstrVal != nullptr) {
        return WideToAnsi(value->bstrVal, SysStringLen(value->bstrVal));
    }
    if (value->vt == (VT_BYREF | VT_BSTR) && value->pbstrVal != nullptr &&
        *value->pbstrVal != nullptr) {
        return WideToAnsi(*value->pbstrVal, SysStringLen(*value->pbstrVal));
    }
    return {};
}

IDispatch* DispatchArgument(DISPPARAMS* params, UINT index) {
    VARIANT* value = Dereferenced(Argument(params, index));
    if (value == nullptr) {
        return nullptr;
    }
    if (value->vt == VT_DISPATCH) {
        return value->pdispVal;
    }
    if (value->vt == (VT_BYREF | VT_DISPATCH) && value->ppdispVal != nullptr) {
        return *value->ppdispVal;
    }
    return nullptr;
}

long LongArgument(DISPPARAMS* params, UINT index) {
    VARIANT* value = Dereferenced(Argument(params, index));
    if (value == nullptr) {
        return 0;
    }
    if (value->vt == VT_I4) {
        return value->lVal;
    }
    if (value->vt == (VT_BYREF | VT_I4) && value->plVal != nullptr) {
        return *value->plVal;
    }
    return 0;
}

void SetCancel(DISPPARAMS* params, UINT index) {
    VARIANT* value = Argument(params, index);
    if (value != nullptr && value->vt == (VT_BYREF | VT_BOOL) && value->pboolVal != nullptr) {
        *value->pboolVal = VARIANT_TRUE;
    }
}

}  // namespace ko
