// The library maintenance plan: its opening state, the row edits with their bounds, bringing in pages of
// another library, the row texts, and executing the plan over the library.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "storage/test_support.h"
#include "tools/library_plan.h"

namespace glyphora {
namespace {

using test::fill_part;
using test::stored;

// Shift_JIS pieces of the row texts.
const std::string kDashes = "\x81\x7c\x81\x7c";          // "－－"
const std::string kNew = "\x90\x56\x81\x46";             // "新："
const std::string kOld = "\x8c\xb3\x81\x46";             // "元："
const std::string kUsed = "\x8e\x67\x97\x70";            // "使用"
const std::string kUnused = "\x96\xa2\x8e\x67\x97\x70";  // "未使用"

PlanRow current(int page) {
    return PlanRow{false, page};
}
PlanRow other(int page) {
    return PlanRow{true, page};
}

// A plan whose row i is (current, 100 + i) for rows < used_rows: tags that are easy to follow around.
LibraryPlan tagged_plan(int used_rows) {
    LibraryPlan plan;
    for (int i = 0; i < used_rows; ++i) plan.rows[i] = current(100 + i);
    return plan;
}

std::vector<int> sources(const LibraryPlan& plan) {
    std::vector<int> out;
    for (const PlanRow& row : plan.rows)
        out.push_back(row.from_other ? 1000 + row.source_page : row.source_page);
    return out;
}

// The stored form of a whole page: two pages are the same as far as the library file goes when these are.
std::string page_bytes(const Page& page) {
    std::string out;
    for (const Part& part : page.slots) out += stored(part);
    return out;
}

class LibraryPlanTest : public ::testing::Test {
  protected:
    void SetUp() override { clear_library(*library); }

    // Page `page` gets a part in `slot`, its seed telling pages apart.
    void use_page(LibraryBook& book, int page, int slot = 0) {
        fill_part(book.pages[page].slots[slot], page * 100 + slot + 1);
    }

