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

// Handles whose "none" is INVALID_HANDLE_VALUE rather than NULL: files, process snapshots.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type value) { return CloseHandle(value) != FALSE; }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type value) { return FindClose(value) != FALSE; }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return FreeLibrary(value) != FALSE; }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// A wait registered with RegisterWaitForSingleObject. Closing waits until a callback that is
// running has returned, so the callback never outlives what it uses.
struct WaitTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return UnregisterWaitEx(value, INVALID_HANDLE_VALUE) != FALSE; }
};
using UniqueWait = UniqueResource<WaitTraits>;

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
