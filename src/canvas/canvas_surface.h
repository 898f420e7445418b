#pragma once
// What painting a canvas draws with: filled rectangles, single glyphs on an opaque cell, short texts and
// frames, all in device-independent pixels. ImageSurface draws into an off-screen image at the image's
// device pixel ratio; tests may record the calls instead.

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <string_view>

#include "canvas/glyph_font.h"
#include "model/part.h"

namespace glyphora {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

namespace canvas_colours {
inline constexpr Rgb kBackground{240, 240, 240};      // canvas and glyph cells
inline constexpr Rgb kTempBackground{192, 192, 192};  // while the temporary rendering is shown
inline constexpr Rgb kTempSpace{192, 192, 160};       // half-width spaces of the temporary rendering
inline constexpr Rgb kTempEntity{160, 192, 160};      // fixed-width blank entities of the temporary rendering
inline constexpr Rgb kText{0, 0, 0};
inline constexpr Rgb kSelectedFrame{255, 0, 0};
inline constexpr Rgb kFrame{0, 0, 0};
inline constexpr Rgb kIconFill{239, 240, 160};
inline constexpr Rgb kIconText{255, 0, 0};
}  // namespace canvas_colours

class CanvasSurface {
  public:
    virtual ~CanvasSurface() = default;
    // Fills [left, right) x [top, bottom).
    virtual void fill(int64_t left, int64_t top, int64_t right, int64_t bottom, Rgb colour) = 0;
    // One character with its cell's top left corner at (x, top), on an opaque cell cell_width wide.
    virtual void glyph(int code, int64_t x, int64_t top, int64_t cell_width, Rgb text, Rgb background) = 0;
    // The same for a character written as a numeric reference, drawn as the character itself.
    virtual void code_point_glyph(char32_t code_point, int64_t x, int64_t top, int64_t cell_width, Rgb text,
                                  Rgb background) = 0;
    // A short text in one output (header, icon label), advancing by the font's own widths.
    virtual void text(std::string_view sjis, int64_t x, int64_t top, Rgb colour, Rgb background) = 0;
    // The closed outline through the corners of box, right and bottom exclusive.
    virtual void frame(const Box& box, Rgb colour, int pen_width) = 0;
};

class ImageSurface : public CanvasSurface {
  public:
    ImageSurface(QImage& image, const GlyphFont& font);
    ~ImageSurface() override;

    void fill(int64_t left, int64_t top, int64_t right, int64_t bottom, Rgb colour) override;
    void glyph(int code, int64_t x, int64_t top, int64_t cell_width, Rgb text, Rgb background) override;
    void code_point_glyph(char32_t code_point, int64_t x, int64_t top, int64_t cell_width, Rgb text,
                          Rgb background) override;
    void text(std::string_view sjis, int64_t x, int64_t top, Rgb colour, Rgb background) override;
    void frame(const Box& box, Rgb colour, int pen_width) override;

  private:
    void draw_glyph(const QRawFont& font, quint32 glyph, int64_t x, int64_t top, Rgb colour);

    QImage& image_;
    QPainter painter_;
    const GlyphFont& font_;
};

}  // namespace glyphora
