#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace glyphora {
namespace {

namespace fs = std::filesystem;

class TypedSettings : public ::testing::Test {
  protected:
    std::string path;
    void SetUp() override {
        const fs::path dir =
            fs::path(std::getenv("GLYPHORA_HOME")) /
            ("typed-" +
             std::string(
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()));  // tests run in parallel
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "glyphora.ini").string();
    }
    void put(std::string_view text) { ASSERT_TRUE(write_file_atomically(path, text).ok); }
    std::string contents() {
        std::string out;
        EXPECT_TRUE(read_whole_file(path, out).ok);
        return out;
    }
};

TEST_F(TypedSettings, WithoutAFileEveryKeyHasTheDefaultOfItsTable) {
    SettingsFile file(path);
    Settings s;
    s.totalfontsize = 1;  // read_all must overwrite what was there
    read_all(file, s, WindowMetrics{4, 19});
    EXPECT_FALSE(s.render_pageflag);
    EXPECT_EQ(s.totalfontsize, 90);
    EXPECT_EQ(s.render, default_global_render_settings());
    EXPECT_TRUE(s.render.renderhantenzmode && s.render.rendersetsize);
    EXPECT_FALSE(s.renderexactfill);
    EXPECT_FALSE(s.renderunicodefill);
    EXPECT_FALSE(s.multilibrary);
    EXPECT_EQ(s.library_filename, "");
    EXPECT_EQ(s.asciiset_filename, "-");
    EXPECT_EQ(s.hanten_filename, "-");
    EXPECT_EQ(s.hanten_filename2, "-");
    EXPECT_EQ(s.renderext, "txt");
    EXPECT_EQ(s.fontpoint, 120);
    EXPECT_EQ(s.fontface, "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");  // ＭＳ Ｐゴシック
    for (const auto& m : s.menuchr) EXPECT_EQ(m, "");
    EXPECT_EQ(s.window[0], (WindowPlacement{16, 16, 424, 443, true}));  // 2F + 416, H + 2F + 416
    EXPECT_EQ(s.window[1], (WindowPlacement{32, 32, 440, 459, true}));
    EXPECT_EQ(s.dialog, (DialogPlacement{16, 16, 0, 0}));
    EXPECT_FALSE(s.dialog.position_applies());
    for (const auto& m : s.mru) EXPECT_EQ(m, "");
    EXPECT_EQ(s.mojisample.size(), 69u);
    EXPECT_EQ(s.mojisample.substr(0, 4), "\x81\x5F\x81\x5F");  // ＼＼
    EXPECT_FALSE(fs::exists(path));                            // reading never creates the file

    // The defaults of a default-constructed Settings are those of the table too (with zero metrics).
    Settings zero;
    read_all(file, zero);
    EXPECT_EQ(zero, Settings{});
}

