#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemInfo.h"
#include "shared/NumberRules.h"

namespace ko {

// The workstation options that server message 35 sets; they live as long as the process.
struct WorkstationOptions {
    std::int16_t wsSecureWorkstation = 0;
    std::string wsSecurityPassword;
    std::int16_t MinimizeInUse = 0;
    std::int16_t KeepOnTop = 0;
    bool LogonSettingsReceived = false;
    std::int16_t ReportApplications = 0;
    std::int16_t ReportUrls = 0;
    std::int32_t TimeoutMessageSeconds = 0;
};

// The workstation's number format, as the user's regional settings give it.
inline RegionalSettings RegionalSettingsOf(SystemInfo& system) {
    const NumberSeparators separators = system.Separators();
    return RegionalSettings{separators.decimal, separators.group};
}

// The per-process values that the start routine sets and the rest of the agent reads. They live
// here, in one object that the program owns, instead of in scattered globals.
struct AgentGlobals {
    std::string LangID;
    std::string LangVer;
    std::string ServerName;
    std::string HttpPort;
    std::string WorkstationName;
    std::string ProgramFolder;
    // The workstation's number format, for the figures the server sends.
    RegionalSettings regional;
    WorkstationOptions options;
    bool MainWindowMinimized = false;
};

}  // namespace ko
