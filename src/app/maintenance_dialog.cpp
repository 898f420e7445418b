#include "app/maintenance_dialog.h"

#include <QAbstractItemView>
#include <QByteArray>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <array>
#include <memory>
#include <optional>

#include "app/tool_dialog.h"
#include "platform/qt_text.h"
#include "session/app_context.h"

namespace glyphora {

namespace {

QString path_text(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QListWidget* make_list(QWidget* parent, QAbstractItemView::SelectionMode mode) {
    auto* list = new QListWidget(parent);
    list->setSelectionMode(mode);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    list->setUniformItemSizes(true);
    for (int row = 0; row < kPlanRows; ++row) list->addItem(QString());
    // Wide enough for a row with a name of 16 bytes.
    const QFontMetrics metrics(parent->font());
    list->setMinimumWidth(metrics.horizontalAdvance(QString::fromUtf8("新：[MMMMMMMMMMMMMMMM] 未使用")) +
                          list->verticalScrollBar()->sizeHint().width() + 8);
    return list;
}

}  // namespace

MaintenanceDialog::MaintenanceDialog(AppContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context), plan_(initial_plan(context.docs->library)) {
    setWindowTitle(QString::fromUtf8(kMaintenanceDialogTitle));
    if (parent) setFont(parent->font());

    auto* current_path = new QLineEdit(path_text(ctx_.library_path), this);
    current_path->setObjectName(QStringLiteral("current_path"));
    current_path->setReadOnly(true);
    other_path_field_ = new QLineEdit(this);
    other_path_field_->setObjectName(QStringLiteral("other_path"));
    other_path_field_->setReadOnly(true);

    other_list_ = make_list(this, QAbstractItemView::ExtendedSelection);
    other_list_->setObjectName(QStringLiteral("other_list"));
    other_list_->setEnabled(false);
    plan_list_ = make_list(this, QAbstractItemView::SingleSelection);
    plan_list_->setObjectName(QStringLiteral("plan_list"));

    open_button_ = add_button("open_library", "ライブラリを開く", &MaintenanceDialog::open_other_library);
    bring_in_button_ = add_button("bring_in", "→", &MaintenanceDialog::bring_in);
    bring_in_button_->setEnabled(false);
    bring_in_button_->setFixedWidth(QFontMetrics(font()).horizontalAdvance(QString::fromUtf8("→→→→")));
    QPushButton* up = add_button("up", "▲", &MaintenanceDialog::move_up);
    QPushButton* down = add_button("down", "▼", &MaintenanceDialog::move_down);
    QPushButton* erase_button = add_button("erase", "消す", &MaintenanceDialog::erase);
    QPushButton* insert_button = add_button("insert", "挿入", &MaintenanceDialog::insert);
    QPushButton* execute_button = add_button("execute", "処理実行して閉じる", &MaintenanceDialog::execute);
    // OK of the dialog: Enter asks the execution question, which may still be answered No.
    execute_button->setAutoDefault(true);
    execute_button->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Current library and the other library on the left, the plan on the right, "→" between them.
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromUtf8("今のライブラリ"), this), 0, 0);
    grid->addWidget(current_path, 1, 0, 1, 3);
    auto* open_row = new QHBoxLayout;
    open_row->addWidget(open_button_);
    open_row->addWidget(other_path_field_, 1);
    grid->addLayout(open_row, 2, 0);
    grid->addWidget(other_list_, 3, 0);
    grid->addWidget(bring_in_button_, 3, 1);
    grid->addWidget(plan_list_, 3, 2);
    auto* plan_buttons = new QVBoxLayout;
    for (QPushButton* button : {up, down, erase_button, insert_button}) plan_buttons->addWidget(button);
    plan_buttons->addStretch();
    grid->addLayout(plan_buttons, 3, 3);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(execute_button);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);

    refresh(kNoRow);
    // Both lists show all 20 rows at once.
    for (QListWidget* list : {other_list_, plan_list_})
        list->setMinimumHeight(list->sizeHintForRow(0) * kPlanRows + 2 * list->frameWidth());
}

