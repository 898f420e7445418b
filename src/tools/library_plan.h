#pragma once
// The library maintenance plan: one row per page of the future library, saying where that page comes
// from (a page of the current library, a page of another library file, or nothing). The plan is edited
// row by row and then executed in one step, which rebuilds the library's 20 pages and names.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "model/books.h"
#include "storage/library_file.h"

namespace glyphora {

constexpr int kPlanRows = kLibraryPages;
constexpr int kLastPlanRow = kPlanRows - 1;
constexpr int kNoRow = -1;

struct PlanRow {
    bool from_other = false;       // the source is a page of the other library
    int32_t source_page = kNoRow;  // 0 to 19; kNoRow: the page will be empty and unnamed

    bool is_empty() const { return source_page == kNoRow; }
    friend bool operator==(const PlanRow&, const PlanRow&) = default;
};

struct LibraryPlan {
    std::array<PlanRow, kPlanRows> rows{};
    friend bool operator==(const LibraryPlan&, const LibraryPlan&) = default;
};

// Row i keeps page i of the library when that page has a part in use; empty pages become empty rows.
LibraryPlan initial_plan(const LibraryBook& library);

// Rows after `row` move up by one and the last row becomes empty. False (nothing changed) for a row out
// of range.
bool erase_row(LibraryPlan& plan, int row);

enum class InsertResult { inserted, no_row, no_room };
// Rows from `row` on move down by one and `row` becomes empty; no_room when the last row is not empty.
InsertResult insert_row(LibraryPlan& plan, int row);

// Swap with the row above or below; false at the edges and for rows out of range.
bool move_row_up(LibraryPlan& plan, int row);
bool move_row_down(LibraryPlan& plan, int row);

struct BringInResult {
    int inserted = 0;
    bool too_many = false;  // the last row filled up before every selected page was in
};
// Inserts the selected, used pages of the other library at current_row, taking them from the highest
// index down, so that they end up in ascending order. Unused pages are skipped; without a current row
// nothing is inserted. Pages inserted before the plan ran out of room stay.
BringInResult bring_in_pages(LibraryPlan& plan, const LibraryIndex& other,
                             const std::array<bool, kLibraryPages>& selected, int current_row);

// List rows (Shift_JIS, at most 255 bytes): a row of the plan, and a page of the other library.
std::string plan_row_text(const PlanRow& row, const LibraryBook& library, const LibraryIndex& other);
std::string other_page_text(const LibraryIndex& other, int page);

// A cleared library book for executing a plan; empty when the memory is not available.
std::unique_ptr<LibraryBook> make_scratch_library();

struct ExecuteResult {
    FileStatus status = FileStatus::ok;  // of the first page of the other library that could not be read
    int failed_row = kNoRow;
    bool ok() const { return status == FileStatus::ok; }
};

// Builds the new pages in `scratch` (which must be cleared) and, only when every page could be built,
// copies its 20 pages and names over the library. Pages of the other library are read from other_path
// when the index says they are used. On a failure the library is left exactly as it was.
ExecuteResult execute_plan(const LibraryPlan& plan, LibraryBook& library, const std::string& other_path,
                           const LibraryIndex& other, LibraryBook& scratch);

}  // namespace glyphora