    std::unique_ptr<LibraryBook> library = std::make_unique<LibraryBook>();
    LibraryIndex index;
};

TEST_F(LibraryPlanTest, OpeningKeepsTheUsedPagesWhereTheyAre) {
    use_page(*library, 0);
    use_page(*library, 2);
    set_string(library->page_names[0], "face");
    set_string(library->page_names[1], "named but empty");
    set_string(library->page_names[2], "\x82\xa0\x82\xa2");  // "あい": four bytes, padded as four columns
    // A page whose only used slot is the last one is used.
    use_page(*library, 7, kPartsPerPage - 1);

    const LibraryPlan plan = initial_plan(*library);
    std::vector<int> expected(kPlanRows, kNoRow);
    expected[0] = 0;
    expected[2] = 2;
    expected[7] = 7;
    EXPECT_EQ(sources(plan), expected);

    EXPECT_EQ(plan_row_text(plan.rows[0], *library, index), kOld + "[face            ] " + kUsed);
    EXPECT_EQ(plan_row_text(plan.rows[1], *library, index), kDashes);
    EXPECT_EQ(plan_row_text(plan.rows[2], *library, index), kOld + "[\x82\xa0\x82\xa2            ] " + kUsed);
    EXPECT_EQ(plan_row_text(plan.rows[7], *library, index), kOld + "[                ] " + kUsed);
    for (int i = 8; i < kPlanRows; ++i) EXPECT_EQ(plan_row_text(plan.rows[i], *library, index), kDashes);
}

TEST_F(LibraryPlanTest, RowTextsOfEveryKind) {
    set_string(library->page_names[3], "old empty");
    set_string(index.page_names[0], "fresh");
    index.page_used[0] = true;
    set_string(index.page_names[1], "fresh empty");
    set_string(index.page_names[4], "exactly-16-bytes");
    index.page_used[4] = true;
    set_string(index.page_names[5], "a name of twenty-nine bytes!!");

    EXPECT_EQ(plan_row_text(other(0), *library, index), kNew + "[fresh           ] " + kUsed);
    EXPECT_EQ(plan_row_text(other(1), *library, index), kNew + "[fresh empty     ] " + kUnused);
    EXPECT_EQ(plan_row_text(other(2), *library, index), kUnused);
    EXPECT_EQ(plan_row_text(current(3), *library, index), kOld + "[old empty       ] " + kUnused);
    EXPECT_EQ(plan_row_text(current(4), *library, index), kUnused);
    // Names of 16 bytes and more are neither padded nor cut.
    EXPECT_EQ(plan_row_text(other(4), *library, index), kNew + "[exactly-16-bytes] " + kUsed);
    EXPECT_EQ(plan_row_text(other(5), *library, index), kNew + "[a name of twenty-nine bytes!!] " + kUnused);
    EXPECT_EQ(plan_row_text(PlanRow{}, *library, index), kDashes);

    EXPECT_EQ(other_page_text(index, 0), "[fresh           ] " + kUsed);
    EXPECT_EQ(other_page_text(index, 1), "[fresh empty     ] " + kUnused);
    EXPECT_EQ(other_page_text(index, 2), kUnused);
    // An index that was never read shows 20 unused pages.
    const LibraryIndex none;
    for (int page = 0; page < kLibraryPages; ++page) EXPECT_EQ(other_page_text(none, page), kUnused);
}

TEST_F(LibraryPlanTest, EraseMovesTheRowsBelowUp) {
    LibraryPlan plan = tagged_plan(kPlanRows);
    ASSERT_TRUE(erase_row(plan, 0));
    for (int i = 0; i < kLastPlanRow; ++i) EXPECT_EQ(plan.rows[i], current(101 + i));
    EXPECT_TRUE(plan.rows[kLastPlanRow].is_empty());
    EXPECT_FALSE(plan.rows[kLastPlanRow].from_other);

    plan = tagged_plan(kPlanRows);
    ASSERT_TRUE(erase_row(plan, kLastPlanRow));
    EXPECT_EQ(plan.rows[18], current(118));
    EXPECT_TRUE(plan.rows[kLastPlanRow].is_empty());

    const LibraryPlan before = tagged_plan(5);
    plan = before;
    EXPECT_FALSE(erase_row(plan, kNoRow));
    EXPECT_FALSE(erase_row(plan, kPlanRows));
    EXPECT_EQ(plan, before);
}

TEST_F(LibraryPlanTest, InsertNeedsARowAndRoomAtTheEnd) {
    LibraryPlan plan = tagged_plan(kLastPlanRow);  // rows 0 to 18 used, row 19 empty
    EXPECT_EQ(insert_row(plan, 3), InsertResult::inserted);
    EXPECT_EQ(plan.rows[2], current(102));
    EXPECT_TRUE(plan.rows[3].is_empty());
    EXPECT_EQ(plan.rows[4], current(103));
    EXPECT_EQ(plan.rows[kLastPlanRow], current(118));

    // Row 19 is now used: nothing more goes in, wherever.
    const LibraryPlan full = plan;
    EXPECT_EQ(insert_row(plan, 0), InsertResult::no_room);
    EXPECT_EQ(insert_row(plan, kLastPlanRow), InsertResult::no_room);
    EXPECT_EQ(plan, full);

    plan = tagged_plan(2);
    const LibraryPlan before = plan;
    EXPECT_EQ(insert_row(plan, kNoRow), InsertResult::no_row);
    EXPECT_EQ(insert_row(plan, kPlanRows), InsertResult::no_row);
    EXPECT_EQ(plan, before);
    // Inserting at the last row empties it.
    EXPECT_EQ(insert_row(plan, kLastPlanRow), InsertResult::inserted);
    EXPECT_EQ(plan, before);
}

TEST_F(LibraryPlanTest, UpAndDownStopAtTheEdges) {
    LibraryPlan plan = tagged_plan(kPlanRows);
    EXPECT_FALSE(move_row_up(plan, 0));
    EXPECT_FALSE(move_row_down(plan, kLastPlanRow));
    EXPECT_FALSE(move_row_up(plan, kNoRow));
    EXPECT_FALSE(move_row_down(plan, kNoRow));
    EXPECT_FALSE(move_row_up(plan, kPlanRows));
    EXPECT_EQ(plan, tagged_plan(kPlanRows));

    EXPECT_TRUE(move_row_up(plan, kLastPlanRow));
    EXPECT_EQ(plan.rows[18], current(119));
    EXPECT_EQ(plan.rows[19], current(118));
    EXPECT_TRUE(move_row_down(plan, 0));
    EXPECT_EQ(plan.rows[0], current(101));
    EXPECT_EQ(plan.rows[1], current(100));
}

TEST_F(LibraryPlanTest, BringingInPagesKeepsTheirOrderAtTheCurrentRow) {
    for (int page : {3, 4, 5, 7}) index.page_used[page] = true;
    std::array<bool, kLibraryPages> selected{};
    selected[3] = selected[5] = selected[7] = true;
    selected[9] = true;  // not used: skipped

    LibraryPlan plan = tagged_plan(17);  // rows 17 to 19 empty
    const BringInResult result = bring_in_pages(plan, index, selected, 1);
    EXPECT_EQ(result.inserted, 3);
    EXPECT_FALSE(result.too_many);
    EXPECT_EQ(plan.rows[0], current(100));
    EXPECT_EQ(plan.rows[1], other(3));
    EXPECT_EQ(plan.rows[2], other(5));
    EXPECT_EQ(plan.rows[3], other(7));
    for (int i = 4; i < kPlanRows; ++i) EXPECT_EQ(plan.rows[i], current(100 + i - 3));

    // Without a current row nothing goes in.
    plan = tagged_plan(5);
    EXPECT_EQ(bring_in_pages(plan, index, selected, kNoRow).inserted, 0);
    EXPECT_EQ(plan, tagged_plan(5));
}

TEST_F(LibraryPlanTest, BringingInStopsWhenThePlanIsFull) {
    for (int page : {3, 5, 7}) index.page_used[page] = true;
    std::array<bool, kLibraryPages> selected{};
    selected[3] = selected[5] = selected[7] = true;

    // Row 19 used: the message comes before anything is inserted, with or without a current row.
    for (int row : {0, kNoRow}) {
        LibraryPlan plan = tagged_plan(kPlanRows);
        const BringInResult result = bring_in_pages(plan, index, selected, row);
        EXPECT_TRUE(result.too_many);
        EXPECT_EQ(result.inserted, 0);
        EXPECT_EQ(plan, tagged_plan(kPlanRows));
    }

    // Room for two: pages 7 and then 5 go in at row 0 (5 before 7), page 3 does not; they stay.
    LibraryPlan plan = tagged_plan(18);
    const BringInResult result = bring_in_pages(plan, index, selected, 0);
    EXPECT_TRUE(result.too_many);
    EXPECT_EQ(result.inserted, 2);
    EXPECT_EQ(plan.rows[0], other(5));
    EXPECT_EQ(plan.rows[1], other(7));
    EXPECT_EQ(plan.rows[2], current(100));
    EXPECT_EQ(plan.rows[kLastPlanRow], current(117));
}

class ExecutePlanTest : public LibraryPlanTest {
  protected:
    void SetUp() override {
        LibraryPlanTest::SetUp();
        dir = test::fresh_dir();
        other_path = (dir / "other.aal").string();
        clear_library(*other_book);
        for (int page : {1, 4}) {
            fill_part(other_book->pages[page].slots[0], 5000 + page);
            fill_part(other_book->pages[page].slots[kPartsPerPage - 1], 6000 + page);
        }
        set_string(other_book->page_names[1], "other one");
        set_string(other_book->page_names[4], "other four");
        ASSERT_EQ(write_library(other_path, *other_book), FileStatus::ok);
        ASSERT_EQ(read_library_index(other_path, index), FileStatus::ok);

        for (int page : {0, 2, 5}) {
            use_page(*library, page);
            set_string(library->page_names[page], "page " + std::to_string(page));
        }
        set_string(library->page_names[1], "empty but named");
        library->current_page = 5;
        set_string(library->path, "/somewhere/library.aal");
        library->library_writable = false;
    }

