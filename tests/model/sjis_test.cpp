#include "model/sjis.h"

#include <gtest/gtest.h>

namespace glyphora {
namespace {

TEST(Sjis, LeadByteRanges) {
    EXPECT_FALSE(is_lead_byte(0x80));
    EXPECT_TRUE(is_lead_byte(0x81));
    EXPECT_TRUE(is_lead_byte(0x9F));
    EXPECT_FALSE(is_lead_byte(0xA0));
    EXPECT_FALSE(is_lead_byte(0xDF));  // half-width katakana are single bytes
    EXPECT_TRUE(is_lead_byte(0xE0));
    EXPECT_TRUE(is_lead_byte(0xFB));
    EXPECT_FALSE(is_lead_byte(0xFC));
}

TEST(Sjis, CharAtPairsLeadAndTrailButNotATrailingLead) {
    const std::string text = "A\x81\x40\xB1\x82";
    EXPECT_EQ(char_at(text, 0).code, 'A');
    EXPECT_EQ(char_at(text, 1).code, 0x8140);
    EXPECT_EQ(char_at(text, 1).length, 2);
    EXPECT_EQ(char_at(text, 3).code, 0xB1);
    // A lead byte with nothing after it stands alone.
    EXPECT_EQ(char_at(text, 4).code, 0x82);
    EXPECT_EQ(char_at(text, 4).length, 1);
}

TEST(Sjis, CodesWriteBackAsOneOrTwoBytes) {
    std::string out;
    append_code(out, 0x8140);
    append_code(out, 'x');
    EXPECT_EQ(out, std::string("\x81\x40x"));
    char buf[2];
    EXPECT_EQ(put_code(buf, 0x82A0), 2);
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 0x82);
    EXPECT_EQ(put_code(buf, 0x20), 1);
}

TEST(Sjis, SplitsDoubleByteOnlyOnASecondByte) {
    // "ab" + two double-byte characters: bytes 0..5.
    const std::string text = "ab\x82\xA0\x82\xA2";
    EXPECT_FALSE(splits_double_byte(text, 2));  // first byte of a double-byte character
    EXPECT_TRUE(splits_double_byte(text, 3));   // its second byte
    EXPECT_FALSE(splits_double_byte(text, 4));
    EXPECT_TRUE(splits_double_byte(text, 5));
    EXPECT_FALSE(splits_double_byte(text, 6));  // text ends before
    EXPECT_FALSE(splits_double_byte(text, 60));
    // A lead byte at the end has no second byte: the terminator does not count.
    EXPECT_FALSE(splits_double_byte(std::string("abcdefg\x82"), 8));
    EXPECT_TRUE(splits_double_byte(std::string("abcdefg\x82\xA0"), 8));
}

}  // namespace
}  // namespace glyphora
