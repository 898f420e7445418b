#include "canvas/canvas_surface.h"

#include <QGlyphRun>

#include <algorithm>
#include <cmath>

#include "model/sjis.h"

namespace glyphora {

namespace {

QColor qcolor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

// Far-away parts are legal (there is no page size); keep coordinates where Qt's int geometry is exact.
int clamp_coordinate(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -100000, 100000));
}

}  // namespace

ImageSurface::ImageSurface(QImage& image, const GlyphFont& font)
    : image_(image), painter_(&image), font_(font) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
}

ImageSurface::~ImageSurface() = default;

void ImageSurface::fill(int64_t left, int64_t top, int64_t right, int64_t bottom, Rgb colour) {
    if (right <= left || bottom <= top) return;
    const int l = clamp_coordinate(left), t = clamp_coordinate(top);
    const int r = clamp_coordinate(right), b = clamp_coordinate(bottom);
    painter_.fillRect(QRect(l, t, r - l, b - t), qcolor(colour));
}

void ImageSurface::draw_glyph(const QRawFont& font, quint32 glyph, int64_t x, int64_t top, Rgb colour) {
    // Nothing to do for glyphs wholly outside the image.
    const QSizeF extent = image_.deviceIndependentSize();
    if (x > extent.width() || top > extent.height() || x < -200 || top < -200) return;
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    painter_.setPen(qcolor(colour));
    // Each glyph is placed on its own at its position in device-independent pixels; the painter scales
    // the outline to the device pixels, so nothing drifts from where the width table puts it. At a
    // fractional ratio the origin snaps to the device pixel its cell starts at.
    const qreal ratio = image_.devicePixelRatio();
    const auto snapped = [ratio](int64_t v) { return std::round(static_cast<double>(v) * ratio) / ratio; };
    painter_.drawGlyphRun(QPointF(snapped(x), snapped(top + font_.ascent())), run);
}

void ImageSurface::glyph(int code, int64_t x, int64_t top, int64_t cell_width, Rgb text, Rgb background) {
    fill(x, top, x + cell_width, top + font_.text_height(), background);
    const quint32 g = font_.glyph(code);
    if (g != GlyphFont::kNoGlyph) draw_glyph(font_.raw(), g, x, top, text);
}

void ImageSurface::code_point_glyph(char32_t code_point, int64_t x, int64_t top, int64_t cell_width, Rgb text,
                                    Rgb background) {
    fill(x, top, x + cell_width, top + font_.text_height(), background);
    // On the baseline of the drawing font, whichever font the glyph comes from.
    const GlyphFont::CodePointGlyph g = font_.code_point_glyph(code_point);
    if (g.font && g.index != GlyphFont::kNoGlyph) draw_glyph(*g.font, g.index, x, top, text);
}

void ImageSurface::text(std::string_view sjis, int64_t x, int64_t top, Rgb colour, Rgb background) {
    std::size_t pos = 0;
    while (pos < sjis.size()) {
        const SjisChar c = char_at(sjis, pos);
        pos += static_cast<std::size_t>(c.length);
        const int advance = font_.advance(c.code);
        glyph(c.code, x, top, advance, colour, background);
        x += advance;
    }
}

void ImageSurface::frame(const Box& box, Rgb colour, int pen_width) {
    const int64_t l = box.left, t = box.top, r = box.right - 1, b = box.bottom - 1;
    if (pen_width <= 1) {
        fill(l, t, r + 1, t + 1, colour);  // top, (l,t) to (r,t)
        fill(r, t, r + 1, b + 1, colour);  // right
        fill(l, b, r + 1, b + 1, colour);  // bottom
        fill(l, t, l + 1, b + 1, colour);  // left
        return;
    }
    // A 2-pixel pen lies on the outline and one pixel beside it, outward on the top and left edges and
    // inward on the right and bottom ones, as a wide pen centred on the outline does.
    fill(l - 1, t - 1, r + 1, t + 1, colour);
    fill(r - 1, t - 1, r + 1, b + 1, colour);
    fill(l - 1, b - 1, r + 1, b + 1, colour);
    fill(l - 1, t - 1, l + 1, b + 1, colour);
}

}  // namespace glyphora
