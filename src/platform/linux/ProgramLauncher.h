#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace ko {

// Starts programs for the session user the way the desktop's "run" does, without a shell: the
// command is split into words (double quotes group blanks into one word and are dropped), the
// first word names the program (a path, or a name looked up in PATH), and the program is
// executed directly with the other words as its arguments, in a session of its own. A document,
// folder or address that is not a program goes to xdg-open. Children are reaped from the loop.
class ProgramLauncher {
  public:
    explicit ProgramLauncher(EventLoop& loop);
    ~ProgramLauncher();
    ProgramLauncher(const ProgramLauncher&) = delete;
    ProgramLauncher& operator=(const ProgramLauncher&) = delete;

    // The words of command: blanks and tabs outside double quotes separate them; a pair of
    // quotes may hold blanks and may stand for an empty word.
    static std::vector<std::string> SplitCommand(const std::string& command);

    // True when a program was started; false when nothing fits the command or it could not be
    // executed.
    bool Run(const std::string& command);

    // Children started and not yet reaped.
    std::size_t Children() const { return m_children.size(); }

    // How often the loop looks for ended children while any is running.
    static constexpr std::uint32_t kReapIntervalMs = 2000;

  private:
    bool Start(const std::string& program, const std::vector<std::string>& arguments);
    void Reap();

    EventLoop& m_loop;
    EventLoop::TimerId m_reapTimer;
    std::set<pid_t> m_children;
};

}  // namespace ko
