#include "shared/WireCodec.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ko
