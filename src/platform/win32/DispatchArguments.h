#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

namespace ko {

// Reading the arguments of an event that arrives through IDispatch::Invoke. index counts in the
// event's declared order; a missing argument or one of another type gives the empty value.
VARIANT* Argument(DISPPARAMS* params, UINT index);
std::string TextArgument(DISPPARAMS* params, UINT index);
IDispatch* DispatchArgument(DISPPARAMS* params, UINT index);
long LongArgument(DISPPARAMS* params, UINT index);
// Sets a by-reference Boolean argument (an event's Cancel flag) to true.
void SetCancel(DISPPARAMS* params, UINT index);

}  // namespace ko
