#include "shared/WireCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>

namespace ko {

namespace {

unsigned Code(char c) {
    return static_cast<unsigned char>(c);
}

// The pair value in the 16-bit arithmetic of the wire form; negative when it overflows.
long PairValue(char high, char low) {
    long v = static_cast<long>(Code(high)) * 255 + Code(low);
    return v > std::numeric_limits<std::int16_t>::max() ? -1 : v;
}

// Nearest whole number to v / k, halves to even.
long DivideRoundEven(long v, long k) {
    long q = v / k;
    long r2 = (v % k) * 2;
    if (r2 > k || (r2 == k && (q % 2) != 0)) {
        ++q;
    }
    return q;
}

bool ExactPair(char high, char low, long k) {
    long v = PairValue(high, low);
    return v >= 0 && v % k == 0 && v / k <= 255;
}

// A read longer than this is not searched for message boundaries; the search is linear, but
// its tables take a few words per byte. Both socket adapters hand over at most about 256 KB per
// read.
constexpr std::size_t kMaxSplitSearch = 512 * 1024;

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// The ends that a piece may reach, kept for one parity of position while the search walks from
// the end of the read to its start. Entries run from the largest position (bottom) to the
// smallest (top) with piece counts that never grow towards the bottom; an end that a smaller
// position beats on count can never be the best choice again, because every later range that
// holds it also holds that smaller position.
class EndStack {
  public:
    void Push(std::uint32_t position, std::uint32_t pieces) {
        // An equal count stays: among equally few pieces the longer first piece wins.
        while (!m_entries.empty() && m_entries.back().pieces > pieces) {
            m_entries.pop_back();
        }
        m_entries.push_back(Entry{position, pieces});
    }

    // The end with the fewest pieces among all pushed ends up to last (the largest such end on a
    // tie); every end pushed so far lies at or after the range's first position.
    const std::uint32_t* Best(std::uint32_t last, std::uint32_t& pieces) const {
        // Positions fall from bottom to top: find the first entry at or before last.
        auto it = std::partition_point(m_entries.begin(), m_entries.end(),
                                       [last](const Entry& e) { return e.position > last; });
        if (it == m_entries.end()) {
            return nullptr;
        }
        pieces = it->pieces;
        return &it->position;
    }

