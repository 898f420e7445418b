// Composition of pages into text: covering, opaque parts, flips, markup, limits and the output passes.
#include "render/render_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/mirror_table.h"
#include "render/gap_fill.h"
#include "render/measure_part.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

using test::put_part;
using test::transparent;
using testing::RenderRig;

const std::string FW = "\x81\x40";  // "　" full-width space
const std::string CRLF = "\r\n";

std::string line(const std::string& body) {
    return FW + body + CRLF;
}

TEST(RenderPage, EmptyPagesHaveNoContent) {
    RenderRig rig;
    EXPECT_EQ(rig.render(), "");
    EXPECT_FALSE(rig.out->has_content);
    EXPECT_FALSE(has_errors(rig.out->report));

    // An empty text gives nothing, opaque or not.
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, ""));
    EXPECT_EQ(rig.render(), "");
    EXPECT_FALSE(rig.out->has_content);
    p.always_opaque = true;
    p.box = {0, 0, 40, 18};
    EXPECT_EQ(rig.render(), "");
    EXPECT_FALSE(rig.out->has_content);

    // Blank-only lines still count: the lines stay, their trailing blanks go.
    set_text(p, "   \r\n  ");
    p.always_opaque = false;
    EXPECT_EQ(rig.render(), line("") + line(""));
    EXPECT_TRUE(rig.out->has_content);
}

TEST(RenderPage, CharactersKeepTheirPixelPositions) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AB\r\nC"));
    EXPECT_EQ(rig.render(), line("AB") + line("C"));

    transparent(put_part(rig.page(), 0, 16, 0, "A"));
    EXPECT_EQ(rig.render(), line(FW + " A"));

    // Lines above the first part are written as the full-width space alone.
    transparent(put_part(rig.page(), 0, 0, 36, "A"));
    EXPECT_EQ(rig.render(), line("") + line("") + line("A"));

    // A bare CR breaks the line too; trailing blanks are dropped.
    transparent(put_part(rig.page(), 0, 0, 0, "AB  \rC"));
    EXPECT_EQ(rig.render(), line("AB") + line("C"));

    // y is divided by the line height, truncating toward zero.
    transparent(put_part(rig.page(), 0, 0, 35, "A"));
    EXPECT_EQ(rig.render(), line("") + line("A"));
    transparent(put_part(rig.page(), 0, 0, -5, "A\r\nB"));
    EXPECT_EQ(rig.render(), line("A") + line("B"));
}

TEST(RenderPage, LaterPartsRemoveWhatTheyTouch) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AAAA"));
    transparent(put_part(rig.page(), 1, 12, 0, "Z"));
    EXPECT_EQ(rig.render(), line("A&thinsp;&thinsp;Z&thinsp;&thinsp;A"));

    // A space is a blank cell: it covers what it touches.
    transparent(put_part(rig.page(), 0, 0, 0, "AAAAAA"));
    transparent(put_part(rig.page(), 1, 12, 0, " "));
    EXPECT_EQ(rig.render(), line("A" + FW + " AAA"));

    // In a transparent run the space is not placed; the drift of the 1-pixel run is corrected later.
    transparent(put_part(rig.page(), 1, 12, 0, "&ttt; Z"));
    EXPECT_EQ(rig.render(), line("AAZ&ensp;AA"));
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 1);
}

TEST(RenderPage, TransparentRunCrossesLineBreaks) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AAAA\r\nAAAA"));
    transparent(put_part(rig.page(), 1, 0, 0, "Z&ttt;\r\n  Z"));
    EXPECT_EQ(rig.render(), line("ZAAA") + line("A&thinsp;Z&thinsp;&thinsp;&thinsp;A"));
    // Without the run the leading spaces cover the first two characters.
    transparent(put_part(rig.page(), 1, 0, 0, "Z\r\n  Z"));
    EXPECT_EQ(rig.render(), line("ZAAA") + line("&ensp;&thinsp;Z&thinsp;&thinsp;&thinsp;A"));
}

TEST(RenderPage, AlwaysOpaquePartsFillTheirBoxAndBorders) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AAAAAAAAAA\r\nAAAAAAAAAA"));
    Part& z = transparent(put_part(rig.page(), 1, 10, 0, "Z"));
    z.always_opaque = true;
    z.box = {10, 0, 40, 36};
    EXPECT_EQ(rig.render(), line("A&thinsp;Z" + FW + FW + "AAAAA") + line("AAAAAAAAAA"));

    // Border margins widen the covered span on both sides.
    z.border_left = 2;
    z.border_right = 8;
    EXPECT_EQ(rig.render(),
              line("A&thinsp;Z" + FW + " &ensp;&thinsp;&thinsp;&thinsp;AAAA") + line("AAAAAAAAAA"));

    // Inside a transparent run its blanks still cover, and an empty line of it is filled too.
    set_text(z, "&ttt; \r\n\r\n");
    z.border_left = z.border_right = 0;
    const std::string covered = line("A" + FW + " " + FW + " AAAAA");
    EXPECT_EQ(rig.render(), covered + covered);
}

