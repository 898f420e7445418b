// The canvases on a screen of device pixel ratio 2 (the whole program runs scaled by 2): parts sit where
// the width table puts them, scaled, with glyphs drawn at the finer resolution; frames keep their width in
// device-independent pixels; clicks and the width table stay in page pixels. A ratio of 1.5 is painted
// too.

#include <QApplication>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

#include "canvas/canvas_window.h"
#include "model/sjis.h"
#include "model/test_support.h"
#include "qtest_support/test_support.h"
#include "system/font_metrics.h"

using namespace glyphora;
using glyphora::test::put_part;

namespace {

constexpr double kScreenRatio = 2.0;

bool have_font() {
    return !resolve_font("Monapo").file.empty();
}

bool is_dark(QRgb pixel) {
    return qRed(pixel) < 128 && qGreen(pixel) < 128 && qBlue(pixel) < 128;
}

// The bounding rectangle of the dark pixels inside `area` (device pixels of `image`).
QRect ink(const QImage& image, const QRect& area) {
    QRect bounds;
    const QRect clipped = area & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (is_dark(image.pixel(x, y))) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// A rectangle of page pixels in the device pixels of `ratio`, its edges rounded.
QRect scaled(const QRect& r, double ratio) {
    const auto s = [ratio](int v) { return static_cast<int>(std::lround(v * ratio)); };
    return QRect(QPoint(s(r.left()), s(r.top())), QPoint(s(r.right() + 1) - 1, s(r.bottom() + 1) - 1));
}

// How many of the pairs of rows (or of columns) 2k, 2k + 1 inside `area` differ anywhere: none in a picture
// that was only enlarged twice.
int differing_pairs(const QImage& image, const QRect& area, bool rows) {
    const QPoint across = rows ? QPoint(1, 0) : QPoint(0, 1), along = rows ? QPoint(0, 1) : QPoint(1, 0);
    const int pairs = (rows ? area.height() : area.width()) / 2, length = rows ? area.width() : area.height();
    int differing = 0;
    for (int k = 0; k < pairs; ++k) {
        const QPoint start = area.topLeft() + along * 2 * k;
        for (int i = 0; i < length; ++i) {
            const QPoint at = start + across * i;
            if (image.pixel(at) != image.pixel(at + along)) {
                ++differing;
                break;
            }
        }
    }
    return differing;
}

// `count` pixels from `from` on, `step` apart.
std::vector<QRgb> pixels(const QImage& image, QPoint from, QPoint step, int count) {
    std::vector<QRgb> out;
    for (int i = 0; i < count; ++i) out.push_back(image.pixel(from + step * i));
    return out;
}

// How far two rectangles' edges lie apart at most.
int edge_distance(const QRect& a, const QRect& b) {
    return std::max({std::abs(a.left() - b.left()), std::abs(a.top() - b.top()),
                     std::abs(a.right() - b.right()), std::abs(a.bottom() - b.bottom())});
}

}  // namespace

class CanvasHiDpiTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void parts_are_drawn_where_the_widths_put_them_scaled_in_finer_detail();
    void frames_keep_their_width_in_device_independent_pixels();
    void clicks_and_the_width_table_stay_in_page_pixels();

  private:
    // The program with the font's own widths and unframed parts; false after a failure.
    bool start_with_font();
    CanvasWindow& canvas() { return *app_->preview_canvas(); }
};

bool CanvasHiDpiTest::start_with_font() {
    start({}, Widths::font);
    if (!started()) return false;
    if (!ctx_->ensure_width_table()) {
        QTest::qFail("the font could not be measured", __FILE__, __LINE__);
        return false;
    }
    // The environment this program sets before the application starts took: the canvas is on a 2x screen.
    if (canvas().devicePixelRatioF() != kScreenRatio) {
        QTest::qFail("the canvas is not at device pixel ratio 2", __FILE__, __LINE__);
        return false;
    }
    canvas().state().boxflag = false;
    return true;
}

