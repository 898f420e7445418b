#include <gtest/gtest.h>

#include <string>

#include "posting/page_image.h"

namespace glyphora::posting {
namespace {

// "ＭＳ Ｐゴシック" is not installed here; both fall back to Monapo, whose lines are 18 px apart at 12 pt.
const std::string kFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Ink ink_of(const Gray8Image& image) {
    Ink ink;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) < 255) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

TEST(PageImage, DrawsThePageBlackOnWhiteWithinItsMargin) {
    std::string error;
    auto one = ImageFont::open(kFace, 120, 1, error);
    ASSERT_TRUE(one) << error;
    auto two = ImageFont::open(kFace, 120, 2, error);
    ASSERT_TRUE(two) << error;
    EXPECT_EQ(one->line_height(), 18);
    EXPECT_FALSE(ImageFont::open(kFace, 120, 3, error));

    // Three lines; "&nbsp;" is a 5-pixel blank as a browser shows it, not its letters.
    const std::string text = "\x81\x40WWW\r\n\x81\x40&nbsp;I\r\n\x81\x40\x82\xA0\r\n";
    const Gray8Image a = draw_page_image(text, *one);
    const Gray8Image b = draw_page_image(text, *two);
    EXPECT_EQ(a.height, 2 * kImageMargin + 3 * 18);
    EXPECT_EQ(b.width, 2 * a.width);
    EXPECT_EQ(b.height, 2 * a.height);
    const Ink ia = ink_of(a), ib = ink_of(b);
    ASSERT_GE(ia.right, 0) << "nothing was drawn";
    EXPECT_GE(ia.left, kImageMargin);
    EXPECT_GE(ia.top, kImageMargin);
    EXPECT_LT(ia.right, a.width - kImageMargin + 1);
    EXPECT_LT(ia.bottom, a.height - kImageMargin);
    // Drawn at twice the size, not blown up: the ink lies where the 1x ink lies, scaled.
    EXPECT_NEAR(ib.left, 2 * ia.left, 2);
    EXPECT_NEAR(ib.right, 2 * ia.right + 1, 3);
    // Glyphs are greys over white, with real black in them.
    int black = 0;
    for (uint8_t v : a.pixels) black += v < 64;
    EXPECT_GT(black, 20);
    // The blank entity draws nothing: no "&nbsp;" letters, so the second line holds only the "I".
    const Gray8Image just_i = draw_page_image("\x81\x40\r\n\x81\x40&nbsp;I", *one);
    const Ink ii = ink_of(just_i);
    EXPECT_GT(ii.left, kImageMargin + 11 + 5 - 2);
    EXPECT_LT(ii.right - ii.left, 6);
}

TEST(PageImage, EncodesAPng) {
    Gray8Image image;
    image.width = 3;
    image.height = 2;
    image.pixels = {0, 128, 255, 255, 128, 0};
    const std::string png = encode_png(image);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x03\0\0\0\x02", 8));
    EXPECT_EQ(png[25], 0);  // grey
    image.pixels.pop_back();
    EXPECT_TRUE(encode_png(image).empty());
}

}  // namespace
}  // namespace glyphora::posting
