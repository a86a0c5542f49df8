// The kiosk's share of a status message in a customer session: the billing labels and the
// caption written into the shown page. Measured on the fake screens, so the figure is the core's
// own cost (the engine's rendering is not in it). Goal: under 10 us per status.

#include <benchmark/benchmark.h>

#include "agent/kiosk/KioskTestPages.h"

namespace ko {
namespace {

using namespace kiosk_test;

const std::string kSessionStatus =
    "0|alice|secret|60|5.00|10:00|00:10|1.20|1.50|1|1|1|25|3.50|12.00|10.00|-2.00";

// One refresh of the eight labels, as the state logic asks for it at every status in state 1.
void BM_BillingRefresh(benchmark::State& state) {
    KioskHarness h;
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.Status(1);
    h.Settle();
    for (auto _ : state) {
        h.kiosk->UpdateBillingInformation();
    }
    state.SetLabel("goal: under 10 us");
}
BENCHMARK(BM_BillingRefresh);

// A whole status in state 1 with the kiosk on the fake screens: fields, conversions, the labels,
// the caption, the unlock call and the ping.
void BM_SessionStatusWithKiosk(benchmark::State& state) {
    KioskHarness h;
    h.StartConnected();
    h.Status(0);
    h.Status(1);
    h.Settle();
    for (auto _ : state) {
        h.Client().process(kSessionStatus);
        h.loop.RunPosted();
        h.socket.sentWire.clear();
        h.recorder.calls.clear();
    }
}
BENCHMARK(BM_SessionStatusWithKiosk);

}  // namespace
}  // namespace ko
