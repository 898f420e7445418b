#include "exchange/library_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "model/test_support.h"
#include "render/measure_part.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

const std::string kA = "\x82\xA0";  // "あ" in Shift_JIS

// An AA of `lines` lines of `chars` "A"s: 8 * chars pixels wide, 18 * lines high with the test widths.
AaEntry block(int chars, int lines, std::string title = {}) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += (i ? "\r\n" : "") + std::string(static_cast<std::size_t>(chars), 'A');
    return {std::move(title), text};
}

ImportFile file_of(int count, const AaEntry& entry, std::string name = "art.mlt") {
    return {std::move(name), std::vector<AaEntry>(static_cast<std::size_t>(count), entry)};
}

struct ImportTest : ::testing::Test {
    std::unique_ptr<CharWidthTable> widths = testing::test_widths();
    std::unique_ptr<LibraryBook> book = std::make_unique<LibraryBook>();

    ImportPlan plan(const std::vector<ImportFile>& files, ImportOptions options = {}) {
        return plan_import(*book, files, *widths, options);
    }
    // The pages each placed AA went to, in reading order.
    static std::vector<int> pages_of(const ImportPlan& p) {
        std::vector<int> out;
        for (const PlacedAa& a : p.placed) out.push_back(a.page);
        return out;
    }
    static std::vector<int> filled(const ImportPlan& p) {
        std::vector<int> out;
        for (const ImportPage& page : p.pages) out.push_back(page.page);
        return out;
    }
};

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST_F(ImportTest, PartsFlowInRowsAndNeverOverlap) {
    // 96 x 36 px each: four to a row of 432 px, the fourth ending exactly at 432.
    const std::vector<ImportFile> files = {file_of(7, block(12, 2))};
    const ImportPlan p = plan(files);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.placed.size(), 7u);
    const std::vector<std::pair<int, int>> expected = {{0, 0},  {112, 0},  {224, 0}, {336, 0},
                                                       {0, 54}, {112, 54}, {224, 54}};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(std::make_pair(p.placed[i].x, p.placed[i].y), expected[i]) << i;
        EXPECT_EQ(p.placed[i].y % 18, 0);
        EXPECT_EQ(p.placed[i].slot, static_cast<int>(i));
        EXPECT_LE(p.placed[i].box.right, 432);
        for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(overlap(p.placed[i].box, p.placed[j].box)) << i << j;
    }
    // A taller part in a row pushes the next row below it.
    const ImportPlan mixed =
        plan({{"m", {block(12, 1), block(12, 5), block(12, 1), block(12, 1), block(12, 1)}}});
    EXPECT_EQ(mixed.placed[4].y, 90 + 18);
}

