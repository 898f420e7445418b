// Canvas painting: what draw_part draws and the box it gives (recorded), and the pixels of painted pages.

#include <QTest>

#include <memory>
#include <variant>

#include "canvas/canvas_surface.h"
#include "canvas/canvas_window.h"
#include "canvas/draw_part.h"
#include "canvas/glyph_font.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "render/measure_part.h"
#include "session/app_context.h"
#include "system/font_metrics.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

struct Fill {
    int64_t l, t, r, b;
    Rgb colour;
};
struct Glyph {
    int code;
    int64_t x, top, width;
    Rgb background;
};
struct CodePointGlyph {
    char32_t code_point;
    int64_t x, top, width;
};
struct Text {
    std::string text;
    int64_t x, top;
    Rgb colour;
};
struct Frame {
    Box box;
    Rgb colour;
    int pen;
};

class RecordingSurface : public CanvasSurface {
  public:
    void fill(int64_t l, int64_t t, int64_t r, int64_t b, Rgb colour) override {
        fills.push_back({l, t, r, b, colour});
    }
    void glyph(int code, int64_t x, int64_t top, int64_t width, Rgb, Rgb background) override {
        glyphs.push_back({code, x, top, width, background});
    }
    void code_point_glyph(char32_t code_point, int64_t x, int64_t top, int64_t width, Rgb, Rgb) override {
        code_points.push_back({code_point, x, top, width});
    }
    void text(std::string_view sjis, int64_t x, int64_t top, Rgb colour, Rgb) override {
        texts.push_back({std::string(sjis), x, top, colour});
    }
    void frame(const Box& box, Rgb colour, int pen) override { frames.push_back({box, colour, pen}); }

    std::vector<Fill> fills;
    std::vector<Glyph> glyphs;
    std::vector<CodePointGlyph> code_points;
    std::vector<Text> texts;
    std::vector<Frame> frames;
    std::string glyph_codes() const {
        std::string s;
        for (const Glyph& g : glyphs) append_code_to(s, g.code);
        return s;
    }

  private:
    static void append_code_to(std::string& s, int code) {
        if (code >= 256) s.push_back(static_cast<char>(code >> 8));
        s.push_back(static_cast<char>(code & 0xFF));
    }
};

constexpr Rgb kGrey = canvas_colours::kBackground;

std::unique_ptr<Part> make_part(int x, int y, std::string_view text) {
    auto part = std::make_unique<Part>();
    clear_slot(*part);
    part->in_use = true;
    part->x = x;
    part->y = y;
    set_text(*part, text);
    return part;
}

bool is_dark(QRgb pixel) {
    return qRed(pixel) < 128 && qGreen(pixel) < 128 && qBlue(pixel) < 128;
}

int dark_pixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (is_dark(image.pixel(x, y))) ++n;
    return n;
}

}  // namespace

class CanvasTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase();

    void parts_are_drawn_from_their_grid_row();
    void an_unmeasured_part_is_measured_first_and_drawn_second();
    void labels_are_never_drawn_nor_framed();
    void icons_are_boxes_on_the_library_canvas_only();
    void frames_follow_selection_and_boxflag();
    void blank_declarations();
    void transparent_runs_and_entities();
    void byte_entities_and_line_breaks();
    void flips_do_not_show_on_the_canvas();
    void temporary_rendering_colours();
    void draw_part_paints_inside_its_box();
    void references_are_drawn_as_their_characters();
    void references_are_drawn_at_their_measured_places();

    void first_paint_builds_the_width_table_and_draws_new_parts_at_once();
    void header_and_space_mark();
    void a_selected_part_has_a_red_frame();
    void an_always_opaque_part_hides_what_lies_beneath();
    void a_transparent_run_shows_what_lies_beneath();
    void temporary_rendering_replaces_the_page_until_it_ends();
    void a_font_that_cannot_be_measured_is_reported_once();

  private:
    std::unique_ptr<CanvasWindow> make_canvas(Side kind, QSize size = QSize(240, 120));

    std::unique_ptr<CharWidthTable> widths_;
    std::unique_ptr<ScriptedUiServices> ui_;
    std::unique_ptr<AppContext> ctx_;
    std::unique_ptr<TestHome> home_;
    bool have_font_ = false;
};

