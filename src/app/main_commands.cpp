#include "app/main_commands.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/command_groups.h"
#include "app/main_dialog.h"
#include "app/render_result_dialog.h"
#include "canvas/canvas_window.h"
#include "model/sjis.h"
#include "platform/qt_text.h"
#include "render/output.h"
#include "session/messages.h"
#include "storage/file_status.h"
#include "storage/page_file.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr std::string_view kNoFontForRenderingMessage =
    "描画フォントを読み込めないのでレンダリングできません\n";

Page& page_of(AppContext& ctx, Side side) {
    return side == Side::preview ? ctx.preview_page() : ctx.library_page();
}

// Snapshots always name the current preview page and the current library page.
void snapshot(AppContext& ctx, UndoKind kind, int slot = 0) {
    take_snapshot(ctx.docs->undo, kind, ctx.preview_page(), ctx.library_page(), slot);
}

int32_t saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// A Part is far too big for the stack, so the exchange goes through the heap.
void exchange_slots(Page& page, int a, int b) {
    const auto held = std::make_unique<Part>(page.slots[a]);
    page.slots[a] = page.slots[b];
    page.slots[b] = *held;
}

// The first `limit` bytes of text at most, never ending inside a double-byte character: a name cut in
// half would pair its last lead byte with whatever follows it wherever it is shown.
std::string_view cut_whole_characters(std::string_view text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + static_cast<std::size_t>(char_at(text, end).length);
        if (next > limit) break;
        end = next;
    }
    return text.substr(0, end);
}

bool shift_held() {
    return QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
}

// --- Parts

void cut_or_copy(MainDialog& dialog, Side side, bool cut) {
    AppContext& ctx = dialog.context();
    Page& page = page_of(ctx, side);
    // Copy changes the selection too, so it can be undone like a cut.
    snapshot(ctx, page_undo(side));
    take_selection(page, ctx.docs->clipboard, cut);
    ctx.changed(side, cut ? AppContext::Change::content : AppContext::Change::display);
}

void paste(MainDialog& dialog, Side side) {
    AppContext& ctx = dialog.context();
    Page& page = page_of(ctx, side);
    // On a page with parts the one selected slot is the insertion point; without one nothing is pasted.
    const int position = is_page_empty(page) ? 0 : single_selected(page);
    bool pasted = false;
    if (position >= 0) {
        snapshot(ctx, page_undo(side));
        if (insert_block(page, ctx.docs->clipboard, position) == kInsertNoRoom) {
            ctx.ui.show_message(&dialog, kPasteOverflowMessage);
        } else {
            pasted = ctx.docs->clipboard.entries[0].in_use;
        }
    }
    ctx.changed(side, pasted ? AppContext::Change::content : AppContext::Change::display);
}

void fine_move(MainDialog& dialog, int dx, int lines) {
    AppContext& ctx = dialog.context();
    const int line = ctx.ensure_width_table() ? ctx.widths->line_height : 0;
    if (move_selected(ctx, dx, lines * line) > 0) ctx.preview_modified();
    dialog.refresh_lists(Side::preview);
    CanvasWindow& canvas = dialog.preview_canvas();
    // A sideways nudge keeps a temporary rendering on display, rendered again from the moved parts.
    if (lines == 0 && canvas.state().temp_shown && dialog.temporary_rendering_repeat()) {
        dialog.temporary_rendering_repeat()();
    } else {
        canvas.request_redraw(true);
    }
}

void reorder(MainDialog& dialog, Side side, bool up) {
    AppContext& ctx = dialog.context();
    Page& page = page_of(ctx, side);
    const int i = single_selected(page);
    // Whole records change places, the selection with them, so the selected row follows the part.
    bool moved = true;
    if (up && i > 0) {
        snapshot(ctx, page_undo(side));
        exchange_slots(page, i - 1, i);
    } else if (!up && i >= 0 && i < kPartsPerPage - 1) {
        snapshot(ctx, page_undo(side));
        exchange_slots(page, i, i + 1);
    } else {
        moved = false;
    }
    ctx.changed(side, moved ? AppContext::Change::content : AppContext::Change::display);
}

void copy_from_library(MainDialog& dialog) {
    AppContext& ctx = dialog.context();
    Page& preview = ctx.preview_page();
    const Page& library = ctx.library_page();
    const int placed = single_selected_in_use(preview);
    const int source = single_selected_in_use(library);
    if (shift_held() && placed >= 0 && source >= 0) {
        // The placed part takes the library part's look and keeps its place and flips.
        snapshot(ctx, UndoKind::preview_slot, placed);
        replace_content(preview.slots[placed], library.slots[source]);
    } else {
        snapshot(ctx, UndoKind::preview_page);
        if (copy_library_selection_to_preview(library, preview).full)
            ctx.ui.show_message(&dialog, kPreviewFullMessage);
    }
    dialog.context().changed(Side::preview);
}

