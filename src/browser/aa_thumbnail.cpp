#include "browser/aa_thumbnail.h"

#include <algorithm>
#include <memory>

#include "canvas/canvas_surface.h"
#include "canvas/draw_part.h"
#include "model/part.h"
#include "render/measure_part.h"

namespace glyphora {

QImage draw_aa_thumbnail(std::string_view sjis_text, const GlyphFont& font, const CharWidthTable& widths,
                         int cell_width, int cell_height) {
    if (!widths.built || widths.line_height <= 0) return {};
    auto part = std::make_unique<Part>();
    clear_slot(*part);
    part->in_use = true;
    set_text(*part, sjis_text);
    // Measured first, so that the one drawing call draws the glyphs too.
    part->box = measure_part(*part, widths);
    const int width = std::clamp(part->box.right, 1, kThumbnailSourceLimit);
    const int height = std::clamp(part->box.bottom, 1, kThumbnailSourceLimit);
    QImage image(width, height, QImage::Format_RGB32);
    {
        ImageSurface surface(image, font);
        surface.fill(0, 0, width, height, canvas_colours::kBackground);
        draw_part(*part, surface, widths, false, false, false, false);
    }
    const double scale = std::min({1.0, static_cast<double>(std::max(1, cell_width)) / width,
                                   static_cast<double>(std::max(1, cell_height)) / height});
    if (scale >= 1.0) return image;
    return image.scaled(std::max(1, static_cast<int>(width * scale)),
                        std::max(1, static_cast<int>(height * scale)), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

}  // namespace glyphora
