#include "fakes/FakeSystem.h"

namespace ko {

std::optional<std::string> FakeServiceManager::ImagePath(const std::string& name) {
    auto it = services.find(name);
    if (it == services.end() || it->second.imagePath.empty()) {
        return std::nullopt;
    }
    return it->second.imagePath;
}

bool FakeServiceManager::Register(const ServiceConfig& config) {
    registered.push_back(config);
    services[config.serviceName] =
        Service{config.commandLine.empty() ? "koagent" : config.commandLine, 1};
    return true;
}

bool FakeServiceManager::Start(const std::string& name, std::optional<long>& errorCode) {
    if (managerError) {
        errorCode = managerError;
        return false;
    }
    auto it = services.find(name);
    if (it == services.end()) {
        return false;
    }
    started.push_back(name);
    it->second.state = 4;
    return true;
}

std::optional<int> FakeServiceManager::QueryState(const std::string& name) {
    auto it = services.find(name);
    if (unreachable) {
        return std::nullopt;
    }
    if (it == services.end()) {
        return std::nullopt;
    }
    return it->second.state;
}

}  // namespace ko
