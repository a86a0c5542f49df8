#include "platform/linux/AnsiText.h"

#include <gtest/gtest.h>

namespace ko {
namespace {

TEST(AnsiText, EveryByteOfTheCodePageRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80 \x93q\x94"), "café € “q”");
    EXPECT_EQ(Utf8ToAnsi("café € “q” Ÿ"), "caf\xE9 \x80 \x93q\x94 \x9F");
}

TEST(AnsiText, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
    // Outside the code page: Greek, a CJK character, an emoji (four bytes).
    EXPECT_EQ(Utf8ToAnsi("α日😀x"), "???x");
    // Malformed: a lone continuation byte, a cut sequence, an overlong slash, a surrogate.
    EXPECT_EQ(Utf8ToAnsi("a\x80"
                         "b"),
              "a?b");
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82"), "??");
    EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");
}

}  // namespace
}  // namespace ko
