#pragma once
// The commands of the canvases' popup menus: the temporary rendering of the current preview page (shown on
// the preview canvas, optionally copied to the clipboard), the horizontal alignment of the selected parts,
// the menu-character parts, registering the selected library parts in the preview, the frame and
// blank-colour toggles, and writing the library file back. Every command works on the canvas it is given
// and tells the other windows what changed through the session (AppContext::changed).

#include <string_view>

class QWidget;

namespace glyphora {

class CanvasWindow;
struct AppContext;

// Messages of the commands (UTF-8).
// The clipboard refused the rendered text (a character without a Unicode counterpart).
inline constexpr std::string_view kTempClipboardFailedMessage =
    "一時レンダリングの結果をクリップボードに送れませんでした";

enum class TempRenderMode {
    display,    // show it only
    clipboard,  // show it and put the text on the clipboard
    repeat,     // render again with the clipboard choice of the previous run ("←" and "→")
};

// Renders the current preview page onto the preview canvas in place of the page. The menu modes do nothing
// while a temporary rendering is shown; a page without content shows and copies nothing. The clipboard
// gets exactly what the one-page text output holds before its NUL.
void temporary_rendering(AppContext& ctx, CanvasWindow& preview_canvas, TempRenderMode mode);

// Places the selected parts of the canvas's page side by side from the leftmost one's x, in the order of
// their x (then slot), each where the previous one's drawn box ends. Always replaces the undo snapshot.
void align_horizontally(AppContext& ctx, CanvasWindow& canvas);

// Adds menu character `index` (0 to 9) as a new selected part at the last right-click point, its y snapped
// down to the line grid. "登録エラー" and nothing added when the current preview page is full.
void add_menu_character_part(AppContext& ctx, CanvasWindow& canvas, int index);

// Copies the selected library parts into free preview slots at (0, 0); a full page is said over parent.
void register_from_library(AppContext& ctx, QWidget* parent);

// Frames of non-selected parts on or off for this canvas, stored in its section; nothing while Space is
// held.
void toggle_frames(AppContext& ctx, CanvasWindow& canvas);
// Colour-coded blanks of the temporary rendering on or off, for this run only.
void toggle_blank_colouring(CanvasWindow& canvas);

// Writes the whole library back to its file (library canvas only, not while Space is held), whether or not
// the library was marked writable. A failure shows the file's status and the failure message; the book
// in memory stays as it is.
void update_library_file(AppContext& ctx, CanvasWindow& canvas);

}  // namespace glyphora
