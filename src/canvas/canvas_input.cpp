#include "canvas/canvas_input.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

#include "canvas/canvas_window.h"
#include "canvas/popup_commands.h"
#include "canvas/popup_menu.h"
#include "canvas/property_dialog.h"
#include "canvas/quick_text_box.h"
#include "model/books.h"
#include "model/sjis.h"
#include "render/part_markup.h"
#include "session/app_context.h"
#include "session/messages.h"

namespace glyphora {

namespace {

constexpr std::size_t kQuickNameBytes = 8;
// The popup menu opens a little right of the pointer, so that the pointer does not rest on its first item.
constexpr int kMenuOffsetX = 16;

int32_t saturate(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void snapshot_page(CanvasWindow& canvas, UndoKind kind, int slot = 0) {
    AppContext& ctx = canvas.context();
    take_snapshot(ctx.docs->undo, kind, ctx.preview_page(), ctx.library_page(), slot);
}

void clear_selection(Page& page) {
    for (Part& part : page.slots) part.selected = false;
}

int line_height_of(CanvasWindow& canvas) {
    const AppContext& ctx = canvas.context();
    return ctx.widths && ctx.widths->built ? ctx.widths->line_height : 0;
}

// A plain, Shift or Ctrl click: the selection changes, the list follows, the canvas redraws.
void select_click(CanvasWindow& canvas, ClickModifiers modifiers, int x, int y) {
    Page& page = canvas.shown_page();
    const int hit = hit_test(page, x, y, false);
    // A Ctrl click that misses is treated like a Shift click that misses: the user was adding to or
    // taking from the selection and missed, which should not throw the selection away.
    if (hit < 0 && (modifiers.shift || modifiers.ctrl)) return;
    if (!modifiers.shift || hit < 0) clear_selection(page);
    if (hit >= 0) {
        Part& part = page.slots[hit];
        part.selected = modifiers.ctrl ? !part.selected : true;
    }
    snapshot_page(canvas, page_undo(canvas.side()));
    canvas.context().changed(canvas.side(), AppContext::Change::display);
}

// Space + press: the part under the pointer alone, or the selection as it is, starts moving.
void start_move(CanvasWindow& canvas, int x, int y) {
    Page& page = canvas.shown_page();
    const int hit = hit_test(page, x, y, true);
    if (hit >= 0) {
        for (Part& part : page.slots)
            if (part.in_use) part.selected = false;
        page.slots[hit].selected = true;
    }
    bool any = false;
    for (Part& part : page.slots) {
        if (!part.in_use || !part.selected) continue;
        part.drag_origin = Point{part.x, part.y};
        any = true;
    }
    if (!any) return;
    CanvasState& state = canvas.state();
    state.dragging = true;
    snapshot_page(canvas, page_undo(canvas.side()));
    state.drag_anchor = Point{x, y};
    canvas.request_redraw(true);
}

void edit_part(CanvasWindow& canvas, int slot) {
    AppContext& ctx = canvas.context();
    Part& part = canvas.shown_page().slots[slot];
    part.selected = true;
    run_property_dialog(ctx, {.parent = &canvas,
                              .part = &part,
                              .title = canvas.is_library() ? kLibraryPartTitle : kPreviewPartTitle,
                              .undo_kind = slot_undo(canvas.side()),
                              .undo_slot = slot,
                              .changed = canvas.side()});
}

// A double click on an empty spot of the preview canvas: a new part typed in the quick text box.
void add_typed_part(CanvasWindow& canvas, int x, int y) {
    AppContext& ctx = canvas.context();
    Page& page = ctx.preview_page();
    const int slot = find_register_slot(page);
    if (slot >= kPartsPerPage) {
        ctx.ui.show_message(&canvas, kRegisterErrorMessage);
        return;
    }
    snapshot_page(canvas, UndoKind::preview_page);
    auto part = std::make_unique<Part>();
    clear_slot(*part);
    set_name(*part, kQuickPartName);
    part->x = x;
    part->y = snap_to_line(y, line_height_of(canvas));

    std::optional<std::string> text;
    {
        QuickTextBox box(ctx, &canvas);
        text = box.run(canvas.mapToGlobal(QPoint(part->x, part->y)));
    }
    if (text) {
        update_recent_texts(ctx.file(), *text);  // a failed write only loses the history entry
        // An empty text would make an invisible part that cannot be clicked: nothing is added.
        if (!text->empty()) {
            set_text(*part, *text);
            part->in_use = true;
            part->selected = true;
            set_name(*part, quick_part_name(*text));
            clear_selection(page);
            page.slots[slot] = *part;
            ctx.changed(Side::preview);
        }
    }
    canvas.activateWindow();
    canvas.setFocus(Qt::OtherFocusReason);
}

}  // namespace

int hit_test(const Page& page, int x, int y, bool space_mode) {
    for (int slot = kPartsPerPage - 1; slot >= 0; --slot) {
        const Part& part = page.slots[slot];
        if (!part.in_use) continue;
        if (space_mode && part.no_space_click_select) continue;
        const Box& b = part.box;
        if (b.left < x && x < b.right && b.top < y && y < b.bottom) return slot;
    }
    return -1;
}

std::string quick_part_name(std::string_view text) {
    std::size_t n = 0;
    while (n < kQuickNameBytes && n < text.size()) {
        const CharReference ref = text[n] == '&' ? match_reference(text, n) : CharReference{};
        n += static_cast<std::size_t>(ref.length > 0 ? ref.length : char_at(text, n).length);
    }
    return std::string(text.substr(0, n));
}

int32_t snap_to_line(int32_t y, int line_height) {
    if (line_height <= 0) return y;
    return y / line_height * line_height;
}

void end_temporary_display(CanvasWindow& canvas) {
    if (canvas.state().temp_shown) canvas.request_redraw(true);
}

void left_button_down(CanvasWindow& canvas, ClickModifiers modifiers, int x, int y) {
    if (canvas.state().space_held)
        start_move(canvas, x, y);
    else
        select_click(canvas, modifiers, x, y);
}

void mouse_move(CanvasWindow& canvas, int x, int y) {
    CanvasState& state = canvas.state();
    if (!state.dragging) return;
    const int64_t dx = int64_t{x} - state.drag_anchor.x;
    const int64_t dy = int64_t{y} - state.drag_anchor.y;
    bool moved = false;
    for (Part& part : canvas.shown_page().slots) {
        if (!part.in_use || !part.selected) continue;
        const int32_t nx = saturate(part.drag_origin.x + dx);
        const int32_t ny = saturate(part.drag_origin.y + dy);
        moved = moved || nx != part.x || ny != part.y;
        part.x = nx;
        part.y = ny;
    }
    if (moved) canvas.request_redraw(true);
}

void left_button_up(CanvasWindow& canvas) {
    CanvasState& state = canvas.state();
    if (!state.dragging) return;
    state.dragging = false;
    const int line_height = line_height_of(canvas);
    bool moved = false;
    for (Part& part : canvas.shown_page().slots) {
        if (!part.in_use || !part.selected) continue;
        part.y = snap_to_line(part.y, line_height);
        moved = moved || part.x != part.drag_origin.x || part.y != part.drag_origin.y;
    }
    // A Space+click that ends where it began moved nothing.
    canvas.context().changed(canvas.side(),
                             moved ? AppContext::Change::content : AppContext::Change::display);
}

void left_double_click(CanvasWindow& canvas, int x, int y) {
    CanvasState& state = canvas.state();
    // The detail dialog and the quick text box run their own loops; a double click meanwhile is ignored.
    if (state.dblclick_busy) return;
    state.dblclick_busy = true;
    struct Busy {
        CanvasState& state;
        ~Busy() { state.dblclick_busy = false; }
    } busy{state};
    if (state.space_held) return;
    const int hit = hit_test(canvas.shown_page(), x, y, false);
    if (hit >= 0) {
        edit_part(canvas, hit);
        return;
    }
    if (canvas.is_library()) return;
    add_typed_part(canvas, x, y);
    canvas.request_redraw(true);
}

void right_button_down(CanvasWindow& canvas, int x, int y) {
    CanvasState& state = canvas.state();
    if (state.space_held) return;
    state.menu_point = Point{x, y};
    open_popup_menu(canvas, canvas.mapToGlobal(QPoint(x + kMenuOffsetX, y)));
}

void canvas_key(CanvasWindow& canvas, bool space, bool down) {
    end_temporary_display(canvas);
    if (!space) return;
    canvas.state().space_held = down;
    canvas.request_redraw(true);
}

}  // namespace glyphora
