#pragma once
// A canvas window: the preview canvas (kind 0) shows the current preview page, the library canvas (kind 1)
// the current library page, each part at its pixel position in the rendering font. Both exist for the
// whole run as top-level tool windows beside the main dialog.

#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>

#include "app/app_context.h"
#include "canvas/canvas_surface.h"
#include "canvas/glyph_font.h"
#include "model/part.h"
#include "platform/ui_services.h"
#include "settings/settings.h"

namespace glyphora {

constexpr int kPreviewCanvas = 0;
constexpr int kLibraryCanvas = 1;

// Titles of the two canvas windows.
inline constexpr const char* kPreviewCanvasTitle = "プレビュー － Glyphora";
inline constexpr const char* kLibraryCanvasTitle = "ライブラリ － Glyphora";

struct CanvasState {
    int kind = kPreviewCanvas;
    bool created = false;         // position and size are stored only once this is set
    bool space_held = false;      // Space is down: left clicks move parts, "Ｍ" is shown
    bool dragging = false;        // a Space+drag move is in progress
    bool boxflag = true;          // frame the parts that are not selected
    bool dblclick_busy = false;   // a double click is being handled
    bool blank_colouring = true;  // colour the blanks of the temporary rendering
    Point drag_anchor;            // client position where the current drag began
    std::string section;          // "window0" or "window1"
    int list_mask = 1;            // the main dialog list to refresh after this canvas changed parts
    bool temp_shown = false;      // temp_part is shown instead of the page
    std::unique_ptr<Part> temp_part = std::make_unique<Part>();  // the last temporary rendering
    Point menu_point;           // client position of the last right button press
    int temp_to_clipboard = 0;  // the last temporary rendering also went to the clipboard
};

class CanvasWindow : public QWidget {
    Q_OBJECT

  public:
    CanvasWindow(AppContext& context, int kind);
    ~CanvasWindow() override;

    CanvasState& state() { return state_; }
    const CanvasState& state() const { return state_; }
    int kind() const { return state_.kind; }
    AppContext& context() { return ctx_; }
    const AppContext& context() const { return ctx_; }
    bool is_library() const { return state_.kind == kLibraryCanvas; }
    Page& shown_page();

    // Creates the window as a tool window at its stored placement (outer position and size, converted
    // with the platform's frame metrics), reads its boxflag and shows it.
    void create_window(const WindowPlacement& placement, const ScreenMetrics& metrics);

    // Repaints the whole client area; with end_temp a shown temporary rendering ends first.
    void request_redraw(bool end_temp);

    // Shows text (a rendered page, Shift_JIS) in place of the page, one full-width space left of the
    // window edge, until the display ends.
    void show_temporary_rendering(std::string_view text);

    // The whole client area as a paint draws it (and what the paint does to the parts' boxes).
    QImage paint_image();
    // The paint procedure onto any surface of the given client size.
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
    std::unique_ptr<GlyphFont> font_;
    bool failure_reported_ = false;
    // The frame metrics the stored outer size was converted with, and what was stored last.
    ScreenMetrics frame_metrics_;
    WindowPlacement stored_placement_;
};

}  // namespace glyphora
