#include "tools/library_plan.h"

#include <new>
#include <string_view>
#include <utility>

namespace glyphora {

namespace {

// Row texts are Shift_JIS, like the page names they show.
constexpr std::string_view kEmptyRowText = "\x81\x7c\x81\x7c";        // "－－"
constexpr std::string_view kNewPrefix = "\x90\x56\x81\x46";           // "新："
constexpr std::string_view kOldPrefix = "\x8c\xb3\x81\x46";           // "元："
constexpr std::string_view kUsedText = "\x8e\x67\x97\x70";            // "使用"
constexpr std::string_view kUnusedText = "\x96\xa2\x8e\x67\x97\x70";  // "未使用"
constexpr std::size_t kNameColumns = 16;

bool valid_row(int row) {
    return row >= 0 && row < kPlanRows;
}

// "[name] 使用" or "[name] 未使用", the name padded with spaces to 16 bytes as a "%-16s" would.
std::string named_page_text(std::string_view name, bool used) {
    std::string text = "[";
    text += name;
    if (name.size() < kNameColumns) text.append(kNameColumns - name.size(), ' ');
    text += "] ";
    text += used ? kUsedText : kUnusedText;
    return text;
}

// The text of a page that is used or named; "未使用" alone for an unused page without a name.
std::string page_text(std::string_view prefix, std::string_view name, bool used) {
    if (!used && name.empty()) return std::string(kUnusedText);
    return std::string(prefix) + named_page_text(name, used);
}

// Rows first..18 move down by one; row `first` is left as it was (the caller sets it).
void shift_down_from(LibraryPlan& plan, int first) {
    for (int i = kLastPlanRow; i > first; --i) plan.rows[i] = plan.rows[i - 1];
}

}  // namespace

LibraryPlan initial_plan(const LibraryBook& library) {
    LibraryPlan plan;
    for (int i = 0; i < kPlanRows; ++i)
        if (!is_page_empty(library.pages[i])) plan.rows[i] = PlanRow{false, i};
    return plan;
}

bool erase_row(LibraryPlan& plan, int row) {
    if (!valid_row(row)) return false;
    for (int i = row; i < kLastPlanRow; ++i) plan.rows[i] = plan.rows[i + 1];
    plan.rows[kLastPlanRow] = PlanRow{};
    return true;
}

InsertResult insert_row(LibraryPlan& plan, int row) {
    if (!valid_row(row)) return InsertResult::no_row;
    if (!plan.rows[kLastPlanRow].is_empty()) return InsertResult::no_room;
    shift_down_from(plan, row);
    plan.rows[row] = PlanRow{};
    return InsertResult::inserted;
}

bool move_row_up(LibraryPlan& plan, int row) {
    if (row < 1 || row > kLastPlanRow) return false;
    std::swap(plan.rows[row - 1], plan.rows[row]);
    return true;
}

bool move_row_down(LibraryPlan& plan, int row) {
    if (row < 0 || row >= kLastPlanRow) return false;
    std::swap(plan.rows[row], plan.rows[row + 1]);
    return true;
}

BringInResult bring_in_pages(LibraryPlan& plan, const LibraryIndex& other,
                             const std::array<bool, kLibraryPages>& selected, int current_row) {
    BringInResult result;
    for (int page = kLibraryPages - 1; page >= 0; --page) {
        if (!selected[page] || !other.page_used[page]) continue;
        // The room is checked before the current row, so a full plan is reported even without one.
        if (!plan.rows[kLastPlanRow].is_empty()) {
            result.too_many = true;
            return result;
        }
        if (!valid_row(current_row)) continue;
        shift_down_from(plan, current_row);
        plan.rows[current_row] = PlanRow{true, page};
        ++result.inserted;
    }
    return result;
}

std::string plan_row_text(const PlanRow& row, const LibraryBook& library, const LibraryIndex& other) {
    const int page = row.source_page;
    if (page < 0 || page >= kLibraryPages) return std::string(kEmptyRowText);
    if (row.from_other)
        return page_text(kNewPrefix, get_string(other.page_names[page]), other.page_used[page]);
    return page_text(kOldPrefix, get_string(library.page_names[page]), !is_page_empty(library.pages[page]));
}

std::string other_page_text(const LibraryIndex& other, int page) {
    if (page < 0 || page >= kLibraryPages) return std::string(kUnusedText);
    return page_text({}, get_string(other.page_names[page]), other.page_used[page]);
}

std::unique_ptr<LibraryBook> make_scratch_library() {
    // A library book is about 16 MB: its allocation may fail, and that is reported rather than thrown.
    std::unique_ptr<LibraryBook> book(new (std::nothrow) LibraryBook);
    if (book) clear_library(*book);
    return book;
}

ExecuteResult execute_plan(const LibraryPlan& plan, LibraryBook& library, const std::string& other_path,
                           const LibraryIndex& other, LibraryBook& scratch) {
    ExecuteResult result;
    for (int i = 0; i < kPlanRows; ++i) {
        const PlanRow& row = plan.rows[i];
        const int page = row.source_page;
        if (page < 0 || page >= kLibraryPages) continue;
        if (!row.from_other) {
            copy_library_page(scratch, i, library, page);
        } else if (other.page_used[page]) {
            // The other file may have changed or gone since its index was read: a page that cannot be
            // read whole stops the execution instead of leaving a half-read page in the library.
            const FileStatus status = read_library_page_all_or_nothing(other_path, page, scratch, i);
            if (status != FileStatus::ok) {
                result.status = status;
                result.failed_row = i;
                return result;
            }
        }
    }
    for (int i = 0; i < kLibraryPages; ++i) copy_library_page(library, i, scratch, i);
    return result;
}

}  // namespace glyphora
