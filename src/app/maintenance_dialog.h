#pragma once
// The library maintenance dialog: the user edits a plan of the future library's 20 pages, taking pages of
// the current library and of one other library file, and nothing changes until the plan is executed. The
// plan and the other library live only while the dialog is open; Cancel discards them.

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "storage/library_file.h"
#include "tools/library_plan.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace glyphora {

struct AppContext;

inline constexpr const char* kMaintenanceDialogTitle = "Glyphora ライブラリメンテナンス";

inline constexpr std::string_view kOtherLibraryReadFailedMessage = "読み出しに失敗しました";
inline constexpr std::string_view kCannotInsertMessage = "挿入不可能";
inline constexpr std::string_view kTooManyPagesMessage = "選択ペ－ジ数が多すぎて挿入が途中で中断されました";
inline constexpr std::string_view kExecuteQuestion = "ライブラリへの処理を実行します！";
inline constexpr std::string_view kNoMemoryMessage = "ライブラリへの処理用のメモリ確保エラー";
inline constexpr std::string_view kFinishedMessage = "処理を終了しました。";

class MaintenanceDialog : public QDialog {
    Q_OBJECT

  public:
    MaintenanceDialog(AppContext& context, QWidget* parent);

    // The command handlers (object names of their buttons in brackets). Each ends by refilling both lists.
    void open_other_library();  // [open_library]
    void bring_in();            // [bring_in]
    void move_up();             // [up]
    void move_down();           // [down]
    void erase();               // [erase]
    void insert();              // [insert]
    // Asks, rebuilds the library and closes the dialog; a No, or a failure, returns to the dialog. [execute]
    void execute();

    const LibraryPlan& plan() const { return plan_; }
    const LibraryIndex& other_index() const { return other_; }
    const std::string& other_path() const { return other_path_; }
    QListWidget* plan_list() const { return plan_list_; }
    QListWidget* other_list() const { return other_list_; }
    // The plan row the user has selected; kNoRow for none.
    int current_row() const;

    // Where execution builds the new library; tests replace it to see a failed allocation.
    std::function<std::unique_ptr<LibraryBook>()> make_scratch = make_scratch_library;

  private:
    QPushButton* add_button(const char* object_name, const char* caption,
                            void (MaintenanceDialog::*handler)());
    // Refills both lists from the plan and the index, keeping their scroll positions, and selects the plan
    // row `current` (none for kNoRow).
    void refresh(int current);

    AppContext& ctx_;
    LibraryPlan plan_;
    LibraryIndex other_;
    std::string other_path_;
    QLineEdit* other_path_field_ = nullptr;
    QListWidget* other_list_ = nullptr;
    QListWidget* plan_list_ = nullptr;
    QPushButton* open_button_ = nullptr;
    QPushButton* bring_in_button_ = nullptr;
};

}  // namespace glyphora