  private:
    struct Entry {
        std::uint32_t position;
        std::uint32_t pieces;
    };
    std::vector<Entry> m_entries;
};

}  // namespace

std::string WireCodec::EncodeMessage(std::string_view text, int multiplier) {
    std::string out;
    out.reserve(1 + 2 * text.size());
    out.push_back(static_cast<char>(multiplier));
    for (char c : text) {
        long v = static_cast<long>(Code(c)) * multiplier;
        out.push_back(static_cast<char>(v / 255));
        out.push_back(static_cast<char>(v % 255));
    }
    return out;
}

std::string WireCodec::DecodeMessage(std::string_view wire) {
    std::string out;
    if (wire.empty()) {
        return out;
    }
    long k = Code(wire[0]);
    std::string_view rest = wire.substr(1);
    // The pair count is half the remaining length, halves to even.
    std::size_t m = rest.size() / 2;
    if (rest.size() % 2 == 1 && m % 2 == 1) {
        ++m;
    }
    if (k == 0) {
        return out;  // every division fails: nothing decodes
    }
    out.reserve(m);
    for (std::size_t i = 0; i < m; ++i) {
        if (2 * i + 1 >= rest.size()) {
            continue;  // missing character: the step is skipped
        }
        long v = PairValue(rest[2 * i], rest[2 * i + 1]);
        if (v < 0) {
            continue;  // overflowing pair: the step is skipped
        }
        long c = DivideRoundEven(v, k);
        if (c > 255) {
            continue;  // no such character: the step is skipped
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

bool WireCodec::DecodesExactly(std::string_view wire) {
    if (wire.empty() || (wire.size() - 1) % 2 != 0) {
        return false;
    }
    long k = Code(wire[0]);
    if (k < 1 || k > 128) {
        return false;
    }
    for (std::size_t i = 1; i + 1 < wire.size(); i += 2) {
        if (!ExactPair(wire[i], wire[i + 1], k)) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> WireCodec::SplitReceived(std::string_view data) {
    if (data.empty()) {
        return {};
    }
    if (DecodesExactly(data) || data.size() > kMaxSplitSearch) {
        return {std::string(data)};
    }
    // A piece starting at s has the multiplier K = data[s] and is followed by whole pairs, each an
    // exact multiple of K: it may end after any of the first run(s) pairs, where run(s) counts the
    // exact pairs in a row from s + 1. The search walks from the end of the read to its start:
    // pieces(s) is the fewest exact messages that make up data[s..], next[s] where the first of
    // them ends (the latest end on a tie). Every step is cheap, so the search is linear in the
    // read: the runs are counted once per multiplier and position, skipping stretches of equal
    // pairs at once, and the best end of a range comes from a stack of candidate ends.
    const auto n = static_cast<std::uint32_t>(data.size());

    // same[i]: how many equal pairs follow each other from position i (in steps of two), at most
    // 65,535 at a time. Filled from the right, one position ahead of the search.
    std::unique_ptr<std::uint16_t[]> same(new std::uint16_t[n + 3]);
    same[n] = same[n + 1] = same[n + 2] = 0;
    auto fillSame = [&](std::uint32_t i) {
        if (i + 1 >= n) {
            same[i] = 0;
        } else if (i + 3 < n && data[i + 2] == data[i] && data[i + 3] == data[i + 1] &&
                   same[i + 2] < std::numeric_limits<std::uint16_t>::max()) {
            same[i] = static_cast<std::uint16_t>(same[i + 2] + 1);
        } else {
            same[i] = 1;
        }
    };

    // Per multiplier and parity of pair position: the last position whose run is known, and the
    // run there. Positions are visited from right to left, so each one is walked at most once per
    // multiplier for which its pair is exact (an exact pair names a byte, so only the few divisors
    // of its value qualify, or every multiplier for a stretch of zero pairs, skipped whole).
    std::array<std::array<std::uint32_t, 2>, 129> knownAt{};
    std::array<std::array<std::uint32_t, 2>, 129> knownRun{};
    for (auto& entry : knownAt) {
        entry = {kNone, kNone};
    }
    auto runFrom = [&](std::uint32_t first, long k) {
        std::uint32_t& cursor = knownAt[static_cast<std::size_t>(k)][first % 2];
        std::uint32_t& cursorRun = knownRun[static_cast<std::size_t>(k)][first % 2];
        std::uint32_t run = 0;
        std::uint32_t i = first;
        for (;;) {
            if (i == cursor) {
                run += cursorRun;
                break;
            }
            if (i + 1 >= n) {
                break;
            }
            if (!ExactPair(data[i], data[i + 1], k)) {
                break;
            }
            std::uint32_t until = i + 2 * static_cast<std::uint32_t>(same[i]);
            if (cursor != kNone && cursor > i && cursor < until) {
                until = cursor;
            }
            run += (until - i) / 2;
            i = until;
        }
        cursor = first;
        cursorRun = run;
        return run;
    };

    // Only the piece counts of the last four positions are needed (an end is offered to the
    // stacks three bytes after it is computed); next[s] is kept for the whole read.
    std::unique_ptr<std::uint32_t[]> next(new std::uint32_t[n + 1]);
    std::array<std::uint32_t, 4> pieces{kNone, kNone, kNone, kNone};
    std::array<EndStack, 2> ends;
    pieces[n % 4] = 0;
    next[n] = kNone;
    for (std::uint32_t s = n; s-- > 0;) {
        fillSame(s + 1);
        // The shortest piece from s ends at s + 3; from now on that end is in every range.
        if (s + 3 <= n && pieces[(s + 3) % 4] != kNone) {
            ends[(s + 3) % 2].Push(s + 3, pieces[(s + 3) % 4]);
        }
        pieces[s % 4] = kNone;
        next[s] = kNone;
        long k = Code(data[s]);
        if (k < 1 || k > 128 || s + 3 > n) {
            continue;
        }
        std::uint32_t run = runFrom(s + 1, k);
        if (run == 0) {
            continue;
        }
        std::uint32_t best = 0;
        const std::uint32_t* end = ends[(s + 1) % 2].Best(s + 1 + 2 * run, best);
        if (end != nullptr) {
            pieces[s % 4] = best + 1;
            next[s] = *end;
        }
    }
    if (pieces[0] == kNone) {
        return {std::string(data)};
    }
    std::vector<std::string> out;
    out.reserve(pieces[0]);
    for (std::uint32_t s = 0; s < n; s = next[s]) {
        out.emplace_back(data.substr(s, next[s] - s));
    }
    return out;
}

}  // namespace ko
