#pragma once

#include <cstdlib>

namespace ko {

// Sets OSTREL_DRY_RUN for the scope's life: destructive actions are logged, not performed.
class DryRunScope {
  public:
    DryRunScope() { Set(true); }
    ~DryRunScope() { Set(false); }
    DryRunScope(const DryRunScope&) = delete;
    DryRunScope& operator=(const DryRunScope&) = delete;

  private:
    static void Set(bool on) {
#ifdef _WIN32
        _putenv(on ? "OSTREL_DRY_RUN=1" : "OSTREL_DRY_RUN=");
#else
        if (on) {
            ::setenv("OSTREL_DRY_RUN", "1", 1);
        } else {
            ::unsetenv("OSTREL_DRY_RUN");
        }
#endif
    }
};

}  // namespace ko
