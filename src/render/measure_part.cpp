#include "render/measure_part.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "render/part_markup.h"

namespace glyphora {

namespace {

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The width the canvas gives a character: its declared width when it is a declared blank with one, else
// its font width.
int64_t char_width(int32_t code, const BlankTable& blanks, const CharWidthTable& widths) {
    const int i = blanks.find(code);
    if (i >= 0 && blanks.entries[i].width != 0) return blanks.entries[i].width;
    return widths.width(code);
}

}  // namespace

Box measure_part(const Part& part, const CharWidthTable& widths) {
    const int32_t lh = widths.line_height;
    if (part.is_label || !widths.built || lh <= 0) return part.box;
    const int64_t x = part.x;
    const int64_t y0 = static_cast<int64_t>(part.y / lh) * lh;
    int64_t pen = x;
    int64_t top = y0;
    int64_t widest = x;
    int64_t lowest = y0;
    const std::string_view text = get_string(part.text);
    BlankTable blanks;
    std::size_t pos = read_blank_declarations(text, blanks);

    // A character moves the pen and, having been drawn, extends the box down to its line; the entity
    // blanks only move the pen.
    auto advance = [&](int64_t w, bool drawn) {
        pen += w;
        widest = std::max(widest, pen);
        if (drawn) lowest = std::max(lowest, top);
    };
    auto line_break = [&] {
        pen = x;
        top += lh;
    };

    while (pos < text.size()) {
        const TextItem item = next_text_item(text, pos);
        if (item.kind == TextItemKind::line_break) {
            line_break();
        } else if (item.kind == TextItemKind::character) {
            advance(char_width(item.code, blanks, widths), true);
        } else if (item.kind == TextItemKind::reference) {
            const char32_t cp = item.reference.code_point;
            advance(widths.code_point_width(cp).pixels(), !is_unicode_space(cp));
        } else {
            switch (item.markup.kind) {
                case MarkupKind::ensp:
                    advance(kEnspWidth, false);
                    break;
                case MarkupKind::nbsp:
                    advance(kNbspWidth, false);
                    break;
                case MarkupKind::thinsp:
                    advance(kThinspWidth, false);
                    break;
                case MarkupKind::byte:
                    // The canvas draws the byte with the width and the blank lookup of "&".
                    if (item.markup.value == kLineBreakByte) {
                        line_break();
                    } else {
                        advance(char_width('&', blanks, widths), true);
                    }
                    break;
                default:
                    break;  // &ttt; and &www; draw nothing
            }
        }
    }
    return Box{clamp32(x), clamp32(y0), clamp32(widest), clamp32(lowest + lh)};
}

void measure_unmeasured(Page& page, const CharWidthTable& widths) {
    for (Part& part : page.slots) {
        if (part.in_use && !part.is_label && part.box.is_zero()) part.box = measure_part(part, widths);
    }
}

}  // namespace glyphora
