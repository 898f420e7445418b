// The error report and the text of the rendering result dialog.
#include "render/error_report.h"

#include <gtest/gtest.h>

namespace glyphora {
namespace {

TEST(ErrorReport, ResultText) {
    ErrorReport r;
    EXPECT_FALSE(has_errors(r));
    EXPECT_EQ(render_result_text(r), "レンダリングは無事終了しました");

    record_error(r, ErrorKind::inexact_blank, 3);
    record_error(r, ErrorKind::inexact_blank, 12);  // the last occurrence wins
    record_error(r, ErrorKind::too_many_lines, kNoLine);
    EXPECT_TRUE(has_errors(r));
    EXPECT_EQ(render_result_text(r),
              "12行目：パーツの合成中に小さすぎる空白があり、背景がずれたところがあります\r\n"
              "出来上がったテキストの改行数が多すぎます\r\n");

    clear_report(r);
    for (int k = 1; k < kErrorSlots; ++k) record_error(r, static_cast<ErrorKind>(k), k);
    EXPECT_EQ(render_result_text(r),
              "1行目：文字の整理中に１行８００文字の制限を越えました\r\n"
              "2行目：全く文字の無い所を空白に変換中に１行文字数の制限を越えました\r\n"
              "3行目：パーツの合成中に小さすぎる空白があり、背景がずれたところがあります\r\n"
              "4行目：出来上がったテキストの文字数が多すぎます\r\n"
              "5行目：出来上がったテキストの改行数が多すぎます\r\n"
              "6行目：空白の整理中に、連続できる空白の限界個数を超えました\r\n");
    EXPECT_STREQ(error_message(static_cast<ErrorKind>(0)), "");
    EXPECT_STREQ(error_message(static_cast<ErrorKind>(7)), "");
}

}  // namespace
}  // namespace glyphora
