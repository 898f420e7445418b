#pragma once
// A canvas window: the preview canvas shows the current preview page, the library canvas
// the current library page, each part at its pixel position in the rendering font. Both exist for the
// whole run as top-level tool windows beside the main dialog.

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "canvas/canvas_surface.h"
#include "canvas/glyph_font.h"
#include "model/part.h"
#include "platform/ui_services.h"
#include "session/app_context.h"
#include "settings/settings.h"

namespace glyphora {

struct PopupItem;
class CountStrip;

// Titles of the two canvas windows.
inline constexpr const char* kPreviewCanvasTitle = "プレビュー － Glyphora";
inline constexpr const char* kLibraryCanvasTitle = "ライブラリ － Glyphora";

struct CanvasState {
    Side side = Side::preview;
    bool created = false;         // position and size are stored only once this is set
    bool space_held = false;      // Space is down: left clicks move parts, "Ｍ" is shown
    bool dragging = false;        // a Space+drag move is in progress
    bool boxflag = true;          // frame the parts that are not selected
    bool dblclick_busy = false;   // a double click is being handled
    bool blank_colouring = true;  // colour the blanks of the temporary rendering
    Point drag_anchor;            // client position where the current drag began
    std::string section;          // "window0" or "window1"
    bool temp_shown = false;      // temp_part is shown instead of the page
    std::unique_ptr<Part> temp_part = std::make_unique<Part>();  // the last temporary rendering
    Point menu_point;           // client position of the last right button press
    int temp_to_clipboard = 0;  // the last temporary rendering also went to the clipboard
};

class CanvasWindow : public QWidget {
    Q_OBJECT

  public:
    CanvasWindow(AppContext& context, Side side);
    ~CanvasWindow() override;

    // The windows that come forward with this one when it is activated: the main dialog, then the other
    // canvas. Set by whoever builds the windows; the canvas has no owner window.
    void set_companions(QWidget* main_window, QWidget* other_canvas) {
        main_window_ = main_window;
        other_canvas_ = other_canvas;
    }
    // What a choice in this canvas's popup menu does. The commands live above the canvases, so the
    // program installs them; without a handler the menu does not open.
    using PopupHandler = std::function<void(CanvasWindow&, const PopupItem&)>;
    void set_popup_handler(PopupHandler handler) { popup_handler_ = std::move(handler); }
    const PopupHandler& popup_handler() const { return popup_handler_; }

    CanvasState& state() { return state_; }
    const CanvasState& state() const { return state_; }
    Side side() const { return state_.side; }
    AppContext& context() { return ctx_; }
    const AppContext& context() const { return ctx_; }
    bool is_library() const { return state_.side == Side::library; }
    Page& shown_page();

    // Creates the window as a tool window at its stored placement (outer position and size, converted
    // with the platform's frame metrics), reads its boxflag and shows it.
    void create_window(const WindowPlacement& placement, const ScreenMetrics& metrics);

    // Repaints the whole client area; with end_temp a shown temporary rendering ends first.
    void request_redraw(bool end_temp);

    // Shows text (a rendered page, Shift_JIS) in place of the page, one full-width space left of the
    // window edge, until the display ends; the count strip counts it meanwhile.
    void show_temporary_rendering(std::string_view text);
    CountStrip* count_strip() const { return count_strip_; }

    // The whole client area as a paint draws it (and what the paint does to the parts' boxes), at the
    // window's device pixel ratio or at the one given. The image has the client size times the ratio in
    // device pixels and carries the ratio, so its device-independent pixels are the page's pixels: parts
    // sit where the width table puts them, scaled, and glyphs are drawn at the finer resolution.
    QImage paint_image();
    QImage paint_image(qreal device_pixel_ratio);
    // The paint procedure onto any surface of the given client size, in device-independent pixels.
    void paint(CanvasSurface& surface, int width, int height);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The canvases live as long as the program: a close from the window manager is refused.
    void closeEvent(QCloseEvent* event) override;
    // Mouse and keys go to canvas_input.h; moves and resizes are stored as the window's placement.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    const GlyphFont& drawing_font();
    std::string header_text();

    AppContext& ctx_;
    CanvasState state_;
    QWidget* main_window_ = nullptr;
    QWidget* other_canvas_ = nullptr;
    PopupHandler popup_handler_;
    std::unique_ptr<GlyphFont> font_;
    CountStrip* count_strip_ = nullptr;
    bool failure_reported_ = false;
    // The frame metrics the stored outer size was converted with, and what was stored last.
    ScreenMetrics frame_metrics_;
    WindowPlacement stored_placement_;
};

}  // namespace glyphora
