#pragma once

#include <windows.h>

namespace ko {

// A lock for the few places another thread touches (tasks posted from the service control
// thread). The XP-bound build has no std::mutex, so this is the system's own.
class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }

    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // Holds the lock for the scope's life.
    class Scope {
      public:
        explicit Scope(CriticalSection& lock) : m_lock(lock) {
            EnterCriticalSection(&m_lock.m_section);
        }
        ~Scope() { LeaveCriticalSection(&m_lock.m_section); }

        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        CriticalSection& m_lock;
    };

  private:
    CRITICAL_SECTION m_section;
};

}  // namespace ko
