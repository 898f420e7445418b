#pragma once
// The box a part gets when the preview canvas draws it: its text as typed (no flips), from its left edge
// and its grid row to the widest pen position and the lowest line that drew a character. The renderer
// starts flipped parts from this box.

#include "model/part.h"
#include "render/char_width_table.h"

namespace glyphora {

// The box the preview canvas would measure for part. A label is never drawn, so its box is returned as
// it is; so is every box while the width table is not built. Values beyond the int32 range are clamped.
Box measure_part(const Part& part, const CharWidthTable& widths);

// Gives every part in use that is not a label and whose box is still all zero the box the canvas would
// give it, so that pages never shown on the canvas render their flipped parts in place.
void measure_unmeasured(Page& page, const CharWidthTable& widths);

}  // namespace glyphora
