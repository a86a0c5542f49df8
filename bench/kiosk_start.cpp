// Start-up time of the kiosk, as a customer sees it: from the moment the agent's program is
// executed to the first screen grab that shows its page painted, and, on the way, to the first
// window the window manager maps. Runs the program several times on DISPLAY and prints the
// median. The program must end up showing a steady page (the stopped page, when no server
// answers); that settled picture is what "painted" means.
//
//   ko_kiosk_start [--runs N] [--settle-ms N] -- <program> [arguments]
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ScreenGrab.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every second pixel each way: a page's text still changes the picture, and a grab stays fast.
constexpr int kStep = 2;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Frame {
    double at = 0;  // ms after exec, when the grab had been read
    ko::ScreenGrab::Image image;
};

struct Run {
    std::optional<double> mapped;
    std::optional<double> painted;
    double grabMs = 0;  // mean time one grab took: the resolution of "painted"
};

// Ends the program and everything it started: it leads its own process group, and a browser
// engine's helper processes stay in it.
void EndGroup(pid_t pid) {
    kill(-pid, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 50 && !ended; ++i) {
        ended = waitpid(pid, nullptr, WNOHANG) == pid;
        if (!ended) {
            usleep(100 * 1000);
        }
    }
    kill(-pid, SIGKILL);
    if (!ended) {
        waitpid(pid, nullptr, 0);
    }
    usleep(300 * 1000);
}

Run Once(char** argv, int settleMs) {
    Run run;
    Display* display = XOpenDisplay(nullptr);
    ko::ScreenGrab grab;
    if (display == nullptr || !grab.Connected()) {
        std::fprintf(stderr, "ko_kiosk_start: no display (DISPLAY)\n");
        std::exit(2);
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    auto before = grab.Grab(kStep);

    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        execvp(argv[0], argv);
        std::perror("exec");
        _exit(127);
    }
    setpgid(pid, pid);

    std::vector<Frame> frames;
    double grabTotal = 0;
    int grabs = 0;
    auto lastChange = Clock::now();
    while (Ms(Clock::now() - start) < 20000) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !run.mapped) {
                run.mapped = Ms(Clock::now() - start);
            }
        }
        auto t0 = Clock::now();
        auto image = grab.Grab(kStep);
        auto t1 = Clock::now();
        if (!image) {
            break;
        }
        grabTotal += Ms(t1 - t0);
        ++grabs;
        const auto& previous = frames.empty() ? *before : frames.back().image;
        if (ko::ScreenGrab::Difference(*image, previous) > 0) {
            frames.push_back({Ms(t1 - start), std::move(*image)});
            lastChange = t1;
        } else if (!frames.empty() && Ms(t1 - lastChange) > settleMs) {
            break;  // the screen has settled
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "ko_kiosk_start: the program ended early\n");
            break;
        }
        // Leave the processor to the program: this machine has two cores.
        usleep(2000);
    }
    EndGroup(pid);
    XCloseDisplay(display);
    run.grabMs = grabs > 0 ? grabTotal / grabs : 0;
    if (!frames.empty()) {
        // Painted: the first picture that is, but for a few pixels, the settled one.
        const auto& settled = frames.back().image;
        for (const auto& f : frames) {
            if (ko::ScreenGrab::Difference(f.image, settled) < 0.002) {
                run.painted = f.at;
                break;
            }
        }
    }
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n == 0 ? 0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 10;
    int settleMs = 2500;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--settle-ms") == 0 && i + 1 < argc) {
            settleMs = std::atoi(argv[++i]);
        }
    }
    if (i + 1 >= argc || runs < 1) {
        std::fprintf(stderr, "usage: ko_kiosk_start [--runs N] [--settle-ms N] -- program ...\n");
        return 2;
    }
    std::vector<double> mapped;
    std::vector<double> painted;
    double grabMs = 0;
    for (int r = 0; r < runs; ++r) {
        Run run = Once(argv + i + 1, settleMs);
        std::printf("run %2d: window mapped %s ms, page painted %s ms (one grab %.1f ms)\n", r + 1,
                    run.mapped ? std::to_string(static_cast<int>(*run.mapped)).c_str() : "-",
                    run.painted ? std::to_string(static_cast<int>(*run.painted)).c_str() : "-",
                    run.grabMs);
        if (run.mapped) {
            mapped.push_back(*run.mapped);
        }
        if (run.painted) {
            painted.push_back(*run.painted);
        }
        grabMs += run.grabMs / runs;
    }
    std::printf(
        "median of %zu runs: window mapped %.0f ms, page painted %.0f ms "
        "(resolution: one grab, %.1f ms)\n",
        painted.size(), Median(mapped), Median(painted), grabMs);
    return painted.size() == static_cast<std::size_t>(runs) ? 0 : 1;
}
