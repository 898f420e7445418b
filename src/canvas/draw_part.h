#pragma once
// Draws one part on a canvas and gives it its box. The canvas shows the text as typed (flips and borders
// are the renderer's business); the box is the one measure_part computes, so hit tests, alignment and the
// renderer's flipped parts all see the same extent as the canvas.

#include "canvas/canvas_surface.h"
#include "model/part.h"
#include "render/char_width_table.h"

namespace glyphora {

// The icon box of the library canvas: this wide, and the line height plus this high.
constexpr int kIconWidth = 44;
constexpr int kIconExtraHeight = 8;
constexpr int kIconLabelBytes = 4;
constexpr int kIconLabelInset = 4;

// A label is neither drawn nor measured. A part that has not been measured yet (its box is zero) gets
// no glyphs and no opaque fill, only its entity blanks and its frame; the caller draws it a second time
// once it has a box. show_frames frames unselected parts; library draws icon parts as icon boxes;
// temporary marks the temporary rendering (grey cells, no blank declarations), for which blank_colouring
// colours the blanks. widths must be built.
void draw_part(Part& part, CanvasSurface& surface, const CharWidthTable& widths, bool show_frames,
               bool library, bool temporary, bool blank_colouring);

}  // namespace glyphora
