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
              "6行目：空白の整理中に、連続できる空白の限界個数を超えました\r\n"
              "7行目：幅が１ドット単位でない文字参照があり、ブラウザではその後ろの文字が少しずれます\r\n");
    EXPECT_STREQ(error_message(static_cast<ErrorKind>(0)), "");
    EXPECT_STREQ(error_message(static_cast<ErrorKind>(8)), "");
}

TEST(ErrorReport, FractionalLinesAndReferences) {
    ErrorReport r;
    for (const int line : {12, 3, 7, 8, 9, 80}) record_fractional_line(r, line);
    EXPECT_EQ(r.slots[index_of(ErrorKind::fractional)], 80);
    const std::string message = error_message(ErrorKind::fractional);
    EXPECT_EQ(render_result_text(r), "3、7～9、12、80行目：" + message + "\r\n");

    // The references follow the problems, or the all-clear sentence.
    ErrorReport refs;
    count_references("A&#x2005;&#;&#65&amp;&#0;\x81\x40&#X1F600;", refs);
    EXPECT_EQ(refs.references, 3);
    EXPECT_EQ(refs.reference_bytes, 8 + 4 + 9);
    EXPECT_FALSE(has_errors(refs));
    EXPECT_EQ(render_result_text(refs),
              "レンダリングは無事終了しました\r\n出力の文字参照：3個（21バイト）\r\n");

    // Several pages: the last line of each kind, the fractional lines and the counts of all of them.
    ErrorReport total;
    merge_report(total, r);
    merge_report(total, refs);
    record_error(refs, ErrorKind::inexact_blank, 5);
    record_fractional_line(refs, 1);
    merge_report(total, refs);
    EXPECT_EQ(total.slots[index_of(ErrorKind::inexact_blank)], 5);
    EXPECT_EQ(total.slots[index_of(ErrorKind::fractional)], 1);
    EXPECT_EQ(total.references, 6);
    EXPECT_EQ(total.reference_bytes, 42);
    EXPECT_EQ(render_result_text(total),
              "5行目：パーツの合成中に小さすぎる空白があり、背景がずれたところがあります\r\n"
              "1、3、7～9、12、80行目：" +
                  message + "\r\n出力の文字参照：6個（42バイト）\r\n");
}

}  // namespace
}  // namespace glyphora
