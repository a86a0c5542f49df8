#pragma once

#include <windows.h>
#include <winsock2.h>

#include "shared/UniqueResource.h"

namespace ko {

// Owning wrappers for the Windows handles the adapters open. Each closes with the function the
// system pairs with the call that opened it.

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return CloseHandle(value) != FALSE; }
};
using UniqueHandle = UniqueResource<HandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return RegCloseKey(value) == ERROR_SUCCESS; }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct ScHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return CloseServiceHandle(value) != FALSE; }
};
using UniqueScHandle = UniqueResource<ScHandleTraits>;

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static bool Close(Type value) { return closesocket(value) == 0; }
};
using UniqueSocket = UniqueResource<SocketTraits>;

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return DestroyWindow(value) != FALSE; }
};
using UniqueWindow = UniqueResource<WindowTraits>;

}  // namespace ko
