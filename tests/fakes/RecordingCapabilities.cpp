#include "fakes/RecordingCapabilities.h"

#include <algorithm>

namespace ko {

bool RecordingCapabilities::Saw(const std::string& call) const {
    return Count(call) > 0;
}

int RecordingCapabilities::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

std::string RecordingCapabilities::LocationName() {
    std::string name = location.substr(0, location.find('?'));
    auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace ko
