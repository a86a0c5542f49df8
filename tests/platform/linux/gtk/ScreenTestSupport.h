#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "XvfbSession.h"
#include "platform/BrowserWindow.h"
#include "platform/LoopTestSupport.h"
#include "platform/contract/KioskScreensContract.h"
#include "platform/linux/LinuxEventLoop.h"
#include "platform/linux/gtk/GtkBrowserWindow.h"
#include "platform/linux/gtk/GtkKioskScreens.h"

namespace ko {

using RecordedWindow = RecordedWindowEvents;

// Runs script in the page's own world and returns its result as UTF-8 text.
std::string EvaluateInPage(LinuxEventLoop& loop, WebKitWebView* view, const std::string& script);
// Waits until the window is mapped and the window manager has placed it.
bool WaitMapped(LinuxEventLoop& loop, GtkWindow* window);
// The X window id of a GTK window, for xdotool and xwininfo.
unsigned long XidOf(GtkWindow* window);
// Where the window's client area begins on the screen.
void ClientOrigin(GtkWindow* window, int& x, int& y);
// A local port that nothing listens on.
int ClosedPort();

// A loop with the screens open on the test display, and pages written to a temporary folder.
class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A page file; returns its path.
    std::string WritePage(const std::string& name, const std::string& html);
    GtkBrowserWindow& CreateWindow(RecordedWindow& events, BrowserWindowSpec spec = {});
    // Navigates and waits for the completion.
    bool Load(GtkBrowserWindow& window, RecordedWindow& events, const std::string& url);
    std::string Evaluate(GtkBrowserWindow& window, const std::string& script) {
        return EvaluateInPage(m_loop, window.NativeView(), script);
    }
    bool WaitMapped(GtkBrowserWindow& window) {
        return ko::WaitMapped(m_loop, window.NativeWindow());
    }
    // Pumps the loop for a while (events from the X server and the web process).
    void Settle(int ms) {
        RunFor(m_loop, ms, [] { return false; });
    }

    LinuxEventLoop m_loop;
    std::unique_ptr<GtkKioskScreens> m_screens;
    std::vector<std::unique_ptr<BrowserWindow>> m_windows;
    std::string m_folder;
};

}  // namespace ko
