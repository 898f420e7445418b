#pragma once
// What went wrong during one rendering. The renderer never stops for a problem: it records the kind and the
// line (the last line per kind wins) and finishes the page; the result dialog lists the kinds afterwards.

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

enum class ErrorKind : int {
    line_full = 1,        // a line ran out of its 1000 cells while the parts were laid out
    gap_no_room = 2,      // a line ran out of cells while its gaps were filled
    inexact_blank = 3,    // a blank run could not be written at its exact width
    text_too_long = 4,    // a write did not fit into the text buffer
    too_many_lines = 5,   // a part's line break led above line 1 or below line 80
    too_many_blanks = 6,  // a blank run needed more than 300 space items
    fractional = 7,       // a line holds a character whose advance is not a whole pixel
};

constexpr int kErrorSlots = 8;    // slot 0 is never used
constexpr int32_t kNoLine = 999;  // the slot value of an occurrence not tied to a line

// The kind's slot in ErrorReport::slots (reports list the kinds in this order).
constexpr int index_of(ErrorKind kind) {
    return static_cast<int>(kind);
}

struct ErrorReport {
    // 0 when the kind did not occur, else the number (1 to 80) of the last line it occurred on, or kNoLine.
    int32_t slots[kErrorSlots] = {};
    // Every line (1 to 80) on which ErrorKind::fractional was recorded; a report names them all.
    std::bitset<81> fractional_lines;
    // The numeric character references in the output and the bytes they take.
    int32_t references = 0;
    int32_t reference_bytes = 0;
    friend bool operator==(const ErrorReport&, const ErrorReport&) = default;
};

void clear_report(ErrorReport& report);
void record_error(ErrorReport& report, ErrorKind kind, int32_t value);
bool has_errors(const ErrorReport& report);

// Records ErrorKind::fractional for line (1 to 80).
void record_fractional_line(ErrorReport& report, int32_t line);
// Counts the references in a page's output text.
void count_references(std::string_view text, ErrorReport& report);
// Adds a page's report to that of several pages: for each kind the page's occurrence replaces an earlier
// one, the lines of fractional characters and the reference counts add up.
void merge_report(ErrorReport& total, const ErrorReport& page);

// The message of a kind, UTF-8, for the user interface; "" for a value that is no kind.
const char* error_message(ErrorKind kind);

// The text of the rendering result dialog (UTF-8): one line per recorded kind, "N行目：" before the message
// when it is tied to a line ("3、7～9行目：" for the lines of fractional characters), each ended by CR LF; or
// the all-clear sentence when nothing was recorded. Then, when the output holds references, a line with
// their number and bytes.
std::string render_result_text(const ErrorReport& report);

// The dialog's title and its one button.
constexpr const char* kRenderResultTitle = "レンダリング終了";
constexpr const char* kRenderResultClose = "閉じる";
constexpr const char* kRenderResultNoErrors = "レンダリングは無事終了しました";

}  // namespace glyphora
