#include "render/output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "io/file_io.h"
#include "io/test_support.h"
#include "model/test_support.h"
#include "render/render_page.h"

namespace glyphora {
namespace {

namespace fs = std::filesystem;
using test::put_part;
using test::transparent;

const std::string kText = "\x83\x65\x83\x4C\x83\x58\x83\x67";  // "テキスト"
const std::string kFull = "\x81\x40";
const std::string kNul(1, '\0');

TEST(OutputFile, DefaultNameAndFilterList) {
    OutputFileChoice c = choose_output_file("txt", "");
    EXPECT_EQ(c.default_name, "*.txt");
    EXPECT_EQ(c.filter, kText + "(txt)|*.txt|" + kText + "(tx)|*.tx|html|*.html|all files|*.*||");
    c = choose_output_file("txt", "/home/aa/work.aap");
    EXPECT_EQ(c.default_name, "/home/aa/work.txt");
    c = choose_output_file("html", "/home/a.b/noext");
    EXPECT_EQ(c.default_name, "/home/a.b/noext.html");
    EXPECT_EQ(c.filter, "html|*.html|" + kText + "(txt)|*.txt|" + kText + "(tx)|*.tx|all files|*.*||");
    c = choose_output_file("tx", "");
    EXPECT_EQ(c.filter.rfind(kText + "(tx)|*.tx|" + kText + "(txt)", 0), 0u);
    // Compared exactly: upper case selects the "all files" list first.
    c = choose_output_file("TXT", "");
    EXPECT_EQ(c.filter, "all files|*.*|" + kText + "(txt)|*.txt|" + kText + "(tx)|*.tx|html|*.html||");
    EXPECT_EQ(c.default_name, "*.TXT");
}

TEST(OutputFile, ExtensionDecidesHtml) {
    EXPECT_EQ(extension_of("out.HTML"), "HTML");
    EXPECT_TRUE(is_html_output("out.HTML"));
    EXPECT_TRUE(is_html_output("/x/y.html"));
    EXPECT_FALSE(is_html_output("out.htm"));
    EXPECT_FALSE(is_html_output("out.txt"));
    EXPECT_EQ(extension_of("/dir.d/file"), "");
    EXPECT_EQ(extension_of("file"), "");
    EXPECT_FALSE(is_html_output("html"));
}

TEST(Html, ReplyAnchors) {
    EXPECT_EQ(find_reply_anchor(">>12", 0), 4u);
    EXPECT_EQ(find_reply_anchor(">>>3-15 x", 0), 7u);
    EXPECT_EQ(find_reply_anchor(">>3-x", 0), 3u);
    EXPECT_EQ(find_reply_anchor(">>3-", 0), 3u);
    EXPECT_EQ(find_reply_anchor(">a", 0), 0u);
    EXPECT_EQ(find_reply_anchor(">>", 0), 0u);
    EXPECT_EQ(find_reply_anchor("a>1", 1), 2u);
}

TEST(Html, TextEscapingLinksAndLineBreaks) {
    std::string out;
    write_html_text(out, ">>5 abc\r\n");
    EXPECT_EQ(out, "<a href=\"#top\">&gt;&gt;5</a> abc<br>");
    out.clear();
    write_html_text(out, "x>>5\r\n<&nbsp;>\r\n>>7");
    EXPECT_EQ(out, "x<a href=\"#top\">&gt;&gt;5</a><br>&lt;&nbsp;&gt;<br><a href=\"#top\">&gt;&gt;7</a>");
    // A double-byte character passes byte by byte; a bare CR is a line break too.
    out.clear();
    write_html_text(out, "\x82\xA0\rA");
    EXPECT_EQ(out, "\x82\xA0<br>A");
}

TEST(Html, HeaderBytes) {
    const std::string h = html_header("", "Monapo");
    const std::string expected =
        "<!doctype html public \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
        "<HTML lang=\"ja-JP\">\n"
        "<head>\n"
        "   <meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
        "   <meta name=\"Author\" content=\"Vantrel\">\n"
        "   <meta name=\"GENERATOR\" content=\"Mozilla/4.6 [ja] (WinNT; I)\">\n"
        "   <title> \x81\x7C Glyphora ver v1.4a</title>\n"
        "</head>\n"
        "\n"
        "<!-- + + + + + + + + + + + + + + + + + + + + + + + + + + + + + + + + + + -->\n"
        "\n"
        "<body text=\"#000000\" bgcolor=\"#fcfcfc\" link=\"#0000ff\" vlink=\"#0000ff\" alink=\"#0000ff\">\n"
        "\n"
        "<font face=\"Monapo\" style=\"font-size:16;\">\n";
    EXPECT_EQ(h, expected);
    EXPECT_EQ(html_footer(), "</font>\n</body>\n</html>\n");
}

TEST(Html, HeaderEscapesNameAndFace) {
    const std::string h = html_header("a<b>&\"c\".aap", "x\"><script>");
    EXPECT_NE(h.find("<title>a&lt;b&gt;&amp;&quot;c&quot;.aap \x81\x7C"), std::string::npos);
    EXPECT_NE(h.find("<font face=\"x&quot;&gt;&lt;script&gt;\" style"), std::string::npos);
    EXPECT_EQ(h.find("<script>"), std::string::npos);
}

class RenderFiles : public ::testing::Test {
  protected:
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
    std::unique_ptr<Documents> docs = make_documents();
    std::unique_ptr<MirrorTables> mirrors = std::make_unique<MirrorTables>();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();
    RenderContext ctx;
    fs::path dir;

