// kosim: a small cafe server for developing, demonstrating and testing the workstation.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "CafeServer.h"
#include "Console.h"
#include "DesktopInput.h"
#include "Journal.h"
#include "LinkServer.h"
#include "PageDriver.h"
#include "WebServer.h"

namespace {

struct Options {
    std::string data;
    std::string bind = "127.0.0.1";
    int port = 9678;
    int httpPort = 9680;
    int paceMs = 250;
    int statusInterval = 0;
    std::vector<std::string> scripts;
    std::string portsFile;
    bool once = false;
    bool quiet = false;
    bool drive = false;
};

const char* kUsage =
    "usage: kosim [options]\n"
    "  --data <file>          cafe data (JSON); default: kosim-data.json next to the program\n"
    "  --bind <address>       address to listen on (default 127.0.0.1)\n"
    "  --port <n>             workstation link port (default 9678; 0 picks a free one)\n"
    "  --http-port <n>        web port told to workstations as HttpPort (default 9680; 0 = free)\n"
    "  --pace-ms <n>          pause between two messages to one workstation (default 250)\n"
    "  --status-interval <s>  seconds between statuses of a workstation in use\n"
    "  --script <file>        run a script of console commands and expectations first\n"
    "                         (repeated: the scripts run in turn, a failure stops the rest)\n"
    "  --once                 end after the script; exit 0 only if every expectation held\n"
    "  --ports-file <file>    write link=<port> and http=<port> there once listening\n"
    "  --quiet                do not print the timeline\n"
    "  --drive                scripted mode: pages take clicks and typing from the script\n";

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--data") {
            o.data = value();
        } else if (a == "--bind") {
            o.bind = value();
        } else if (a == "--port") {
            o.port = std::atoi(value().c_str());
        } else if (a == "--http-port") {
            o.httpPort = std::atoi(value().c_str());
        } else if (a == "--pace-ms") {
            o.paceMs = std::atoi(value().c_str());
        } else if (a == "--status-interval") {
            o.statusInterval = std::atoi(value().c_str());
        } else if (a == "--script") {
            o.scripts.push_back(value());
        } else if (a == "--ports-file") {
            o.portsFile = value();
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--drive") {
            o.drive = true;
        } else {
            return false;
        }
    }
    return o.port >= 0 && o.port < 65536 && o.httpPort >= 0 && o.httpPort < 65536 && o.paceMs >= 0;
}

std::string ProgramFolder(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::path(argv0) : self).parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        std::cerr << kUsage;
        return 2;
    }
    std::mutex outMutex;
    auto print = [&outMutex](const std::string& line) {
        std::lock_guard lock(outMutex);
        std::cout << line << std::endl;
    };

    if (o.data.empty()) {
        o.data = ProgramFolder(argv[0]) + "/kosim-data.json";
    }
    std::vector<std::string> errors;
    auto data = ko::CafeData::Load(o.data, errors);
    if (!data) {
        for (const auto& e : errors) {
            std::cerr << "kosim: " << e << "\n";
        }
        return 2;
    }
    if (o.statusInterval > 0) {
        data->statusIntervalSeconds = o.statusInterval;
    }

    ko::Journal journal;
    if (!o.quiet) {
        journal.SetPrinter([&](const ko::JournalEvent& e) { print(ko::Journal::Format(e)); });
    }
    asio::io_context io;
    std::unique_ptr<ko::LinkServer> link;
    try {
        link = std::make_unique<ko::LinkServer>(io, o.bind, static_cast<std::uint16_t>(o.port),
                                                std::chrono::milliseconds(o.paceMs));
    } catch (const std::exception& e) {
        std::cerr << "kosim: cannot listen on " << o.bind << ":" << o.port << ": " << e.what()
                  << "\n";
        return 2;
    }
    ko::CafeServer server(std::move(*data), journal, *link);
    ko::WebServer web(server, journal);
    ko::PageDriver driver(journal);
    if (o.drive) {
        web.SetPageDriver(&driver);
    }
    int httpPort = web.Start(o.bind, o.httpPort);
    if (httpPort < 0) {
        std::cerr << "kosim: cannot listen on " << o.bind << ":" << o.httpPort << " (web)\n";
        return 2;
    }
    server.SetHttpPort(httpPort);
    link->Start(server);

    asio::steady_timer ticker(io);
    std::function<void()> tick = [&] {
        ticker.expires_after(std::chrono::milliseconds(200));
        ticker.async_wait([&](const asio::error_code& ec) {
            if (!ec) {
                server.Tick();
                tick();
            }
        });
    };
    tick();
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& ec, int) {
        if (!ec) {
            print("kosim: stopping");
            std::fflush(stdout);
            // The console thread may sit in a blocking read; end the process from here.
            std::_Exit(0);
        }
    });
    std::thread ioThread([&io] { io.run(); });

    journal.Note("kosim: workstation link on " + o.bind + ":" + std::to_string(link->Port()) +
                 ", web on " + o.bind + ":" + std::to_string(httpPort) + ", data " + o.data);
    if (!o.portsFile.empty()) {
        std::string tmp = o.portsFile + ".tmp";
        std::ofstream(tmp) << "link=" << link->Port() << "\nhttp=" << httpPort << "\n";
        std::filesystem::rename(tmp, o.portsFile);
    }

    ko::Console console(server, journal, print);
    ko::DesktopInput desktop;
    console.SetPageDriver(o.drive ? &driver : nullptr);
    console.SetDesktop(&desktop);
    console.SetVariable("port", std::to_string(link->Port()));
    console.SetVariable("http", std::to_string(httpPort));
    int exitCode = 0;
    if (!o.scripts.empty()) {
        for (const std::string& script : o.scripts) {
            if (!console.RunScript(script)) {
                exitCode = 2;
            }
            if (exitCode != 0 || console.Failed() > 0) {
                break;
            }
        }
        print(std::to_string(console.Passed()) + " passed, " + std::to_string(console.Failed()) +
              " failed");
        if (console.Failed() > 0) {
            exitCode = 1;
        }
    }
    if (!o.once) {
        bool interactive = isatty(STDIN_FILENO) != 0;
        if (interactive) {
            print("kosim console: type help for the commands, quit to end.");
        }
        std::string line;
        while (true) {
            if (interactive) {
                std::lock_guard lock(outMutex);
                std::cout << "kosim> " << std::flush;
            }
            if (!std::getline(std::cin, line)) {
                // No more commands: go on serving until told to stop.
                while (true) {
                    std::this_thread::sleep_for(std::chrono::hours(1));
                }
            }
            if (!console.Execute(line)) {
                break;
            }
        }
    }
    io.stop();
    ioThread.join();
    web.Stop();
    link.reset();
    return exitCode;
}
