// Loop wake-ups per minute of an idle workstation on the fake loop's virtual clock, counted
// exactly: timer ticks and posted tasks. Goals: without advertising, the link's timer only;
// advertising adds its idle ticks and one per change of advertisement; nothing of the strip or
// the rotation runs while they are hidden.

#include <benchmark/benchmark.h>

#include "agent/messages/MessagesTestSupport.h"

namespace ko {
namespace {

using namespace messages_test;

// A free workstation on the fake screens, the link up, nothing shown.
void StartIdle(MessagesHarness& h) {
    h.StartConnected();
    h.Status(0);
    h.Settle();
}

double WakeUpsInAMinute(MessagesHarness& h) {
    const std::uint64_t before = h.loop.WakeUps();
    h.loop.Advance(60000);
    return static_cast<double>(h.loop.WakeUps() - before);
}

void Report(benchmark::State& state, double wakeUps) {
    state.counters["wakeups_per_min"] = wakeUps;
}

void BM_WakeUps_NoProfile(benchmark::State& state) {
    for (auto _ : state) {
        MessagesHarness h;
        StartIdle(h);
        Report(state, WakeUpsInAMinute(h));
    }
    state.SetLabel("goal: the link's timer only");
}
BENCHMARK(BM_WakeUps_NoProfile)->Iterations(3);

void BM_WakeUps_Counting(benchmark::State& state) {
    for (auto _ : state) {
        MessagesHarness h;
        StartIdle(h);
        // Two minutes of idleness before the advertisements: one long count, re-armed in steps
        // of at most 65.5 s.
        h.Server("32|120|2|http://ads/1|10|http://ads/2|10");
        h.loop.Advance(30000);
        Report(state, WakeUpsInAMinute(h));
    }
    state.SetLabel("goal: the link's timer plus at most one step of the count");
}
BENCHMARK(BM_WakeUps_Counting)->Iterations(3);

void BM_WakeUps_Rotating(benchmark::State& state) {
    for (auto _ : state) {
        MessagesHarness h;
        StartIdle(h);
        h.Server("32|30|2|http://ads/1|10|http://ads/2|10");
        h.loop.Advance(30000);  // showing
        Report(state, WakeUpsInAMinute(h));
    }
    state.SetLabel("goal: the link's timer, 6 ad changes with their page events, 2 idle ticks");
}
BENCHMARK(BM_WakeUps_Rotating)->Iterations(3);

void BM_WakeUps_AfterDismissal(benchmark::State& state) {
    for (auto _ : state) {
        MessagesHarness h;
        StartIdle(h);
        // Within the link's 210 s of silence that the fake server never breaks.
        h.Server("32|100|2|http://ads/1|10|http://ads/2|10");
        h.loop.Advance(100000);
        h.screens.Window("Advertisement")->Key(27);
        h.Settle();
        Report(state, WakeUpsInAMinute(h));
    }
    state.SetLabel("goal: as counting: the hidden window loads nothing");
}
BENCHMARK(BM_WakeUps_AfterDismissal)->Iterations(3);

void BM_WakeUps_AfterTheStrip(benchmark::State& state) {
    for (auto _ : state) {
        MessagesHarness h;
        StartIdle(h);
        h.Status(1);
        h.globals.options.TimeoutMessageSeconds = 9;
        h.Server("33|");
        h.loop.Advance(20000);  // up, held, down
        Report(state, WakeUpsInAMinute(h));
    }
    state.SetLabel("goal: the link's timer only: the strip's timer stops when it is down");
}
BENCHMARK(BM_WakeUps_AfterTheStrip)->Iterations(3);

}  // namespace
}  // namespace ko
