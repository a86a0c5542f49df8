#include "agent/messages/AdProfile.h"

#include <algorithm>
#include <cmath>

namespace ko {

namespace {

// A day: far beyond any advertisement, and far from overflowing the clock.
constexpr double kLongestDurationSeconds = 86400.0;

}  // namespace

AdProfile AdProfile::Parse(const std::vector<const std::string*>& fields,
                           const RegionalSettings& regional) {
    AdProfile profile;
    auto field = [&fields](std::size_t number) -> const std::string* {
        return number >= 1 && number <= fields.size() ? fields[number - 1] : nullptr;
    };
    if (const std::string* after = field(2)) {
        profile.StartAdAfter = NumberRules::ToInt32(*after, regional).value_or(0);
    }
    std::int32_t count = 0;
    if (const std::string* n = field(3)) {
        count = NumberRules::ToInt16(*n, regional).value_or(0);
    }
    for (std::int32_t i = 1; i <= count; ++i) {
        const std::string* address = field(2 * static_cast<std::size_t>(i) + 2);
        const std::string* duration = field(2 * static_cast<std::size_t>(i) + 3);
        if (address == nullptr || duration == nullptr) {
            break;
        }
        Advertisement ad;
        ad.address = *address;
        if (std::optional<double> seconds = NumberRules::ToDouble(*duration, regional)) {
            ad.durationMs = static_cast<std::int64_t>(
                std::llround(std::clamp(*seconds, -1.0, kLongestDurationSeconds) * 1000.0));
        }
        profile.ads.push_back(std::move(ad));
    }
    return profile;
}

bool AdProfile::Playable() const {
    return std::any_of(ads.begin(), ads.end(),
                       [](const Advertisement& ad) { return ad.durationMs > 0; });
}

std::optional<std::size_t> AdProfile::NextAfter(std::size_t index) const {
    const std::size_t count = ads.size();
    if (!Playable()) {
        return std::nullopt;
    }
    std::size_t candidate = index;
    for (std::size_t tries = 0; tries <= count; ++tries) {
        candidate = candidate + 1 > count ? 1 : candidate + 1;
        if (ads[candidate - 1].durationMs > 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace ko