    void SetUp() override {
        auto file = std::make_unique<MetricsFile>();
        ASSERT_TRUE(load_metrics_file(std::string(GLYPHORA_TEST_DATA) + "/test_metrics.txt", *file).ok);
        MetricsFileSource source(*file);
        widths->build(source);
        load_mirror_tables(*mirrors, "-", "-");
        ctx.widths = widths.get();
        ctx.mirror_h = &mirrors->horizontal;
        ctx.mirror_v = &mirrors->vertical;
        ctx.global_settings = RenderSettings{};
        ctx.fontface = "Monapo";
        dir = fs::path(std::getenv("GLYPHORA_HOME")) /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    std::string all(bool html, ErrorReport& report) {
        return render_all_pages_to_bytes(docs->preview, ctx, html, *workspace, report);
    }
};

TEST_F(RenderFiles, PagesAreCountedAndSeparatedByNul) {
    transparent(put_part(docs->preview.pages[1], 0, 0, 0, "A"));
    transparent(put_part(docs->preview.pages[4], 0, 0, 0, "B"));
    transparent(put_part(docs->preview.pages[9], 0, 0, 0, "C"));
    ErrorReport report;
    EXPECT_EQ(all(false, report), "1/3\n" + kFull + "A\r\n" + kNul + "2/3\n" + kFull + "B\r\n" + kNul +
                                      "3/3\n" + kFull + "C\r\n" + kNul);
    const std::string html = all(true, report);
    EXPECT_NE(html.find("<hr>\n2/3<br>\n" + kFull + "B<br><hr>\n3/3<br>\n"), std::string::npos);
}

TEST_F(RenderFiles, PageWithoutCellsIsCountedButWritesNothing) {
    Part& label = transparent(put_part(docs->preview.pages[0], 0, 0, 0, ""));
    label.is_label = true;
    transparent(
        put_part(docs->preview.pages[2], 0, 0, 0, "  "));  // only spaces: a lone full-width space per line
    ErrorReport report;
    EXPECT_EQ(all(false, report), "1/2\n" + kFull + "\r\n" + kNul);
}

TEST_F(RenderFiles, MergedReportKeepsEveryPagesProblems) {
    transparent(put_part(docs->preview.pages[0], 0, 3, 18, "A"));       // an inexact 3-pixel run on line 2
    transparent(put_part(docs->preview.pages[0], 1, 0, 1440, "A\rB"));  // y 1440 is line 81: too many lines
    transparent(put_part(docs->preview.pages[5], 0, 3, 0, "A"));  // inexact again, on line 1 of a later page
    ErrorReport report;
    all(false, report);
    EXPECT_EQ(report.slots[index_of(ErrorKind::inexact_blank)],
              1);  // from the last page on which it occurred
    EXPECT_EQ(report.slots[index_of(ErrorKind::too_many_lines)],
              kNoLine);  // page 0's problem is still reported
    EXPECT_NE(render_result_text(report), kRenderResultNoErrors);
}

TEST_F(RenderFiles, ReferencesOfAllPagesAreCountedAndGoIntoTheHtmlAsWritten) {
    transparent(put_part(docs->preview.pages[1], 0, 0, 0, "A&#x2661;<"));
    transparent(put_part(docs->preview.pages[3], 0, 0, 0, "&#9825B"));
    ErrorReport report;
    EXPECT_EQ(all(false, report),
              "1/2\n" + kFull + "A&#x2661;<\r\n" + kNul + "2/2\n" + kFull + "&#9825;B\r\n" + kNul);
    EXPECT_EQ(report.references, 2);
    EXPECT_EQ(report.reference_bytes, 15);
    const std::string html = all(true, report);
    EXPECT_NE(html.find(kFull + "A&#x2661;&lt;<br><hr>\n2/2<br>\n" + kFull + "&#9825;B<br>"),
              std::string::npos);
    EXPECT_EQ(report.references, 2);
}

TEST_F(RenderFiles, CurrentPageAndEmptyPage) {
    transparent(put_part(docs->preview.pages[2], 0, 0, 0, "A"));
    docs->preview.current_page = 2;
    const std::string txt = (dir / "one.txt").string();
    RenderFileResult r = render_current_page(docs->preview, ctx, txt);
    ASSERT_EQ(r.status, RenderFileStatus::ok);
    EXPECT_EQ(r.ext, "txt");
    std::string bytes;
    read_whole_file(txt, bytes);
    EXPECT_EQ(bytes, kFull + "A\r\n" + kNul);

    docs->preview.current_page = 3;
    r = render_current_page(docs->preview, ctx, txt);
    read_whole_file(txt, bytes);
    EXPECT_EQ(bytes, "");
    const std::string html = (dir / "one.Html").string();
    r = render_current_page(docs->preview, ctx, html);
    EXPECT_EQ(r.ext, "Html");
    read_whole_file(html, bytes);
    EXPECT_EQ(bytes, html_header("", "Monapo") + std::string(html_footer()));
}

TEST_F(RenderFiles, FailedWriteIsReportedAndKeepsThePreviousFile) {
    transparent(put_part(docs->preview.pages[0], 0, 0, 0, "A"));
    const std::string txt = (dir / "all.txt").string();
    ASSERT_TRUE(write_file_atomically(txt, "previous").ok);
    {
        FileSizeLimit limit(4);
        const RenderFileResult r = render_all_pages(docs->preview, ctx, txt);
        EXPECT_EQ(r.status, RenderFileStatus::cannot_write);
        EXPECT_FALSE(r.error.empty());
    }
    std::string bytes;
    read_whole_file(txt, bytes);
    EXPECT_EQ(bytes, "previous");
    EXPECT_EQ(render_all_pages(docs->preview, ctx, (dir / "no" / "dir.txt").string()).status,
              RenderFileStatus::cannot_write);
}

TEST_F(RenderFiles, FlippedPartOfAPageNeverShownIsMeasuredFirst) {
    Part& p = transparent(put_part(docs->preview.pages[0], 0, 0, 0, "AB"));
    p.flip_h = true;
    ASSERT_TRUE(p.box.is_zero());
    ErrorReport report;
    // Without measuring, its right edge would be 0 and both characters would vanish.
    EXPECT_EQ(all(false, report), "1/1\n" + kFull + "BA\r\n" + kNul);
}

TEST_F(RenderFiles, PerPageSettingsApplyWhenThePageFlagIsOn) {
    transparent(put_part(docs->preview.pages[0], 0, 3, 0, "A"));
    docs->preview.page_settings[0].renderdotflag = true;
    ErrorReport report;
    EXPECT_EQ(all(false, report), "1/1\n" + kFull + "&thinsp;A\r\n" + kNul);
    ctx.render_pageflag = true;
    EXPECT_EQ(all(false, report), "1/1\n" + kFull + ".A\r\n" + kNul);
}

}  // namespace
}  // namespace glyphora
