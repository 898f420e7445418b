#pragma once
// The rendering result dialog: after a rendering into a file it lists what the ErrorReport recorded, one
// kind per line ("N行目：" and the message), or says that the rendering finished without trouble; then how
// many numeric character references the output holds and the bytes they take, when it holds any.

#include <QDialog>

#include "render/error_report.h"

class QPlainTextEdit;
class QPushButton;

namespace glyphora {

class RenderResultDialog : public QDialog {
    Q_OBJECT

  public:
    RenderResultDialog(const ErrorReport& report, QWidget* parent);

    // The text as shown (UTF-8 lines separated by "\n").
    QString text() const;
    QPushButton* close_button() const { return close_button_; }

  private:
    QPlainTextEdit* text_ = nullptr;
    QPushButton* close_button_ = nullptr;
};

}  // namespace glyphora
