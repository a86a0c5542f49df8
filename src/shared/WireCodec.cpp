#include "shared/WireCodec.h"

#include <cstdint>
#include <limits>

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

// A read longer than this is not searched for message boundaries (the search is quadratic in the
// worst case); no server sends such bursts.
constexpr std::size_t kMaxSplitSearch = 64 * 1024;

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
    // pieces[s]: the fewest exact messages that make up data[s..]; next[s]: where the first ends.
    const std::size_t n = data.size();
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> pieces(n + 1, kNone);
    std::vector<std::size_t> next(n + 1, kNone);
    pieces[n] = 0;
    for (std::size_t s = n; s-- > 0;) {
        long k = Code(data[s]);
        if (k < 1 || k > 128) {
            continue;
        }
        // A message carries at least one character: K and one pair.
        for (std::size_t e = s + 1; e + 2 <= n; e += 2) {
            if (!ExactPair(data[e], data[e + 1], k)) {
                break;
            }
            std::size_t end = e + 2;
            if (pieces[end] != kNone && pieces[end] + 1 < pieces[s]) {
                pieces[s] = pieces[end] + 1;
                next[s] = end;
            }
        }
    }
    if (pieces[0] == kNone) {
        return {std::string(data)};
    }
    std::vector<std::string> out;
    for (std::size_t s = 0; s < n; s = next[s]) {
        out.emplace_back(data.substr(s, next[s] - s));
    }
    return out;
}

}  // namespace ko