TEST_F(ImportTest, PagesEndByHeightBySlotsAndForTallParts) {
    // 90 px high: rows at 0, 108, 216, 324 (324 + 90 = 414), the fifth goes to the next page.
    ImportPlan p = plan({file_of(6, block(50, 5))});
    EXPECT_EQ(pages_of(p), (std::vector<int>{0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(p.placed[4].y, 0);
    // 50 slots a page, however wide the page.
    ImportOptions wide;
    wide.page_width = 1'000'000;
    p = plan({file_of(60, block(1, 1))}, wide);
    EXPECT_EQ(p.placed[49].page, 0);
    EXPECT_EQ(p.placed[50].page, 1);
    EXPECT_EQ(p.placed[50].slot, 0);
    // A part taller than a page has a page of its own and is not split.
    p = plan({{"t", {block(1, 1), block(1, 30), block(1, 1)}}});
    EXPECT_EQ(pages_of(p), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(p.placed[1].box.bottom, 540);
}

TEST_F(ImportTest, StartPageAndPagesInUse) {
    test::put_part(book->pages[3], 7, 0, 0, "keep");
    set_string(book->page_names[4], "named but empty");
    ImportOptions options;
    options.start_page = 2;
    options.page_width = 1'000'000;
    const std::vector<ImportFile> files = {file_of(120, block(1, 1))};
    ImportPlan p = plan(files, options);
    EXPECT_EQ(filled(p), (std::vector<int>{2, 4, 5}));
    ASSERT_TRUE(apply_import(*book, p, files));
    EXPECT_EQ(get_string(book->pages[3].slots[7].text), "keep");
    EXPECT_EQ(get_string(book->page_names[4]), "art 2");

    // With replace the pages from the start page on are cleared and reused; pages after the last used stay.
    options.replace = true;
    test::put_part(book->pages[9], 0, 0, 0, "beyond");
    p = plan({file_of(60, block(1, 1))}, options);
    EXPECT_EQ(filled(p), (std::vector<int>{2, 3}));
    EXPECT_TRUE(p.pages[1].had_content);
    ASSERT_TRUE(apply_import(*book, p, std::vector<ImportFile>{file_of(60, block(1, 1))}));
    EXPECT_EQ(get_string(book->pages[3].slots[7].text), "A");
    EXPECT_TRUE(book->pages[3].slots[9].in_use);
    EXPECT_FALSE(book->pages[3].slots[10].in_use);
    EXPECT_TRUE(book->pages[9].slots[0].in_use);

    options.start_page = 20;
    EXPECT_FALSE(plan(files, options).ok);
}

TEST_F(ImportTest, WhatDoesNotFitIsReportedAndTheRestApplied) {
    ImportOptions options;
    options.start_page = 18;
    options.page_width = 1'000'000;
    const std::vector<ImportFile> files = {file_of(70, block(1, 1), "a.mlt"),
                                           file_of(33, block(1, 1), "b.ast")};
    const ImportPlan p = import_into_library(*book, files, *widths, options);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.placed.size(), 100u);
    EXPECT_EQ(p.not_placed, (std::vector<UnplacedAas>{{1, 30, 3}}));
    EXPECT_EQ(not_placed_count(p), 3u);
    // The second file goes on where the first ended, on the page the first one named.
    EXPECT_EQ(p.placed[70].page, 19);
    EXPECT_EQ(p.placed[70].slot, 20);
    EXPECT_EQ(get_string(book->page_names[19]), "a 2");
    EXPECT_TRUE(book->pages[19].slots[49].in_use);
    EXPECT_TRUE(is_page_empty(book->pages[0]));
}

// An MLT file of n AAs "A" followed by a character Shift_JIS lacks: each decoded AA adds one to the report.
ImportSource counted_source(int n, std::string name) {
    std::string bytes;
    for (int i = 0; i < n; ++i) bytes += (i ? "[SPLIT]\r\n" : "") + std::string("A&#128512;\r\n");
    return {std::move(name), AaFormat::mlt, bytes};
}

TEST_F(ImportTest, SourcesAreDecodedOnlyWhileTheLibraryHasRoom) {
    for (int page = 0; page < 19; ++page) test::put_part(book->pages[page], 0, 0, 0, "used");
    ImportOptions options;
    options.page_width = 1'000'000;
    const std::vector<ImportSource> sources = {counted_source(60, "a.mlt"), counted_source(7, "b.mlt")};
    const SourceImport run = plan_source_import(*book, sources, *widths, options);
    ASSERT_TRUE(run.plan.ok) << run.plan.error;
    EXPECT_EQ(filled(run.plan), std::vector<int>{19});
    EXPECT_EQ(run.plan.placed.size(), 50u);
    EXPECT_EQ(run.plan.not_placed, (std::vector<UnplacedAas>{{0, 50, 10}, {1, 0, 7}}));
    // Page 19's 50 slots took 50 AAs: not one past them was decoded.
    EXPECT_EQ(run.reports[0].unconvertible_count, 50u);
    EXPECT_EQ(run.reports[1].unconvertible_count, 0u);
    EXPECT_EQ(run.files[0].entries.size(), 50u);
    EXPECT_TRUE(run.files[1].entries.empty());
    ASSERT_TRUE(apply_import(*book, run.plan, run.files));
    EXPECT_EQ(get_string(book->pages[19].slots[49].text), "A&#128512;");

    // A library without a free page decodes nothing at all; an unreadable source plans nothing.
    const SourceImport none = plan_source_import(*book, sources, *widths, options);
    EXPECT_TRUE(none.plan.placed.empty());
    EXPECT_EQ(none.plan.not_placed, (std::vector<UnplacedAas>{{0, 0, 60}, {1, 0, 7}}));
    EXPECT_EQ(none.reports[0].unconvertible_count, 0u);
    const std::vector<ImportSource> broken = {sources[0], {"c.ast", AaFormat::ast, "no header"}};
    EXPECT_EQ(plan_source_import(*book, broken, *widths).plan.error,
              "c.ast: no line begins with [AA][, so this is no AST file");
}

TEST_F(ImportTest, SourceImportReportsProgressAndStopsWhenAsked) {
    const std::vector<ImportSource> sources = {counted_source(5, "a.mlt"), counted_source(5, "b.mlt")};
    const std::uint64_t total = sources[0].bytes.size() + sources[1].bytes.size();
    std::vector<std::uint64_t> seen;
    SourceImport run =
        plan_source_import(*book, sources, *widths, {}, [&](std::uint64_t done, std::uint64_t all) {
            EXPECT_EQ(all, total);
            seen.push_back(done);
            return true;
        });
    ASSERT_TRUE(run.plan.ok);
    ASSERT_EQ(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), total);
    // Stopped after the third AA: nothing is planned.
    int calls = 0;
    run = plan_source_import(*book, sources, *widths, {},
                             [&](std::uint64_t, std::uint64_t) { return ++calls < 3; });
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(run.plan.ok);
    EXPECT_TRUE(run.plan.placed.empty());
    EXPECT_TRUE(run.files.empty());
}

TEST_F(ImportTest, AppliedPartsAreClearedSlotsWithTextNameAndMeasuredBox) {
    const std::vector<ImportFile> files = {
        {"x.ast", {block(3, 2, "titled"), {"", "\r\n &nbsp;\r\n  AB" + kA}}}};
    const ImportPlan p = import_into_library(*book, files, *widths);
    const Part& first = book->pages[0].slots[0];
    EXPECT_TRUE(first.in_use);
    EXPECT_TRUE(first.always_opaque);
    EXPECT_EQ(get_string(first.name), "titled");
    EXPECT_EQ(get_string(first.text), "AAA\r\nAAA");
    EXPECT_EQ(first.box, (Box{0, 0, 24, 36}));
    const Part& second = book->pages[0].slots[1];
    EXPECT_EQ(second.x, 24 + 16);
    EXPECT_EQ(second.box, measure_part(second, *widths));
    EXPECT_EQ(get_string(second.name), "AB" + kA);  // the first line that is not blank
    // A plan is not applied over a page that has been filled since it was made.
    const ImportPlan stale = plan(files);
    test::put_part(book->pages[1], 0, 0, 0, "new");
    EXPECT_FALSE(apply_import(*book, stale, files));
    EXPECT_FALSE(book->pages[1].slots[1].in_use);
}

TEST_F(ImportTest, NamesTakeAReferenceAsOneCharacter) {
    // A Unicode space is a blank; any other reference is kept whole, closed by ";" so that what follows
    // in the name cannot extend it.
    EXPECT_EQ(aa_part_name("", "&#x2005;&#x2005;&#9825;&#x200A;a&#9825"), "&#9825; a&#9825;");
    EXPECT_EQ(aa_part_name("", "&#65&ttt;5"), "&#65;5");
    // One that does not fit whole is left out.
    const std::string line(24, 'a');
    EXPECT_EQ(aa_part_name("", line + "&#9825;b"), line);
    EXPECT_EQ(aa_part_name("", line.substr(2) + "&#9825;b"), line.substr(2) + "&#9825;");
}

TEST_F(ImportTest, NamesAndTextsAreCutAtWholeCharacters) {
    std::string line;
    for (int i = 0; i < 20; ++i) line += kA;
    EXPECT_EQ(aa_part_name("", "\x81\x40 " + line), line.substr(0, 28));  // 14 characters, not 14.5
    EXPECT_EQ(aa_part_name("", "  a &ensp;\x81\x40 b  \r\nc"), "a b");
    EXPECT_EQ(aa_part_name("A" + line, "x"), "A" + line.substr(0, 28));
    EXPECT_EQ(import_page_name("/some/dir/Art Works.mlt", 2), "Art Works 2");
    EXPECT_EQ(import_page_name("/d/\xE3\x81\x82\xE3\x81\x82.a.ast", 1), kA + kA + ".a 1");
    EXPECT_EQ(import_page_name(".mlt", 3), "import 3");
    EXPECT_EQ(import_page_name("\xE2\x82\xAC.mlt", 1), "import 1");  // no Shift_JIS form
    std::string long_name;
    for (int i = 0; i < 20; ++i) long_name += "\xE3\x81\x82";
    EXPECT_EQ(import_page_name(long_name, 12), line.substr(0, 26) + " 12");

    // One line of 20000 bytes: cut at a whole character.
    std::string huge;
    while (huge.size() < 20000) huge += kA;
    ImportPlan p = plan({{"h", {{"", huge}}}});
    ASSERT_EQ(p.cut.size(), 1u);
    EXPECT_EQ(p.cut[0].original_bytes, 20000u);
    EXPECT_EQ(p.cut[0].kept_bytes, 16382u);
    // Many lines: cut before the line end of the last whole line.
    const AaEntry lines = block(99, 200);  // lines of 101 bytes with their line end
    p = plan({{"l", {lines}}});
    ASSERT_EQ(p.cut.size(), 1u);
    EXPECT_EQ(p.cut[0].kept_bytes, 162u * 101 - 2);
    EXPECT_EQ(p.placed[0].text_bytes, p.cut[0].kept_bytes);
}

}  // namespace
}  // namespace glyphora