TEST_F(TypedSettings, StoredValuesAreReadWithTheirTypesLimitsAndPlacementRules) {
    put("[OPTION]\nrender_pageflag=-3\ntotalfontsize=95\nrenderdotflag=5\nrendersetsize=0\nrenderhantenzmode="
        "x\n"
        "[font]\nfontface=" +
        std::string(70, 'F') +
        "\nfontpoint=abc\n"
        "[menu]\nmenuchr9=" +
        std::string(64, 'm') +
        "\n"
        "[file]\nlibrary_filename=" +
        std::string(300, 'p') +
        "\n"
        "[window0]\nx=-32000\ny=-1\nwx=500\nboxflag=0\n"
        "[dialog]\nx=-5\ny=7\ncx=300\ncy=200\n"
        "[text]\nmru15=" +
        std::string(80, 'r') + "\n");
    SettingsFile file(path);
    Settings s;
    read_all(file, s);
    EXPECT_TRUE(s.render_pageflag);
    EXPECT_EQ(s.totalfontsize, 95);
    EXPECT_EQ(dialog_point_size(s.totalfontsize), 9);
    EXPECT_EQ(dialog_point_size(0), 0);
    EXPECT_TRUE(s.render.renderdotflag);
    EXPECT_FALSE(s.render.rendersetsize);
    EXPECT_TRUE(s.render.renderhantenzmode);  // not a number: its default
    EXPECT_EQ(s.fontface, std::string(63, 'F'));
    EXPECT_EQ(s.fontpoint, 120);
    EXPECT_EQ(s.menuchr[9], std::string(63, 'm'));
    EXPECT_EQ(s.library_filename, std::string(259, 'p'));
    EXPECT_EQ(s.window[0], (WindowPlacement{4, 4, 500, 416, false}));
    EXPECT_EQ(s.dialog, (DialogPlacement{4, 7, 300, 200}));
    EXPECT_TRUE(s.dialog.position_applies());
    EXPECT_EQ(s.mru[15], std::string(63, 'r'));

    // The single-group reads agree with read_all.
    Settings startup;
    read_startup_settings(file, startup);
    EXPECT_EQ(startup.fontface, s.fontface);
    EXPECT_EQ(startup.window[0], Settings{}.window[0]);  // not a start-up key
    EXPECT_EQ(read_window_placement(file, Side::preview, {}), s.window[0]);
    EXPECT_FALSE(read_boxflag(file, Side::preview));
    EXPECT_TRUE(read_boxflag(file, Side::library));
    EXPECT_EQ(read_dialog_placement(file), s.dialog);
    EXPECT_EQ(read_recent_texts(file), s.mru);
    EXPECT_EQ(read_renderext(file), "txt");
    EXPECT_EQ(read_mojisample(file), s.mojisample);
}

TEST_F(TypedSettings, OptionsAreWrittenInOrderAndTheRenderingSheetTouchesOnlyItsKeys) {
    SettingsFile file(path);
    Settings s;
    s.render.renderdotflag = true;
    s.menuchr[3] = "\x81\x40";
    ASSERT_TRUE(write_options(file, s, true).ok);
    EXPECT_EQ(
        contents(),
        "[file]\r\nmultilibrary=0\r\nasciiset_filename=-\r\nhanten_filename=-\r\nhanten_filename2=-\r\n"
        "[font]\r\nfontpoint=120\r\nfontface=\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"
        "[option]\r\ntotalfontsize=90\r\nrender_pageflag=0\r\nrender_linenumber=0\r\nrenderdotflag=1\r\n"
        "rendernotsp=0\r\nrenderspbar=0\r\nrenderhancode=0\r\nrenderhantenzmode=1\r\nrendersetsize=1\r\n"
        "rendernotrenspace=0\r\nrenderexactfill=0\r\nrenderunicodefill=0\r\n"
        "[menu]\r\nmenuchr0=\r\nmenuchr1=\r\nmenuchr2=\r\nmenuchr3=\x81\x40\r\nmenuchr4=\r\nmenuchr5=\r\n"
        "menuchr6=\r\nmenuchr7=\r\nmenuchr8=\r\nmenuchr9=\r\n");

    // A flag stored as 5 reads as true and goes back as 1; the rendering-only sheet leaves the rest alone.
    put("[option]\r\nrenderdotflag=5\r\nrenderexactfill=5\r\n"
        "[font]\r\nfontpoint=77\r\n[file]\r\nhanten_filename=h.txt\r\n");
    Settings loaded;
    read_all(file, loaded);
    loaded.fontpoint = 999;  // changed in memory only; not written by the rendering sheet
    ASSERT_TRUE(write_options(file, loaded, false).ok);
    const std::string after = contents();
    EXPECT_NE(after.find("renderdotflag=1\r\n"), std::string::npos);
    EXPECT_TRUE(loaded.renderexactfill);
    EXPECT_FALSE(loaded.renderunicodefill);
    EXPECT_NE(after.find("renderexactfill=1\r\n"), std::string::npos);
    EXPECT_NE(after.find("renderunicodefill=0\r\n"), std::string::npos);
    EXPECT_NE(after.find("[font]\r\nfontpoint=77\r\n[file]\r\nhanten_filename=h.txt\r\n"), std::string::npos);
    EXPECT_EQ(after.find("menuchr"), std::string::npos);

    // The Unicode fill is a flag of its own, read at start-up and written with the rendering flags.
    put("[option]\r\nrenderunicodefill=2\r\n");
    read_startup_settings(file, loaded);
    EXPECT_TRUE(loaded.renderunicodefill);
    EXPECT_FALSE(loaded.renderexactfill);
    ASSERT_TRUE(write_options(file, loaded, false).ok);
    EXPECT_NE(contents().find("renderunicodefill=1\r\n"), std::string::npos);
    EXPECT_NE(contents().find("renderexactfill=0\r\n"), std::string::npos);
}

