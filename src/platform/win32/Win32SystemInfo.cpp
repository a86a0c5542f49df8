#include "platform/win32/Win32SystemInfo.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/win32/Win32Path.h"

namespace ko {

namespace {

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

}  // namespace

OsVersion Win32SystemInfo::Version() {
    OsVersion version;
    OSVERSIONINFOEXA extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    // Systems before NT 4 SP6 and the 9x family know only the short record.
    bool haveExtended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
    if (!haveExtended) {
        memset(&extended, 0, sizeof(extended));
        extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
            return version;
        }
    }
    version.major = extended.dwMajorVersion;
    version.minor = extended.dwMinorVersion;
    version.build = extended.dwBuildNumber;
    version.platformId = extended.dwPlatformId;
    version.servicePack.assign(extended.szCSDVersion,
                               strnlen(extended.szCSDVersion, sizeof(extended.szCSDVersion)));
    if (haveExtended) {
        version.servicePackMajor = extended.wServicePackMajor;
    }
    return version;
}

std::optional<int> Win32SystemInfo::ProductType() {
    OSVERSIONINFOEXA extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        return std::nullopt;
    }
    return static_cast<int>(extended.wProductType);
}

std::optional<std::string> Win32SystemInfo::ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    if (!GetComputerNameA(name, &size)) {
        return std::nullopt;
    }
    return std::string(name, size);
}

std::string Win32SystemInfo::InstanceMarkerName() {
    // Mutex names are case-sensitive and the program's file name is not.
    std::string program = ExecutableName();
    std::transform(program.begin(), program.end(), program.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const char* space = m_scope == InstanceScope::Session ? "Local\\" : "Global\\";
    return space + ("Ostrel_" + program + "_Instance");
}

bool Win32SystemInfo::AnotherInstanceRunning() {
    if (m_anotherInstance) {
        return *m_anotherInstance;
    }
    m_instanceMarker.Reset(CreateMutexA(nullptr, FALSE, InstanceMarkerName().c_str()));
    DWORD error = GetLastError();
    // A copy running as another user (the service runs as LocalSystem) holds a marker that this
    // one may not open: that is another copy too.
    m_anotherInstance = (m_instanceMarker && error == ERROR_ALREADY_EXISTS) ||
                        (!m_instanceMarker && error == ERROR_ACCESS_DENIED);
    if (*m_anotherInstance) {
        m_instanceMarker.Reset();
    }
    return *m_anotherInstance;
}

std::string Win32SystemInfo::ProgramFolder() {
    std::string path = ModuleFilePath();
    std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string Win32SystemInfo::ExecutableName() {
    std::string path = ModuleFilePath();
    std::size_t separator = LastSeparator(path);
    std::string file = separator == std::string::npos ? path : path.substr(separator + 1);
    std::size_t dot = file.find_last_of('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

std::string Win32SystemInfo::MachineIdentity() {
    // A 32-bit program on 64-bit Windows would read the redirected copy of the key, which lacks
    // the value; Windows 2000 rejects the flag, so try without it too.
    UniqueRegKey key;
    const char* path = "SOFTWARE\\Microsoft\\Cryptography";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) !=
            ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        return std::string();
    }
    char value[256] = {};
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::string();
    }
    return std::string(value, strnlen(value, size));
}

NumberSeparators Win32SystemInfo::Separators() {
    NumberSeparators separators;
    char text[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 1) {
        separators.decimal = text[0];
    }
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, text, sizeof text) > 1) {
        separators.group = text[0];
    }
    return separators;
}

}  // namespace ko
