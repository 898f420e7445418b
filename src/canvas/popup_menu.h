#pragma once
// The canvases' right-click menus. The library canvas offers the library write-back, registering in the
// preview, the frame toggle and undo; the preview canvas the temporary renderings, the rendering options,
// posting the page and saving it as a picture, registering from the library, the frame and blank-colour
// toggles, the alignment, undo and up to ten menu characters. The items are built as data first, so that what
// the menu holds and what a choice does can be checked without opening a menu.

#include <QPoint>

#include <string>
#include <vector>

#include "settings/settings.h"

namespace glyphora {

class CanvasWindow;
struct CanvasState;

enum class PopupCommand {
    separator,
    update_library,
    register_from_library,
    toggle_frames,
    temporary_rendering,
    temporary_rendering_clipboard,
    rendering_options,
    posts,              // the 投稿 dialog for the current preview page
    save_image,         // the current preview page as a PNG picture
    save_image_double,  // the same at twice the size
    toggle_blank_colouring,
    align_horizontally,
    undo,
    menu_character,
};

struct PopupItem {
    PopupCommand command = PopupCommand::separator;
    std::string text;     // UTF-8, as the menu shows it (a menu character's "&" is doubled)
    int menu_index = -1;  // menu_character: 0 to 9
    bool checkable = false;
    bool checked = false;
};

// The items of the canvas's menu, in order, with the check marks of its state. Empty menu characters have
// no item; the first non-empty one has a separator before it.
std::vector<PopupItem> popup_menu_items(const CanvasState& state, const Settings& settings);

// Opens the canvas's menu at global_pos and hands the chosen item to the canvas's popup handler. Nothing
// opens while the canvas has no handler.
void open_popup_menu(CanvasWindow& canvas, QPoint global_pos);

}  // namespace glyphora
