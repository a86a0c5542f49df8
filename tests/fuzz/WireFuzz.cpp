// Decoding and burst splitting of what the server sends. The input is one read of the socket as
// it arrives; it is also taken as plain texts (one per line) that are encoded and sent back to
// back, as a server that queues messages does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "shared/WireCodec.h"

namespace {

using ko::WireCodec;

// The fewest pieces that each decode exactly, found the slow and obvious way; nothing when there
// is no such cut. Only used on short reads.
std::size_t FewestExactPieces(std::string_view data) {
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> best(data.size() + 1, kNone);
    best[data.size()] = 0;
    for (std::size_t start = data.size(); start-- > 0;) {
        // A piece is its multiplier and pairs; it grows pair by pair while each pair is exact.
        std::string pair(3, data[start]);
        for (std::size_t end = start + 3; end <= data.size(); end += 2) {
            pair[1] = data[end - 2];
            pair[2] = data[end - 1];
            if (!WireCodec::DecodesExactly(pair)) {
                break;
            }
            if (best[end] != kNone && best[end] + 1 < best[start]) {
                best[start] = best[end] + 1;
            }
        }
    }
    return best[0];
}

void CheckSplit(std::string_view data, std::size_t atMost) {
    const std::vector<std::string> pieces = WireCodec::SplitReceived(data);
    std::string joined;
    for (const std::string& piece : pieces) {
        joined += piece;
    }
    FUZZ_CHECK(joined == data, "the pieces of a read are the read, in order");
    if (data.empty()) {
        return;
    }
    FUZZ_CHECK(!pieces.empty(), "a read gives at least one piece");
    if (WireCodec::DecodesExactly(data)) {
        FUZZ_CHECK(pieces.size() == 1, "a read that decodes exactly stays one message");
    }
    if (pieces.size() > 1) {
        for (const std::string& piece : pieces) {
            FUZZ_CHECK(WireCodec::DecodesExactly(piece), "every piece of a cut decodes exactly");
        }
    }
    FUZZ_CHECK(pieces.size() <= atMost, "no more pieces than messages were sent");
    constexpr std::size_t kReferenceLimit = 1024;
    if (data.size() <= kReferenceLimit) {
        const std::size_t fewest = FewestExactPieces(data);
        if (fewest == std::numeric_limits<std::size_t>::max()) {
            FUZZ_CHECK(pieces.size() == 1, "a read with no exact cut stays one piece");
        } else {
            FUZZ_CHECK(pieces.size() == fewest, "the cut has the fewest pieces");
        }
    }
}

void CheckDecode(std::string_view wire) {
    const std::string text = WireCodec::DecodeMessage(wire);
    const std::size_t pairs = wire.empty() ? 0 : (wire.size() - 1) / 2 + 1;
    FUZZ_CHECK(text.size() <= pairs, "decoding never gives more characters than pairs");
    if (WireCodec::DecodesExactly(wire)) {
        FUZZ_CHECK(text.size() == (wire.size() - 1) / 2, "an exact message loses no character");
        const int k = static_cast<unsigned char>(wire[0]);
        FUZZ_CHECK(WireCodec::DecodeMessage(WireCodec::EncodeMessage(text, k)) == text,
                   "an exact message re-encodes to the same text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);

    // The input as one read from the socket.
    CheckDecode(data);
    CheckSplit(data, std::numeric_limits<std::size_t>::max());

    // The input as plain texts, one per line, each with a multiplier of its own (from its first
    // byte), sent back to back.
    std::string burst;
    std::size_t sent = 0;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        const std::string_view text = data.substr(start, end - start);
        start = end + 1;
        if (text.empty()) {
            continue;
        }
        const int k = 1 + static_cast<unsigned char>(text[0]) % 128;
        const std::string wire = WireCodec::EncodeMessage(text, k);
        FUZZ_CHECK(WireCodec::DecodesExactly(wire), "an encoded message decodes exactly");
        FUZZ_CHECK(WireCodec::DecodeMessage(wire) == text, "decoding gives the text back");
        FUZZ_CHECK(WireCodec::SplitReceived(wire).size() == 1, "one message stays one piece");
        burst += wire;
        ++sent;
    }
    if (sent > 1) {
        CheckSplit(burst, sent);
    }
    return 0;
}
