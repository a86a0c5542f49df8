#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shared/NumberRules.h"

namespace ko {

// The advertisement profile of server message 32: the idle time before advertising starts and
// the advertisements, each an address and the seconds it shows. Kept in memory only.
struct AdProfile {
    struct Advertisement {
        std::string address;
        // 0 or less: the advertisement is skipped.
        std::int64_t durationMs = 0;
    };

    // Seconds of idleness before the window opens; 0 or less means no idle count.
    std::int32_t StartAdAfter = 0;
    std::vector<Advertisement> ads;

    // Field 2 is the idle time, field 3 the count N, then address and duration of each
    // advertisement (fields 2i + 2 and 2i + 3). fieldCount is how many fields this message
    // carried: a count beyond them would read an earlier message's leftovers, so advertisements
    // end with the fields.
    template <std::size_t N>
    static AdProfile FromFields(const std::array<std::string, N>& fields, std::size_t fieldCount,
                                const RegionalSettings& regional);

    // Some advertisement has a positive duration: without one there is nothing to show and the
    // search for the next would never end.
    bool Playable() const;
    // The 1-based index of the advertisement after `index` (0: none yet) in profile order,
    // starting again with the first after the last and skipping those that do not show.
    std::optional<std::size_t> NextAfter(std::size_t index) const;

  private:
    static AdProfile Parse(const std::vector<const std::string*>& fields,
                           const RegionalSettings& regional);
};

template <std::size_t N>
AdProfile AdProfile::FromFields(const std::array<std::string, N>& fields, std::size_t fieldCount,
                                const RegionalSettings& regional) {
    std::vector<const std::string*> present;
    // present[0] is field 1.
    for (std::size_t i = 1; i < N && i <= fieldCount; ++i) {
        present.push_back(&fields[i]);
    }
    return Parse(present, regional);
}

}  // namespace ko
