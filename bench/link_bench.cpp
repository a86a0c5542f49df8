// Throughput of the wire codec and the cost of handling a status message, and the loop
// wake-ups of an idle connected agent on the virtual clock.

#include <benchmark/benchmark.h>

#include "fakes/AgentHarness.h"
#include "shared/WireCodec.h"

namespace ko {
namespace {

const std::string kStatus =
    "0|alice|secret|60|5.00|10:00|00:10|1.20|1.50|1|1|1|00:50|3.50|12.00|10.00|-2.00";

void BM_EncodeMessage(benchmark::State& state) {
    std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    for (auto _ : state) {
        benchmark::DoNotOptimize(WireCodec::EncodeMessage(text));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EncodeMessage)->Arg(80)->Arg(4096);

void BM_DecodeMessage(benchmark::State& state) {
    std::string wire =
        WireCodec::EncodeMessage(std::string(static_cast<std::size_t>(state.range(0)), 'a'));
    for (auto _ : state) {
        benchmark::DoNotOptimize(WireCodec::DecodeMessage(wire));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodeMessage)->Arg(80)->Arg(4096);

// A read that carries three messages has to be cut before it is decoded.
void BM_SplitBurst(benchmark::State& state) {
    std::string burst = WireCodec::EncodeMessage(kStatus, 7) + WireCodec::EncodeMessage("33|", 7) +
                        WireCodec::EncodeMessage("34|", 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(WireCodec::SplitReceived(burst));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(burst.size()));
}
BENCHMARK(BM_SplitBurst);

// process() of a status in state 1: fields, conversions, the state actions and the ping.
void BM_ProcessStatus(benchmark::State& state) {
    AgentHarness h;
    h.StartConnected();
    h.Client().process(kStatus);
    for (auto _ : state) {
        h.Client().process(kStatus);
        h.loop.RunPosted();
        h.socket.sentWire.clear();
        h.recorder.calls.clear();
    }
}
BENCHMARK(BM_ProcessStatus);

// Wake-ups of a connected, idle agent in one minute: the goal is the 10-second timer only.
void BM_IdleWakeUpsPerMinute(benchmark::State& state) {
    double perMinute = 0;
    for (auto _ : state) {
        AgentHarness h;
        h.StartConnected();
        h.Status(0);
        std::uint64_t before = h.loop.WakeUps();
        h.loop.Advance(60000);
        perMinute = static_cast<double>(h.loop.WakeUps() - before);
    }
    state.counters["wakeups_per_minute"] = perMinute;
}
BENCHMARK(BM_IdleWakeUpsPerMinute)->Iterations(1);

}  // namespace
}  // namespace ko

BENCHMARK_MAIN();
