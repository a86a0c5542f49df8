#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/TcpClientSocket.h"

namespace ko {

// Records a socket's notices in order ("connect", "data", "sent", "close", "error"), for the
// adapter tests of every platform.
struct RecordingSocketHandler : TcpClientSocket::Handler {
    std::vector<std::string> events;
    std::size_t lastTotal = 0;
    int errorNumber = 0;
    std::string errorText;
    // Runs inside OnDataArrival, for tests of what a data handler may do.
    std::function<void()> onData;

    void OnConnect() override { events.push_back("connect"); }
    void OnDataArrival(std::size_t bytesTotal) override {
        events.push_back("data");
        lastTotal = bytesTotal;
        if (onData) {
            onData();
        }
    }
    void OnSendComplete() override { events.push_back("sent"); }
    void OnClose() override { events.push_back("close"); }
    void OnError(int number, const std::string& description) override {
        events.push_back("error");
        errorNumber = number;
        errorText = description;
    }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count(events.begin(), events.end(), name));
    }
    bool Saw(const std::string& name) const { return Count(name) > 0; }
};

}  // namespace ko
