#include "canvas/canvas_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "canvas/canvas_input.h"
#include "canvas/count_strip.h"
#include "canvas/draw_part.h"
#include "canvas/popup_menu.h"

namespace glyphora {

namespace {

constexpr const char* kFullWidthM = "\x82\x6C";  // "Ｍ", shown while Space is held
constexpr int kFullWidthMInset = 16;
constexpr int kFullWidthSpace = 0x8140;

}  // namespace

CanvasWindow::CanvasWindow(AppContext& context, Side side) : QWidget(nullptr), ctx_(context) {
    state_.side = side;
    clear_slot(*state_.temp_part);
    // The canvas paints every pixel itself; keys reach it directly, never through an input method.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::StrongFocus);
    count_strip_ = new CountStrip(this);
}

CanvasWindow::~CanvasWindow() = default;

Page& CanvasWindow::shown_page() {
    return is_library() ? ctx_.library_page() : ctx_.preview_page();
}

void CanvasWindow::create_window(const WindowPlacement& placement, const ScreenMetrics& metrics) {
    // A small caption and a sizing border, no system menu, no close, minimise or maximise box, no owner.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowTitle(QString::fromUtf8(is_library() ? kLibraryCanvasTitle : kPreviewCanvasTitle));
    state_.section = is_library() ? "window1" : "window0";
    state_.boxflag = read_boxflag(ctx_.file(), state_.side);
    // The stored size is the outer one; Qt sizes the client area.
    const int client_width = placement.wx - 2 * metrics.frame_width;
    const int client_height = placement.wy - metrics.caption_height - 2 * metrics.frame_width;
    move(placement.x, placement.y);
    resize(std::max(1, client_width), std::max(1, client_height));
    frame_metrics_ = metrics;
    stored_placement_ = placement;
    state_.created = true;
    show();
}

void CanvasWindow::request_redraw(bool end_temp) {
    if (end_temp) state_.temp_shown = false;
    update();
}

void CanvasWindow::show_temporary_rendering(std::string_view text) {
    Part& temp = *state_.temp_part;
    clear_slot(temp);
    temp.in_use = true;
    temp.x = -ctx_.widths->width(kFullWidthSpace);
    temp.y = 0;
    set_text(temp, text);
    state_.temp_shown = true;
    count_strip_->count(text);
    request_redraw(false);
}

const GlyphFont& CanvasWindow::drawing_font() {
    // The drawing font follows the settings at every paint; the widths stay those of the first build.
    const Settings& s = ctx_.settings;
    if (!font_ || !font_->matches(s.fontface, s.fontpoint))
        font_ = std::make_unique<GlyphFont>(s.fontface, s.fontpoint);
    return *font_;
}

std::string CanvasWindow::header_text() {
    if (!is_library()) return "page " + std::to_string(ctx_.docs->preview.current_page);
    const LibraryBook& library = ctx_.docs->library;
    return "lib " + std::to_string(library.current_page) + "[" +
           std::string(get_string(library.page_names[library.current_page])) + "]";
}

void CanvasWindow::paint(CanvasSurface& surface, int width, int height) {
    using namespace canvas_colours;
    const bool have_widths = ctx_.widths->built || ctx_.ensure_width_table();
    if (state_.space_held) state_.temp_shown = false;
    const Rgb fill = state_.temp_shown ? kTempBackground : kBackground;
    surface.fill(0, 0, width, height, fill);
    if (state_.space_held) surface.text(kFullWidthM, width - kFullWidthMInset, 0, kText, fill);
    surface.text(header_text(), 0, 0, kText, fill);
    if (!have_widths) return;

    const CharWidthTable& widths = *ctx_.widths;
    auto draw = [&](Part& part, bool temporary) {
        const bool unmeasured = part.box.right == 0 && part.box.bottom == 0;
        draw_part(part, surface, widths, state_.boxflag, is_library(), temporary,
                  temporary && state_.blank_colouring);
        // The first call only measured the part: draw it for real now that it has a box.
        if (unmeasured && part.box.right != 0 && part.box.bottom != 0)
            draw_part(part, surface, widths, state_.boxflag, is_library(), temporary,
                      temporary && state_.blank_colouring);
    };
    if (state_.temp_shown) {
        draw(*state_.temp_part, true);
        return;
    }
    for (Part& part : shown_page().slots)
        if (part.in_use) draw(part, false);
}

QImage CanvasWindow::paint_image() {
    return paint_image(devicePixelRatioF());
}

QImage CanvasWindow::paint_image(qreal device_pixel_ratio) {
    const qreal ratio = std::isfinite(device_pixel_ratio) && device_pixel_ratio > 0 ? device_pixel_ratio : 1;
    const int client_width = std::max(1, width());
    const int client_height = std::max(1, height());
    // Rounded as the window's own backing store is, so the image covers it pixel for pixel; a painter on
    // an image that carries its ratio draws in device-independent pixels.
    QImage image(std::max(1, qRound(client_width * ratio)), std::max(1, qRound(client_height * ratio)),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    {
        ImageSurface surface(image, drawing_font());
        paint(surface, client_width, client_height);
    }
    return image;
}

void CanvasWindow::paintEvent(QPaintEvent*) {
    const QImage image = paint_image();
    QPainter(this).drawImage(0, 0, image);
    count_strip_->follow(state_.temp_shown);
    // A font that cannot be measured is reported after the paint, never from inside it.
    if (ctx_.width_table_failed && !failure_reported_) {
        failure_reported_ = true;
        QMetaObject::invokeMethod(
            this, [this] { ctx_.report_width_table_failure(); }, Qt::QueuedConnection);
    }
}

void CanvasWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void CanvasWindow::mousePressEvent(QMouseEvent* event) {
    end_temporary_display(*this);
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        const ClickModifiers modifiers{event->modifiers().testFlag(Qt::ShiftModifier),
                                       event->modifiers().testFlag(Qt::ControlModifier)};
        left_button_down(*this, modifiers, p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        right_button_down(*this, p.x(), p.y());
    }
}

void CanvasWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    mouse_move(*this, p.x(), p.y());
}

void CanvasWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) left_button_up(*this);
}

void CanvasWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the left button has a double click; a second right press does not open another menu.
    end_temporary_display(*this);
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) left_double_click(*this, p.x(), p.y());
}

void CanvasWindow::keyPressEvent(QKeyEvent* event) {
    // A held Space repeats; only its first press counts.
    const bool space = event->key() == Qt::Key_Space;
    if (space && event->isAutoRepeat()) return;
    canvas_key(*this, space, true);
}

void CanvasWindow::keyReleaseEvent(QKeyEvent* event) {
    // X11 reports a repeating key as release and press pairs: Space is still held then.
    const bool space = event->key() == Qt::Key_Space;
    if (space && event->isAutoRepeat()) return;
    canvas_key(*this, space, false);
}

void CanvasWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!state_.created || isMinimized()) return;
    // pos() of a window is its outer position, the one create_window moves it to.
    const QPoint outer = pos();
    if (outer.x() == stored_placement_.x && outer.y() == stored_placement_.y) return;
    stored_placement_.x = outer.x();
    stored_placement_.y = outer.y();
    write_window_position(ctx_.file(), state_.side, outer.x(), outer.y());  // a failed write is not reported
}

void CanvasWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!state_.created || isMinimized() || width() <= 0 || height() <= 0) return;
    // The outer size, grown by the same frame create_window took off, so that a stored size comes back
    // unchanged at the next start.
    const int wx = width() + 2 * frame_metrics_.frame_width;
    const int wy = height() + frame_metrics_.caption_height + 2 * frame_metrics_.frame_width;
    if (wx == stored_placement_.wx && wy == stored_placement_.wy) return;
    stored_placement_.wx = wx;
    stored_placement_.wy = wy;
    write_window_size(ctx_.file(), state_.side, wx, wy);
}

void CanvasWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || isMinimized()) return;
    // The program's windows come forward together: the dialog, the other canvas, then this one in front.
    // Raising on deactivation too would lift this canvas above the window the user just turned to.
    if (main_window_) main_window_->raise();
    if (other_canvas_) other_canvas_->raise();
    raise();
}

}  // namespace glyphora
