#pragma once
// The preview and library books, the part clipboard and the single-level undo snapshot, with the
// operations the commands use. Everything lives in one Documents object allocated once at start-up.

#include <memory>

#include "model/part.h"
#include "model/side.h"

namespace glyphora {

struct PreviewBook {
    Page pages[kPreviewPages];
    RenderSettings page_settings[kPreviewPages];
    int current_page = 0;
    char collection_name[kPathCapacity] = {};  // last page collection loaded or saved as a whole
    bool modified = false;  // changed since the collection was last loaded or saved (never stored)
};

struct LibraryBook {
    Page pages[kLibraryPages];
    char page_names[kLibraryPages][kNameCapacity] = {};
    int current_page = 0;
    char path[kPathCapacity] = {};
    bool library_writable = true;
};

// Used entries are at the front; the first entry not in use ends the block.
struct PartClipboard {
    Part entries[kPartsPerPage];
};

// What the undo snapshot holds: a whole page or one slot, of either side; none after anything that makes
// an undo meaningless (a page change, a file operation).
enum class UndoKind : int32_t {
    none = -1,
    preview_page = 0,
    library_page = 1,
    preview_slot = 2,
    library_slot = 3,
};

constexpr UndoKind page_undo(Side side) {
    return side == Side::preview ? UndoKind::preview_page : UndoKind::library_page;
}
constexpr UndoKind slot_undo(Side side) {
    return side == Side::preview ? UndoKind::preview_slot : UndoKind::library_slot;
}
// The side an undo of this kind restores; none for UndoKind::none.
constexpr Sides side_of(UndoKind kind) {
    switch (kind) {
        case UndoKind::preview_page:
        case UndoKind::preview_slot:
            return Side::preview;
        case UndoKind::library_page:
        case UndoKind::library_slot:
            return Side::library;
        case UndoKind::none:
            break;
    }
    return {};
}

struct UndoSnapshot {
    Part slots[kPartsPerPage];
    UndoKind kind = UndoKind::none;
    int32_t slot = 0;
};

struct Documents {
    PreviewBook preview;
    LibraryBook library;
    PartClipboard clipboard;
    UndoSnapshot undo;
};

// The one allocation of the whole model, every slot cleared.
std::unique_ptr<Documents> make_documents();

void clear_page(Page& page);
void clear_preview(PreviewBook& book);
void clear_library(LibraryBook& book);
bool is_page_empty(const Page& page);

// Where a newly registered part goes; 50 when the page is full.
int find_register_slot(const Page& page);
// The one slot that is selected and in use; -1 for none or several.
int single_selected_in_use(const Page& page);
// The one selected slot, in use or not; -1 for none or several.
int single_selected(const Page& page);

// Cut (cut = true) or copy the selected parts into the clipboard; see the cursor rule in the .cpp.
void take_selection(Page& page, PartClipboard& clipboard, bool cut);
void compact_page(Page& page);

constexpr int kInsertNoRoom = -10;
// Pastes the clipboard block at position. Returns the slot after the block, -1 when nothing was inserted
// or the block reached the end of the page, kInsertNoRoom when the page has no room (only the selection
// is cleared then).
int insert_block(Page& page, const PartClipboard& clipboard, int position);

struct CopyToPreviewResult {
    int copied = 0;
    bool full = false;  // the preview page ran out of free slots; the caller tells the user
};
CopyToPreviewResult copy_library_selection_to_preview(const Page& library_page, Page& preview_page);

void copy_page(Page& destination, const Page& source);
void copy_library_page(LibraryBook& destination, int destination_page, const LibraryBook& source,
                       int source_page);

void take_snapshot(UndoSnapshot& undo, UndoKind kind, const Page& preview_page, const Page& library_page,
                   int slot);
// Copies the snapshot back and returns its kind; the snapshot stays as it is.
UndoKind restore_snapshot(const UndoSnapshot& undo, Page& preview_page, Page& library_page);

// The settings that apply when rendering preview page `page`.
const RenderSettings& active_render_settings(const PreviewBook& book, int page, bool render_pageflag,
                                             const RenderSettings& global);

}  // namespace glyphora