void CanvasTest::initTestCase() {
    widths_ = std::make_unique<CharWidthTable>();
    std::string error;
    QVERIFY(glyphora::test::build_test_widths(*widths_, Settings{}, error));
    QCOMPARE(widths_->line_height, 18);
    ui_ = std::make_unique<ScriptedUiServices>();
    ctx_ = std::make_unique<AppContext>(*ui_);
    home_ = std::make_unique<TestHome>();
    ctx_->settings_file.emplace(home_->settings_path());
    ctx_->build_widths = glyphora::test::build_test_widths;
    have_font_ = !resolve_font("Monapo").file.empty();
}

std::unique_ptr<CanvasWindow> CanvasTest::make_canvas(Side kind, QSize size) {
    clear_preview(ctx_->docs->preview);
    clear_library(ctx_->docs->library);
    auto canvas = std::make_unique<CanvasWindow>(*ctx_, kind);
    canvas->create_window(WindowPlacement{10, 10, size.width(), size.height(), true}, ScreenMetrics{});
    return canvas;
}

void CanvasTest::parts_are_drawn_from_their_grid_row() {
    const struct { int y, top; } cases[] = {{25, 18}, {-5, 0}, {36, 36}, {-20, -18}, {17, 0}};
    for (const auto& c : cases) {
        auto part = make_part(10, c.y, "AB");
        part->box = Box{1, 1, 1, 1};  // measured
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(part->box, (Box{10, c.top, 26, c.top + 18}));
        QCOMPARE(s.glyphs.size(), std::size_t{2});
        QCOMPARE(s.glyphs[0].top, int64_t{c.top});
        QCOMPARE(s.glyphs[1].x, int64_t{18});
    }
    // An empty text still takes one line.
    auto empty = make_part(7, 40, "");
    RecordingSurface s;
    draw_part(*empty, s, *widths_, false, false, false, false);
    QCOMPARE(empty->box, (Box{7, 36, 7, 54}));
}

void CanvasTest::an_unmeasured_part_is_measured_first_and_drawn_second() {
    auto part = make_part(0, 18, "A&nbsp;B\r\nCC");
    RecordingSurface first;
    draw_part(*part, first, *widths_, true, false, false, false);
    // Only the entity blank and the frame: no glyphs, no opaque fill.
    QVERIFY(first.glyphs.empty());
    QCOMPARE(first.fills.size(), std::size_t{1});
    QCOMPARE(first.fills[0].l, int64_t{8});
    QCOMPARE(first.fills[0].r, int64_t{13});
    QCOMPARE(first.frames.size(), std::size_t{1});
    QCOMPARE(part->box, (Box{0, 18, 21, 54}));

    RecordingSurface second;
    draw_part(*part, second, *widths_, true, false, false, false);
    QCOMPARE(second.glyph_codes(), std::string("ABCC"));
    // The always-opaque fill comes first, one pixel short of the box on the right and at the bottom.
    QCOMPARE(second.fills.size(), std::size_t{2});
    QCOMPARE(second.fills[0].l, int64_t{0});
    QCOMPARE(second.fills[0].t, int64_t{18});
    QCOMPARE(second.fills[0].r, int64_t{20});
    QCOMPARE(second.fills[0].b, int64_t{53});
    QCOMPARE(second.glyphs[1].x, int64_t{13});
    QCOMPARE(second.glyphs[2].top, int64_t{36});

    // Without always_opaque there is no fill.
    part->always_opaque = false;
    RecordingSurface third;
    draw_part(*part, third, *widths_, true, false, false, false);
    QCOMPARE(third.fills.size(), std::size_t{1});
}

void CanvasTest::labels_are_never_drawn_nor_framed() {
    auto part = make_part(5, 5, "LABEL");
    part->is_label = true;
    part->selected = true;
    RecordingSurface s;
    draw_part(*part, s, *widths_, true, true, false, false);
    QVERIFY(s.fills.empty() && s.glyphs.empty() && s.texts.empty() && s.frames.empty());
    QVERIFY(part->box.is_zero());
}

