#include "fakes/FakeHookLibrary.h"

namespace ko {

bool FakeHookLibrary::Call(const std::string& name, const std::string& hook, bool set) {
    m_calls.push_back(name);
    if (m_missing || m_missingFunctions.count(name) != 0) {
        return false;
    }
    if (!hook.empty()) {
        if (set) {
            m_set.insert(hook);
        } else {
            m_set.erase(hook);
        }
    }
    return true;
}

void FakeHookLibrary::Notify(HookNotice notice, WindowId window) {
    if (m_handler && (IsSet("shell") || IsSet("cbt"))) {
        m_handler(notice, window);
    }
}

}  // namespace ko
