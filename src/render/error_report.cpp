#include "render/error_report.h"

#include "render/part_markup.h"

namespace glyphora {

void clear_report(ErrorReport& report) {
    report = ErrorReport{};
}

void record_error(ErrorReport& report, ErrorKind kind, int32_t value) {
    const int k = index_of(kind);
    if (k >= 1 && k < kErrorSlots) report.slots[k] = value;
}

bool has_errors(const ErrorReport& report) {
    for (int k = 1; k < kErrorSlots; ++k)
        if (report.slots[k] != 0) return true;
    return false;
}

void record_fractional_line(ErrorReport& report, int32_t line) {
    record_error(report, ErrorKind::fractional, line);
    if (line >= 1 && line < static_cast<int32_t>(report.fractional_lines.size()))
        report.fractional_lines.set(line);
}

void count_references(std::string_view text, ErrorReport& report) {
    // "&" and "#" lie below every trail byte of Shift_JIS, so a byte-wise search finds only real ones.
    for (std::size_t pos = text.find("&#"); pos != std::string_view::npos; pos = text.find("&#", pos)) {
        const CharReference ref = match_reference(text, pos);
        if (ref.length == 0) {
            ++pos;
            continue;
        }
        ++report.references;
        report.reference_bytes += ref.length;
        pos += static_cast<std::size_t>(ref.length);
    }
}

void merge_report(ErrorReport& total, const ErrorReport& page) {
    for (int k = 1; k < kErrorSlots; ++k)
        if (page.slots[k] != 0) total.slots[k] = page.slots[k];
    total.fractional_lines |= page.fractional_lines;
    total.references += page.references;
    total.reference_bytes += page.reference_bytes;
}

const char* error_message(ErrorKind kind) {
    switch (kind) {
        // The limit is 1000 cells; the message has always said 800, and users know it by that text.
        case ErrorKind::line_full:
            return "文字の整理中に１行８００文字の制限を越えました";
        case ErrorKind::gap_no_room:
            return "全く文字の無い所を空白に変換中に１行文字数の制限を越えました";
        case ErrorKind::inexact_blank:
            return "パーツの合成中に小さすぎる空白があり、背景がずれたところがあります";
        case ErrorKind::text_too_long:
            return "出来上がったテキストの文字数が多すぎます";
        case ErrorKind::too_many_lines:
            return "出来上がったテキストの改行数が多すぎます";
        case ErrorKind::too_many_blanks:
            return "空白の整理中に、連続できる空白の限界個数を超えました";
        case ErrorKind::fractional:
            return "幅が１ドット単位でない文字参照があり、ブラウザではその後ろの文字が少しずれます";
        default:
            return "";
    }
}

namespace {

// "3、7～9、12" for the lines of fractional characters.
std::string line_list(const ErrorReport& report) {
    const std::size_t end = report.fractional_lines.size();
    std::string list;
    for (std::size_t line = 1; line < end; ++line) {
        if (!report.fractional_lines.test(line)) continue;
        std::size_t last = line;
        while (last + 1 < end && report.fractional_lines.test(last + 1)) ++last;
        if (!list.empty()) list += "、";
        list += std::to_string(line);
        if (last > line) list += "～" + std::to_string(last);
        line = last;
    }
    return list;
}

}  // namespace

std::string render_result_text(const ErrorReport& report) {
    std::string text;
    for (const ErrorKind kind :
         {ErrorKind::line_full, ErrorKind::gap_no_room, ErrorKind::inexact_blank, ErrorKind::text_too_long,
          ErrorKind::too_many_lines, ErrorKind::too_many_blanks, ErrorKind::fractional}) {
        const int32_t value = report.slots[index_of(kind)];
        if (value == 0) continue;
        const std::string lines = kind == ErrorKind::fractional ? line_list(report) : std::string();
        if (!lines.empty()) {
            text += lines + "行目：";
        } else if (value < kNoLine) {
            text += std::to_string(value) + "行目：";
        }
        text += error_message(kind);
        text += "\r\n";
    }
    if (text.empty()) text = kRenderResultNoErrors;
    if (report.references > 0) {
        if (!text.ends_with("\r\n")) text += "\r\n";
        text += "出力の文字参照：" + std::to_string(report.references) + "個（" +
                std::to_string(report.reference_bytes) + "バイト）\r\n";
    }
    return text;
}

}  // namespace glyphora
