#include "platform/ForegroundServiceHost.h"

#include <gtest/gtest.h>

#include "fakes/FakeEventLoop.h"

namespace ko {
namespace {

struct CountingHandler : ServiceHost::Handler {
    void OnServiceStart(bool& success) override {
        success = true;
        ++starts;
    }
    void OnServiceStop() override { ++stops; }
    int starts = 0;
    int stops = 0;
};

TEST(ForegroundServiceHost, AStopFromOutsideIsTakenOnlyWhenTheServiceAcceptsStop) {
    FakeEventLoop loop;
    CountingHandler handler;
    ForegroundServiceHost host;
    host.SetControls(ServiceControls::kPauseContinue);
    host.Attach(loop, handler);
    loop.RunPosted();
    EXPECT_EQ(handler.starts, 1);
    EXPECT_FALSE(host.ControlStop());
    loop.RunPosted();
    EXPECT_EQ(handler.stops, 0);
    // The agent's own stop, on the server's word, is not the service manager's control.
    host.RequestStop();
    loop.RunPosted();
    EXPECT_EQ(handler.stops, 1);
}

TEST(ForegroundServiceHost, AcceptsStopByDefaultAndDeliversItOnce) {
    FakeEventLoop loop;
    CountingHandler handler;
    ForegroundServiceHost host;
    host.Attach(loop, handler);
    EXPECT_TRUE(host.ControlStop());
    EXPECT_TRUE(host.ControlStop());
    host.RequestStop();
    loop.RunPosted();
    EXPECT_EQ(handler.starts, 1);
    EXPECT_EQ(handler.stops, 1);
}

}  // namespace
}  // namespace ko
