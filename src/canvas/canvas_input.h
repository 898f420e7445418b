#pragma once
// What the mouse and the keyboard do on a canvas: plain clicks select (Shift adds, Ctrl toggles), a press
// with Space held moves the selection, a double click edits the part under the pointer or (preview canvas)
// types a new part in the quick text box, the right button opens the popup menu. CanvasWindow forwards its
// Qt events here; the handlers work on the page the canvas shows.

#include <string>
#include <string_view>

#include "model/part.h"

namespace glyphora {

class CanvasWindow;

inline constexpr const char* kQuickPartName = "\x92\xC7\x89\xC1\x83\x70\x81\x5B\x83\x63";  // "追加パーツ"

// The slot whose measured box strictly contains (x, y), searched from the top slot down; -1 for none. A
// point on the frame line is outside. In Space mode parts marked no_space_click_select are passed over.
int hit_test(const Page& page, int x, int y, bool space_mode);

// The name of a part typed in the quick text box: its first 8 bytes, or up to the end of the double-byte
// character or the numeric reference that the eighth byte is part of.
std::string quick_part_name(std::string_view text);

// y snapped to the line grid, truncating toward zero (-20 becomes -18 with lines of 18). Unchanged when
// there is no grid yet (line_height 0).
int32_t snap_to_line(int32_t y, int line_height);

struct ClickModifiers {
    bool shift = false;
    bool ctrl = false;
};

// The window events, in client pixels.
void left_button_down(CanvasWindow& canvas, ClickModifiers modifiers, int x, int y);
void mouse_move(CanvasWindow& canvas, int x, int y);
void left_button_up(CanvasWindow& canvas);
void left_double_click(CanvasWindow& canvas, int x, int y);
void right_button_down(CanvasWindow& canvas, int x, int y);
// Any key ends a shown temporary rendering; Space also turns the move mode on and off.
void canvas_key(CanvasWindow& canvas, bool space, bool down);

// A shown temporary rendering ends (with a redraw); nothing happens when none is shown.
void end_temporary_display(CanvasWindow& canvas);

}  // namespace glyphora
