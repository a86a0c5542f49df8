#pragma once

#include <string_view>

namespace ko {

// The outcome of an action on the workstation (ending a process, closing a window, powering off,
// deleting files, ...). DryRun means the action was only logged, because OSTREL_DRY_RUN is set: it
// did not happen, and a caller that waits for its effect must not wait for it.
enum class ActionResult {
    Done,
    Failed,
    NotSupported,  // this platform has no such thing (a Start button on Linux, ...)
    DryRun,
};

constexpr bool Succeeded(ActionResult result) {
    return result == ActionResult::Done;
}

std::string_view ActionResultText(ActionResult result);

// True when OSTREL_DRY_RUN is set to anything but "" or "0": destructive actions (power, log-off,
// ending processes, closing other programs' windows, deleting files) are logged, not performed.
// Read at every call, so a test may switch it.
bool DryRunRequested();

}  // namespace ko
