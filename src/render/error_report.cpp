#include "render/error_report.h"

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
        default:
            return "";
    }
}

std::string render_result_text(const ErrorReport& report) {
    std::string text;
    for (const ErrorKind kind :
         {ErrorKind::line_full, ErrorKind::gap_no_room, ErrorKind::inexact_blank, ErrorKind::text_too_long,
          ErrorKind::too_many_lines, ErrorKind::too_many_blanks}) {
        const int32_t value = report.slots[index_of(kind)];
        if (value == 0) continue;
        if (value < kNoLine) text += std::to_string(value) + "行目：";
        text += error_message(kind);
        text += "\r\n";
    }
    return text.empty() ? std::string(kRenderResultNoErrors) : text;
}

}  // namespace glyphora