void undo_command(MainDialog& dialog) {
    AppContext& ctx = dialog.context();
    if (ctx.options_open) return;
    // The snapshot stays: undo again restores the same state again.
    ctx.changed(side_of(restore_snapshot(ctx.docs->undo, ctx.preview_page(), ctx.library_page())));
}

// --- Page files

FileDialogRequest page_file_request(const AppContext& ctx, bool save) {
    FileDialogRequest request;
    request.filter = std::string(kPageFileFilter);
    request.default_extension = std::string(kPageFileExtension);
    const std::string_view remembered = get_string(ctx.docs->preview.collection_name);
    request.proposed_name = remembered.empty() ? "*." + request.default_extension : std::string(remembered);
    request.confirm_overwrite = save;
    return request;
}

// The status is shown also when all went well; a failure is named after it.
void report_file_status(MainDialog& dialog, FileStatus status, std::string_view failure) {
    AppContext& ctx = dialog.context();
    ctx.ui.show_message(&dialog, status_message(status));
    if (status != FileStatus::ok) ctx.ui.show_message(&dialog, failure);
}

void load(MainDialog& dialog) {
    AppContext& ctx = dialog.context();
    if (ctx.options_open) return;
    const FileDialogRequest request = page_file_request(ctx, false);
    ctx.invalidate_undo();
    const std::optional<std::string> path = ctx.ui.open_file(&dialog, request);
    if (!path) return;
    // The file replaces the preview (or its current page) only when it was read whole: a damaged file
    // never costs the pages that are not saved yet.
    const FileStatus status = load_page_file(*path, ctx.docs->preview, ctx.settings.render);
    report_file_status(dialog, status, kLoadFailedMessage);
    if (status != FileStatus::ok) {
        ctx.changed(Side::preview, AppContext::Change::display);
        return;
    }
    // A single page changes one page of the collection; a whole collection is as it was saved.
    ctx.changed(Side::preview);
    if (page_file_type(*path) == PageFileType::collection) {
        dialog.set_collection_title(*path);
        ctx.preview_saved();
    }
}

void save(MainDialog& dialog) {
    AppContext& ctx = dialog.context();
    if (ctx.options_open) return;
    const FileDialogRequest request = page_file_request(ctx, true);
    ctx.invalidate_undo();
    const std::optional<std::string> path = ctx.ui.save_file(&dialog, request);
    if (!path) return;
    const FileStatus status = save_page_file(*path, ctx.docs->preview);
    // A single page saved leaves the other 29 pages as unsaved as they were. A whole collection counts as
    // saved as soon as it is written: the autosave would still run while the status box is open.
    if (status == FileStatus::ok && page_file_type(*path) == PageFileType::collection) {
        dialog.set_collection_title(*path);
        ctx.preview_saved();
    }
    report_file_status(dialog, status, kSaveFailedMessage);
}

void name_library_page(MainDialog& dialog) {
    AppContext& ctx = dialog.context();
    LibraryBook& library = ctx.docs->library;
    char(&name)[kNameCapacity] = library.page_names[library.current_page];
    TextDialogRequest request;
    request.title = std::string(kLibraryPageNameTitle);
    request.initial_text = sjis_to_qstring(get_string(name)).toStdString();
    ctx.invalidate_undo();
    const std::optional<std::string> entered = ctx.ui.ask_text(&dialog, request);
    if (!entered) return;
    std::string sjis, error;
    if (!qstring_to_sjis(QString::fromStdString(*entered), sjis, error)) {
        ctx.ui.show_message(&dialog, error);  // the name stays as it was
        return;
    }
    set_string(name, cut_whole_characters(sjis, kNameCapacity - 1));
    dialog.fill_page_combo();
    dialog.library_canvas().request_redraw(true);  // its caption line shows the page name
}

// --- Rendering into a file

