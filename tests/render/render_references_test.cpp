// Numeric character references on a page: one cell of the character's width each, written as the part
// wrote them (with the ";" they may lack), through covering, flips, transparent runs and both fills.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/mirror_table.h"
#include "render/measure_part.h"
#include "render/render_page.h"
#include "render/test_support.h"

namespace glyphora {
namespace {

using test::put_part;
using test::transparent;
using testing::RenderRig;

const std::string FW = "\x81\x40";  // "　" full-width space

std::string line(const std::string& body) {
    return FW + body + "\r\n";
}

// The test widths, and code points of every kind: wide, astral, the Unicode spaces, one of a fractional
// width, and two of no width.
constexpr const char* kMetrics =
    "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x2E 3\n"
    "U+2661 14\nU+1F600 16\nU+200A 1\nU+2005 4\nU+2006 2.667\nU+0301 0\nU+200B 0\n";

struct Rig : RenderRig {
    Rig() { widths = testing::widths_from(kMetrics); }

    // Renders with every part measured, as the render commands do.
    std::string render_measured(BlankFill fill = BlankFill::classic) {
        measure_unmeasured(page(), *widths);
        render_page(*ws, *widths, *book, nullptr, nullptr, 0, settings, *out, fill);
        return std::string(out->text, out->length);
    }
    // x and width of the cells of a line.
    std::vector<std::pair<int64_t, int64_t>> cells(int line_index = 0) {
        RenderLine& l = ws->lines[line_index];
        const LineCell* c = l.cells();
        std::vector<std::pair<int64_t, int64_t>> out;
        for (int i = 0; i < l.size(); ++i) out.emplace_back(c[i].x, c[i].width);
        return out;
    }
};

using Cells = std::vector<std::pair<int64_t, int64_t>>;

TEST(RenderReferences, OneCellOfTheCharactersWidthWrittenAsTheTextHasIt) {
    Rig rig;
    // Decimal, hex with x and X, digits of either case and leading zeros, an astral code point, and
    // "&#65" of a character the table holds.
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x2661;B&#9825C&#X1f600;D&#x0002005;E&#65"));
    EXPECT_EQ(rig.render(), line("A&#x2661;B&#9825;C&#X1f600;D&#x0002005;E&#65;"));
    EXPECT_EQ(
        rig.cells(),
        (Cells{{0, 8}, {8, 14}, {22, 8}, {30, 14}, {44, 8}, {52, 16}, {68, 8}, {76, 4}, {80, 8}, {88, 8}}));
    EXPECT_FALSE(has_errors(rig.out->report));
    EXPECT_EQ(rig.out->report.references, 5);
    EXPECT_EQ(rig.out->report.reference_bytes, 8 + 7 + 9 + 11 + 5);

    // What follows keeps its composed x: a part 2 pixels after the last character.
    transparent(put_part(rig.page(), 1, 98, 0, "Z"));
    EXPECT_EQ(rig.render(), line("A&#x2661;B&#9825;C&#X1f600;D&#x0002005;E&#65;&thinsp;Z"));

    // A later part covers a reference as any character: nothing of it is left.
    transparent(put_part(rig.page(), 1, 10, 0, "Z"));
    EXPECT_EQ(rig.render(), line("A&thinsp;Z&thinsp;&thinsp;B&#9825;C&#X1f600;D&#x0002005;E&#65;"));
    EXPECT_EQ(rig.out->report.references, 4);
}

TEST(RenderReferences, ASemicolonClosesEveryReferenceSoNothingAfterItIsReadIntoIt) {
    Rig rig;
    // Without it "&#x41" and the "1" of the next part would be read as U+0411.
    transparent(put_part(rig.page(), 0, 0, 0, "&#x41"));
    transparent(put_part(rig.page(), 1, 8, 0, "1"));
    EXPECT_EQ(rig.render(), line("&#x41;1"));
    transparent(put_part(rig.page(), 0, 0, 0, "&#65x&#x41"));
    rig.page().slots[1].in_use = false;
    EXPECT_EQ(rig.render(), line("&#65;x&#x41;"));
}

TEST(RenderReferences, UnicodeSpacesAreKeptAsWrittenAndDoNotEndATransparentRun) {
    Rig rig;
    // No space item is 1 pixel wide: kept as written, B stays in place.
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x200A;B"));
    EXPECT_EQ(rig.render(), line("A&#x200A;B"));
    EXPECT_EQ(rig.cells(), (Cells{{0, 8}, {8, 1}, {9, 8}}));
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 0);