TEST(RenderPage, OpaqueFlippedPartFillsFromItsLeftEdge) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AAAAAAAA"));
    Part& z = transparent(put_part(rig.page(), 1, 8, 0, "Z"));
    z.always_opaque = true;
    z.flip_h = true;
    z.box = {8, 0, 40, 18};
    z.border_left = 8;  // after the line's first character in reading order: to its right
    // Z lands at 24..32; the fill runs from x 8 to 24; the left margin covers 32..40.
    EXPECT_EQ(rig.render(), line("A " + FW + "&ensp;Z&ensp;AA"));
}

TEST(RenderPage, FlippedPartsUseTheirBoxAndTheMirrorTables) {
    RenderRig rig;
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, "AB"));
    p.flip_h = true;
    p.box.right = 40;
    EXPECT_EQ(rig.render(), line(" " + FW + "&ensp;BA"));

    // Never measured: laid out from 0, everything falls left of the page.
    p.box = Box{};
    EXPECT_EQ(rig.render(), "");
    EXPECT_FALSE(rig.out->has_content);

    // measure_unmeasured gives it the canvas's box, so it renders in place.
    measure_unmeasured(rig.book->pages[0], *rig.widths);
    EXPECT_EQ(rig.render(), line("BA"));

    MirrorTables tables;
    load_mirror_tables(tables, "-", "-");
    set_text(p, "(A");
    p.box = {0, 0, 16, 18};
    EXPECT_EQ(rig.render(&tables.horizontal, &tables.vertical), line("A)"));
    // The part's own switch and the page setting both keep the characters as they are.
    p.no_mirror_table = true;
    EXPECT_EQ(rig.render(&tables.horizontal, &tables.vertical), line("A("));
    p.no_mirror_table = false;
    rig.settings.renderhancode = true;
    EXPECT_EQ(rig.render(&tables.horizontal, &tables.vertical), line("A("));
}

TEST(RenderPage, VerticalFlipRunsBottomToTop) {
    RenderRig rig;
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, "A\r\nB"));
    p.flip_v = true;
    p.box.bottom = 36;
    EXPECT_EQ(rig.render(), line("B") + line("A"));
    EXPECT_FALSE(has_errors(rig.out->report));

    p.box.bottom = 18;
    EXPECT_EQ(rig.render(), line("A"));
    EXPECT_EQ(rig.error(ErrorKind::too_many_lines), kNoLine);

    // Both ways: horizontal table first, then the vertical one.
    MirrorTable h, v;
    insert(h, 'A', 'B');
    insert(v, 'B', 'C');
    set_text(p, "A");
    p.flip_h = true;
    p.box = {0, 0, 8, 18};
    EXPECT_EQ(rig.render(&h, &v), line("C"));
}

TEST(RenderPage, DriftReducingFlipMode) {
    RenderRig rig;
    MirrorTable h;
    insert(h, '.', 'A');  // a 3-pixel character whose mirror image is 8 pixels wide
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, ".."));
    p.flip_h = true;
    p.box.right = 30;
    // Off: the pen steps by the wider mirror image.
    EXPECT_EQ(rig.render(&h), line("&ensp;&thinsp;&thinsp;&thinsp;AA"));
    // On: it steps by the original's 3 pixels, so the second "A" covers the first.
    rig.settings.renderhantenzmode = true;
    EXPECT_EQ(rig.render(&h), line(" " + FW + "&ensp;A"));
}

TEST(RenderPage, BlankDeclarations) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 18, "&space3=A\r\nBAB"));
    EXPECT_EQ(rig.render(), line("") + line("B&thinsp;B"));
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 2);

    // A later, shorter line overwrites from the first entry: X is ordinary again, Y keeps its own width.
    transparent(put_part(rig.page(), 0, 0, 0, "&space=XY\r\n&space1=Z\r\nAXAYAZA"));
    EXPECT_EQ(rig.render(), line("AXA&ensp;AA"));

    // A letter instead of the digit: no declaration, the line is text.
    transparent(put_part(rig.page(), 0, 0, 0, "&spacex=A\r\nA"));
    EXPECT_EQ(rig.render(), line("&spacex=A") + line("A"));

    // Declared blanks follow the mirror image: "(" flips to ")", which is declared.
    MirrorTables tables;
    load_mirror_tables(tables, "-", "-");
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, "&space=)\r\nA(A"));
    p.flip_h = true;
    p.box.right = 24;
    EXPECT_EQ(rig.render(&tables.horizontal), line("A&ensp;A"));

    // Declarations alone: the text ends inside them and nothing is laid out.
    transparent(put_part(rig.page(), 0, 0, 0, "&space=AB"));
    EXPECT_EQ(rig.render(), "");
}

