#pragma once
// The About dialog: a picture filling its upper part, the program icon, the version line and OK.

#include <QDialog>

namespace glyphora {

inline constexpr const char* kAboutTitle = "Glyphoraのﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kVersionLine = "Glyphora ver 1.4a";

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent);
};

}  // namespace glyphora
