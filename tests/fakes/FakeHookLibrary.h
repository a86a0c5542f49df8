#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/HookLibrary.h"

namespace ko {

// Records the library calls by their exported names, in order, and tracks which hooks are in
// place. A test makes the whole library or single functions missing, and delivers notices.
class FakeHookLibrary : public HookLibrary {
  public:
    void SetNoticeHandler(NoticeHandler handler) override { m_handler = std::move(handler); }
    bool SetKeyboardHook() override { return Call("SetKeyboardHook", "keyboard", true); }
    bool UnsetKeyboardHook() override { return Call("UnsetKeyboardHook", "keyboard", false); }
    bool SetSaverHook() override { return Call("SetSaverHook", "saver", true); }
    bool UnsetSaverHook() override { return Call("UnsetSaverHook", "saver", false); }
    bool SetShellHook() override { return Call("SetShellHook", "shell", true); }
    bool UnsetShellHook() override { return Call("UnsetShellHook", "shell", false); }
    bool SetCBTHook() override { return Call("SetCBTHook", "cbt", true); }
    bool UnsetCBTHook() override { return Call("UnsetCBTHook", "cbt", false); }
    bool GoOnline() override { return Call("goOnline", "", false); }

    // The library file is absent: every call fails.
    void SetMissing(bool missing) { m_missing = missing; }
    // This export is absent (by its exported name, "SetSaverHook", "goOnline", ...).
    void SetMissingFunction(const std::string& name) { m_missingFunctions.insert(name); }

    // Delivers a notice as the loop would: to the handler, when one is set and a notice hook is
    // in place.
    void Notify(HookNotice notice, WindowId window);

    const std::vector<std::string>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    // "keyboard", "saver", "shell", "cbt".
    bool IsSet(const std::string& hook) const { return m_set.count(hook) != 0; }

  private:
    bool Call(const std::string& name, const std::string& hook, bool set);

    NoticeHandler m_handler;
    std::vector<std::string> m_calls;
    std::set<std::string> m_set;
    std::set<std::string> m_missingFunctions;
    bool m_missing = false;
};

}  // namespace ko
