#include "exchange/aa_export.h"

#include <gtest/gtest.h>

#include <memory>

#include "model/test_support.h"
#include "render/render_page.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

const std::string kFw = "\x81\x40";  // the full-width space every rendered line begins with

TEST(AaExport, PreviewPagesAsRenderedWithoutSizeLineAndFinalLineEnd) {
    auto widths = testing::test_widths();
    auto book = std::make_unique<PreviewBook>();
    test::put_part(book->pages[0], 0, 0, 0, "AB\r\nC");
    test::put_part(book->pages[2], 3, 16, 18, "Z");
    RenderContext ctx;
    ctx.widths = widths.get();
    ctx.global_settings.rendersetsize = true;  // the default: a size line after the page
    PreviewExport out = preview_entries(*book, ctx);
    ASSERT_EQ(out.entries.size(), 2u);
    EXPECT_EQ(out.pages, (std::vector<int>{0, 2}));
    EXPECT_EQ(out.entries[0], (AaEntry{"page 1", kFw + "AB\r\n" + kFw + "C"}));
    EXPECT_EQ(out.entries[1], (AaEntry{"page 3", kFw + "\r\n" + kFw + kFw + " Z"}));
    // The same as the render command's bytes, less what was taken off.
    auto ws = std::make_unique<RenderWorkspace>();
    ErrorReport report;
    const std::string rendered = render_page_to_bytes(*book, 0, ctx, false, *ws, report);
    EXPECT_TRUE(rendered.starts_with(out.entries[0].text + "\r\n" + kFw + "\x83\x54"));

    // Each page's own settings where render_pageflag says so: line numbers, no size line.
    ctx.render_pageflag = true;
    book->page_settings[2].render_linenumber = true;
    out = preview_entries(*book, ctx);
    EXPECT_EQ(out.entries[1].text, "01 : " + kFw + "\r\n02 : " + kFw + kFw + " Z");

    // Round trip through both formats: what is written reads back the same.
    for (const AaFormat format : {AaFormat::mlt, AaFormat::ast}) {
        for (const OutputEncoding encoding : {OutputEncoding::sjis, OutputEncoding::utf8}) {
            const AaWriteResult w = write_aa_bytes(out.entries, format, encoding);
            ASSERT_TRUE(w.ok) << w.error;
            const AaReadResult r = read_aa_bytes(w.bytes, format);
            ASSERT_EQ(r.entries.size(), 2u);
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(r.entries[i].text, out.entries[i].text);
                if (format == AaFormat::ast) {
                    EXPECT_EQ(r.entries[i].title, out.entries[i].title);
                }
            }
        }
    }
}

TEST(AaExport, PagesThatLostABlankRunAreNamed) {
    auto widths = testing::test_widths();
    auto book = std::make_unique<PreviewBook>();
    test::put_part(book->pages[1], 0, 0, 0, "A");
    test::put_part(book->pages[4], 0, 0, 0, "A");
    test::put_part(book->pages[4], 1, 10'000, 0, "B");  // far more than 300 spaces from the "A"
    test::put_part(book->pages[6], 0, 0, 0, "C");
    RenderContext ctx;
    ctx.widths = widths.get();
    const PreviewExport out = preview_entries(*book, ctx);
    EXPECT_EQ(out.pages, (std::vector<int>{1, 4, 6}));
    EXPECT_EQ(out.lost_blank_pages, std::vector<int>{4});
    EXPECT_EQ(out.entries[1].text, kFw + "AB");  // what the loss means
}

// The export's report is that of all its pages, as the render commands give it: the references the pages
// write add up.
TEST(AaExport, TheReportCountsTheReferencesOfEveryPage) {
    auto widths = testing::test_widths();
    auto book = std::make_unique<PreviewBook>();
    test::put_part(book->pages[0], 0, 0, 0, "A&#x2005;B");
    test::put_part(book->pages[3], 0, 0, 0, "&#9825;&#9825;");
    RenderContext ctx;
    ctx.widths = widths.get();
    const PreviewExport out = preview_entries(*book, ctx);
    EXPECT_EQ(out.report.references, 3);
    EXPECT_EQ(out.report.reference_bytes, 8 + 7 + 7);
}

TEST(AaExport, LibraryPartsInUseInOrder) {
    auto book = std::make_unique<LibraryBook>();
    test::put_part(book->pages[5], 2, 0, 0, "late", "second");
    test::put_part(book->pages[0], 9, 0, 0, "early\r\n", "first");
    book->pages[0].slots[3].selected = true;  // an empty slot is no entry
    const std::vector<AaEntry> expected = {{"first", "early\r\n"}, {"second", "late"}};
    EXPECT_EQ(library_entries(*book), expected);
    EXPECT_EQ(library_page_entries(*book, 5), std::vector<AaEntry>{expected[1]});
    EXPECT_TRUE(library_page_entries(*book, 20).empty());
    // Round trip with the AST titles.
    const AaReadResult r = read_aa_bytes(write_aa_bytes(expected, AaFormat::ast).bytes, AaFormat::ast);
    EXPECT_EQ(r.entries, expected);
}

}  // namespace
}  // namespace glyphora
