#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "agent/control/ApplicationControl.h"
#include "platform/DesktopWindows.h"
#include "platform/EventLoop.h"
#include "platform/Processes.h"

namespace ko {

struct ControlContext;
class ProfileDocument;

// One tracked application window. The process is opened when the window is recorded, so the item
// keeps naming that process even after its id or the window handle is reused.
struct KoApplication {
    WindowId hWnd = 0;
    ko::ProcessId ProcessId = 0;
    std::string Name;
    bool Desktop = true;
    std::string WindowTitle;
    std::shared_ptr<ProcessHandle> process;
};

// `KoApplications`, the list of application windows customers open, and the closing of windows
// and programs: politely first, then, 500 ms later, by ending the process opened before asking.
// The wait runs on the loop.
class KoApplications : public ApplicationControl {
  public:
    static constexpr std::uint32_t kCloseWaitMs = 500;

    KoApplications(ControlContext& context, ProfileDocument& profile);
    ~KoApplications() override;
    KoApplications(const KoApplications&) = delete;
    KoApplications& operator=(const KoApplications&) = delete;

    // ApplicationControl
    void CreateApplicationList() override;
    void CleanUp() override { CleanUp(nullptr); }
    void CloseWindow(std::int32_t windowHandle) override;
    void EndApplication(const std::string& key) override;
    std::vector<Entry> TrackedApplications() override;

    // Closes every listed window and forgets the list; done runs from the loop once every
    // program asked to close has ended or been ended.
    void CleanUp(std::function<void()> done);
    // Adds an item under its key (handle in decimal + "K"); false when the key is taken.
    bool Add(KoApplication item);
    void Remove(const std::string& key);
    std::size_t Count() const { return m_items.size(); }
    static std::string KeyOf(WindowId window);

    // Hides or shows every listed window that still belongs to its program; at showing, items
    // whose window ended (or went to another program) while the workstation was locked go.
    // Showing brings a window to the top, so the windows come back lowest first, in the order
    // the desktop had them before the lock.
    void HideAll();
    void ShowAll();

    // Asks the window to close, ends its program 500 ms later if it is still there. done (may be
    // empty) runs from the loop when that is settled.
    void CloseWindowProcess(WindowId window, std::function<void()> done = nullptr);
    // Closes the window when its program is on the profile's disallowed list.
    void DisallowedApplication(WindowId window, const std::string& fileName);
    // The profile's "Close" list: the main window of each program of the logged-on user.
    void CloseApplications(const std::vector<std::string>& programs);
    // The profile's "Start" list, through the watcher.
    void RunApplications(const std::vector<std::string>& commands);
    void KoRunScript(const std::string& command);
    // The first top-level window of the logged-on user's process running that program.
    WindowId FindProgramWindow(const std::string& name);

    // True when the window still belongs to the process the item recorded.
    bool StillOwned(const KoApplication& item);
    // True when ending this process is allowed: a process of the logged-on user, never the
    // agent, the watcher or the desktop's own processes.
    bool MayEnd(const ProcessHandle& process);

    // "|" separates the server's fields: in names and titles it becomes the broken bar.
    static std::string FieldText(std::string text);

  private:
    struct PendingClose {
        std::unique_ptr<ProcessHandle> process;
        EventLoop::TimerId timer = 0;
        std::function<void()> done;
    };

    void Settle(std::uint64_t id, bool terminate);
    bool IsOwnProcess(ProcessId id);

    ControlContext& m_ctx;
    ProfileDocument& m_profile;
    // In insertion order, as the list enumerates.
    std::vector<std::pair<std::string, KoApplication>> m_items;
    // The desktop's windows, topmost first, as they stood when the lock hid the list.
    std::vector<WindowId> m_orderBeforeLock;
    std::map<std::uint64_t, PendingClose> m_closing;
    std::uint64_t m_nextClose = 1;
};

}  // namespace ko
