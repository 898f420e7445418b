#include "browser/aa_insertion.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "exchange/library_import.h"
#include "model/books.h"
#include "render/measure_part.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr int kPartGap = 8;  // between a new part and the one left of it

Page& page_of(AppContext& ctx, Side side) {
    return side == Side::preview ? ctx.preview_page() : ctx.library_page();
}

// A name in Shift_JIS: characters code page 932 lacks as references, like the text.
std::string sjis_name(std::string_view utf8) {
    if (utf8.empty()) return {};
    Conversion c = utf8_to_sjis(utf8);
    if (c.ok) return c.text;
    c = utf8_to_part_text(utf8);
    return c.ok ? c.text : std::string();
}

bool overlaps(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

PreparedAa prepare_aa(std::string_view sjis_text, std::string_view title, std::string_view heading) {
    PreparedAa aa;
    const std::size_t length = part_text_length(sjis_text);
    aa.text = std::string(sjis_text.substr(0, length));
    aa.cut = length < sjis_text.size();
    aa.name = aa_part_name(sjis_name(!title.empty() ? title : heading), aa.text);
    return aa;
}

Point free_spot(const Page& page, const CharWidthTable& widths, int width, int height, int page_width) {
    const int line = std::max(1, widths.line_height);
    std::vector<Box> boxes;
    for (const Part& part : page.slots)
        if (part.in_use && !part.is_label) boxes.push_back(measure_part(part, widths));
    std::vector<int> rows{0};
    std::vector<int> columns{0};
    int lowest = 0;
    for (const Box& b : boxes) {
        rows.push_back((std::max(0, b.bottom) + line - 1) / line * line);
        columns.push_back(std::max(0, b.right + kPartGap));
        lowest = std::max(lowest, rows.back());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    for (const int y : rows) {
        for (const int x : columns) {
            if (x > 0 && x + width > page_width) break;
            const Box spot{x, y, x + std::max(1, width), y + std::max(1, height)};
            if (std::none_of(boxes.begin(), boxes.end(), [&](const Box& b) { return overlaps(spot, b); }))
                return Point{x, y};
        }
    }
    return Point{0, lowest};
}

InsertResult insert_aa(AppContext& ctx, Side side, const PreparedAa& aa, std::optional<Point> at,
                       int page_width) {
    if (!ctx.ensure_width_table()) return InsertResult::no_font;
    Page& page = page_of(ctx, side);
    const int slot = find_register_slot(page);
    if (slot >= kPartsPerPage) return InsertResult::page_full;

    auto part = std::make_unique<Part>();  // far too big for the stack
    clear_slot(*part);
    set_text(*part, aa.text);
    set_name(*part, aa.name);
    part->in_use = true;
    part->selected = true;
    const CharWidthTable& widths = *ctx.widths;
    const int line = widths.line_height;
    if (at) {
        part->x = at->x;
        part->y = at->y / line * line;  // as the canvas snaps a new part to its row
    } else {
        const Box size = measure_part(*part, widths);
        const Point spot =
            free_spot(page, widths, size.right - size.left, size.bottom - size.top, page_width);
        part->x = spot.x;
        part->y = spot.y;
    }

    take_snapshot(ctx.docs->undo, page_undo(side), ctx.preview_page(), ctx.library_page(), 0);
    for (Part& p : page.slots) p.selected = false;
    page.slots[slot] = *part;
    ctx.changed(side);
    return InsertResult::inserted;
}

}  // namespace glyphora
