#pragma once
// Putting an AA of the collection onto a page as a new part: its text cut at a whole line where a part
// cannot hold all of it (as the import cuts it), its name the AA's title or heading (else its first line),
// at a point or at a free spot of the page, as one undoable change.

#include <optional>
#include <string>
#include <string_view>

#include "model/part.h"
#include "model/side.h"
#include "render/char_width_table.h"
#include "session/app_context.h"

namespace glyphora {

struct PreparedAa {
    std::string text;  // Shift_JIS, within a part's capacity
    std::string name;  // Shift_JIS, within a part name's capacity
    bool cut = false;  // the AA was longer than a part holds
};

// sjis_text is the AA as the index reads it (Shift_JIS, characters code page 932 lacks as references);
// title and heading are UTF-8. The title wins over the heading.
PreparedAa prepare_aa(std::string_view sjis_text, std::string_view title, std::string_view heading);

// The place for a new part of width x height pixels on a page: the topmost row, and in it the leftmost of
// the left edge and the right edges of the parts, where it overlaps no part in use and stays within
// page_width (a part wider than the page goes to the left edge). Rows are the line grid.
Point free_spot(const Page& page, const CharWidthTable& widths, int width, int height, int page_width);

enum class InsertResult { inserted, page_full, no_font };

// Inserts the AA into the current page of `side` as a new selected part (the other parts deselected),
// at `at` with its y on the line grid, or at a free spot within page_width. The page is snapshotted for
// undo first and the change is announced (which marks the preview modified). Nothing changes when the
// page has no free slot or no font could be measured.
InsertResult insert_aa(AppContext& ctx, Side side, const PreparedAa& aa, std::optional<Point> at,
                       int page_width);

}  // namespace glyphora
