#include "canvas/popup_commands.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "canvas/canvas_window.h"
#include "render/output.h"
#include "render/render_page.h"
#include "session/messages.h"
#include "storage/file_status.h"
#include "storage/library_file.h"

namespace glyphora {

namespace {

// "MENU追加パーツ"
constexpr const char* kMenuPartName = "MENU\x92\xC7\x89\xC1\x83\x70\x81\x5B\x83\x63";

int32_t saturate(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void temporary_rendering(AppContext& ctx, CanvasWindow& canvas, TempRenderMode mode) {
    CanvasState& state = canvas.state();
    if (mode != TempRenderMode::repeat && state.temp_shown) return;
    if (!ctx.ensure_width_table()) {
        // Without widths every page would render empty; say why once.
        ctx.report_width_table_failure();
        return;
    }

    bool has_content = false;
    std::string text;
    {
        const BusyScope busy(ctx.ui);
        PreviewBook& book = ctx.docs->preview;
        auto workspace = std::make_unique<RenderWorkspace>();
        auto out = std::make_unique<RenderOutput>();
        render_preview_page(book, book.current_page, ctx.render_context(), *workspace, *out);
        has_content = out->has_content;
        if (has_content) text.assign(out->text, out->length);
    }
    // Nothing to show: the canvas keeps the page, the clipboard stays as it is, the report is not shown.
    if (!has_content) return;

    const bool to_clipboard =
        mode == TempRenderMode::repeat ? state.temp_to_clipboard != 0 : mode == TempRenderMode::clipboard;
    canvas.show_temporary_rendering(text);
    // A refused copy is said, not passed over: the user would otherwise paste an older text.
    if (to_clipboard && !text.empty() && !ctx.ui.set_clipboard_text(text))
        ctx.ui.show_message(&canvas, kTempClipboardFailedMessage);
    state.temp_to_clipboard = to_clipboard ? 1 : 0;
}

void align_horizontally(AppContext& ctx, CanvasWindow& canvas) {
    Page& page = canvas.shown_page();
    take_snapshot(ctx.docs->undo, page_undo(canvas.side()), ctx.preview_page(), ctx.library_page(), 0);

    auto candidate = [&page](int i) { return page.slots[i].in_use && page.slots[i].selected; };
    bool placed[kPartsPerPage] = {};
    bool any = false;
    int32_t start = 0;
    for (int i = 0; i < kPartsPerPage; ++i) {
        if (!candidate(i)) continue;
        start = any ? std::min(start, page.slots[i].x) : page.slots[i].x;
        any = true;
    }
    while (any) {
        int next = -1;
        for (int i = 0; i < kPartsPerPage; ++i)
            if (candidate(i) && !placed[i] && (next < 0 || page.slots[i].x < page.slots[next].x)) next = i;
        if (next < 0) break;
        Part& part = page.slots[next];
        placed[next] = true;
        part.x = start;
        start = saturate(int64_t{start} + int64_t{part.box.right} - int64_t{part.box.left});
    }
    ctx.changed(canvas.side());
}

void add_menu_character_part(AppContext& ctx, CanvasWindow& canvas, int index) {
    if (index < 0 || index >= kMenuTextCount) return;
    Page& page = ctx.preview_page();
    const int slot = find_register_slot(page);
    if (slot >= kPartsPerPage) {
        ctx.ui.show_message(&canvas, kRegisterErrorMessage);
        return;
    }
    take_snapshot(ctx.docs->undo, UndoKind::preview_page, ctx.preview_page(), ctx.library_page(), 0);

    auto part = std::make_unique<Part>();
    clear_slot(*part);
    set_name(*part, kMenuPartName);
    part->in_use = true;
    part->selected = true;
    const Point at = canvas.state().menu_point;
    part->x = at.x;
    // Without a line grid (no font could be measured) the point is taken as it is.
    const int line = ctx.ensure_width_table() ? ctx.widths->line_height : 0;
    part->y = line > 0 ? at.y / line * line : at.y;
    set_text(*part, ctx.settings.menuchr[static_cast<std::size_t>(index)]);

    for (Part& p : page.slots) p.selected = false;
    page.slots[slot] = *part;
    canvas.setFocus(Qt::PopupFocusReason);
    ctx.changed(Side::preview);
}

void register_from_library(AppContext& ctx, QWidget* parent) {
    take_snapshot(ctx.docs->undo, UndoKind::preview_page, ctx.preview_page(), ctx.library_page(), 0);
    if (copy_library_selection_to_preview(ctx.library_page(), ctx.preview_page()).full)
        ctx.ui.show_message(parent, kPreviewFullMessage);
    ctx.changed(Side::preview);
}

void toggle_frames(AppContext& ctx, CanvasWindow& canvas) {
    CanvasState& state = canvas.state();
    if (state.space_held) return;
    state.boxflag = !state.boxflag;
    // Only this canvas's own section changes. A failed settings write is not reported: the toggle still
    // applies for this run.
    write_boxflag(ctx.file(), canvas.side(), state.boxflag);
    canvas.request_redraw(true);
}

void toggle_blank_colouring(CanvasWindow& canvas) {
    canvas.state().blank_colouring = !canvas.state().blank_colouring;
    canvas.request_redraw(false);
}

void update_library_file(AppContext& ctx, CanvasWindow& canvas) {
    if (!canvas.is_library() || canvas.state().space_held) return;
    FileStatus status;
    {
        const ProgressScope progress(ctx.ui, &canvas, kUpdatingLibraryText);
        ctx.invalidate_undo();
        status = write_library(ctx.library_path, ctx.docs->library);
    }
    if (status != FileStatus::ok) {
        ctx.ui.show_message(&canvas, status_message(status));
        ctx.ui.show_message(&canvas, kLibraryWriteFailedMessage);
    }
}

}  // namespace glyphora
