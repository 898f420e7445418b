// Register and detail on both sides of the main dialog, and the double click on a list row: all of them
// run the part detail dialog.

#include <QGuiApplication>
#include <QListWidget>

#include <functional>
#include <memory>
#include <string>

#include "app/command_groups.h"
#include "app/main_dialog.h"
#include "canvas/property_dialog.h"
#include "model/books.h"
#include "session/messages.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr const char* kClipboardNotTextMessage =
    "クリップボードのテキストには、パーツのテキストに入れられない文字があるため、本体は空で始めます。\n";

Page& current_page(AppContext& ctx, Side side) {
    return side == Side::preview ? ctx.preview_page() : ctx.library_page();
}

// Clipboard text as a part holds it: line breaks as CR LF, at most the text's capacity, never cut inside a
// character or a reference.
std::string part_text_from_clipboard(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lines.push_back(text[i]);
        }
    }
    return std::string(part_text_prefix(lines, kTextCapacity - 1));
}

void register_part(MainDialog& dialog, Side side) {
    AppContext& ctx = dialog.context();
    Page& page = current_page(ctx, side);
    int slot = find_register_slot(page);
    if (slot == kPartsPerPage) {
        ctx.ui.show_message(&dialog, kRegisterErrorMessage);
        return;
    }
    const UndoKind kind = page_undo(side);
    take_snapshot(ctx.docs->undo, kind, ctx.preview_page(), ctx.library_page(), -1);

    const auto prepared = std::make_unique<Part>();
    clear_slot(*prepared);
    // Shift takes the clipboard's text as the new part's text.
    if (QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier)) {
        const ClipboardText clip = ctx.ui.clipboard_text();
        if (clip.has_text && !clip.ok) ctx.ui.show_message(&dialog, kClipboardNotTextMessage + clip.error);
        if (clip.ok) set_text(*prepared, part_text_from_clipboard(clip.text));
    }

    const char* title = side == Side::preview ? kPreviewRegisterTitle : kLibraryRegisterTitle;
    // The dialog stores into the prepared record; the page is shown again once the part is in place.
    if (run_property_dialog(ctx, {.parent = &dialog,
                                  .part = prepared.get(),
                                  .title = title,
                                  .undo_kind = kind,
                                  .undo_slot = -1,
                                  .changed = {}})) {
        // The canvases stay usable while the dialog is open, so the slot may have been taken meanwhile;
        // nothing ever goes over a part in use.
        if (page.slots[slot].in_use) slot = prepared->in_use ? find_register_slot(page) : -1;
        if (slot == kPartsPerPage) ctx.ui.show_message(&dialog, kRegisterErrorMessage);
        if (slot >= 0 && slot < kPartsPerPage) page.slots[slot] = *prepared;
    }
    ctx.changed(side);
}

void show_details(MainDialog& dialog, Side side, bool from_double_click) {
    AppContext& ctx = dialog.context();
    Page& page = current_page(ctx, side);
    const int slot = single_selected_in_use(page);
    if (slot < 0) return;
    run_property_dialog(ctx, {.parent = &dialog,
                              .part = &page.slots[slot],
                              .title = side == Side::preview ? kPreviewDetailTitle : kLibraryPartTitle,
                              .undo_kind = from_double_click ? page_undo(side) : slot_undo(side),
                              .undo_slot = slot,
                              .changed = side});
}

void install(MainDialog& dialog, int id, std::function<void()> command) {
    dialog.set_command(id, [&dialog, run = std::move(command)] {
        run();
        dialog.write_page_label();
    });
}

}  // namespace

void install_part_commands(MainDialog& dialog) {
    install(dialog, control_id::kPreviewRegister, [&dialog] { register_part(dialog, Side::preview); });
    install(dialog, control_id::kLibraryRegister, [&dialog] { register_part(dialog, Side::library); });
    install(dialog, control_id::kPreviewDetail, [&dialog] { show_details(dialog, Side::preview, false); });
    install(dialog, control_id::kLibraryDetail, [&dialog] { show_details(dialog, Side::library, false); });
    // The first click of a double click has already selected the row (and only it, without modifiers).
    QObject::connect(dialog.preview_list(), &QListWidget::itemDoubleClicked, &dialog, [&dialog] {
        show_details(dialog, Side::preview, true);
        dialog.write_page_label();
    });
    QObject::connect(dialog.library_list(), &QListWidget::itemDoubleClicked, &dialog, [&dialog] {
        show_details(dialog, Side::library, true);
        dialog.write_page_label();
    });
}

}  // namespace glyphora