void render_to_file(MainDialog& dialog, bool all_pages) {
    AppContext& ctx = dialog.context();
    if (ctx.options_open) return;
    PreviewBook& book = ctx.docs->preview;
    ctx.settings.renderext = read_renderext(ctx.file());
    const OutputFileChoice choice =
        choose_output_file(ctx.settings.renderext, get_string(book.collection_name));
    ctx.invalidate_undo();
    if (!ctx.ensure_width_table()) {
        // Without widths every page would come out empty.
        ctx.ui.show_message(&dialog, std::string(kNoFontForRenderingMessage) + ctx.width_table_error);
        return;
    }

    FileDialogRequest request;
    // The filter's labels are Shift_JIS; the dialog shows UTF-8.
    const Conversion filter = sjis_to_utf8(choice.filter);
    request.filter = filter.ok ? filter.text : "all files|*.*||";
    request.default_extension = choice.ext;
    request.proposed_name = choice.default_name;
    request.confirm_overwrite = true;
    const std::optional<std::string> path = ctx.ui.save_file(&dialog, request);
    if (!path) return;

    const RenderContext rc = ctx.render_context();
    RenderFileResult result;
    if (all_pages) {
        const BusyScope busy(ctx.ui);
        result = render_all_pages(book, rc, *path);
    } else {
        result = render_current_page(book, rc, *path);
    }
    if (result.status != RenderFileStatus::ok) {
        std::string message = kCannotWriteMessage;
        if (!result.error.empty()) message += "\n" + result.error;
        ctx.ui.show_message(&dialog, message);
        return;
    }
    ctx.settings.renderext = result.ext;
    write_renderext(ctx.file(), result.ext);  // a failed settings write is not reported

    // After all pages the report holds, per kind, the last page's occurrence: no page's trouble is hidden.
    RenderResultDialog result_dialog(result.report, &dialog);
    result_dialog.add_posting(dialog, all_pages);
    result_dialog.exec();
}

}  // namespace

int move_selected(AppContext& ctx, int dx, int dy) {
    if (!ctx.ensure_width_table()) {
        ctx.report_width_table_failure();
        return 0;
    }
    const int line = ctx.widths->line_height;
    Page& page = ctx.preview_page();
    int count = 0;
    int only = -1;
    for (int i = 0; i < kPartsPerPage; ++i) {
        if (page.slots[i].selected && page.slots[i].in_use) {
            ++count;
            only = i;
        }
    }
    if (count == 0) return 0;
    if (count == 1) {
        snapshot(ctx, UndoKind::preview_slot, only);
    } else {
        snapshot(ctx, UndoKind::preview_page);
    }
    for (Part& part : page.slots) {
        if (!(part.selected && part.in_use)) continue;
        part.x = saturate(int64_t{part.x} + dx);
        const int32_t y = saturate(int64_t{part.y} + dy);
        part.y = y / line * line;  // C++ division truncates toward zero, as the grid rule wants
    }
    return count;
}

void install_main_commands(MainDialog& dialog) {
    // Every command ends by showing the current page index again.
    auto add = [&dialog](int id, void (*command)(MainDialog&)) {
        dialog.set_command(id, [&dialog, command] {
            command(dialog);
            dialog.write_page_label();
        });
    };
    using namespace control_id;
    add(kPreviewCut, [](MainDialog& d) { cut_or_copy(d, Side::preview, true); });
    add(kPreviewCopy, [](MainDialog& d) { cut_or_copy(d, Side::preview, false); });
    add(kPreviewPaste, [](MainDialog& d) { paste(d, Side::preview); });
    add(kLibraryCut, [](MainDialog& d) { cut_or_copy(d, Side::library, true); });
    add(kLibraryCopy, [](MainDialog& d) { cut_or_copy(d, Side::library, false); });
    add(kLibraryPaste, [](MainDialog& d) { paste(d, Side::library); });
    add(kMoveUp, [](MainDialog& d) { fine_move(d, 0, -1); });
    add(kMoveDown, [](MainDialog& d) { fine_move(d, 0, 1); });
    add(kMoveLeft, [](MainDialog& d) { fine_move(d, -1, 0); });
    add(kMoveRight, [](MainDialog& d) { fine_move(d, 1, 0); });
    add(kPreviewRowUp, [](MainDialog& d) { reorder(d, Side::preview, true); });
    add(kPreviewRowDown, [](MainDialog& d) { reorder(d, Side::preview, false); });
    add(kLibraryRowUp, [](MainDialog& d) { reorder(d, Side::library, true); });
    add(kLibraryRowDown, [](MainDialog& d) { reorder(d, Side::library, false); });
    add(kCopyFromLibrary, copy_from_library);
    add(kUndo, undo_command);
    // The canvases' menus offer the same undo, with everything the button does afterwards.
    dialog.context().undo = [&dialog] {
        undo_command(dialog);
        dialog.write_page_label();
    };
    add(kLoad, load);
    add(kSave, save);
    add(kLibraryPageName, name_library_page);
    add(kRender, [](MainDialog& d) { render_to_file(d, true); });
    add(kRenderPage, [](MainDialog& d) { render_to_file(d, false); });
}

}  // namespace glyphora
