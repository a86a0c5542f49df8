#include "shared/WireCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace ko {
namespace {

TEST(WireCodec, RoundTripsEveryByteForEveryMultiplier) {
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    for (int k = 1; k <= 128; ++k) {
        std::string wire = WireCodec::EncodeMessage("36|", k);
        ASSERT_EQ(wire.size(), 7u);
        EXPECT_EQ(static_cast<unsigned char>(wire[0]), k);
        EXPECT_EQ(WireCodec::DecodeMessage(wire), "36|");
        std::string encoded = WireCodec::EncodeMessage(all, k);
        EXPECT_TRUE(WireCodec::DecodesExactly(encoded)) << k;
        EXPECT_EQ(WireCodec::DecodeMessage(encoded), all) << k;
    }
}

TEST(WireCodec, UsesDivisor255) {
    // 'z' is 122; with K = 3, 366 = 1 * 255 + 111.
    EXPECT_EQ(WireCodec::EncodeMessage("z", 3), std::string("\x03\x01\x6f", 3));
    // With K = 1 a pair (0, a) is the character a.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\x01\x00\x41\x00\x42", 5)), "AB");
}

TEST(WireCodec, DecodesAPairThatIsNoExactMultipleToTheNearestCharacter) {
    // K = 3: 5 / 3 is 1.67, so code 2; 4 / 3 is 1.33, so code 1.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\x03\x00\x05\x00\x04", 5)),
              std::string("\x02\x01", 2));
    // Halves go to the even code: with K = 2, 5 gives 2 and 7 gives 4.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\x02\x00\x05\x00\x07", 5)),
              std::string("\x02\x04", 2));
    // 366 is one past 'z' * 3: still 'z'.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\x03\x01\x70", 3)), "z");
    EXPECT_FALSE(WireCodec::DecodesExactly(std::string("\x03\x00\x05", 3)));
}

TEST(WireCodec, SkipsAPairAbove16BitsEvenWhenItsQuotientNamesACharacter) {
    // With K = 200, the pair (128, 130) is 32,770: past the 16-bit range, although 32,770 / 200
    // would be the character 164. The pairs around it decode.
    const std::string wire = std::string("\xc8", 1) + std::string("\x00\xc8", 2) +
                             std::string("\x80\x82", 2) + std::string("\x01\x91", 2);
    EXPECT_EQ(WireCodec::DecodeMessage(wire), std::string("\x01\x02", 2));
    // Just inside the range: 32,767 / 200 is 163.8, the character 164.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\xc8\x80\x7f", 3)), "\xa4");
}

TEST(WireCodec, DecodesBrokenTextsLeniently) {
    // Odd remainder: a missing last byte skips that pair only.
    std::string wire = WireCodec::EncodeMessage("AB", 5);
    wire.pop_back();
    EXPECT_EQ(WireCodec::DecodeMessage(wire), "A");
    EXPECT_FALSE(WireCodec::DecodesExactly(wire));
    // An overflowing pair (above 32767) is skipped, the rest decodes.
    std::string overflow = std::string("\x01", 1) + "\xff\xff" + std::string("\x00\x43", 2);
    EXPECT_EQ(WireCodec::DecodeMessage(overflow), "C");
    // A multiplier of 0 yields nothing rather than dividing by zero.
    EXPECT_EQ(WireCodec::DecodeMessage(std::string("\x00\x00\x41", 3)), "");
    EXPECT_EQ(WireCodec::DecodeMessage(""), "");
}

TEST(WireCodec, SplitsABurstIntoTheMessagesItCarries) {
    std::string first = WireCodec::EncodeMessage("33|", 7);
    std::string second = WireCodec::EncodeMessage("34|", 11);
    auto pieces = WireCodec::SplitReceived(first + second);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(WireCodec::DecodeMessage(pieces[0]), "33|");
    EXPECT_EQ(WireCodec::DecodeMessage(pieces[1]), "34|");

    // A read that decodes exactly stays one message.
    std::string one = WireCodec::EncodeMessage("0|a|b|", 1);
    EXPECT_EQ(WireCodec::SplitReceived(one).size(), 1u);

    // A read that cannot be cut into exact messages stays one piece, as before.
    std::string broken = first + "\x05";
    EXPECT_EQ(WireCodec::SplitReceived(broken), std::vector<std::string>{broken});
    EXPECT_TRUE(WireCodec::SplitReceived("").empty());
}

TEST(WireCodec, SplitsThreeStatusMessagesWithTheSameMultiplier) {
    std::string a = WireCodec::EncodeMessage("0|x|||||||||1|", 97);
    std::string b = WireCodec::EncodeMessage("33|", 97);
    std::string c = WireCodec::EncodeMessage("34|", 97);
    auto pieces = WireCodec::SplitReceived(a + b + c);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(WireCodec::DecodeMessage(pieces[2]), "34|");
}

