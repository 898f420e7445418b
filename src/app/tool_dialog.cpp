#include "app/tool_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <string>

#include "app/main_dialog.h"
#include "app/maintenance_dialog.h"
#include "canvas/canvas_window.h"
#include "storage/library_file.h"
#include "storage/page_file.h"
#include "tools/page_shift.h"

namespace glyphora {

namespace {

FileDialogRequest library_file_request(bool save) {
    FileDialogRequest request;
    request.filter = std::string(kLibraryFileFilter);
    request.default_extension = std::string(kLibraryFileExtension);
    request.proposed_name = "*." + request.default_extension;
    request.confirm_overwrite = save;
    return request;
}

}  // namespace

ToolDialog::ToolDialog(MainDialog& main_dialog)
    : QDialog(&main_dialog), main_(main_dialog), ctx_(main_dialog.context()) {
    setWindowTitle(QString::fromUtf8(kToolDialogTitle));
    // A dialog is a window of its own: it takes the main dialog's font explicitly.
    setFont(main_dialog.font());

    auto* layout = new QVBoxLayout(this);
    auto group = [&](const char* caption) {
        auto* box = new QGroupBox(QString::fromUtf8(caption), this);
        auto* box_layout = new QVBoxLayout(box);
        layout->addWidget(box);
        return box_layout;
    };
    QVBoxLayout* preview_group = group("プレビューメンテナンス");
    preview_group->addWidget(
        add_button("shift_back", "今のページ以降を１つ後ろにずらす", &ToolDialog::shift_back));
    preview_group->addWidget(
        add_button("shift_forward", "今のページ以降を１つ前にずらす", &ToolDialog::shift_forward));
    QVBoxLayout* library_group = group("ライブラリメンテナンス");
    library_group->addWidget(add_button("organise_library", "ライブラリ整理", &ToolDialog::organise_library));
    library_group->addWidget(add_button("open_into_preview", "ライブラリファイルをプレビューに開く",
                                        &ToolDialog::open_into_preview));
    library_group->addWidget(add_button("export_preview", "今のプレビューをライブラリファイルに出力",
                                        &ToolDialog::export_preview));
    library_group->addWidget(
        add_button("export_library", "今のライブラリを通常AAPファイルに出力", &ToolDialog::export_library));

    auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancel);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* ToolDialog::add_button(const char* object_name, const char* caption,
                                    void (ToolDialog::*operation)()) {
    auto* button = new QPushButton(QString::fromUtf8(caption), this);
    button->setObjectName(QString::fromLatin1(object_name));
    // Enter must not start an operation by itself.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, operation] { (this->*operation)(); });
    return button;
}

void ToolDialog::refresh_preview_side() {
    ctx_.changed(Side::preview);
}

void ToolDialog::report(int status, std::string_view failure) {
    ctx_.ui.show_message(this, status_message(status));
    if (status != to_int(FileStatus::ok)) ctx_.ui.show_message(this, failure);
}

void ToolDialog::shift_back() {
    if (!ctx_.ui.ask_yes_no(this, kShiftBackQuestion)) return;
    PreviewBook& preview = ctx_.docs->preview;
    shift_pages_back(preview, preview.current_page);
    refresh_preview_side();
    accept();
}

void ToolDialog::shift_forward() {
    if (!ctx_.ui.ask_yes_no(this, kShiftForwardQuestion)) return;
    PreviewBook& preview = ctx_.docs->preview;
    shift_pages_forward(preview, preview.current_page);
    refresh_preview_side();
    accept();
}

void ToolDialog::organise_library() {
    MaintenanceDialog maintenance(ctx_, this);
    maintenance.exec();
    accept();
}

void ToolDialog::open_into_preview() {
    if (const std::optional<std::string> path = ctx_.ui.open_file(this, library_file_request(false))) {
        // As with loading a page collection, the preview is replaced only by a file that was read whole:
        // a damaged library file never costs the pages that are not saved yet.
        const FileStatus status = read_library_into_preview_all_or_nothing(*path, ctx_.docs->preview);
        report(to_int(status), kReadIntoPreviewFailedMessage);
        if (status == FileStatus::ok) refresh_preview_side();
    }
    accept();
}

void ToolDialog::export_preview() {
    if (const std::optional<std::string> path = ctx_.ui.save_file(this, library_file_request(true))) {
        const FileStatus status = write_library_from_preview(*path, ctx_.docs->preview);
        report(to_int(status), kExportFailedMessage);
    }
    accept();
}

void ToolDialog::export_library() {
    FileDialogRequest request;
    request.filter = std::string(kCollectionFileFilter);
    request.default_extension = std::string(kCollectionFileExtension);
    request.proposed_name = "*." + request.default_extension;
    request.confirm_overwrite = true;
    if (const std::optional<std::string> path = ctx_.ui.save_file(this, request)) {
        const FileStatus status =
            write_collection_from_library(*path, ctx_.docs->library, ctx_.settings.render);
        report(to_int(status), kExportFailedMessage);
    }
    accept();
}

void run_tool_command(MainDialog& main_dialog) {
    AppContext& ctx = main_dialog.context();
    if (ctx.options_open) return;
    ctx.invalidate_undo();
    {
        ToolDialog tool(main_dialog);
        tool.exec();
    }
    main_dialog.fill_page_combo();
    // The operations that changed the preview have said so themselves.
    ctx.changed(Sides::both(), AppContext::Change::display);
    main_dialog.write_page_label();
}

}  // namespace glyphora
