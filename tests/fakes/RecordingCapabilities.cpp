#include "fakes/RecordingCapabilities.h"

#include <algorithm>

namespace ko {

bool RecordingCapabilities::Saw(const std::string& call) const {
    return Count(call) > 0;
}

int RecordingCapabilities::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace ko