TEST(RenderPage, EntitiesAndByteItems) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "AB&=0d;C"));
    EXPECT_EQ(rig.render(), line("AB") + line("C"));

    // &=XY; writes the byte XY with the width of "&", so &=26; writes an "&" no entity reading swallows.
    transparent(put_part(rig.page(), 0, 0, 0, "A&=26;B&=3c;"));
    EXPECT_EQ(rig.render(), line("A&B<"));
    // Only lower-case hex digits count; "&=0D;" is the byte 0, which becomes a blank of that width.
    transparent(put_part(rig.page(), 0, 0, 0, "A&=0D;B"));
    EXPECT_EQ(rig.render(), line("A&ensp;B"));
    EXPECT_EQ(std::strlen(rig.out->text), rig.out->length);

    transparent(put_part(rig.page(), 0, 0, 0, "A&ensp;B&nbsp;C&thinsp;D&www;E&foo;"));
    EXPECT_EQ(rig.render(), line("A&ensp;B C&thinsp;DE&foo;"));
}

TEST(RenderPage, LineFullKeepsTheFirstThousandCells) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 18, std::string(1001, '.')));
    const std::string text = rig.render();
    EXPECT_EQ(text, line("") + line(std::string(1000, '.')));
    EXPECT_EQ(rig.error(ErrorKind::line_full), 2);
}

TEST(RenderPage, GapsIntoAFullLineLoseTheLastCells) {
    RenderRig rig;
    // 600 characters with one transparent space after each: 600 gaps do not fit beside them.
    std::string text;
    for (int i = 0; i < 600; ++i) text += "A&ttt; ";
    transparent(put_part(rig.page(), 0, 0, 0, text));
    const std::string out = rig.render();
    EXPECT_EQ(rig.error(ErrorKind::gap_no_room), 1);
    // 1000 cells: 500 characters with a gap before each but the first, and then one more character
    // whose gap would lie at index 999, which the filling never reaches.
    std::string expected = "A";
    for (int i = 1; i < 500; ++i) expected += " A";
    EXPECT_EQ(out, line(expected + "A"));
}

TEST(RenderPage, LineNumbersSizeLineAndBars) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "A\r\n\r\nA  A"));
    rig.settings.render_linenumber = true;
    rig.settings.rendersetsize = true;
    // "サイズ目安＝" (size estimate) after the full-width space.
    const std::string size_label = FW + "\x83\x54\x83\x43\x83\x59\x96\xDA\x88\xC0\x81\x81";
    const std::string body = "01 : " + line("A") + "02 : " + line("") + "03 : " + line("A&ensp;&thinsp;A");
    EXPECT_EQ(rig.render(), body + size_label + std::to_string(body.size()) + CRLF);

    rig.settings = RenderSettings{};
    rig.settings.rendernotsp = true;
    rig.settings.renderspbar = true;
    transparent(put_part(rig.page(), 0, 0, 0, "A"));
    transparent(put_part(rig.page(), 1, 18, 0, "A"));  // a 10-pixel run: two half-width spaces
    EXPECT_EQ(rig.render(), line("A _A"));
}

TEST(RenderPage, TextBufferLimit) {
    RenderRig rig;
    // 8 lines of 1000 full-width characters (2004 bytes each with the lead space and CR LF) leave 350
    // bytes for line 9: 174 characters reach byte 16382, the next fails, and the one-byte "A" still fits.
    const std::string wide = "\x82\xA0";  // "あ"
    std::string row;
    for (int i = 0; i < 1000; ++i) row += wide;
    for (int k = 0; k < 8; ++k) transparent(put_part(rig.page(), k, 0, 18 * k, row));
    std::string last;
    for (int i = 0; i < 175; ++i) last += wide;
    transparent(put_part(rig.page(), 8, 0, 18 * 8, last + "A" + wide));
    const std::string out = rig.render();
    ASSERT_EQ(out.size(), 16383u);
    EXPECT_EQ(rig.out->text[16383], '\0');
    EXPECT_EQ(out.substr(out.size() - 3), wide + "A");
    EXPECT_EQ(rig.error(ErrorKind::text_too_long), 9);

    // The size line no longer fits: the error is not tied to a line, and no half character is left.
    rig.settings.rendersetsize = true;
    rig.render();
    EXPECT_EQ(rig.error(ErrorKind::text_too_long), kNoLine);
    EXPECT_EQ(rig.out->length, 16383u);
    EXPECT_EQ(rig.out->text[16382], 'A');
}

TEST(RenderPage, UnbuiltWidthTableRendersNothing) {
    RenderRig rig;
    rig.widths = std::make_unique<CharWidthTable>();
    transparent(put_part(rig.page(), 0, 0, 0, "A"));
    EXPECT_EQ(rig.render(), "");
    EXPECT_FALSE(rig.out->has_content);
}

TEST(RenderPage, HugePositionsDoNotOverflow) {
    RenderRig rig;
    transparent(put_part(rig.page(), 0, 2147483640, 0, "AB"));  // "B" lies beyond the int32 range
    transparent(put_part(rig.page(), 1, 0, 0, "B"));
    // The run before "A" would need far more than 300 items: it writes nothing.
    EXPECT_EQ(rig.render(), line("BAB"));
    EXPECT_EQ(rig.error(ErrorKind::too_many_blanks), 1);
}

}  // namespace
}  // namespace glyphora
