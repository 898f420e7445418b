#include "model/part.h"

#include <gtest/gtest.h>

#include <memory>

namespace glyphora {
namespace {

std::unique_ptr<Part> filled_part() {
    auto p = std::make_unique<Part>();
    p->selected = p->in_use = p->is_label = p->icon = true;
    p->always_opaque = false;
    p->no_space_click_select = p->flip_h = p->flip_v = p->no_mirror_table = true;
    p->border_left = 3;
    p->border_right = 4;
    p->x = 10;
    p->y = 36;
    p->box = {1, 2, 3, 4};
    p->drag_origin = {7, 8};
    set_text(*p, "text");
    set_comment(*p, "comment");
    set_name(*p, "name");
    return p;
}

TEST(Part, ClearedSlotIsOpaqueAndOtherwiseEmptyButKeepsDragOrigin) {
    auto p = filled_part();
    clear_slot(*p);
    EXPECT_TRUE(p->always_opaque);
    EXPECT_FALSE(p->selected || p->in_use || p->is_label || p->icon || p->no_space_click_select ||
                 p->flip_h || p->flip_v || p->no_mirror_table);
    EXPECT_EQ(p->border_left + p->border_right + p->x + p->y, 0);
    EXPECT_TRUE(p->box.is_zero());
    EXPECT_EQ(p->drag_origin, (Point{7, 8}));
    EXPECT_EQ(get_string(p->text), "");
    EXPECT_EQ(get_string(p->comment), "");
    EXPECT_EQ(get_string(p->name), "");
}

TEST(Part, StringsAreCutAtCapacityMinusOneBytes) {
    auto p = std::make_unique<Part>();
    set_name(*p, std::string(100, 'n'));
    EXPECT_EQ(get_string(p->name).size(), kNameCapacity - 1);
    set_comment(*p, std::string(100, 'c'));
    EXPECT_EQ(get_string(p->comment).size(), kCommentCapacity - 1);
    set_text_from_clipboard(*p, std::string(20000, 't'));
    EXPECT_EQ(get_string(p->text).size(), kTextCapacity - 1);
    // The cut counts bytes and may split a double-byte character.
    std::string name(28, 'a');
    name += "\x82\xA0";
    set_name(*p, name);
    EXPECT_EQ(get_string(p->name), std::string(28, 'a') + "\x82");
}

TEST(Part, ReplaceContentKeepsPlaceAndFlipsAndResetsBox) {
    auto dst = filled_part();
    auto src = std::make_unique<Part>();
    src->in_use = true;
    src->always_opaque = true;
    src->border_left = 9;
    src->x = 500;
    src->flip_h = false;
    set_text(*src, "new");
    set_name(*src, "lib");
    replace_content(*dst, *src);
    EXPECT_EQ(get_string(dst->text), "new");
    EXPECT_EQ(get_string(dst->name), "lib");
    EXPECT_EQ(get_string(dst->comment), "");
    EXPECT_FALSE(dst->selected);
    EXPECT_FALSE(dst->is_label);
    EXPECT_EQ(dst->border_left, 9);
    EXPECT_EQ(dst->x, 10);
    EXPECT_EQ(dst->y, 36);
    EXPECT_TRUE(dst->flip_h);
    EXPECT_TRUE(dst->flip_v);
    EXPECT_TRUE(dst->no_mirror_table);
    EXPECT_TRUE(dst->box.is_zero());
}

TEST(Part, ListLabelFormats) {
    auto p = std::make_unique<Part>();
    clear_slot(*p);
    EXPECT_EQ(list_label(*p), "\xA5");
    p->in_use = true;
    p->y = 18;
    set_name(*p, "cat");
    EXPECT_EQ(list_label(*p), "  (  0, 18)cat");
    set_comment(*p, "memo");
    p->x = -5;
    EXPECT_EQ(list_label(*p), "  ( -5, 18)cat[memo]");
    p->x = 12345;
    EXPECT_EQ(list_label(*p), "  (12345, 18)cat[memo]");
    p->is_label = true;
    EXPECT_EQ(list_label(*p), "*cat");
}

TEST(Part, RenderFlagsInStoredOrder) {
    RenderSettings s;
    s.flag(0) = true;
    s.flag(7) = true;
    EXPECT_TRUE(s.render_linenumber);
    EXPECT_TRUE(s.rendernotrenspace);
    EXPECT_STREQ(kRenderFlagKeys[4], "renderhancode");
    const RenderSettings g = default_global_render_settings();
    for (int i = 0; i < RenderSettings::kCount; ++i) EXPECT_EQ(g.flag(i), i == 5 || i == 6) << i;
}

}  // namespace
}  // namespace glyphora
