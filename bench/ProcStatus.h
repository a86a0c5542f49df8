#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace ko::bench {

// The figures of /proc/<pid>/status by name ("VmRSS", "voluntary_ctxt_switches"), in the units
// the kernel writes them.
inline std::map<std::string, long> ProcStatus(int pid) {
    std::map<std::string, long> values;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        auto colon = line.find(':');
        if (colon != std::string::npos) {
            values[line.substr(0, colon)] = std::atol(line.c_str() + colon + 1);
        }
    }
    return values;
}

}  // namespace ko::bench
