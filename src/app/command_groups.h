#pragma once
// The main dialog's buttons are served by command groups, each in its own file; a group enables and
// connects its buttons with MainDialog::set_command. A button no group installs stays disabled.

namespace glyphora {

class CanvasWindow;
class MainDialog;
struct PopupItem;

// Calls every group below; done once as the dialog is built.
void install_command_groups(MainDialog& dialog);

// Cut, copy, paste, fine movement, reorder, copy from the library, undo, load, save, the library page
// name, and the two render commands.
void install_main_commands(MainDialog& dialog);
// Register and detail on both sides (the part detail dialog), and the double click on a list row.
void install_part_commands(MainDialog& dialog);
// The options sheet.
void install_options_command(MainDialog& dialog);
// The tool dialog and the library maintenance dialog.
void install_tool_command(MainDialog& dialog);
// The canvases' popup menus.
void install_popup_commands(MainDialog& dialog);

// Runs the command of a chosen popup menu item on canvas.
void run_popup_command(MainDialog& dialog, CanvasWindow& canvas, const PopupItem& item);

}  // namespace glyphora