void CanvasTest::icons_are_boxes_on_the_library_canvas_only() {
    auto part = make_part(30, 40, "BIG AA");
    part->icon = true;
    set_comment(*part, "ABCDEFG");
    RecordingSurface library;
    draw_part(*part, library, *widths_, true, true, false, false);
    QCOMPARE(part->box, (Box{30, 36, 74, 62}));  // 44 wide, line height + 8 high
    QCOMPARE(library.fills.size(), std::size_t{1});
    QCOMPARE(library.fills[0].colour, (Rgb{239, 240, 160}));
    QCOMPARE(library.texts.size(), std::size_t{1});
    QCOMPARE(library.texts[0].text, std::string("ABCD"));
    QCOMPARE(library.texts[0].x, int64_t{34});
    QCOMPARE(library.texts[0].top, int64_t{40});
    QCOMPARE(library.texts[0].colour, (Rgb{255, 0, 0}));
    QVERIFY(library.glyphs.empty());

    // A shorter comment gives a shorter label.
    set_comment(*part, "AB");
    RecordingSurface short_label;
    draw_part(*part, short_label, *widths_, true, true, false, false);
    QCOMPARE(short_label.texts[0].text, std::string("AB"));

    // The preview canvas shows its text.
    part->box = Box{};
    RecordingSurface preview;
    draw_part(*part, preview, *widths_, true, false, false, false);
    draw_part(*part, preview, *widths_, true, false, false, false);
    QCOMPARE(preview.glyph_codes(), std::string("BIG AA"));
    QVERIFY(preview.texts.empty());
}

void CanvasTest::frames_follow_selection_and_boxflag() {
    auto part = make_part(0, 0, "A");
    part->box = Box{1, 1, 1, 1};
    RecordingSurface plain, framed, selected;
    draw_part(*part, plain, *widths_, false, false, false, false);
    QVERIFY(plain.frames.empty());
    draw_part(*part, framed, *widths_, true, false, false, false);
    QCOMPARE(framed.frames.size(), std::size_t{1});
    QCOMPARE(framed.frames[0].colour, (Rgb{0, 0, 0}));
    QCOMPARE(framed.frames[0].pen, 1);
    part->selected = true;
    draw_part(*part, selected, *widths_, false, false, false, false);
    QCOMPARE(selected.frames[0].colour, (Rgb{255, 0, 0}));
    QCOMPARE(selected.frames[0].pen, 2);
    QCOMPARE(selected.frames[0].box, part->box);
}

void CanvasTest::blank_declarations() {
    {
        // "&space=" + full-width space; then a full-width space and a letter.
        auto part = make_part(0, 0,
                              "&space=\x81\x40\r\n\x81\x40"
                              "A");
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("A"));
        QCOMPARE(s.glyphs[0].x, int64_t{11});
        QCOMPARE(s.glyphs[0].top, int64_t{0});  // the declaration line takes no line
        // opaque fill, then the declared blank as a filled cell of its font width
        QCOMPARE(s.fills.size(), std::size_t{2});
        QCOMPARE(s.fills[1].l, int64_t{0});
        QCOMPARE(s.fills[1].r, int64_t{11});
        QCOMPARE(s.fills[1].b, int64_t{18});
    }
    {
        // "&space3=." makes every full stop a 3-pixel blank; a letter in place of the digit is no
        // declaration.
        auto part = make_part(0, 0, "&space3=A\r\nBAB");
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("BB"));
        QCOMPARE(s.glyphs[1].x, int64_t{11});
        QCOMPARE(part->box.right, 19);

        auto text_line = make_part(0, 0, "&spacex=.\r\nA");
        text_line->box = Box{1, 1, 1, 1};
        RecordingSurface t;
        draw_part(*text_line, t, *widths_, false, false, false, false);
        QCOMPARE(t.glyph_codes(), std::string("&spacex=.A"));
    }
    {
        // A later declaration line overwrites the earlier one position by position.
        auto part = make_part(0, 0, "&space=ab\r\n&space=c\r\nabc");
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("a"));
    }
}

