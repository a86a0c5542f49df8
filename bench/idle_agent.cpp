// Runs the real agent program connected to a silent scripted server in state 0 and reports its
// resident memory and how often it woke up in a minute (voluntary context switches: each is
// one return from the loop's poll).
//   ko_idle_agent [seconds]

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "LoopbackServer.h"
#include "ProcStatus.h"

int main(int argc, char** argv) {
    using namespace ko::test;
    using ko::bench::ProcStatus;
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    LoopbackServer server;
    std::string dir = "/tmp/ko-idle-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/registry.reg")
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrel "
           "Software\\Ostrel\\1\\NetConfig]\r\n"
        << "\"Server\"=\"127.0.0.1\"\r\n\"Port\"=\"" << server.Port() << "\"\r\n"
        << "\"HttpPort\"=\"80\"\r\n\"WorkstationName\"=\"IDLE\"\r\n";
    SetAgentEnvironment(dir + "/registry.reg");
    setenv("OSTREL_LOG", "error", 1);
    AgentProcess agent;
    if (!agent.Start(AgentProgramPath(), "--foreground") || !server.Accept(15000)) {
        std::fprintf(stderr, "the agent did not connect\n");
        return 1;
    }
    server.Receive(3000);
    server.Send("0|||0|0|||0|0|0|1|0|||||");
    server.Receive(3000);
    server.Receive(3000);
    SleepMs(1000);
    int pid = agent.Pid();
    auto before = ProcStatus(pid);
    SleepMs(seconds * 1000);
    auto after = ProcStatus(pid);
    long wakeups = after["voluntary_ctxt_switches"] - before["voluntary_ctxt_switches"];
    std::printf("idle agent: %ld wake-ups in %d s (%.1f per minute)\n", wakeups, seconds,
                wakeups * 60.0 / seconds);
    std::printf("idle agent: resident memory %ld kB (peak %ld kB)\n", after["VmRSS"],
                after["VmHWM"]);
    server.Send("22|");
    agent.WaitExit(5000);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
