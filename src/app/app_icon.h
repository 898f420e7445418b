#pragma once
// The program's icon and the picture of its About dialog, drawn in code so the program needs no
// resource files.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace glyphora {

QIcon app_icon();
QPixmap about_picture(QSize size);

}  // namespace glyphora