    // Placed, they cover what lies under them; in a transparent run they are not placed.
    transparent(put_part(rig.page(), 0, 0, 0, "AAAA"));
    transparent(put_part(rig.page(), 1, 0, 0, "&#x2005;&#x2005;Z"));
    EXPECT_EQ(rig.render(), line("&#x2005;&#x2005;ZAA"));
    transparent(put_part(rig.page(), 1, 0, 0, "&ttt;&#x2005;&#x2005;Z"));
    EXPECT_EQ(rig.render(), line("AZAA"));
    // Any other character ends the run.
    transparent(put_part(rig.page(), 1, 0, 0, "&ttt;&#x2661;&#x2005;"));
    EXPECT_EQ(rig.render(), line("&#x2661;&#x2005;&thinsp;&thinsp;&thinsp;A"));
}

TEST(RenderReferences, FlipsAndDeclaredBlanksLeaveReferencesAsTheyAre) {
    Rig rig;
    MirrorTables tables;
    load_mirror_tables(tables, "-", "-");
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, "A&#x2661;("));
    p.flip_h = true;
    measure_unmeasured(rig.page(), *rig.widths);
    EXPECT_EQ(rig.render(&tables.horizontal, &tables.vertical), line(")&#x2661;A"));
    EXPECT_EQ(rig.cells(), (Cells{{0, 8}, {8, 14}, {22, 8}}));

    // "&" and "#" declared blank: a reference is no Shift_JIS character and stays one.
    transparent(put_part(rig.page(), 0, 0, 0, "&space=&#\r\nA&#65;B&"));
    EXPECT_EQ(rig.render(), line("A&#65;B"));
}

TEST(RenderReferences, ReferencesOfNoWidthGoWithTheCharacterBesideThem) {
    Rig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x301;B&#x200B;&#769"));
    EXPECT_EQ(rig.render(), line("A&#x301;B&#x200B;&#769;"));
    EXPECT_EQ(rig.cells(), (Cells{{0, 8}, {8, 8}}));
    EXPECT_EQ(rig.out->report.references, 3);

    // Covered, the mark goes with its character.
    transparent(put_part(rig.page(), 1, 0, 0, "Z"));
    EXPECT_EQ(rig.render(), line("ZB&#x200B;&#769;"));

    // With no character before it on the line it waits for the next one; a line without one drops it.
    transparent(put_part(rig.page(), 0, 0, 0, "&#x200B;A &#x301;&#x2661;\r\n &#x200B;"));
    transparent(put_part(rig.page(), 1, 0, 18, "B"));
    EXPECT_EQ(rig.render(), line("&#x200B;A &#x301;&#x2661;") + line("B"));

    // Flipped, the mark still follows its character.
    Part& p = transparent(put_part(rig.page(), 0, 0, 0, "AB&#x301;"));
    p.flip_h = true;
    rig.page().slots[1].in_use = false;
    EXPECT_EQ(rig.render_measured(), line("B&#x301;A"));
}

TEST(RenderReferences, LinesHoldingAFractionalCharacterAreNamed) {
    Rig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x2006;B\r\nC\r\n&#x2006;\r\n&#x2006;"));
    EXPECT_EQ(rig.render(), line("A&#x2006;B") + line("C") + line("&#x2006;") + line("&#x2006;"));
    EXPECT_EQ(rig.cells(), (Cells{{0, 8}, {8, 3}, {11, 8}}));
    EXPECT_EQ(rig.ws->lines[0].cells()[1].fraction64, 171 - 3 * 64);  // 2.667 px is 171/64
    EXPECT_EQ(rig.ws->lines[0].cells()[0].fraction64, 0);
    EXPECT_EQ(rig.error(ErrorKind::fractional), 4);
    EXPECT_EQ(render_result_text(rig.out->report), "1、3～4行目：" +
                                                       std::string(error_message(ErrorKind::fractional)) +
                                                       "\r\n出力の文字参照：3個（24バイト）\r\n");

    // Covered, it is not on the line any more.
    transparent(put_part(rig.page(), 1, 0, 0, "AZ\r\n\r\nZ\r\nZ"));
    rig.render();
    EXPECT_EQ(rig.error(ErrorKind::fractional), 0);
}

TEST(RenderReferences, TheExactFillWritesThemToo) {
    Rig rig;
    transparent(put_part(rig.page(), 0, 0, 0, "A&#x200A;B&#x2661;"));
    transparent(put_part(rig.page(), 1, 40, 0, "Z"));
    const std::string text = rig.render_measured(BlankFill::exact);
    EXPECT_TRUE(text.starts_with(FW + "A&#x200A;B&#x2661;")) << text;
    EXPECT_TRUE(text.ends_with("Z\r\n")) << text;
    EXPECT_EQ(rig.error(ErrorKind::inexact_blank), 0);
    EXPECT_EQ(rig.out->report.references, 2);
}

}  // namespace
}  // namespace glyphora
