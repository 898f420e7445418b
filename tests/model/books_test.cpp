#include "model/books.h"

#include <gtest/gtest.h>

namespace glyphora {
namespace {

class Books : public ::testing::Test {
  protected:
    std::unique_ptr<Documents> docs = make_documents();
    Page& page() { return docs->preview.pages[0]; }
    Page& lib() { return docs->library.pages[0]; }

    // Uses slots [first, last] with names "p<slot>".
    void use_slots(Page& pg, int first, int last) {
        for (int i = first; i <= last; ++i) {
            pg.slots[i].in_use = true;
            pg.slots[i].box = {1, 1, 5, 5};
            set_name(pg.slots[i], "p" + std::to_string(i));
        }
    }
    std::string name_at(const Page& pg, int i) { return std::string(get_string(pg.slots[i].name)); }
    int used_count(const Page& pg) {
        int n = 0;
        for (const auto& s : pg.slots) n += s.in_use;
        return n;
    }
};

TEST_F(Books, StartCleared) {
    EXPECT_TRUE(is_page_empty(page()));
    EXPECT_TRUE(docs->preview.pages[29].slots[49].always_opaque);
    EXPECT_EQ(docs->undo.kind, UndoKind::none);
    EXPECT_EQ(get_string(docs->preview.collection_name), "");
    page().slots[49].in_use = true;
    EXPECT_FALSE(is_page_empty(page()));
    docs->preview.page_settings[3].renderdotflag = true;
    set_string(docs->library.page_names[2], "faces");
    clear_preview(docs->preview);
    clear_library(docs->library);
    EXPECT_TRUE(is_page_empty(page()));
    EXPECT_FALSE(docs->preview.page_settings[3].renderdotflag);
    EXPECT_EQ(get_string(docs->library.page_names[2]), "");
}

TEST_F(Books, FindRegisterSlot) {
    EXPECT_EQ(find_register_slot(page()), 0);
    use_slots(page(), 3, 3);
    EXPECT_EQ(find_register_slot(page()), 4);  // after the last used slot, not in the gap
    use_slots(page(), 49, 49);
    EXPECT_EQ(find_register_slot(page()), 0);  // slot 49 used: first free slot
    use_slots(page(), 0, 49);
    EXPECT_EQ(find_register_slot(page()), 50);
}

TEST_F(Books, SingleSelectedCountsEmptySlotsSingleSelectedInUseDoesNot) {
    page().slots[5].selected = true;
    EXPECT_EQ(single_selected(page()), 5);
    EXPECT_EQ(single_selected_in_use(page()), -1);
    use_slots(page(), 5, 6);
    EXPECT_EQ(single_selected_in_use(page()), 5);
    page().slots[6].selected = true;
    EXPECT_EQ(single_selected(page()), -1);
    EXPECT_EQ(single_selected_in_use(page()), -1);
}

TEST_F(Books, CutTwoPartsCompactsAndSelectsTheFollowingSlot) {
    use_slots(page(), 0, 9);
    page().slots[3].selected = true;
    page().slots[7].selected = true;
    take_selection(page(), docs->clipboard, true);
    EXPECT_EQ(used_count(page()), 8);
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(page().slots[i].in_use) << i;
    EXPECT_EQ(name_at(page(), 3), "p4");
    EXPECT_TRUE(page().slots[3].selected);
    EXPECT_EQ(single_selected(page()), 3);
    EXPECT_EQ(get_string(docs->clipboard.entries[0].name), "p3");
    EXPECT_EQ(get_string(docs->clipboard.entries[1].name), "p7");
    EXPECT_FALSE(docs->clipboard.entries[0].selected);
    EXPECT_FALSE(docs->clipboard.entries[2].in_use);
    // Moved slots lose their measured box.
    EXPECT_TRUE(page().slots[3].box.is_zero());
    EXPECT_FALSE(page().slots[2].box.is_zero());
}

TEST_F(Books, CopyTwoPartsLeavesPageAndSelectsNextSlot) {
    use_slots(page(), 0, 9);
    page().slots[3].selected = true;
    page().slots[7].selected = true;
    take_selection(page(), docs->clipboard, false);
    EXPECT_EQ(used_count(page()), 10);
    EXPECT_FALSE(page().slots[3].selected);
    EXPECT_FALSE(page().slots[7].selected);
    EXPECT_EQ(single_selected(page()), 4);
    EXPECT_EQ(get_string(docs->clipboard.entries[1].name), "p7");
}

TEST_F(Books, AdjacentSelectionSelectsNothingAndEmptyCutChangesNothing) {
    use_slots(page(), 0, 4);
    page().slots[1].selected = true;
    page().slots[2].selected = true;
    take_selection(page(), docs->clipboard, false);
    EXPECT_EQ(single_selected(page()), -1);
    for (const auto& s : page().slots) EXPECT_FALSE(s.selected);

    // A cut with nothing selected leaves the page as it was but empties the clipboard.
    page().slots[2].in_use = false;
    take_selection(page(), docs->clipboard, true);
    EXPECT_FALSE(page().slots[2].in_use);
    EXPECT_TRUE(page().slots[3].in_use);
    EXPECT_FALSE(docs->clipboard.entries[0].in_use);
}

TEST_F(Books, CompactPageKeepsOrder) {
    use_slots(page(), 2, 2);
    use_slots(page(), 10, 10);
    use_slots(page(), 49, 49);
    compact_page(page());
    EXPECT_EQ(name_at(page(), 0), "p2");
    EXPECT_EQ(name_at(page(), 1), "p10");
    EXPECT_EQ(name_at(page(), 2), "p49");
    EXPECT_EQ(used_count(page()), 3);
}

void fill_clipboard(PartClipboard& cb, int n) {
    for (auto& e : cb.entries) clear_slot(e);
    for (int i = 0; i < n; ++i) {
        cb.entries[i].in_use = true;
        set_name(cb.entries[i], "c" + std::to_string(i));
    }
}

TEST_F(Books, PasteIntoFullTailFailsWithMinusTen) {
    fill_clipboard(docs->clipboard, 3);
    use_slots(page(), 48, 48);
    page().slots[10].selected = true;
    EXPECT_EQ(insert_block(page(), docs->clipboard, 10), kInsertNoRoom);
    EXPECT_EQ(single_selected(page()), -1);  // only the selection was cleared
    EXPECT_EQ(used_count(page()), 1);
}

TEST_F(Books, PasteShiftsAndReturnsFollowingSlot) {
    fill_clipboard(docs->clipboard, 3);
    use_slots(page(), 0, 46);
    EXPECT_EQ(insert_block(page(), docs->clipboard, 46), 49);
    EXPECT_EQ(name_at(page(), 49), "p46");
    EXPECT_EQ(name_at(page(), 46), "c0");
    EXPECT_EQ(name_at(page(), 48), "c2");
    EXPECT_TRUE(page().slots[46].selected && page().slots[47].selected && page().slots[48].selected);
    EXPECT_FALSE(page().slots[49].selected);
    EXPECT_TRUE(page().slots[49].box.is_zero());
}

TEST_F(Books, PasteAtTheEndDropsWhatDoesNotFit) {
    fill_clipboard(docs->clipboard, 3);
    use_slots(page(), 0, 46);
    page().slots[47].in_use = false;
    page().slots[48].selected = true;
    // Slots 47-49 must be free for a block of 3; slot 47 is free here, 46 is the last used.
    EXPECT_EQ(insert_block(page(), docs->clipboard, 48), -1);
    EXPECT_EQ(name_at(page(), 48), "c0");
    EXPECT_EQ(name_at(page(), 49), "c1");
    EXPECT_EQ(name_at(page(), 46), "p46");
}

TEST_F(Books, PasteIntoEmptyPageAndInvalidPositions) {
    fill_clipboard(docs->clipboard, 2);
    EXPECT_EQ(insert_block(page(), docs->clipboard, -1), -1);
    EXPECT_EQ(insert_block(page(), docs->clipboard, 0), 2);
    EXPECT_EQ(name_at(page(), 1), "c1");
    fill_clipboard(docs->clipboard, 0);
    EXPECT_EQ(insert_block(page(), docs->clipboard, 0), -1);
}

TEST_F(Books, UndoAfterPasteRestoresTwice) {
    use_slots(page(), 0, 4);
    fill_clipboard(docs->clipboard, 2);
    take_snapshot(docs->undo, UndoKind::preview_page, page(), lib(), 0);
    insert_block(page(), docs->clipboard, 1);
    EXPECT_EQ(used_count(page()), 7);
    EXPECT_EQ(restore_snapshot(docs->undo, page(), lib()), UndoKind::preview_page);
    EXPECT_EQ(used_count(page()), 5);
    EXPECT_EQ(name_at(page(), 1), "p1");
    set_name(page().slots[1], "changed");
    EXPECT_EQ(restore_snapshot(docs->undo, page(), lib()), UndoKind::preview_page);
    EXPECT_EQ(name_at(page(), 1), "p1");
}

TEST_F(Books, SlotSnapshotsRestoreOnlyTheirSlotAndInvalidSnapshotsNothing) {
    use_slots(lib(), 0, 3);
    take_snapshot(docs->undo, UndoKind::library_slot, page(), lib(), 2);
    set_name(lib().slots[2], "edited");
    set_name(lib().slots[1], "other");
    EXPECT_EQ(restore_snapshot(docs->undo, page(), lib()), UndoKind::library_slot);
    EXPECT_EQ(name_at(lib(), 2), "p2");
    EXPECT_EQ(name_at(lib(), 1), "other");

    take_snapshot(docs->undo, UndoKind::none, page(), lib(), 0);
    set_name(lib().slots[2], "kept");
    EXPECT_EQ(restore_snapshot(docs->undo, page(), lib()), UndoKind::none);
    EXPECT_EQ(name_at(lib(), 2), "kept");

    // A slot snapshot with a negative index copies nothing and restores nothing.
    take_snapshot(docs->undo, UndoKind::preview_slot, page(), lib(), -1);
    EXPECT_EQ(restore_snapshot(docs->undo, page(), lib()), UndoKind::preview_slot);
}

TEST_F(Books, CopyLibrarySelectionStopsWhenPreviewIsFull) {
    use_slots(lib(), 0, 2);
    for (auto& s : lib().slots) s.selected = true;
    lib().slots[1].x = 99;
    use_slots(page(), 0, 47);
    const auto result = copy_library_selection_to_preview(lib(), page());
    EXPECT_TRUE(result.full);
    EXPECT_EQ(result.copied, 2);
    EXPECT_EQ(name_at(page(), 49), "p1");
    EXPECT_EQ(page().slots[49].x, 0);
    EXPECT_TRUE(page().slots[49].selected);
    EXPECT_TRUE(page().slots[49].box.is_zero());
}

TEST_F(Books, CopyLibraryPageCarriesItsName) {
    use_slots(lib(), 0, 0);
    set_string(docs->library.page_names[0], "eyes");
    copy_library_page(docs->library, 5, docs->library, 0);
    EXPECT_EQ(get_string(docs->library.page_names[5]), "eyes");
    EXPECT_EQ(name_at(docs->library.pages[5], 0), "p0");
}

TEST_F(Books, ActiveSettingsFollowThePageFlag) {
    RenderSettings global = default_global_render_settings();
    docs->preview.page_settings[2].renderdotflag = true;
    EXPECT_TRUE(active_render_settings(docs->preview, 2, true, global).renderdotflag);
    EXPECT_FALSE(active_render_settings(docs->preview, 2, false, global).renderdotflag);
}

}  // namespace
}  // namespace glyphora