void CanvasTest::transparent_runs_and_entities() {
    {
        auto part = make_part(0, 0, "&ttt;   A\r\n &ensp;B");
        part->always_opaque = false;
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        // The spaces paint nothing; the letter ends the run, so the second line is drawn in full.
        QCOMPARE(s.glyph_codes(), std::string("A B"));
        QCOMPARE(s.glyphs[0].x, int64_t{15});
        QCOMPARE(s.fills.size(), std::size_t{1});  // the &ensp; after the run ended
        QCOMPARE(s.fills[0].l, int64_t{5});
        QCOMPARE(s.fills[0].r, int64_t{13});
    }
    {
        // The run lasts across lines, and the entities neither start nor end it.
        auto part = make_part(0, 0, "&ttt; \r\n&thinsp;\x81\x40X");
        part->always_opaque = false;
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("X"));
        QVERIFY(s.fills.empty());
        QCOMPARE(s.glyphs[0].x, int64_t{13});
    }
    {
        // An always-opaque part paints its blanks even inside a transparent run.
        auto part = make_part(0, 0, "&ttt;  A");
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("  A"));
    }
    {
        // &www; is skipped; an "&" that starts no entity is a character.
        auto part = make_part(0, 0, "A&www;B&x");
        part->box = Box{1, 1, 1, 1};
        RecordingSurface s;
        draw_part(*part, s, *widths_, false, false, false, false);
        QCOMPARE(s.glyph_codes(), std::string("AB&x"));
    }
}

void CanvasTest::byte_entities_and_line_breaks() {
    auto part = make_part(0, 0, "&=41;&=0d;&=2a;\rZ");
    part->box = Box{1, 1, 1, 1};
    RecordingSurface s;
    draw_part(*part, s, *widths_, false, false, false, false);
    QCOMPARE(s.glyph_codes(), std::string("A*Z"));
    QCOMPARE(s.glyphs[0].width, int64_t{8});  // the width of "&"
    QCOMPARE(s.glyphs[1].top, int64_t{18});   // &=0d; broke the line
    QCOMPARE(s.glyphs[2].top, int64_t{36});   // so did the bare CR
    QCOMPARE(part->box, (Box{0, 0, 8, 54}));
}

void CanvasTest::flips_do_not_show_on_the_canvas() {
    auto plain = make_part(0, 0, "AB\r\nC");
    auto flipped = make_part(0, 0, "AB\r\nC");
    flipped->flip_h = flipped->flip_v = true;
    flipped->border_left = flipped->border_right = 9;
    plain->box = flipped->box = Box{1, 1, 1, 1};
    RecordingSurface a, b;
    draw_part(*plain, a, *widths_, false, false, false, false);
    draw_part(*flipped, b, *widths_, false, false, false, false);
    QCOMPARE(a.glyph_codes(), b.glyph_codes());
    QCOMPARE(plain->box, flipped->box);
}

void CanvasTest::temporary_rendering_colours() {
    const std::string text = "&space=A\r\n A&nbsp;";
    auto part = make_part(-11, 0, text);
    part->box = Box{1, 1, 1, 1};
    RecordingSurface coloured;
    draw_part(*part, coloured, *widths_, false, false, true, true);
    // No declarations apply to the temporary rendering: "A" is a glyph.
    QCOMPARE(coloured.glyph_codes(), std::string(" A"));
    QCOMPARE(coloured.glyphs[0].background, (Rgb{192, 192, 160}));
    QCOMPARE(coloured.glyphs[1].background, (Rgb{192, 192, 192}));
    QCOMPARE(coloured.fills.back().colour, (Rgb{160, 192, 160}));
    QCOMPARE(coloured.fills.front().colour, (Rgb{192, 192, 192}));  // the opaque fill

    part->box = Box{1, 1, 1, 1};
    RecordingSurface grey;
    draw_part(*part, grey, *widths_, false, false, true, false);
    QCOMPARE(grey.glyphs[0].background, (Rgb{192, 192, 192}));
    QCOMPARE(grey.fills.back().colour, (Rgb{192, 192, 192}));

    part->box = Box{1, 1, 1, 1};
    RecordingSurface page;
    draw_part(*part, page, *widths_, false, false, false, false);
    QCOMPARE(page.glyphs[0].background, kGrey);
    QCOMPARE(page.fills.back().colour, kGrey);
}

