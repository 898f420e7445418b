#pragma once
// Pages filled part by part, for every test that needs parts in slots.

#include <string_view>

#include "model/books.h"

namespace glyphora::test {

// Slot `slot` of `page` made a part in use at (x, y) holding `text` (and `name`); every other field is as
// clear_slot leaves it (always opaque, not selected). Tests set what else they need on the returned part.
inline Part& put_part(Page& page, int slot, int x, int y, std::string_view text, std::string_view name = {}) {
    Part& part = page.slots[slot];
    clear_slot(part);
    part.in_use = true;
    part.x = x;
    part.y = y;
    set_text(part, text);
    set_name(part, name);
    return part;
}

// `part`, no longer always opaque: its half-width spaces let what lies beneath show through.
inline Part& transparent(Part& part) {
    part.always_opaque = false;
    return part;
}

}  // namespace glyphora::test
