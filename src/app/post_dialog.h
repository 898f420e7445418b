#pragma once
// The "投稿" dialog: the current preview page, rendered, split into posts that each fit the current board
// profile. "コピー" puts the selected post on the clipboard and selects the next one, so posting a long
// page is copy, paste, copy, paste. The dialog also picks, adds, edits and deletes board profiles, makes
// one from a board's SETTING.TXT, lists the page's findings, and saves or copies the page as a picture.

#include <QDialog>

#include <string>
#include <vector>

#include "app/posting_session.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace glyphora {

class MainDialog;
class PageCheckView;

inline constexpr const char* kPostDialogTitle = "投稿";

class PostDialog : public QDialog {
    Q_OBJECT

  public:
    // page: a rendering of the current preview page, with content.
    PostDialog(MainDialog& main, RenderedPage page, QWidget* parent);

    const std::vector<posting::Post>& posts() const { return posts_; }
    QComboBox* profile_box() const { return profile_box_; }
    QPushButton* add_button() const { return add_; }
    QPushButton* edit_button() const { return edit_; }
    QPushButton* delete_button() const { return delete_; }
    QPushButton* import_button() const { return import_; }
    PageCheckView* check_view() const { return check_; }
    QListWidget* post_list() const { return list_; }
    QPlainTextEdit* post_text() const { return text_; }
    QPushButton* copy_button() const { return copy_; }
    QComboBox* scale_box() const { return scale_; }
    QPushButton* save_image_button() const { return save_image_; }
    QPushButton* copy_image_button() const { return copy_image_; }
    QLabel* status_label() const { return status_; }

  private:
    void fill_profiles();
    void profile_chosen(int index);
    // Splits and checks the page again under the current profile.
    void refresh();
    void show_post(int row);
    void copy_selected();
    void add_profile();
    void edit_profile();
    void delete_profile();
    void import_setting_txt();
    bool edit_in_dialog(const posting::BoardProfile& start, const std::string& old_name);
    void fix(const posting::Finding& finding);
    void say(const std::string& status);

    AppContext& ctx_;
    PostingSession& session_;
    RenderedPage page_;
    std::vector<posting::Post> posts_;  // views into page_.text
    QComboBox* profile_box_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* import_ = nullptr;
    PageCheckView* check_ = nullptr;
    QListWidget* list_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* copy_ = nullptr;
    QComboBox* scale_ = nullptr;
    QPushButton* save_image_ = nullptr;
    QPushButton* copy_image_ = nullptr;
    QLabel* status_ = nullptr;
    bool filling_ = false;
};

// Renders the current preview page and opens the dialog for it over parent. Without a width table, or
// for a page with nothing to render, it says so instead.
void run_post_dialog(MainDialog& main, QWidget* parent);

}  // namespace glyphora
