// The watcher's address filter: every navigation of every browser and frame goes through it
// while the browser waits, so its cost is measured against lists larger than a cafe keeps.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "watcher/DisallowedUrlList.h"
#include "watcher/UrlText.h"

namespace {

// Entries like a cafe's list: host names and words, 6 to 20 letters, none of them found in the
// addresses below (a miss walks the whole address: the worst case).
std::vector<std::string> MakeEntries(std::size_t count) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(6, 20);
    std::uniform_int_distribution<int> letter(0, 25);
    std::vector<std::string> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string entry = "q";  // no address below holds a "q"
        const int n = length(random);
        for (int k = 1; k < n; ++k) {
            entry += static_cast<char>('a' + letter(random));
        }
        entries.push_back(i % 3 == 0 ? entry + ".com" : entry);
    }
    return entries;
}

std::string MakeAddress(std::size_t length) {
    std::string address = "http://www.example.org/path/to/a/page.html?session=";
    const std::string fill = "abcdefghijkl%20mnoprstuvwxyz0123456789&x=";
    while (address.size() < length) {
        address += fill;
    }
    address.resize(length);
    return address;
}

// What the filter does for one navigation: the address as given, then as a server reads it.
bool Refused(const ko::watcher::DisallowedUrlList& list, const std::string& address) {
    return list.FoundIn(address) || list.FoundIn(ko::watcher::NormalisedAddress(address));
}

void BM_URLNavigation(benchmark::State& state) {
    const ko::watcher::DisallowedUrlList list(
        MakeEntries(static_cast<std::size_t>(state.range(1))));
    const std::string address = MakeAddress(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Refused(list, address));
    }
    state.SetLabel(std::to_string(state.range(0)) + " characters, " +
                   std::to_string(state.range(1)) + " entries");
}
BENCHMARK(BM_URLNavigation)->Args({254, 1000})->Args({2083, 10000})->Unit(benchmark::kMicrosecond);

// Compiling the list: once per logon settings document.
void BM_CompileDisallowedList(benchmark::State& state) {
    const auto entries = MakeEntries(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        ko::watcher::DisallowedUrlList list(entries);
        benchmark::DoNotOptimize(list.Size());
    }
}
BENCHMARK(BM_CompileDisallowedList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