// The box is where the part paints. On an image of a colour no part uses, whatever draw_part paints (glyph
// cells and their ink, blanks) lies inside the box. An always-opaque part's fill leaves only the box's last
// column and row, where the frame lies, so with its frame it paints exactly the box.
void CanvasTest::draw_part_paints_inside_its_box() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto widths = std::make_unique<CharWidthTable>();
    std::string error;
    QVERIFY2(build_width_table_from_font(*widths, "Monapo", 120, error), error.c_str());
    const GlyphFont font("Monapo", 120);
    QVERIFY(font.valid());
    const QRgb unpainted = qRgb(0, 0, 255);
    // The painted pixels: their bounding rectangle and how many lie in `inside`.
    struct Painted {
        QRect bounds;
        int inside = 0;
    };
    auto paint = [&](Part& part, bool frames, const QRect& inside) {
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(unpainted);
        {
            ImageSurface surface(image, font);
            draw_part(part, surface, *widths, frames, false, false, false);
        }
        Painted p;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != unpainted) {
                    p.bounds |= QRect(x, y, 1, 1);
                    if (inside.contains(x, y)) ++p.inside;
                }
        return p;
    };

    const char* texts[] = {
        "A",           "AB\r\n\r\n",      "&ttt;  \r\nXYZ", "&space5=.\r\n...A", "\x82\xA0\x82\xA2&ensp;",
        "&=0d;&=0d;B", "W\r\nWWWWWW\r\nA"};
    for (const char* text : texts) {
        auto part = make_part(13, 50, text);
        part->always_opaque = false;
        RecordingSurface first;
        draw_part(*part, first, *widths, false, false, false, false);  // measures
        const QRect box(QPoint(part->box.left, part->box.top),
                        QPoint(part->box.right - 1, part->box.bottom - 1));
        QVERIFY2(box.width() > 1 && box.height() > 1, text);
        const QRect filled = box.adjusted(0, 0, -1, -1);

        const Painted cells = paint(*part, false, box);
        QVERIFY2(!cells.bounds.isNull() && box.contains(cells.bounds), text);
        QCOMPARE(paint(*part, true, box).bounds, box);  // the frame
        part->always_opaque = true;
        const Painted opaque = paint(*part, false, filled);
        QVERIFY2(box.contains(opaque.bounds), text);
        QCOMPARE(opaque.inside, filled.width() * filled.height());
        const Painted framed = paint(*part, true, box);
        QCOMPARE(framed.bounds, box);
        QCOMPARE(framed.inside, box.width() * box.height());
    }
    // Nothing to draw, nothing painted.
    auto empty = make_part(13, 50, "");
    paint(*empty, false, {});
    QVERIFY(paint(*empty, false, {}).bounds.isNull());

    // A line without characters does not extend the box downwards, though its blanks are painted.
    auto part = make_part(0, 0, "A\r\n&nbsp;");
    RecordingSurface s;
    draw_part(*part, s, *widths_, false, false, false, false);
    QCOMPARE(part->box.bottom, 18);
}

