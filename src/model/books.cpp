#include "model/books.h"

namespace glyphora {

std::unique_ptr<Documents> make_documents() {
    auto docs = std::make_unique<Documents>();
    clear_preview(docs->preview);
    clear_library(docs->library);
    for (auto& e : docs->clipboard.entries) clear_slot(e);
    for (auto& s : docs->undo.slots) clear_slot(s);
    docs->undo.kind = UndoKind::none;
    return docs;
}

void clear_page(Page& page) {
    for (auto& slot : page.slots) clear_slot(slot);
}

void clear_preview(PreviewBook& book) {
    for (int p = 0; p < kPreviewPages; ++p) {
        clear_page(book.pages[p]);
        book.page_settings[p] = RenderSettings{};
    }
}

void clear_library(LibraryBook& book) {
    for (int p = 0; p < kLibraryPages; ++p) {
        clear_page(book.pages[p]);
        book.page_names[p][0] = '\0';
    }
}

bool is_page_empty(const Page& page) {
    for (const auto& slot : page.slots)
        if (slot.in_use) return false;
    return true;
}

int find_register_slot(const Page& page) {
    if (page.slots[kPartsPerPage - 1].in_use) {
        for (int i = 0; i < kPartsPerPage; ++i)
            if (!page.slots[i].in_use) return i;
        return kPartsPerPage;
    }
    int last = -1;
    for (int i = 0; i < kPartsPerPage; ++i)
        if (page.slots[i].in_use) last = i;
    return last + 1;
}

int single_selected_in_use(const Page& page) {
    int found = -1;
    for (int i = 0; i < kPartsPerPage; ++i) {
        if (page.slots[i].selected && page.slots[i].in_use) {
            if (found >= 0) return -1;
            found = i;
        }
    }
    return found;
}

int single_selected(const Page& page) {
    int found = -1;
    for (int i = 0; i < kPartsPerPage; ++i) {
        if (page.slots[i].selected) {
            if (found >= 0) return -1;
            found = i;
        }
    }
    return found;
}

// The slot right after the first taken part becomes selected (unless it was taken too), so that after
// a cut and compaction it is the insertion point of the next paste.
void take_selection(Page& page, PartClipboard& clipboard, bool cut) {
    for (auto& e : clipboard.entries) clear_slot(e);
    int taken = 0;
    int after = 0;
    for (auto& slot : page.slots) {
        if (slot.in_use && slot.selected) {
            slot.selected = false;
            clipboard.entries[taken] = slot;
            ++taken;
            if (cut) clear_slot(slot);
            after = taken;
        } else if (after == 1) {
            slot.selected = true;
            after = 2;
        } else if (after != 0) {
            ++after;
        }
    }
    if (cut && taken > 0) compact_page(page);
}

void compact_page(Page& page) {
    int r = 0;
    int w = 0;
    for (;;) {
        while (r < kPartsPerPage && !page.slots[r].in_use) ++r;
        if (r >= kPartsPerPage) break;
        if (r > w) {
            page.slots[w] = page.slots[r];
            reset_box(page.slots[w]);
        }
        ++r;
        ++w;
    }
    for (int i = w; i < kPartsPerPage; ++i) page.slots[i].in_use = false;
}

int insert_block(Page& page, const PartClipboard& clipboard, int position) {
    if (position < 0) return -1;
    int n = 0;
    while (n < kPartsPerPage && clipboard.entries[n].in_use) ++n;
    if (n == 0) return -1;
    for (auto& slot : page.slots) slot.selected = false;
    for (int i = kPartsPerPage - n; i < kPartsPerPage; ++i)
        if (page.slots[i].in_use) return kInsertNoRoom;
    if (position + n <= kPartsPerPage) {
        for (int j = kPartsPerPage - 1; j >= position + n; --j) {
            page.slots[j] = page.slots[j - n];
            reset_box(page.slots[j]);
        }
    }
    for (int k = 0; k < n; ++k) {
        const int j = position + k;
        if (j >= kPartsPerPage) continue;
        page.slots[j] = clipboard.entries[k];
        reset_box(page.slots[j]);
        page.slots[j].selected = true;
    }
    return position + n < kPartsPerPage ? position + n : -1;
}

CopyToPreviewResult copy_library_selection_to_preview(const Page& library_page, Page& preview_page) {
    CopyToPreviewResult result;
    for (const auto& src : library_page.slots) {
        if (!(src.selected && src.in_use)) continue;
        int free_slot = -1;
        for (int i = 0; i < kPartsPerPage; ++i) {
            if (!preview_page.slots[i].in_use) {
                free_slot = i;
                break;
            }
        }
        if (free_slot < 0) {
            result.full = true;
            break;
        }
        Part& dst = preview_page.slots[free_slot];
        dst = src;
        dst.x = 0;
        dst.y = 0;
        reset_box(dst);
        ++result.copied;
    }
    return result;
}

void copy_page(Page& destination, const Page& source) {
    if (&destination == &source) return;
    destination = source;
}

void copy_library_page(LibraryBook& destination, int destination_page, const LibraryBook& source,
                       int source_page) {
    copy_page(destination.pages[destination_page], source.pages[source_page]);
    set_string(destination.page_names[destination_page], get_string(source.page_names[source_page]));
}

void take_snapshot(UndoSnapshot& undo, UndoKind kind, const Page& preview_page, const Page& library_page,
                   int slot) {
    undo.kind = kind;
    undo.slot = slot;
    switch (kind) {
        case UndoKind::preview_page:
            for (int i = 0; i < kPartsPerPage; ++i) undo.slots[i] = preview_page.slots[i];
            break;
        case UndoKind::library_page:
            for (int i = 0; i < kPartsPerPage; ++i) undo.slots[i] = library_page.slots[i];
            break;
        case UndoKind::preview_slot:
            if (slot >= 0 && slot < kPartsPerPage) undo.slots[slot] = preview_page.slots[slot];
            break;
        case UndoKind::library_slot:
            if (slot >= 0 && slot < kPartsPerPage) undo.slots[slot] = library_page.slots[slot];
            break;
        default:
            break;
    }
}

UndoKind restore_snapshot(const UndoSnapshot& undo, Page& preview_page, Page& library_page) {
    switch (undo.kind) {
        case UndoKind::preview_page:
            for (int i = 0; i < kPartsPerPage; ++i) preview_page.slots[i] = undo.slots[i];
            break;
        case UndoKind::library_page:
            for (int i = 0; i < kPartsPerPage; ++i) library_page.slots[i] = undo.slots[i];
            break;
        case UndoKind::preview_slot:
            if (undo.slot >= 0 && undo.slot < kPartsPerPage)
                preview_page.slots[undo.slot] = undo.slots[undo.slot];
            break;
        case UndoKind::library_slot:
            if (undo.slot >= 0 && undo.slot < kPartsPerPage)
                library_page.slots[undo.slot] = undo.slots[undo.slot];
            break;
        default:
            break;
    }
    return undo.kind;
}

const RenderSettings& active_render_settings(const PreviewBook& book, int page, bool render_pageflag,
                                             const RenderSettings& global) {
    return render_pageflag ? book.page_settings[page] : global;
}

}  // namespace glyphora
