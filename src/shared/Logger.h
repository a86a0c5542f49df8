#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ko {

// The one small logger. Failures are logged at debug level; the system shows almost nothing to
// the user. Passwords are never passed here: callers mask them (MaskSecret) before logging.
class Logger {
  public:
    enum class Level { Debug, Info, Warning, Error };
    using Sink = std::function<void(Level, std::string_view)>;

    // The program chooses where lines go (stderr / journald on Linux, the debugger output and an
    // optional file on Windows). Without a sink, lines go nowhere.
    static void SetSink(Sink sink);
    static void SetMinimumLevel(Level level);

    static void Debug(std::string_view text);
    static void Info(std::string_view text);
    // Something is wrong but the program goes on without it (a part that cannot work here).
    static void Warning(std::string_view text);
    static void Error(std::string_view text);

    // A password-sized run of stars, so a log line shows that a secret was there but not what.
    static std::string MaskSecret(std::string_view secret);

  private:
    static void Write(Level level, std::string_view text);
};

}  // namespace ko
