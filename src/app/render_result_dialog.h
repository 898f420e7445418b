#pragma once
// The rendering result dialog: after a rendering into a file it lists what the ErrorReport recorded, one
// kind per line ("N行目：" and the message), or says that the rendering finished without trouble; then how
// many numeric character references the output holds and the bytes they take, when it holds any. Below
// that, how the page counts on the current board: its bytes and lines against the budget, its findings
// (with "修正" where a space can be mended), and "投稿…" for the 投稿 dialog.

#include <QDialog>

#include "render/error_report.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QHBoxLayout;
class QVBoxLayout;

namespace glyphora {

class MainDialog;
class PageCheckView;

class RenderResultDialog : public QDialog {
    Q_OBJECT

  public:
    RenderResultDialog(const ErrorReport& report, QWidget* parent);

    // Adds the board's count of the current preview page and, after all pages were rendered, of every
    // page with content.
    void add_posting(MainDialog& main, bool all_pages);

    // The text as shown (UTF-8 lines separated by "\n").
    QString text() const;
    QPushButton* close_button() const { return close_button_; }
    PageCheckView* check_view() const { return check_; }
    QListWidget* page_counts() const { return page_counts_; }
    QPushButton* posts_button() const { return posts_button_; }

  private:
    void refresh_posting();

    QVBoxLayout* layout_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* close_button_ = nullptr;
    MainDialog* main_ = nullptr;
    bool all_pages_ = false;
    PageCheckView* check_ = nullptr;
    QListWidget* page_counts_ = nullptr;
    QPushButton* posts_button_ = nullptr;
};

}  // namespace glyphora