// Widths from a metrics file with entries for code points: the places only, no font.
void CanvasTest::references_are_drawn_as_their_characters() {
    MetricsFile file;
    QVERIFY(parse_metrics("line_height 18\ndefault 8\n0x20 5\nU+2005 4\nU+200A 1\nU+2661 14\nU+2006 2.667\n",
                          file)
                .ok);
    MetricsFileSource source(file);
    CharWidthTable widths;
    widths.build(source);

    auto part = make_part(0, 0, "A&#x2005Z&#9825;&#X2661;&#x2006;B&#65;\r\n&ttt;&#x2005;&#x200a;Q");
    part->always_opaque = false;
    part->box = Box{1, 1, 1, 1};
    RecordingSurface s;
    draw_part(*part, s, widths, false, false, false, false);
    // The references' own bytes are never drawn: only the letters are glyphs of the table.
    QCOMPARE(s.glyph_codes(), std::string("AZBQ"));
    const std::vector<int64_t> letters = {0, 12, 51, 5};
    for (std::size_t i = 0; i < letters.size(); ++i) QCOMPARE(s.glyphs[i].x, letters[i]);
    // The characters themselves, each at its measured width (2.667 rounds to 3); a code point code page
    // 932 holds too is drawn as that character, at its table width.
    QCOMPARE(s.code_points.size(), std::size_t{3});
    const std::vector<std::pair<char32_t, int64_t>> drawn = {{0x2661, 20}, {0x2661, 34}, {0x41, 59}};
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        QCOMPARE(s.code_points[i].code_point, drawn[i].first);
        QCOMPARE(s.code_points[i].x, drawn[i].second);
        QCOMPARE(s.code_points[i].top, int64_t{0});
    }
    QCOMPARE(s.code_points[0].width, int64_t{14});
    QCOMPARE(s.code_points[2].width, int64_t{8});
    // The Unicode spaces are blanks: painted as the entities are, but not inside the transparent run.
    QCOMPARE(s.fills.size(), std::size_t{2});
    QCOMPARE(s.fills[0].l, int64_t{8});
    QCOMPARE(s.fills[0].r, int64_t{12});
    QCOMPARE(s.fills[1].l, int64_t{48});
    QCOMPARE(s.fills[1].r, int64_t{51});
    QCOMPARE(part->box, (Box{0, 0, 67, 36}));

    // A referenced character ends a transparent run as a letter does; a Unicode space does not.
    auto run = make_part(0, 0, "&ttt;&#x2005;&#9825; ");
    run->always_opaque = false;
    run->box = Box{1, 1, 1, 1};
    RecordingSurface r;
    draw_part(*run, r, widths, false, false, false, false);
    QCOMPARE(r.glyph_codes(), std::string(" "));
    QCOMPARE(r.glyphs[0].x, int64_t{18});
    QVERIFY(r.fills.empty());
}

// In the rendering font: "&#x2005;" between two letters moves the second one 4 pixels on and draws
// nothing, and a character Monapo lacks comes from the font the measurement fell back to.
void CanvasTest::references_are_drawn_at_their_measured_places() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto widths = std::make_unique<CharWidthTable>();
    std::string error;
    QVERIFY2(build_width_table_from_font(*widths, "Monapo", 120, error), error.c_str());
    QCOMPARE(widths->code_point_width(0x2005).pixels(), 4);
    const GlyphFont font("Monapo", 120);
    QVERIFY(font.valid());
    auto paint = [&](const char* text) {
        auto part = make_part(10, 0, text);
        part->always_opaque = false;
        RecordingSurface measuring;
        draw_part(*part, measuring, *widths, false, false, false, false);
        QImage image(200, 18, QImage::Format_RGB32);
        image.fill(qRgb(240, 240, 240));
        ImageSurface surface(image, font);
        draw_part(*part, surface, *widths, false, false, false, false);
        return image;
    };
    const QImage plain = paint("WW");
    const QImage spaced = paint("W&#x2005;W");
    const int w = widths->width('W');
    const QRect first(10, 0, w, 18);
    QVERIFY(dark_pixels(plain, first) > 10);
    QCOMPARE(spaced.copy(first), plain.copy(first));
    QCOMPARE(dark_pixels(spaced, QRect(10 + w, 0, 4, 18)), 0);
    QCOMPARE(spaced.copy(QRect(10 + w + 4, 0, w, 18)), plain.copy(QRect(10 + w, 0, w, 18)));
    // Nothing else: the reference's bytes are not drawn.
    QCOMPARE(dark_pixels(spaced, spaced.rect()), dark_pixels(plain, plain.rect()));

    const ResolvedFont monapo = resolve_font("Monapo");
    const std::string fallback = fallback_font_file(monapo, 0x2661);
    if (fallback.empty()) QSKIP("no installed font has U+2661");
    const GlyphFont::CodePointGlyph heart = font.code_point_glyph(0x2661);
    QVERIFY(heart.font && heart.font != &font.raw());
    QCOMPARE(heart.font->familyName(),
             QRawFont(QString::fromStdString(fallback), 16, QFont::PreferNoHinting).familyName());
    QVERIFY(heart.index != 0);
    // Drawn in its measured cell (a thin outline: counted are the pixels with any ink).
    const QImage hearts = paint("&#9825;");
    const int heart_width = widths->code_point_width(0x2661).pixels();
    auto inked = [&hearts](const QRect& area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) n += hearts.pixel(x, y) != qRgb(240, 240, 240);
        return n;
    };
    QVERIFY(inked(QRect(10, 0, heart_width, 18)) > 10);
    QCOMPARE(inked(hearts.rect()), inked(QRect(10, 0, heart_width, 18)));
}

