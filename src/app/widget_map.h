#pragma once
// A test seam for the end-to-end tests: when the environment variable GLYPHORA_WIDGET_MAP names a file,
// the program keeps in it one line per visible widget of every visible top-level window,
//   <window title> TAB <key> TAB <left> <top> <width> <height>   (global pixels)
// so that a test driving the real program with X11 input finds its controls whatever the font makes of the
// dialog units. Keys: "@client" for the window's client area, "id:<control id>" for the main dialog's
// controls, "action:<text>" for menu items, else the objectName or "button:<text>". Nothing happens while
// the variable is unset. Built only into the tests' copy of the program (glyphora_e2e, option
// GLYPHORA_WIDGET_MAP), never into the program that is installed.

namespace glyphora {

void install_widget_map_from_environment();

}  // namespace glyphora