    ExecuteResult run(const LibraryPlan& plan) {
        const auto scratch = make_scratch_library();
        EXPECT_TRUE(scratch);
        return execute_plan(plan, *library, other_path, index, *scratch);
    }

    // Everything of the library that a plan may change, in stored form.
    std::vector<std::string> snapshot() const {
        std::vector<std::string> out;
        for (int p = 0; p < kLibraryPages; ++p)
            out.push_back(std::string(get_string(library->page_names[p])) + "|" +
                          page_bytes(library->pages[p]));
        return out;
    }

    std::filesystem::path dir;
    std::string other_path;
    std::unique_ptr<LibraryBook> other_book = std::make_unique<LibraryBook>();
};

TEST_F(ExecutePlanTest, TheOpeningPlanOnlyDropsTheNamesOfEmptyPages) {
    std::vector<std::string> expected = snapshot();
    expected[1] = "|" + page_bytes(library->pages[1]);

    ASSERT_TRUE(run(initial_plan(*library)).ok());
    EXPECT_EQ(snapshot(), expected);
    // Only pages and names are rebuilt.
    EXPECT_EQ(library->current_page, 5);
    EXPECT_EQ(get_string(library->path), "/somewhere/library.aal");
    EXPECT_FALSE(library->library_writable);
}

TEST_F(ExecutePlanTest, ErasingRowZeroMovesEveryPageUp) {
    const std::vector<std::string> before = snapshot();
    LibraryPlan plan = initial_plan(*library);
    ASSERT_TRUE(erase_row(plan, 0));
    ASSERT_TRUE(run(plan).ok());

    const std::vector<std::string> after = snapshot();
    const std::string empty = "|" + page_bytes(library->pages[kLibraryPages - 1]);
    EXPECT_EQ(after[0], empty);  // the former page 1 was empty: its name went
    EXPECT_EQ(after[1], before[2]);
    EXPECT_EQ(after[4], before[5]);
    EXPECT_TRUE(is_page_empty(library->pages[kLibraryPages - 1]));
    EXPECT_EQ(after[kLibraryPages - 1], empty);
}

TEST_F(ExecutePlanTest, PagesComeWholeFromBothLibraries) {
    LibraryPlan plan;
    plan.rows[0] = current(5);
    plan.rows[1] = other(4);
    plan.rows[2] = current(0);
    plan.rows[3] = other(1);
    plan.rows[4] = current(5);  // a page may be used twice
    const std::vector<std::string> before = snapshot();
    ASSERT_TRUE(run(plan).ok());

    const std::vector<std::string> after = snapshot();
    EXPECT_EQ(after[0], before[5]);
    EXPECT_EQ(after[2], before[0]);
    EXPECT_EQ(after[4], before[5]);
    EXPECT_EQ(after[1], "other four|" + page_bytes(other_book->pages[4]));
    EXPECT_EQ(after[3], "other one|" + page_bytes(other_book->pages[1]));
    for (int p = 5; p < kLibraryPages; ++p) {
        EXPECT_TRUE(is_page_empty(library->pages[p]));
        EXPECT_EQ(get_string(library->page_names[p]), "");
    }
}

TEST_F(ExecutePlanTest, AnOtherLibraryThatCannotBeReadChangesNothing) {
    LibraryPlan plan;
    plan.rows[0] = other(1);
    plan.rows[1] = current(0);
    plan.rows[2] = other(4);
    const std::vector<std::string> before = snapshot();

    // Cut off inside page 4's records: page 1 could be read on its own, but the file is damaged.
    const std::string bytes = test::file_content(other_path);
    write_file_atomically(other_path, bytes.substr(0, bytes.size() - 200));
    ExecuteResult result = run(plan);
    EXPECT_EQ(result.status, FileStatus::cut_off);
    EXPECT_EQ(result.failed_row, 0);
    EXPECT_EQ(snapshot(), before);

    std::filesystem::remove(other_path);
    result = run(plan);
    EXPECT_EQ(result.status, FileStatus::cannot_open_for_reading);
    EXPECT_EQ(snapshot(), before);

    // Pages the index says are unused are not read at all: nothing can fail for them.
    plan.rows[0] = other(2);
    plan.rows[2] = PlanRow{};
    result = run(plan);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(is_page_empty(library->pages[0]));
    EXPECT_EQ(get_string(library->page_names[0]), "");
    EXPECT_EQ(snapshot()[1], before[0]);
}

TEST_F(LibraryPlanTest, ScratchLibraryStartsCleared) {
    const auto scratch = make_scratch_library();
    ASSERT_TRUE(scratch);
    for (int p = 0; p < kLibraryPages; ++p) {
        EXPECT_TRUE(is_page_empty(scratch->pages[p]));
        EXPECT_EQ(get_string(scratch->page_names[p]), "");
    }
}

}  // namespace
}  // namespace glyphora