void CanvasTest::first_paint_builds_the_width_table_and_draws_new_parts_at_once() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    ctx_->widths->built = false;
    auto canvas = make_canvas(Side::preview);
    Part& part = put_part(ctx_->preview_page(), 3, 20, 40, "WWWW");
    QVERIFY(!ctx_->widths->built);
    const QImage image = canvas->paint_image();
    QVERIFY(ctx_->widths->built);
    QCOMPARE(part.box, (Box{20, 36, 52, 54}));
    QVERIFY(dark_pixels(image, QRect(20, 36, 32, 16)) > 20);
}

void CanvasTest::header_and_space_mark() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto preview = make_canvas(Side::preview);
    const QImage plain = preview->paint_image();
    QVERIFY(dark_pixels(plain, QRect(0, 0, 40, 16)) > 10);  // "page 0"
    QCOMPARE(dark_pixels(plain, QRect(preview->width() - 16, 0, 16, 16)), 0);
    QCOMPARE(plain.pixel(100, 80), qRgb(240, 240, 240));
    preview->state().space_held = true;
    const QImage held = preview->paint_image();
    QVERIFY(dark_pixels(held, QRect(preview->width() - 16, 0, 16, 16)) > 10);  // "Ｍ"

    auto library = make_canvas(Side::library);
    set_string(ctx_->docs->library.page_names[0], "long page name");
    const int with_name = dark_pixels(library->paint_image(), QRect(0, 0, library->width(), 16));
    set_string(ctx_->docs->library.page_names[0], "");
    const int without_name = dark_pixels(library->paint_image(), QRect(0, 0, library->width(), 16));
    QVERIFY(with_name > without_name);  // "lib 0[long page name]" against "lib 0[]"
}

void CanvasTest::a_selected_part_has_a_red_frame() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto canvas = make_canvas(Side::preview);
    Part& part = put_part(ctx_->preview_page(), 0, 40, 36, "AB");
    part.selected = true;
    QImage image = canvas->paint_image();
    const QRgb red = qRgb(255, 0, 0);
    QCOMPARE(image.pixel(part.box.left, part.box.top + 8), red);
    QCOMPARE(image.pixel(part.box.right - 1, part.box.top + 8), red);
    QCOMPARE(image.pixel(part.box.left + 5, part.box.bottom - 1), red);
    QCOMPARE(image.pixel(part.box.left - 1, part.box.top + 8), red);  // two pixels wide

    part.selected = false;
    image = canvas->paint_image();
    QCOMPARE(image.pixel(part.box.left, part.box.top + 8), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(part.box.left - 1, part.box.top + 8), qRgb(240, 240, 240));
    canvas->state().boxflag = false;
    image = canvas->paint_image();
    QCOMPARE(image.pixel(part.box.left, part.box.top + 8), qRgb(240, 240, 240));
}

