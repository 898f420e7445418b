#pragma once
// render_page: one preview page in, its Shift_JIS text out. The parts are laid out in slot order onto 80
// lines of pixel-positioned cells (a later part covers what its cells touch), then each line is written
// left to right with every run of empty pixels turned into space items of the same width. A numeric
// character reference is one cell of its character's width and is written as its part wrote it.

#include <cstddef>

#include "model/books.h"
#include "model/mirror_table.h"
#include "render/char_width_table.h"
#include "render/error_report.h"
#include "render/render_line.h"
#include "render/text_buffer.h"

namespace glyphora {

constexpr int kRenderLines = 80;

// The renderer's working storage, cleared by every render_page call. About 2.5 MB: allocate it once with
// std::make_unique and reuse it.
struct RenderWorkspace {
    RenderLine lines[kRenderLines];
    LineCell scratch[kCellsPerLine];  // one line with its gaps filled, while it is written
    ReferenceSpellings references;    // the bytes of the reference cells
    // The widths of the code points met, each in the slot of its code point modulo the size.
    struct CachedWidth {
        char32_t code_point = 0;  // 0: empty (no reference is of code point 0)
        CodePointWidth width;
    };
    CachedWidth code_point_widths[256];
    bool fractional = false;  // a cell of a fractional width was placed
};

struct RenderOutput {
    bool has_content = false;         // some line had a cell; false means there is nothing to output
    char text[kOutputCapacity] = {};  // always NUL-terminated
    std::size_t length = 0;
    ErrorReport report;
};

// How the blank runs of a line are written.
enum class BlankFill {
    classic,  // run by run, as the classic rules say (gap_fill.h)
    exact,    // each line planned as a whole for the fewest characters off their x (exact_fill.h); used
              // only where entities are allowed (rendernotsp off), the classic way otherwise
    // exact, and where the classic items fall short also the Unicode spaces of whole-pixel width
    exact_unicode,
};

// Renders preview page `page` (0 to 29) with the given settings. mirror_h and mirror_v may be nullptr (no
// table); with settings.renderhancode on neither is used. Parts are laid out as their boxes say: a flipped
// part that was never measured starts at 0 (see measure_unmeasured). Never fails: problems go into
// out.report. An unbuilt width table gives an empty result.
void render_page(RenderWorkspace& ws, const CharWidthTable& widths, const PreviewBook& book,
                 const MirrorTable* mirror_h, const MirrorTable* mirror_v, int page,
                 const RenderSettings& settings, RenderOutput& out, BlankFill fill = BlankFill::classic);

}  // namespace glyphora
