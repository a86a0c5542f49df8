#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ko {

// The link's light scrambling. A message text of n bytes travels as 1 + 2n bytes: the multiplier
// K (1 to 128), then for every byte a the pair (a*K div 255, a*K mod 255). The divisor is 255,
// not 256; both sides have always used it.
class WireCodec {
  public:
    // Any fixed multiplier from 1 to 128 will do; the receiver reads it from each message.
    static constexpr int kAgentMultiplier = 97;

    static std::string EncodeMessage(std::string_view text, int multiplier = kAgentMultiplier);

    // Decodes leniently, as the link always has: the pair count is half the remaining length
    // rounded to even, a pair that is missing a byte or overflows 16 bits is skipped, and each
    // character is the nearest whole number to v / K. A multiplier of 0 yields nothing.
    static std::string DecodeMessage(std::string_view wire);

    // True when the wire text is one well-formed message: a multiplier from 1 to 128, an even
    // number of bytes after it, and every pair an exact multiple of K that names a byte.
    static bool DecodesExactly(std::string_view wire);

    // The link has no framing, so one read may carry several messages. A read that decodes
    // exactly stays one message. Otherwise it is cut into the fewest pieces that each decode
    // exactly, and among equally few cuts the one with the longest first piece (then the longest
    // second, and so on); when no such cut exists the read stays one (broken) piece. The search
    // takes time linear in the read, so a crafted read cannot hold the loop.
    static std::vector<std::string> SplitReceived(std::string_view data);
};

}  // namespace ko
