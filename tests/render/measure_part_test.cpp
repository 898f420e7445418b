// The canvas box of a part, measured without a canvas.
#include "render/measure_part.h"

#include <gtest/gtest.h>

#include <memory>

#include "render/test_support.h"

namespace glyphora {
namespace {

using test::put_part;
using test::transparent;
using testing::test_widths;

Box measure(std::string_view text, int x, int y, const CharWidthTable& widths) {
    auto part = std::make_unique<Part>();
    part->in_use = true;
    part->x = x;
    part->y = y;
    set_text(*part, text);
    return measure_part(*part, widths);
}

TEST(MeasurePart, GridRowWidestPenAndLowestDrawnLine) {
    const auto w = test_widths();
    EXPECT_EQ(measure("", 10, 25, *w), (Box{10, 18, 10, 36}));
    EXPECT_EQ(measure("A", 0, -5, *w), (Box{0, 0, 8, 18}));
    EXPECT_EQ(measure("A", 0, -20, *w), (Box{0, -18, 8, 0}));
    EXPECT_EQ(measure("AB\r\nC", 10, 0, *w), (Box{10, 0, 26, 36}));
    EXPECT_EQ(measure("A\rBBB\r\n", 0, 0, *w), (Box{0, 0, 24, 36}));
    // Lines that draw no character do not reach down, entity blanks included.
    EXPECT_EQ(measure("A\r\n\r\n", 0, 0, *w), (Box{0, 0, 8, 18}));
    EXPECT_EQ(measure("A\r\n&ensp;&ensp;&nbsp;&thinsp;", 0, 0, *w), (Box{0, 0, 23, 18}));
    // Markup that draws nothing.
    EXPECT_EQ(measure("&ttt;&www;A", 0, 0, *w), (Box{0, 0, 8, 18}));
}

TEST(MeasurePart, DeclarationsAndByteItems) {
    const auto w = test_widths();
    // Declared blanks take their declared width, or their own with 0; the declaration line draws nothing.
    EXPECT_EQ(measure("&space3=A\r\nAAB", 0, 0, *w), (Box{0, 0, 14, 18}));
    // A later line overwrites from the first entry: A is ordinary again, B keeps 3, C its own width.
    EXPECT_EQ(measure("&space3=AB\r\n&space=C\r\nABC", 0, 0, *w), (Box{0, 0, 19, 18}));
    // &=XY; advances by the width of "&" (and by its declared width when "&" is declared).
    EXPECT_EQ(measure("&=41;&=41;", 0, 0, *w), (Box{0, 0, 16, 18}));
    EXPECT_EQ(measure("&space2=&\r\n&=41;", 0, 0, *w), (Box{0, 0, 2, 18}));
    EXPECT_EQ(measure("A&=0d;A", 0, 0, *w), (Box{0, 0, 8, 36}));
    // Not a declaration: drawn as text.
    EXPECT_EQ(measure("&spacex=\r\nA", 0, 0, *w), (Box{0, 0, 64, 36}));
}

TEST(MeasurePart, LabelsAndUnbuiltTablesKeepTheBox) {
    const auto w = test_widths();
    auto part = std::make_unique<Part>();
    part->in_use = true;
    part->is_label = true;
    part->box = {1, 2, 3, 4};
    set_text(*part, "ABC");
    EXPECT_EQ(measure_part(*part, *w), (Box{1, 2, 3, 4}));
    part->is_label = false;
    const auto unbuilt = std::make_unique<CharWidthTable>();
    EXPECT_EQ(measure_part(*part, *unbuilt), (Box{1, 2, 3, 4}));
}

TEST(MeasurePart, HugeValuesAreClamped) {
    const auto w = test_widths();
    const Box b = measure("AAAA\r\nA", 2147483640, 2147483640, *w);
    EXPECT_EQ(b.right, 2147483647);
    EXPECT_EQ(b.bottom, 2147483647);
}

TEST(MeasureUnmeasured, OnlyZeroBoxesOfDrawnParts) {
    const auto w = test_widths();
    auto page = std::make_unique<Page>();
    for (Part& p : page->slots) clear_slot(p);
    auto setup = [&](int slot, bool in_use, bool label, Box box) {
        Part& p = page->slots[slot];
        p.in_use = in_use;
        p.is_label = label;
        p.box = box;
        p.x = 8;
        set_text(p, "AB");
    };
    setup(0, true, false, Box{});
    setup(1, true, true, Box{});
    setup(2, false, false, Box{});
    setup(3, true, false, Box{5, 5, 5, 5});
    measure_unmeasured(*page, *w);
    EXPECT_EQ(page->slots[0].box, (Box{8, 0, 24, 18}));
    EXPECT_TRUE(page->slots[1].box.is_zero());
    EXPECT_TRUE(page->slots[2].box.is_zero());
    EXPECT_EQ(page->slots[3].box, (Box{5, 5, 5, 5}));
}

TEST(MeasureUnmeasured, FlippedPartsOfUnshownPagesRenderInPlace) {
    testing::RenderRig rig;
    Part& p = transparent(put_part(rig.page(3), 0, 8, 0, "A\r\nB"));
    p.flip_h = true;
    p.flip_v = true;
    EXPECT_EQ(rig.render(nullptr, nullptr, 3), "");
    measure_unmeasured(rig.book->pages[3], *rig.widths);
    const std::string FW = "\x81\x40";  // "　"
    EXPECT_EQ(rig.render(nullptr, nullptr, 3), FW + "&ensp;B\r\n" + FW + "&ensp;A\r\n");
}

}  // namespace
}  // namespace glyphora