void CanvasHiDpiTest::parts_are_drawn_where_the_widths_put_them_scaled_in_finer_detail() {
    if (!have_font()) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    if (!start_with_font()) return;
    // Letters of uneven widths and full-width characters, long enough that drawn advances would drift.
    const std::string text =
        "Wil.AWgj\x82\xA0\x8A\xBF\x8E\x9A"
        "AVAWil.AWgj\x82\xA0\x8A\xBF\x8E\x9AMmWiq";
    const Part& part = put_part(preview(), 0, 13, 36, text);
    const QImage one = canvas().paint_image(1.0);
    const QRect box(QPoint(part.box.left, part.box.top), QPoint(part.box.right - 1, part.box.bottom - 1));
    const QRect ink_one = ink(one, box);
    QVERIFY(!ink_one.isEmpty());

    // Where each character's cell starts and ends, from the width table.
    std::vector<QRect> cells;
    int64_t x = part.x;
    for (std::size_t pos = 0; pos < text.size();) {
        const SjisChar c = char_at(text, pos);
        pos += static_cast<std::size_t>(c.length);
        const int width = ctx_->widths->width(c.code);
        cells.emplace_back(static_cast<int>(x), box.top(), width, box.height());
        x += width;
    }

    // The window's own paint at its ratio (what the screen shows), and a paint at 1.5.
    const struct {
        double ratio;
        QImage image;
    } paints[] = {{kScreenRatio, canvas().grab().toImage()}, {1.5, canvas().paint_image(1.5)}};
    for (const auto& p : paints) {
        const QByteArray where = "at ratio " + QByteArray::number(p.ratio);
        QCOMPARE(p.image.devicePixelRatio(), p.ratio);
        QCOMPARE(p.image.size(), QSize(qRound(one.width() * p.ratio), qRound(one.height() * p.ratio)));
        // The part's ink is the 1x picture's, scaled.
        const QRect ink_scaled = ink(p.image, scaled(box, p.ratio));
        QVERIFY2(edge_distance(ink_scaled, scaled(ink_one, p.ratio)) <= 2, where);
        // Each character's ink starts and ends where the 1x picture's does, scaled: nothing drifts.
        for (const QRect& cell : cells) {
            const QRect a = ink(one, cell), b = ink(p.image, scaled(cell, p.ratio));
            QCOMPARE(a.isEmpty(), b.isEmpty());
            if (a.isEmpty()) continue;
            QVERIFY2(std::abs(b.left() - std::lround(a.left() * p.ratio)) <= 2, where);
            QVERIFY2(std::abs(b.right() + 1 - std::lround((a.right() + 1) * p.ratio)) <= 2, where);
        }
    }

    // Drawn at 2x, not the 1x picture enlarged.
    const QRect area = scaled(box, kScreenRatio);
    const int row_pairs = differing_pairs(paints[0].image, area, true);
    const int column_pairs = differing_pairs(paints[0].image, area, false);
    QVERIFY2(row_pairs >= area.height() / 8, QByteArray::number(row_pairs));
    QVERIFY2(column_pairs >= area.width() / 8, QByteArray::number(column_pairs));
}

void CanvasHiDpiTest::frames_keep_their_width_in_device_independent_pixels() {
    if (!have_font()) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    if (!start_with_font()) return;
    canvas().state().boxflag = true;
    // Half-width spaces: a frame around cells without ink.
    Part& part = put_part(preview(), 0, 40, 54, "          ");
    canvas().paint_image(1.0);  // measures
    const int mid = (part.box.left + part.box.right) / 2 * 2;
    const int top = part.box.top * 2, left = part.box.left * 2;
    const QRgb background = qRgb(240, 240, 240), black = qRgb(0, 0, 0), red = qRgb(255, 0, 0);
    const QPoint down(0, 1), right(1, 0);
    // One page pixel wide: two device pixels, on the top edge and on the left one.
    QImage image = canvas().grab().toImage();
    const std::vector<QRgb> thin{background, black, black, background};
    QCOMPARE(pixels(image, QPoint(mid, top - 1), down, 4), thin);
    QCOMPARE(pixels(image, QPoint(left - 1, top + 10), right, 4), thin);

    // The selected part's pen is two page pixels wide, on and outside the outline there: four device pixels.
    part.selected = true;
    image = canvas().grab().toImage();
    const std::vector<QRgb> wide{background, red, red, red, red, background};
    QCOMPARE(pixels(image, QPoint(mid, top - 3), down, 6), wide);
    QCOMPARE(pixels(image, QPoint(left - 3, top + 10), right, 6), wide);

    // At 1.5 a one-pixel frame covers one or two device pixels, its edges rounded as the cells' are.
    part.selected = false;
    image = canvas().paint_image(1.5);
    const QRect device = scaled(
        QRect(QPoint(part.box.left, part.box.top), QPoint(part.box.right - 1, part.box.bottom - 1)), 1.5);
    const int x15 = device.center().x();
    QCOMPARE(image.pixel(x15, device.top() - 1), background);
    QCOMPARE(image.pixel(x15, device.top()), black);
    QCOMPARE(image.pixel(x15, device.top() + 2), background);
    QCOMPARE(image.pixel(x15, device.bottom()), black);
    QCOMPARE(image.pixel(x15, device.bottom() + 1), background);
}

void CanvasHiDpiTest::clicks_and_the_width_table_stay_in_page_pixels() {
    if (!have_font()) GLYPHORA_SKIP_UNLESS_CI("Monapo is not installed");
    if (!start_with_font()) return;
    // The table is the one measured at 1x, whatever the screen.
    auto measured = std::make_unique<CharWidthTable>();
    std::string error;
    QVERIFY2(build_width_table_from_font(*measured, ctx_->settings.fontface, ctx_->settings.fontpoint, error),
             error.c_str());
    QCOMPARE(ctx_->widths->line_height, measured->line_height);
    for (const int code : {int{'A'}, int{'W'}, int{'i'}, 0x82A0, 0x8140})
        QCOMPARE(ctx_->widths->width(code), measured->width(code));

    // A part far enough from the origin that a click read in device pixels lands elsewhere.
    const Part& part = put_part(preview(), 0, 100, 72, "WWWW");
    put_part(preview(), 1, 200, 144, "WWWWWWWW");  // where 2x the click would hit
    canvas().paint_image();
    QVERIFY(part.box.right > 110 && part.box.bottom > 80);
    test::click(&canvas(), QPoint(110, 80));
    QVERIFY(preview().slots[0].selected);
    QVERIFY(!preview().slots[1].selected);
}

// The whole program at device pixel ratio 2: set before the application starts, as a user's environment is.
int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", QByteArray::number(kScreenRatio));
    QApplication app(argc, argv);
    CanvasHiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "canvas_hidpi_test.moc"
