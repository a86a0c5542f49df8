#pragma once

#include <sys/types.h>

#include <string>

namespace ko {

// A private virtual display with a window manager for the screen tests: Xvfb on the first free
// display number and openbox on it. Both end with the test process. The screen tests run on it
// unless KO_TEST_USE_DISPLAY=1 asks for the $DISPLAY already set.
class XvfbSession {
  public:
    XvfbSession() = default;
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    // Starts both and sets DISPLAY; false (with the reason on stderr) when either fails.
    bool Start(int width, int height);
    // Ends the display server only (the window manager follows): a display that goes away.
    void StopServer();
    const std::string& Display() const { return m_display; }

  private:
    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    std::string m_display;
};

// The one session of the test process.
XvfbSession& TestDisplay();

// Runs a command line through the shell and returns its standard output ("" on failure).
std::string RunCommand(const std::string& command);

}  // namespace ko
