#pragma once
// A rendered page as a picture to share: its text drawn with the rendering font (FreeType, the same font
// file and pixel size the widths were measured with, unhinted, grey antialiasing), black on white, with an
// 8 px margin, lines line_height apart, at 1x or 2x. The PNG is written with libpng.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_io.h"

namespace glyphora::posting {

struct Gray8Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // row-major, 0 black .. 255 white
    uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

constexpr int kImageMargin = 8;

class ImageFont {
  public:
    // face in Shift_JIS, size in tenths of a point, scale 1 or 2; nullptr with a message when no usable
    // font was found.
    static std::unique_ptr<ImageFont> open(const std::string& face_sjis, int point_tenths, int scale,
                                           std::string& error);
    ~ImageFont();

    int scale() const;
    int ascent() const;       // at 1x, in pixels
    int line_height() const;  // at 1x: the text height + 2, as the width table has it

    struct Impl;

  private:
    ImageFont() = default;
    std::unique_ptr<Impl> impl_;
    friend Gray8Image draw_page_image(std::string_view, ImageFont&);
};

// Draws the rendered text (Shift_JIS, CR LF lines, numeric references drawn as their characters). Each
// glyph sits at the sum of the advances before it on its line (the font's own unhinted advances, rounded
// to whole pixels at 1x) times the scale, on the line's baseline.
Gray8Image draw_page_image(std::string_view rendered_sjis, ImageFont& font);

// PNG bytes of an 8-bit grey image; empty on failure.
std::string encode_png(const Gray8Image& image);
IoResult write_png(const std::string& path, const Gray8Image& image);

}  // namespace glyphora::posting