// The plain search the linear one replaced: for every start, every end. Among equally few
// pieces it keeps the latest end, so the first piece is the longest.
std::vector<std::string> QuadraticSplit(std::string_view data) {
    if (data.empty()) {
        return {};
    }
    if (WireCodec::DecodesExactly(data)) {
        return {std::string(data)};
    }
    auto exactPair = [](char high, char low, long k) {
        long v = static_cast<long>(static_cast<unsigned char>(high)) * 255 +
                 static_cast<unsigned char>(low);
        return v <= 32767 && v % k == 0 && v / k <= 255;
    };
    const std::size_t n = data.size();
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> pieces(n + 1, kNone);
    std::vector<std::size_t> next(n + 1, kNone);
    pieces[n] = 0;
    for (std::size_t s = n; s-- > 0;) {
        long k = static_cast<unsigned char>(data[s]);
        if (k < 1 || k > 128) {
            continue;
        }
        for (std::size_t e = s + 1; e + 2 <= n; e += 2) {
            if (!exactPair(data[e], data[e + 1], k)) {
                break;
            }
            std::size_t end = e + 2;
            if (pieces[end] != kNone && pieces[end] + 1 <= pieces[s]) {
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

TEST(WireCodec, SplitPrefersTheLongestFirstPieceAmongEquallyFew) {
    // With K = 1 every pair (0, a) and (1, 0) is exact, so this read has two cuts into two
    // pieces: 01 00 00 | 01 00 01 00 00 and 01 00 00 01 00 | 01 00 00. The second is kept.
    const std::string read("\x01\x00\x00\x01\x00\x01\x00\x00", 8);
    EXPECT_EQ(WireCodec::SplitReceived(read),
              (std::vector<std::string>{read.substr(0, 5), read.substr(5)}));
}

TEST(WireCodec, SplitAgreesWithThePlainSearchOnRandomReads) {
    std::mt19937 random(20261208);
    auto byte = [&](int low, int high) {
        return static_cast<char>(std::uniform_int_distribution<int>(low, high)(random));
    };
    for (int round = 0; round < 3000; ++round) {
        std::string read;
        const int parts = std::uniform_int_distribution<int>(1, 6)(random);
        for (int p = 0; p < parts; ++p) {
            switch (std::uniform_int_distribution<int>(0, 4)(random)) {
                case 0: {  // a real message with a random multiplier
                    std::string text;
                    for (int i = std::uniform_int_distribution<int>(1, 6)(random); i > 0; --i) {
                        text.push_back(byte(0, 255));
                    }
                    read += WireCodec::EncodeMessage(text, byte(1, 128));
                    break;
                }
                case 1:  // zero pairs, exact for every multiplier
                    read.append(static_cast<std::size_t>(2 * (round % 5)), '\0');
                    break;
                case 2:  // small bytes: many short exact pieces and many ties
                    for (int i = std::uniform_int_distribution<int>(1, 9)(random); i > 0; --i) {
                        read.push_back(byte(0, 3));
                    }
                    break;
                case 3:  // a message with K = 1, whose pairs (0, a) look like multipliers
                    read += WireCodec::EncodeMessage(std::string(1, byte(1, 4)), 1);
                    break;
                default:  // noise
                    read.push_back(byte(0, 255));
                    break;
            }
        }
        ASSERT_EQ(WireCodec::SplitReceived(read), QuadraticSplit(read)) << "round " << round;
    }
}

TEST(WireCodec, SplitsACraftedLongReadLikeThePlainSearch) {
    // Every start has a long run of exact pairs, which made the plain search quadratic; the
    // read ends in a byte no cut can take, so the whole read stays one piece.
    std::string read;
    for (int i = 0; i < 4000; ++i) {
        read += std::string("\x01\x00", 2);
    }
    read.push_back('\x01');
    read.push_back('\xff');
    EXPECT_EQ(WireCodec::SplitReceived(read), QuadraticSplit(read));
    // Runs of equal pairs under many multipliers, cut into exact pieces.
    std::string many;
    for (int k = 1; k <= 128; ++k) {
        many += WireCodec::EncodeMessage(std::string(static_cast<std::size_t>(k % 7 + 1), '\0'), k);
        many += WireCodec::EncodeMessage(std::string(3, static_cast<char>(k)), k);
    }
    EXPECT_EQ(WireCodec::SplitReceived(many), QuadraticSplit(many));
}

}  // namespace
}  // namespace ko
