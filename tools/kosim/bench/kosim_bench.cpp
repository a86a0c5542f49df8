// The load test: many workstations in one process against a kosim of its own. Every workstation
// says hello, logs a customer on and answers each status with a ping, as the agent does; the
// test checks that each one gets its status every interval without a miss, and reports kosim's
// CPU time and memory from /proc.
//
//   kosim_bench [--kosim <path>] [--clients 500] [--seconds 60] [--interval 10]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "MessageCatalog.h"
#include "shared/WireCodec.h"

namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

struct Settings {
    std::string kosim;
    int clients = 500;
    int seconds = 60;
    int interval = 10;
};

// One simulated workstation.
class Client : public std::enable_shared_from_this<Client> {
  public:
    Client(asio::io_context& io, int index) : m_socket(io), m_index(index) {}

    void Start(const tcp::endpoint& server) {
        auto self = shared_from_this();
        m_socket.async_connect(server, [this, self](const asio::error_code& ec) {
            if (ec) {
                failed = true;
                return;
            }
            char name[32];
            std::snprintf(name, sizeof name, "BENCH-%03d", m_index);
            Send("5|" + std::string(name) + "|BENCH|127.0.0.1|bench|bench|");
            Read();
        });
    }

    bool loggedOn = false;
    bool failed = false;
    std::vector<Clock::time_point> statuses;  // arrivals of in-use statuses

  private:
    void Send(const std::string& text) {
        auto wire = std::make_shared<std::string>(ko::WireCodec::EncodeMessage(text));
        asio::async_write(m_socket, asio::buffer(*wire),
                          [wire](const asio::error_code&, std::size_t) {});
    }

    void Read() {
        auto self = shared_from_this();
        m_socket.async_read_some(
            asio::buffer(m_buffer), [this, self](const asio::error_code& ec, std::size_t n) {
                if (ec) {
                    failed = true;
                    return;
                }
                for (const auto& piece :
                     ko::WireCodec::SplitReceived(std::string_view(m_buffer.data(), n))) {
                    OnMessage(ko::WireCodec::DecodeMessage(piece));
                }
                Read();
            });
    }

    void OnMessage(const std::string& text) {
        auto fields = ko::MessageCatalog::SplitFields(text);
        if (ko::MessageCatalog::ReadCode(fields[0]) != 0 || fields.size() < 10) {
            return;
        }
        if (fields[9] == "1") {
            loggedOn = true;
            statuses.push_back(Clock::now());
        } else if (!m_asked) {
            m_asked = true;
            Send(" 1|c" + std::to_string(m_index) + "|pw||||");
        }
        Send(" 25|");
    }

    tcp::socket m_socket;
    int m_index;
    bool m_asked = false;
    std::array<char, 4096> m_buffer{};
};

bool Parse(int argc, char** argv, Settings& s) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        std::string v = argv[i + 1];
        if (a == "--kosim") {
            s.kosim = v;
        } else if (a == "--clients") {
            s.clients = std::atoi(v.c_str());
        } else if (a == "--seconds") {
            s.seconds = std::atoi(v.c_str());
        } else if (a == "--interval") {
            s.interval = std::atoi(v.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && s.clients > 0 && s.seconds > 0 && s.interval > 0;
}

std::string WriteData(const std::string& dir, const Settings& s) {
    std::string path = dir + "/bench-data.json";
    std::ofstream out(path);
    out << "{\"statusIntervalSeconds\": " << s.interval
        << ", \"options\": {\"sendOnConnect\": false},"
           " \"rates\": [{\"name\": \"standard\", \"perHour\": \"3.60\"}], \"customers\": [";
    for (int i = 0; i < s.clients; ++i) {
        out << (i ? "," : "") << "{\"id\": \"c" << i
            << "\", \"password\": \"pw\", \"rate\": \"standard\", \"postpaid\": true}";
    }
    out << "]}\n";
    return path;
}

// utime + stime of a process, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; rest >> field; ++i) {
        if (i == 14) {
            utime = std::atol(field.c_str());
        } else if (i == 15) {
            stime = std::atol(field.c_str());
            break;
        }
    }
    return utime + stime;
}

