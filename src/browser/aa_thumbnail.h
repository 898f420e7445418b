#pragma once
// An AA drawn as a picture: the glyphs the canvases draw, at the canvas's own pixel size, scaled down to fit
// a cell. Runs on any thread, each with a GlyphFont of its own (the font keeps caches); the width table is
// only read.

#include <QImage>

#include <string_view>

#include "canvas/glyph_font.h"
#include "render/char_width_table.h"

namespace glyphora {

// The largest stretch of an AA that is drawn before scaling, in pixels each way: a taller or wider AA
// shows its top left part.
constexpr int kThumbnailSourceLimit = 2400;

// A null image when widths are not built.
QImage draw_aa_thumbnail(std::string_view sjis_text, const GlyphFont& font, const CharWidthTable& widths,
                         int cell_width, int cell_height);

}  // namespace glyphora
