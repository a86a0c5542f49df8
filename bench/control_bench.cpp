// The platform's share of one window notice on Linux, with 300 other processes running: the
// window's class, title and process from the display, the process's program from /proc, and the
// handle opened for the report. The goal for a whole notice is below 200 µs. The walk over
// every process, which a notice would pay if it listed them all, is measured beside it.

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/x11/X11DesktopWindows.h"

extern char** environ;

namespace ko {
namespace {

constexpr int kProcesses = 300;

// 300 sleeping children for the benchmark's life.
class ProcessCrowd {
  public:
    ProcessCrowd() {
        char program[] = "/bin/sleep";
        char seconds[] = "600";
        char* argv[] = {program, seconds, nullptr};
        for (int i = 0; i < kProcesses; ++i) {
            pid_t pid = -1;
            if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~ProcessCrowd() {
        for (pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    ProcessId Middle() const { return static_cast<ProcessId>(m_pids[m_pids.size() / 2]); }

  private:
    std::vector<pid_t> m_pids;
};

ProcessCrowd& Crowd() {
    static ProcessCrowd crowd;
    return crowd;
}

void BM_NoticeProcessLookup(benchmark::State& state) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    const ProcessId id = Crowd().Middle();
    for (auto _ : state) {
        auto info = processes.Find(id);
        auto handle = processes.Open(id);
        benchmark::DoNotOptimize(info);
        benchmark::DoNotOptimize(handle);
    }
}
BENCHMARK(BM_NoticeProcessLookup)->Unit(benchmark::kMicrosecond);

void BM_NoticeProcessListWalk(benchmark::State& state) {
    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    const ProcessId id = Crowd().Middle();
    for (auto _ : state) {
        const auto list = processes.List();
        for (const auto& process : list) {
            if (process.id == id) {
                benchmark::DoNotOptimize(process.executable);
            }
        }
    }
}
BENCHMARK(BM_NoticeProcessListWalk)->Unit(benchmark::kMicrosecond);

// The whole gathering on a display (DISPLAY must name one; skipped without).
void BM_NoticeGatherOnDisplay(benchmark::State& state) {
    // The crowd starts before any connection exists, so no child holds one open.
    Crowd();
    // One connection for every run: an X server without clients resets itself, and a
    // connection made during the reset is refused.
    static Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 50, 0, 0, 0);
    char name[] = "KoBench";
    XClassHint hint{name, name};
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, "a window of the benchmark");
    XMapWindow(display, window);
    XSync(display, False);

    LinuxEventLoop loop;
    LinuxProcesses processes(loop);
    X11DesktopWindows desktop(loop, processes);
    if (!desktop.Open()) {
        state.SkipWithError("the adapter cannot open the display");
    } else {
        const auto id = static_cast<WindowId>(window);
        for (auto _ : state) {
            auto className = desktop.ClassName(id);
            auto title = desktop.Title(id);
            auto pid = desktop.ProcessOf(id);
            auto info = processes.Find(pid.value_or(0));
            auto handle = processes.Open(pid.value_or(0));
            benchmark::DoNotOptimize(className);
            benchmark::DoNotOptimize(title);
            benchmark::DoNotOptimize(info);
            benchmark::DoNotOptimize(handle);
        }
    }
    XDestroyWindow(display, window);
    XSync(display, False);
}
BENCHMARK(BM_NoticeGatherOnDisplay)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ko
