#include "platform/ActionResult.h"

#include <cstdlib>
#include <cstring>

namespace ko {

std::string_view ActionResultText(ActionResult result) {
    switch (result) {
        case ActionResult::Done:
            return "done";
        case ActionResult::Failed:
            return "failed";
        case ActionResult::NotSupported:
            return "not supported";
        case ActionResult::DryRun:
            return "dry run";
    }
    return "unknown";
}

bool DryRunRequested() {
    const char* value = std::getenv("OSTREL_DRY_RUN");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace ko