std::string StatusLine(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(key + ":")) {
            auto value = line.substr(key.size() + 1);
            return value.substr(value.find_first_not_of(" \t"));
        }
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    std::error_code ec;
    s.kosim =
        (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "kosim").string();
    if (!Parse(argc, argv, s)) {
        std::cerr
            << "usage: kosim_bench [--kosim <path>] [--clients N] [--seconds S] [--interval S]\n";
        return 2;
    }
    std::string dir =
        std::filesystem::temp_directory_path() / ("kosim-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string data = WriteData(dir, s);
    std::string ports = dir + "/ports";

    pid_t kosim = fork();
    if (kosim == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen((dir + "/kosim.log").c_str(), "w", stdout);
        execl(s.kosim.c_str(), s.kosim.c_str(), "--port", "0", "--http-port", "0", "--ports-file",
              ports.c_str(), "--data", data.c_str(), "--quiet", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int linkPort = 0;
    for (int i = 0; i < 100 && linkPort == 0; ++i) {
        std::ifstream in(ports);
        std::string line;
        if (std::getline(in, line) && line.starts_with("link=")) {
            linkPort = std::atoi(line.c_str() + 5);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (linkPort == 0) {
        std::cerr << "kosim did not start (" << s.kosim << ")\n";
        kill(kosim, SIGKILL);
        return 1;
    }

    asio::io_context io;
    tcp::endpoint server(asio::ip::make_address("127.0.0.1"),
                         static_cast<unsigned short>(linkPort));
    std::vector<std::shared_ptr<Client>> clients;
    for (int i = 0; i < s.clients; ++i) {
        clients.push_back(std::make_shared<Client>(io, i));
        clients.back()->Start(server);
    }
    auto allOn = [&] {
        return std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->loggedOn; });
    };
    auto started = Clock::now();
    while (!allOn() && Clock::now() - started < std::chrono::seconds(60)) {
        io.run_for(std::chrono::milliseconds(100));
    }
    if (!allOn()) {
        std::cerr << "not every workstation could log on within 60 s\n";
        kill(kosim, SIGTERM);
        return 1;
    }
    std::cout << s.clients << " workstations in use after "
              << std::chrono::duration<double>(Clock::now() - started).count() << " s; measuring "
              << s.seconds << " s\n";
    long ticks0 = CpuTicks(kosim);
    auto windowStart = Clock::now();
    io.run_for(std::chrono::seconds(s.seconds));
    auto windowEnd = Clock::now();
    long ticks1 = CpuTicks(kosim);
    std::string rss = StatusLine(kosim, "VmRSS");
    std::string hwm = StatusLine(kosim, "VmHWM");
    std::string threads = StatusLine(kosim, "Threads");

    // Every workstation must see a status every interval: no gap much longer than it, and the
    // count the window holds.
    double worstGap = 0;
    int fewest = 1 << 30;
    int failedClients = 0;
    for (auto& c : clients) {
        std::vector<Clock::time_point> in;
        for (auto t : c->statuses) {
            if (t >= windowStart && t <= windowEnd) {
                in.push_back(t);
            }
        }
        fewest = std::min<int>(fewest, static_cast<int>(in.size()));
        std::vector<Clock::time_point> edges = {windowStart};
        edges.insert(edges.end(), in.begin(), in.end());
        edges.push_back(windowEnd);
        for (std::size_t i = 1; i < edges.size(); ++i) {
            worstGap =
                std::max(worstGap, std::chrono::duration<double>(edges[i] - edges[i - 1]).count());
        }
        failedClients += c->failed ? 1 : 0;
    }
    double wall = std::chrono::duration<double>(windowEnd - windowStart).count();
    double cpu = static_cast<double>(ticks1 - ticks0) / static_cast<double>(sysconf(_SC_CLK_TCK));
    // kosim looks five times a second whether a status is due, so a gap may pass the interval
    // by a fifth of a second; a missed beat would make it twice the interval.
    bool ok = failedClients == 0 && worstGap <= s.interval + 1.0;

    std::printf(
        "statuses per workstation: at least %d in %.0f s; longest gap %.2f s (every %d s)\n",
        fewest, wall, worstGap, s.interval);
    std::printf("kosim CPU: %.2f s in %.0f s = %.2f%% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    std::printf("kosim memory: VmRSS %s, VmHWM %s, threads %s\n", rss.c_str(), hwm.c_str(),
                threads.c_str());
    std::printf("%s\n", ok ? "OK: every workstation got its status on time" : "FAILED");

    kill(kosim, SIGTERM);
    waitpid(kosim, nullptr, 0);
    std::filesystem::remove_all(dir, ec);
    return ok ? 0 : 1;
}