QPushButton* MaintenanceDialog::add_button(const char* object_name, const char* caption,
                                           void (MaintenanceDialog::*handler)()) {
    auto* button = new QPushButton(QString::fromUtf8(caption), this);
    button->setObjectName(QString::fromLatin1(object_name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    return button;
}

int MaintenanceDialog::current_row() const {
    for (int row = 0; row < kPlanRows; ++row)
        if (plan_list_->item(row)->isSelected()) return row;
    return kNoRow;
}

void MaintenanceDialog::refresh(int current) {
    const LibraryBook& library = ctx_.docs->library;
    const int other_top = other_list_->verticalScrollBar()->value();
    const int plan_top = plan_list_->verticalScrollBar()->value();
    // A refilled list starts without a selection, as a list that is built anew does.
    other_list_->clearSelection();
    plan_list_->clearSelection();
    plan_list_->setCurrentItem(nullptr);
    for (int row = 0; row < kPlanRows; ++row) {
        other_list_->item(row)->setText(sjis_to_qstring(other_page_text(other_, row)));
        plan_list_->item(row)->setText(sjis_to_qstring(plan_row_text(plan_.rows[row], library, other_)));
    }
    other_list_->verticalScrollBar()->setValue(other_top);
    plan_list_->verticalScrollBar()->setValue(plan_top);
    if (current >= 0 && current < kPlanRows) plan_list_->setCurrentRow(current);
}

void MaintenanceDialog::open_other_library() {
    FileDialogRequest request;
    request.filter = std::string(kLibraryFileFilter);
    request.default_extension = std::string(kLibraryFileExtension);
    request.proposed_name = "*." + request.default_extension;
    const std::optional<std::string> path = ctx_.ui.open_file(this, request);
    if (!path) return;
    const FileStatus status = read_library_index(*path, other_);
    ctx_.ui.show_message(this, status_message(status));
    if (status != FileStatus::ok) {
        ctx_.ui.show_message(this, kOtherLibraryReadFailedMessage);
        other_ = LibraryIndex{};
    } else {
        // One other library per opening of the dialog.
        other_path_ = *path;
        other_path_field_->setText(path_text(other_path_));
        open_button_->setEnabled(false);
        other_list_->setEnabled(true);
        bring_in_button_->setEnabled(true);
    }
    refresh(kNoRow);
}

void MaintenanceDialog::bring_in() {
    std::array<bool, kLibraryPages> selected{};
    for (int page = 0; page < kLibraryPages; ++page) selected[page] = other_list_->item(page)->isSelected();
    const BringInResult result = bring_in_pages(plan_, other_, selected, current_row());
    if (result.too_many) ctx_.ui.show_message(this, kTooManyPagesMessage);
    refresh(kNoRow);
}

void MaintenanceDialog::move_up() {
    const int row = current_row();
    if (!move_row_up(plan_, row)) return;
    refresh(row - 1);
}

void MaintenanceDialog::move_down() {
    const int row = current_row();
    if (!move_row_down(plan_, row)) return;
    refresh(row + 1);
}

void MaintenanceDialog::erase() {
    const int row = current_row();
    if (!erase_row(plan_, row)) return;
    refresh(row);
}

void MaintenanceDialog::insert() {
    const int row = current_row();
    const InsertResult result = insert_row(plan_, row);
    if (result == InsertResult::no_row) return;
    if (result == InsertResult::no_room) ctx_.ui.show_message(this, kCannotInsertMessage);
    refresh(row);
}

void MaintenanceDialog::execute() {
    if (!ctx_.ui.ask_yes_no(this, kExecuteQuestion)) return;
    bool no_memory = false;
    ExecuteResult result;
    {
        BusyScope busy(ctx_.ui);
        if (const std::unique_ptr<LibraryBook> scratch = make_scratch())
            result = execute_plan(plan_, ctx_.docs->library, other_path_, other_, *scratch);
        else
            no_memory = true;
    }
    if (no_memory) {
        ctx_.ui.show_message(this, kNoMemoryMessage);
        return;
    }
    if (!result.ok()) {
        // The other library changed or went away since it was opened; the library is as it was.
        ctx_.ui.show_message(this, status_message(result.status));
        ctx_.ui.show_message(this, kOtherLibraryReadFailedMessage);
        return;
    }
    ctx_.ui.show_message(this, kFinishedMessage);
    accept();
}

}  // namespace glyphora
