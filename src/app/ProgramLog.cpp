#include "app/ProgramLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

#include "shared/Logger.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace ko {

namespace {

const char* LevelName(Logger::Level level) {
    switch (level) {
        case Logger::Level::Debug:
            return "debug";
        case Logger::Level::Info:
            return "info";
        case Logger::Level::Warning:
            return "warning";
        case Logger::Level::Error:
            return "error";
    }
    return "";
}

}  // namespace

void SetUpProgramLog(const char* program) {
    const char* level = std::getenv("OSTREL_LOG");
    std::string wanted = level != nullptr ? level : "info";
    Logger::SetMinimumLevel(wanted == "debug"     ? Logger::Level::Debug
                            : wanted == "warning" ? Logger::Level::Warning
                            : wanted == "error"   ? Logger::Level::Error
                                                  : Logger::Level::Info);
    const char* file = std::getenv("OSTREL_LOG_FILE");
    std::string logFile = file != nullptr ? file : "";
    Logger::SetSink(
        [logFile, program = std::string(program)](Logger::Level lvl, std::string_view text) {
            std::string line = StampLogLine(program, LevelName(lvl), std::string(text));
#if defined(_WIN32)
            OutputDebugStringA(line.c_str());
#endif
            std::fputs(line.c_str(), stderr);
            std::fflush(stderr);
            if (!logFile.empty()) {
                if (std::FILE* out = std::fopen(logFile.c_str(), "a")) {
                    std::fputs(line.c_str(), out);
                    std::fclose(out);
                }
            }
        });
}

int RunLogged(const char* program, const std::function<int()>& main) {
    SetUpProgramLog(program);
    try {
        return main();
    } catch (const std::exception& e) {
        Logger::Error(std::string("stopped by an unexpected failure: ") + e.what());
    } catch (...) {
        Logger::Error("stopped by an unexpected failure");
    }
    return 1;
}

std::string StampLogLine(const std::string& program, const std::string& level,
                         const std::string& text) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return std::string(stamp) + " " + program + " " + level + ": " + text + "\n";
}

}  // namespace ko
