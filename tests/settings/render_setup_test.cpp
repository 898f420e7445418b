#include "settings/render_setup.h"

#include <gtest/gtest.h>

#include <memory>

namespace glyphora {
namespace {

// The program-wide switches and where the context carries them: a new one is a new row.
struct Switch {
    const char* key;
    bool Settings::*setting;
    bool RenderContext::*context;
};
constexpr Switch kSwitches[] = {
    {"render_pageflag", &Settings::render_pageflag, &RenderContext::render_pageflag},
    {"renderexactfill", &Settings::renderexactfill, &RenderContext::exact_fill},
    {"renderunicodefill", &Settings::renderunicodefill, &RenderContext::unicode_fill},
};

// Every setting the output code reads arrives in the context, each on its own (so a forgotten or a swapped
// one shows), and the context reads the tables it is given.
TEST(RenderSetup, EachRenderingSettingArrivesInTheContext) {
    const auto widths = std::make_unique<CharWidthTable>();
    const auto mirrors = std::make_unique<MirrorTables>();
    const Settings defaults;
    const RenderContext plain = make_render_context(defaults, *widths, *mirrors);
    EXPECT_EQ(plain.widths, widths.get());
    EXPECT_EQ(plain.mirror_h, &mirrors->horizontal);
    EXPECT_EQ(plain.mirror_v, &mirrors->vertical);
    EXPECT_EQ(plain.global_settings, defaults.render);
    EXPECT_EQ(plain.fontface, defaults.fontface);

    for (int i = 0; i < RenderSettings::kCount; ++i) {
        Settings s;
        s.render.flag(i) = !s.render.flag(i);
        EXPECT_EQ(make_render_context(s, *widths, *mirrors).global_settings, s.render) << kRenderFlagKeys[i];
    }
    for (const Switch& changed : kSwitches) {
        Settings s;
        s.*changed.setting = !(defaults.*changed.setting);
        const RenderContext rc = make_render_context(s, *widths, *mirrors);
        for (const Switch& other : kSwitches)
            EXPECT_EQ(rc.*other.context, s.*other.setting)
                << other.key << " with " << changed.key << " changed";
    }
    Settings s;
    s.fontface = "Monapo";
    EXPECT_EQ(make_render_context(s, *widths, *mirrors).fontface, "Monapo");
}

}  // namespace
}  // namespace glyphora