TEST_F(TypedSettings, EachEventWritesOnlyItsOwnKeys) {
    SettingsFile file(path);
    ASSERT_TRUE(write_window_position(file, Side::library, -32000, 5).ok);
    ASSERT_TRUE(write_window_size(file, Side::library, 300, 400).ok);
    ASSERT_TRUE(write_boxflag(file, Side::preview, false).ok);
    ASSERT_TRUE(write_dialog_placement(file, {1, 2, 3, 4}).ok);
    ASSERT_TRUE(write_library_filename(file, "/lib/\x83\x5C.aal").ok);
    ASSERT_TRUE(write_renderext(file, "HTML").ok);
    ASSERT_TRUE(write_recent_text(file, 15, "long " + std::string(70, 'z')).ok);  // written in full
    EXPECT_EQ(contents(),
              "[window1]\r\nx=-32000\r\ny=5\r\nwx=300\r\nwy=400\r\n[window0]\r\nboxflag=0\r\n"
              "[dialog]\r\nx=1\r\ny=2\r\ncx=3\r\ncy=4\r\n[file]\r\nlibrary_filename=/lib/\x83\x5C.aal\r\n"
              "renderext=HTML\r\n[text]\r\nmru15=long " +
                  std::string(70, 'z') + "\r\n");
    EXPECT_EQ(read_recent_texts(file)[15].size(), 63u);  // but read back cut

    // A value that the file cannot hold is refused with a reason, not written half.
    const IoResult r = write_recent_text(file, 0, "two\r\nlines");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("line break"), std::string::npos);
    EXPECT_EQ(read_recent_texts(file)[0], "");
}

TEST(SettingsValues, PointsAndTenthsConvertInSinglePrecisionTruncatingTowardZero) {
    EXPECT_EQ(tenths_from_points(9.5f), 95);
    EXPECT_EQ(tenths_from_points(12.0f), 120);
    EXPECT_EQ(tenths_from_points(-0.19f), -1);
    EXPECT_EQ(tenths_from_points(points_from_tenths(93)), 93);
    EXPECT_FLOAT_EQ(points_from_tenths(95), 9.5f);
    EXPECT_EQ(tenths_from_points(1e30f), 2147483647);
    EXPECT_EQ(tenths_from_points(-1e30f), -2147483647 - 1);
    EXPECT_EQ(tenths_from_points(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(SettingsValues, TheCharacterSampleStoresLineBreaksAsBackslashN) {
    // "ソ" is 83 5C: its trail byte is a backslash but starts no "\n".
    const std::string text = "a\r\n\x83\x5Cn\nb\rc";
    const std::string stored = encode_mojisample(text);
    EXPECT_EQ(stored, "a\\n\x83\x5Cn\\nb\\nc");
    EXPECT_EQ(decode_mojisample(stored), "a\r\n\x83\x5Cn\r\nb\r\nc");
    EXPECT_EQ(decode_mojisample("x\\\\n"), "x\\\r\n");
    // A lead byte before a line break is no character with it; the break is still encoded.
    EXPECT_EQ(encode_mojisample("\x83\n"), "\x83\\n");
    EXPECT_EQ(encode_mojisample(std::string(700, 's')).size(), 599u);
}

}  // namespace
}  // namespace glyphora
