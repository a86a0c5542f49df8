#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "CafeData.h"
#include "CafeServer.h"
#include "MessageCatalog.h"

namespace ko::test {

// Records what the cafe server sends, per connection, instead of sending it.
class RecordingTransport : public LinkTransport {
  public:
    void Send(ConnectionId connection, const std::string& text) override {
        sent.emplace_back(connection, text);
    }
    void Close(ConnectionId connection) override { closed.push_back(connection); }

    // The codes sent to one connection, in order.
    std::vector<int> Codes(ConnectionId connection) const {
        std::vector<int> out;
        for (const auto& [c, text] : sent) {
            if (c == connection) {
                out.push_back(
                    MessageCatalog::ReadCode(MessageCatalog::SplitFields(text)[0]).value_or(-1));
            }
        }
        return out;
    }
    // The fields of the last message with a code sent to a connection.
    std::vector<std::string> Last(ConnectionId connection, int code) const {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
            auto fields = MessageCatalog::SplitFields(it->second);
            if (it->first == connection && MessageCatalog::ReadCode(fields[0]) == code) {
                return fields;
            }
        }
        return {};
    }
    void Clear() { sent.clear(); }

    std::vector<std::pair<ConnectionId, std::string>> sent;
    std::vector<ConnectionId> closed;
};

// A wall clock that moves only when the test says so.
struct FakeClock {
    WallClock::time_point now = WallClock::time_point(std::chrono::hours(24 * 365 * 50));
    void Advance(std::chrono::seconds s) { now += s; }
    CafeServer::Now Function() {
        return [this] { return now; };
    }
};

// A small cafe: one rate of 3.60 an hour, a prepaid and an open account, one service.
inline CafeData SmallCafe() {
    CafeData data;
    data.cafeName = "Test Cafe";
    data.statusIntervalSeconds = 10;
    data.warnBeforeSeconds = 60;
    data.rates = {{"standard", 360}};
    Account alice;
    alice.id = "alice";
    alice.password = "secret";
    alice.name = "Alice";
    alice.rate = "standard";
    alice.payments = 100;  // 1.00: 1000 seconds at 3.60 an hour
    Account carol;
    carol.id = "carol";
    carol.password = "pw";
    carol.name = "Carol";
    carol.rate = "standard";
    carol.postpaid = true;
    data.accounts = {alice, carol};
    data.services = {{"7", "Espresso", 180, "cup", 1, 19}};
    Profile logon;
    logon.disallowedUrls = {"casino", "  ", "poker"};
    logon.general = {{"trackapp", "1"}};
    Profile logoff;
    logoff.cleanUp = {{"closeallapp", "1"}};
    data.profiles = {{"logon", logon}, {"logoff", logoff}};
    data.advertisements = {{"Coffee", "Fresh", "", 10}, {"Skip", "", "", 0}};
    return data;
}

}  // namespace ko::test
