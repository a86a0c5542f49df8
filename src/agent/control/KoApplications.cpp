#include "agent/control/KoApplications.h"

#include <algorithm>

#include "agent/control/ControlContext.h"
#include "agent/control/LogonProfile.h"
#include "agent/control/ProfileDocument.h"
#include "platform/UserSession.h"
#include "shared/AsciiCase.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/NumberRules.h"
#include "shared/WatcherChannel.h"

namespace ko {

namespace {

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

KoApplications::KoApplications(ControlContext& context, ProfileDocument& profile)
    : m_ctx(context), m_profile(profile) {}

KoApplications::~KoApplications() {
    for (auto& [id, close] : m_closing) {
        m_ctx.loop.RemoveTimer(close.timer);
    }
}

std::string KoApplications::KeyOf(WindowId window) {
    return NumberRules::Format(std::int64_t{window}) + "K";
}

std::string KoApplications::FieldText(std::string text) {
    std::replace(text.begin(), text.end(), '|', '\xA6');
    return text;
}

void KoApplications::CreateApplicationList() {
    m_items.clear();
}

bool KoApplications::Add(KoApplication item) {
    const std::string key = KeyOf(item.hWnd);
    for (const auto& entry : m_items) {
        if (entry.first == key) {
            return false;
        }
    }
    m_items.emplace_back(key, std::move(item));
    return true;
}

void KoApplications::Remove(const std::string& key) {
    m_items.erase(std::remove_if(m_items.begin(), m_items.end(),
                                 [&](const auto& entry) { return entry.first == key; }),
                  m_items.end());
}

bool KoApplications::StillOwned(const KoApplication& item) {
    if (item.process && item.process->HasEnded()) {
        return false;
    }
    std::optional<ko::ProcessId> owner = m_ctx.windows.ProcessOf(item.hWnd);
    return owner && *owner == item.ProcessId;
}

bool KoApplications::IsOwnProcess(ko::ProcessId id) {
    if (id == m_ctx.processes.CurrentProcessId() || m_ctx.processes.IsProtected(id)) {
        return true;
    }
    const std::vector<ko::ProcessId> desktop = m_ctx.windows.DesktopProcesses();
    return std::find(desktop.begin(), desktop.end(), id) != desktop.end();
}

bool KoApplications::MayEnd(const ProcessHandle& process) {
    if (IsOwnProcess(process.Id())) {
        return false;
    }
    std::optional<SessionUser> user = m_ctx.session.LoggedOnUser();
    return user && !user->sid.empty() && process.OwnerSid() == user->sid;
}

std::vector<ApplicationControl::Entry> KoApplications::TrackedApplications() {
    std::vector<Entry> entries;
    for (const auto& [key, item] : m_items) {
        // A window that ended, or whose handle now belongs to another program, is reported as
        // recorded, but its current title is not read from the stranger.
        std::string title = item.WindowTitle;
        if (StillOwned(item)) {
            title = m_ctx.windows.Title(item.hWnd).value_or(title);
        }
        entries.push_back(Entry{NumberRules::Format(std::int64_t{item.hWnd}), FieldText(item.Name),
                                FieldText(title)});
    }
    return entries;
}

void KoApplications::HideAll() {
    m_orderBeforeLock.clear();
    if (!m_items.empty()) {
        m_orderBeforeLock = m_ctx.windows.TopLevelWindows();
    }
    for (const auto& [key, item] : m_items) {
        if (StillOwned(item)) {
            m_ctx.windows.Hide(item.hWnd);
        }
    }
}

void KoApplications::ShowAll() {
    // Hiding a window looks like its end to the hook library, so ends are not taken from the
    // notices while locked; they are taken here instead.
    std::vector<std::pair<std::string, KoApplication>> kept;
    for (auto& entry : m_items) {
        if (StillOwned(entry.second)) {
            kept.push_back(std::move(entry));
        }
    }
    m_items = std::move(kept);
    // Lowest first; a window the desktop did not list before the lock goes beneath the others.
    const auto depth = [this](WindowId window) {
        const auto at = std::find(m_orderBeforeLock.begin(), m_orderBeforeLock.end(), window);
        return at == m_orderBeforeLock.end()
                   ? m_orderBeforeLock.size()
                   : static_cast<std::size_t>(at - m_orderBeforeLock.begin());
    };
    std::vector<WindowId> showing;
    for (const auto& entry : m_items) {
        showing.push_back(entry.second.hWnd);
    }
    std::stable_sort(showing.begin(), showing.end(),
                     [&](WindowId a, WindowId b) { return depth(a) > depth(b); });
    for (WindowId window : showing) {
        m_ctx.windows.Show(window);
    }
    m_orderBeforeLock.clear();
}

void KoApplications::CleanUp(std::function<void()> done) {
    auto items = std::move(m_items);
    m_items.clear();
    // One count for the loop itself, so that closes settling while it runs (a dry run settles
    // at once) cannot finish the clean-up early or twice.
    auto remaining = std::make_shared<std::size_t>(1);
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    auto oneSettled = [remaining, finish] {
        if (--*remaining == 0 && *finish) {
            (*finish)();
        }
    };
    for (const auto& [key, item] : items) {
        if (StillOwned(item) && !IsOwnProcess(item.ProcessId)) {
            ++*remaining;
            CloseWindowProcess(item.hWnd, oneSettled);
        }
    }
    oneSettled();
}

void KoApplications::CloseWindow(std::int32_t windowHandle) {
    CloseWindowProcess(static_cast<WindowId>(windowHandle));
}

void KoApplications::EndApplication(const std::string& key) {
    for (const auto& [itemKey, item] : m_items) {
        if (itemKey == key) {
            if (StillOwned(item) && !IsOwnProcess(item.ProcessId)) {
                CloseWindowProcess(item.hWnd);
            }
            Remove(key);
            return;
        }
    }
}

void KoApplications::CloseWindowProcess(WindowId window, std::function<void()> done) {
    auto settleNow = [&] {
        if (done) {
            m_ctx.loop.Post([done] { Guarded("close settled", done); });
        }
    };
    if (!m_ctx.windows.Available()) {
        Logger::Debug("applications: closing window " + NumberRules::Format(std::int64_t{window}) +
                      ": not supported without a desktop");
        settleNow();
        return;
    }
    std::optional<ko::ProcessId> owner = m_ctx.windows.ProcessOf(window);
    if (!owner || IsOwnProcess(*owner)) {
        settleNow();
        return;
    }
    // The process is opened before it is asked anything: what is ended later is this process,
    // whatever happens to its id or its window meanwhile.
    std::unique_ptr<ProcessHandle> process = m_ctx.processes.Open(*owner);
    const ActionResult asked = m_ctx.windows.RequestClose(window);
    if (!process) {
        settleNow();
        return;
    }
    const std::uint64_t id = m_nextClose++;
    PendingClose& pending = m_closing[id];
    pending.process = std::move(process);
    pending.done = std::move(done);
    if (asked == ActionResult::DryRun) {
        // Nothing was closed, so nothing is awaited; the ending is logged as well.
        Settle(id, true);
        return;
    }
    pending.timer = m_ctx.loop.AddTimer([this, id] { Settle(id, true); });
    m_ctx.loop.SetTimerInterval(pending.timer, kCloseWaitMs);
    pending.process->AwaitEnd([this, id] { Settle(id, false); });
}

void KoApplications::Settle(std::uint64_t id, bool terminate) {
    auto it = m_closing.find(id);
    if (it == m_closing.end()) {
        return;
    }
    auto pending = std::make_shared<PendingClose>(std::move(it->second));
    m_closing.erase(it);
    // This may run inside the timer's tick or the handle's own end notice: both go once that has
    // returned.
    EventLoop& loop = m_ctx.loop;
    if (pending->timer != 0) {
        loop.SetTimerInterval(pending->timer, 0);
    }
    loop.Post([&loop, pending] {
        if (pending->timer != 0) {
            loop.RemoveTimer(pending->timer);
        }
        pending->process.reset();
    });
    ProcessHandle& process = *pending->process;
    if (terminate && !process.HasEnded()) {
        if (MayEnd(process)) {
            const ActionResult result = process.Terminate(0);
            Logger::Debug("applications: ending process " +
                          NumberRules::Format(std::int64_t{process.Id()}) + ": " +
                          std::string(ActionResultText(result)));
        } else {
            Logger::Debug("applications: process " +
                          NumberRules::Format(std::int64_t{process.Id()}) +
                          " is not the user's; it is not ended");
        }
    }
    if (pending->done) {
        Guarded("close settled", pending->done);
    }
}

void KoApplications::DisallowedApplication(WindowId window, const std::string& fileName) {
    const std::string name = AsciiLower(fileName);
    for (const char* own : {"koagent.exe", "kowatch.exe", "koagent", "kowatch"}) {
        if (name == own) {
            return;
        }
    }
    for (const std::string& disallowed :
         LogonProfile::DisallowedApplications(m_profile.Document())) {
        if (!name.empty() && AsciiLower(disallowed) == name) {
            Logger::Debug("applications: " + fileName + " is not allowed; closing it");
            CloseWindowProcess(window);
            return;
        }
    }
}

WindowId KoApplications::FindProgramWindow(const std::string& name) {
    const std::string wanted = AsciiLower(FileNamePart(name));
    std::optional<SessionUser> user = m_ctx.session.LoggedOnUser();
    if (wanted.empty() || !user || user->sid.empty()) {
        return 0;
    }
    std::vector<WindowId> windows;
    bool listed = false;
    for (const ProcessInfo& process : m_ctx.processes.List()) {
        if (process.ownerSid != user->sid ||
            AsciiLower(FileNamePart(process.executable)) != wanted) {
            continue;
        }
        if (!listed) {
            windows = m_ctx.windows.TopLevelWindows();
            listed = true;
        }
        for (WindowId window : windows) {
            if (m_ctx.windows.ProcessOf(window) == process.id) {
                return window;
            }
        }
    }
    return 0;
}

void KoApplications::CloseApplications(const std::vector<std::string>& programs) {
    for (const std::string& program : programs) {
        if (WindowId window = FindProgramWindow(program)) {
            CloseWindowProcess(window);
        }
    }
}

void KoApplications::RunApplications(const std::vector<std::string>& commands) {
    for (const std::string& command : commands) {
        KoRunScript(command);
    }
}

void KoApplications::KoRunScript(const std::string& command) {
    m_ctx.watcher.SendMessageToExe("KOW_Run_Application", command);
}

}  // namespace ko