void CanvasTest::an_always_opaque_part_hides_what_lies_beneath() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto canvas = make_canvas(Side::preview);
    canvas->state().boxflag = false;
    Page& page = ctx_->preview_page();
    put_part(page, 0, 10, 36, "WWWWWWWWWW\r\nWWWWWWWWWW");
    // The second line is short: only the opaque fill covers its right.
    Part& above = put_part(page, 1, 10, 36, "AAAAAAAA\r\nA");

    // Right of the short line's "A", inside the box of the part above.
    const QRect uncovered_by_cells(10 + 8 + 2, 54 + 2, 40, 12);
    above.always_opaque = true;
    QCOMPARE(dark_pixels(canvas->paint_image(), uncovered_by_cells), 0);
    above.always_opaque = false;
    QVERIFY(dark_pixels(canvas->paint_image(), uncovered_by_cells) > 20);
}

void CanvasTest::a_transparent_run_shows_what_lies_beneath() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto canvas = make_canvas(Side::preview);
    canvas->state().boxflag = false;
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 36, "WWWW");
    const QRect under_spaces(0, 38, 25, 12);  // five half-width spaces of 5 pixels
    Part& above = test::transparent(put_part(page, 1, 0, 36, "&ttt;     A"));
    QVERIFY(dark_pixels(canvas->paint_image(), under_spaces) > 20);
    set_text(above, "     A");  // without the run the spaces' cells cover it
    QCOMPARE(dark_pixels(canvas->paint_image(), under_spaces), 0);
}

void CanvasTest::temporary_rendering_replaces_the_page_until_it_ends() {
    if (!have_font_) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    auto canvas = make_canvas(Side::preview);
    put_part(ctx_->preview_page(), 0, 100, 72, "WWWW");
    canvas->show_temporary_rendering(
        "\x81\x40"
        "A\r\n\x81\x40 &nbsp;B");
    QVERIFY(canvas->state().temp_shown);
    QCOMPARE(canvas->state().temp_part->x, -11);
    QImage image = canvas->paint_image();
    QCOMPARE(image.pixel(200, 110), qRgb(192, 192, 192));
    QCOMPARE(dark_pixels(image, QRect(100, 72, 32, 18)), 0);    // the page is not drawn
    QCOMPARE(image.pixel(2, 18 + 8), qRgb(192, 192, 160));      // the half-width space, coloured
    QCOMPARE(image.pixel(7 + 2, 18 + 8), qRgb(160, 192, 160));  // the &nbsp;

    // Redrawing without ending keeps it; holding Space ends it at the next paint.
    canvas->request_redraw(false);
    QVERIFY(canvas->state().temp_shown);
    canvas->state().space_held = true;
    image = canvas->paint_image();
    QVERIFY(!canvas->state().temp_shown);
    QVERIFY(dark_pixels(image, QRect(100, 72, 32, 18)) > 20);
    canvas->state().space_held = false;

    canvas->show_temporary_rendering("\x81\x40X");
    canvas->request_redraw(true);
    QVERIFY(!canvas->state().temp_shown);
}

void CanvasTest::a_font_that_cannot_be_measured_is_reported_once() {
    ScriptedUiServices ui;
    AppContext ctx(ui);
    TestHome home;
    ctx.settings_file.emplace(home.settings_path());
    ctx.build_widths = [](CharWidthTable&, const Settings&, std::string& error) {
        error = "no font";
        return false;
    };
    CanvasWindow canvas(ctx, Side::preview);
    canvas.create_window(WindowPlacement{10, 10, 100, 100, true}, ScreenMetrics{});
    Part& part = ctx.preview_page().slots[0];
    part.in_use = true;
    set_text(part, "A");
    QImage image = canvas.paint_image();  // no parts, and no division by a line height of 0
    QVERIFY(!ctx.widths->built);
    QVERIFY(part.box.is_zero());
    QCOMPARE(image.pixel(50, 50), qRgb(240, 240, 240));
    QVERIFY(QTest::qWaitForWindowExposed(&canvas));
    canvas.repaint();
    canvas.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(ui.messages().size(), std::size_t{1});
    QVERIFY(ui.messages()[0].find("no font") != std::string::npos);
    // The window manager cannot close a canvas.
    canvas.close();
    QVERIFY(canvas.isVisible());
}

QTEST_MAIN(CanvasTest)
#include "canvas_test.moc"
