#pragma once
// "画像として保存" and "画像をコピー": a rendered page as the picture summary sites and phones show, drawn
// by the same code as glyphora-cli render --png (the rendering font at its size, black on white, an 8 px
// margin, at 1x or 2x), so the window and the command line make the same file.

#include <QImage>

#include <string_view>

#include "session/app_context.h"

class QWidget;

namespace glyphora {

class MainDialog;

// The picture of a rendered page (Shift_JIS), 8-bit grey; a null image, with a message over parent, when no
// font can draw it.
QImage page_picture(AppContext& ctx, std::string_view text, int scale, QWidget* parent);

// Asks for a PNG file and writes the picture there; a failed write is said.
void save_page_image(AppContext& ctx, std::string_view text, int scale, QWidget* parent);
// Puts the picture on the clipboard; false when it could not (and the user was told).
bool copy_page_image(AppContext& ctx, std::string_view text, int scale, QWidget* parent);

// The preview canvas's "画像として保存": the current preview page, rendered now. A page with nothing to
// render is said, and no file is asked for.
void save_current_page_image(MainDialog& dialog, int scale, QWidget* parent);

}  // namespace glyphora
