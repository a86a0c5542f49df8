#include "platform/win32/ScmServiceManager.h"

#include <windows.h>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Path.h"

namespace ko {

namespace {

std::string TrimBlanks(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> ScmServiceManager::ImagePath(const std::string& name) {
    std::optional<RegData> data = m_registry.QueryValue(
        RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + name, "ImagePath");
    if (!data || (data->type != REG_SZ && data->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::string path = data->bytes;
    std::size_t nul = path.find('\0');
    if (nul != std::string::npos) {
        path.resize(nul);
    }
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

std::string ScmServiceManager::OwnCommandLine() {
    // Built piecewise: GCC 12 warns falsely (-Wrestrict) on "\"" + text + "\"" at -O3.
    std::string path = ModuleFilePath();
    std::string quoted;
    quoted.reserve(path.size() + 2);
    quoted.push_back('"');
    quoted.append(path);
    quoted.push_back('"');
    return quoted;
}

bool ScmServiceManager::Register(const ServiceConfig& config) {
    UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return false;
    }
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    if (config.interactive) {
        type |= SERVICE_INTERACTIVE_PROCESS;
    }
    std::string commandLine = config.commandLine.empty() ? OwnCommandLine() : config.commandLine;
    std::string displayName = config.displayName.empty() ? config.serviceName : config.displayName;
    // An empty account means LocalSystem, which the system spells as no account at all.
    const char* account = config.account.empty() ? nullptr : config.account.c_str();
    UniqueScHandle service(CreateServiceA(
        manager.Get(), config.serviceName.c_str(), displayName.c_str(), SERVICE_QUERY_STATUS, type,
        static_cast<DWORD>(config.startMode), SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr,
        nullptr, nullptr, account, nullptr));
    return service.Valid();
}

bool ScmServiceManager::Start(const std::string& name, std::optional<long>& errorCode) {
    errorCode.reset();
    UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        errorCode = static_cast<long>(GetLastError());
        return false;
    }
    UniqueScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_START));
    if (!service) {
        return false;
    }
    return StartServiceA(service.Get(), 0, nullptr) != FALSE;
}

std::optional<int> ScmServiceManager::QueryState(const std::string& name) {
    UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return std::nullopt;
    }
    UniqueScHandle service(
        OpenServiceA(manager.Get(), TrimBlanks(name).c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        return std::nullopt;
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.Get(), &status)) {
        return std::nullopt;
    }
    return static_cast<int>(status.dwCurrentState);
}

}  // namespace ko
