#include "app/tool_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "app/main_dialog.h"
#include "app/maintenance_dialog.h"
#include "canvas/canvas_window.h"
#include "exchange/aa_export.h"
#include "exchange/aa_formats.h"
#include "exchange/library_import.h"
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
    QVBoxLayout* aa_group = group("AAファイル");
    aa_group->addWidget(add_button("import_aa_file", "MLT/AST/TXTを読み込む", &ToolDialog::import_aa_file));
    aa_group->addWidget(add_button("export_aa_file", "MLT/ASTに書き出す", &ToolDialog::export_aa_file));
    aa_group->addWidget(
        add_button("open_collection", "AAコレクション (Ctrl+Shift+A)", &ToolDialog::open_collection));

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

void ToolDialog::open_collection() {
    accept();
    main_.open_collection();
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

void ToolDialog::import_aa_file() {
    FileDialogRequest request;
    request.filter = std::string(kAaFileFilter);
    request.default_extension = "mlt";
    const std::optional<std::string> path = ctx_.ui.open_file(this, request);
    if (!path) return;  // the dialog stays open, as after a declined shift
    const std::optional<AaFormat> format = aa_format_of_path(*path);
    if (!format) {
        ctx_.ui.show_message(this, kNotAnAaFileMessage);
        return;
    }
    if (!ctx_.ensure_width_table()) {
        ctx_.report_width_table_failure();
        return;
    }
    try {
        import_aa_file(*path, *format);
    } catch (const std::bad_alloc&) {
        // Nothing is applied before the import is complete, so the library is as it was.
        ctx_.ui.show_message(this, kImportOutOfMemoryMessage);
    }
}

void ToolDialog::import_aa_file(const std::string& path, AaFormat format) {
    LibraryBook& library = ctx_.docs->library;
    ImportOptions options;
    options.start_page = library.current_page;
    // The file is read and planned off the UI thread, against a copy of the library: only a finished,
    // uncancelled plan is applied, here, in one step.
    const auto snapshot = std::make_unique<LibraryBook>(library);
    const CharWidthTable& widths = *ctx_.widths;
    AaFileBytes failed_read;
    SourceImport import;
    const auto task = [&](TaskProgress& progress) {
        AaFileBytes file = read_aa_file_bytes(path);
        if (!file.ok) {
            failed_read = std::move(file);
            return;
        }
        const ImportSource sources[] = {{path, format, std::move(file.bytes)}};
        const ImportProgress report = [&progress](std::uint64_t done, std::uint64_t total) {
            progress.report(done, total);
            return !progress.cancelled();
        };
        import = plan_source_import(*snapshot, sources, widths, options, report);
    };
    const bool finished = ctx_.ui.run_task(this, kImportingAaText, task);
    if (!finished || import.cancelled) return;  // cancelled: nothing changed, the dialog stays open
    if (failed_read.too_large) {
        ctx_.ui.show_message(this, describe_too_large_aa_file(path, failed_read.size));
        return;
    }
    if (!failed_read.error.empty() || !import.plan.ok) {
        const std::string& error = failed_read.error.empty() ? import.plan.error : failed_read.error;
        ctx_.ui.show_message(this, std::string(kReadIntoPreviewFailedMessage) + "\n" + error);
        return;
    }
    const ImportPlan& plan = import.plan;
    if (plan.placed.empty() && plan.not_placed.empty()) {
        ctx_.ui.show_message(this, kNoAaMessage);
        return;
    }
    if (!apply_import(library, plan, import.files)) {
        ctx_.ui.show_message(this, kReadIntoPreviewFailedMessage);
        return;
    }
    if (!plan.pages.empty()) {
        library.current_page = plan.pages.front().page;
        ctx_.changed(Side::library);
    }
    ctx_.ui.show_message(this, describe_aa_import(plan, import.files, import.reports.front()));
    accept();
}

void ToolDialog::export_aa_file() {
    FileDialogRequest request;
    request.filter = std::string(kAaExportFilter);
    request.default_extension = "mlt";
    request.proposed_name = "*.mlt";
    request.confirm_overwrite = true;
    const std::optional<std::string> path = ctx_.ui.save_file(this, request);
    if (!path) return;
    const std::optional<AaFormat> format = aa_format_of_path(*path);
    if (!format || *format == AaFormat::txt) {
        ctx_.ui.show_message(this, kNotAnAaFileMessage);
        return;
    }
    if (!ctx_.ensure_width_table()) {
        ctx_.report_width_table_failure();
        return;
    }
    const PreviewExport exported = preview_entries(ctx_.docs->preview, ctx_.render_context());
    if (exported.entries.empty()) {
        ctx_.ui.show_message(this, kNothingToExportMessage);
        return;
    }
    const AaWriteResult written = write_aa_file(*path, exported.entries, *format);
    if (!written.ok) {
        ctx_.ui.show_message(this, std::string(kExportFailedMessage) + "\n" + written.error);
        return;
    }
    ctx_.ui.show_message(
        this, describe_aa_export(exported, exported.entries.size() - written.skipped_blank.size()));
    accept();
}

namespace {

// The file name without its folder, as a message names it.
std::string_view base_name(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string describe_aa_import(const ImportPlan& plan, std::span<const ImportFile> files,
                               const DecodeReport& report) {
    std::string out = std::to_string(plan.placed.size()) + "個のAAを";
    if (plan.pages.empty()) {
        out = "ライブラリに空いているページがないため、AAを読み込めませんでした";
    } else {
        const int first = plan.pages.front().page, last = plan.pages.back().page;
        out += "ライブラリのページ" + std::to_string(first) +
               (first == last ? std::string() : "～" + std::to_string(last)) + "に読み込みました";
    }
    for (const UnplacedAas& rest : plan.not_placed) {
        const std::string name = static_cast<std::size_t>(rest.file) < files.size()
                                     ? std::string(base_name(files[static_cast<std::size_t>(rest.file)].name))
                                     : std::string();
        const std::size_t first = static_cast<std::size_t>(rest.first) + 1, last = first + rest.count - 1;
        out += "\n" + name + "の" + std::to_string(first) +
               (rest.count > 1 ? "～" + std::to_string(last) : std::string()) + "個目のAA（" +
               std::to_string(rest.count) + "個）は空いているページに入りませんでした";
    }
    if (!plan.cut.empty())
        out += "\n" + std::to_string(plan.cut.size()) + "個のAAは長すぎるため、パーツに入る長さで切りました";
    if (report.unconvertible_count > 0) {
        out += "\nShift_JISにない文字" + std::to_string(report.unconvertible_count) +
               "個は参照（&#…;）のまま残しました：";
        for (const UnconvertibleChar& c : report.unconvertible) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c.code_point));
            out += std::string(" ") + code + "（" + std::to_string(c.line) + "行目）";
        }
        if (report.unconvertible_count > report.unconvertible.size()) out += " …";
    }
    return out;
}

std::string describe_too_large_aa_file(const std::string& path, std::uint64_t size) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    return "ファイルが大きすぎるため読み込めません：" + path + "\n（" +
           std::to_string((size + kMiB - 1) / kMiB) + "MB。読み込めるのは" +
           std::to_string(kMaxAaFileBytes / kMiB) + "MBまでです）";
}

std::string describe_aa_export(const PreviewExport& exported, std::size_t written) {
    std::string out = std::to_string(written) + "ページを書き出しました";
    if (exported.lost_blank_pages.empty()) return out;
    out += "\nただし、ページ";
    for (std::size_t i = 0; i < exported.lost_blank_pages.size(); ++i)
        out += (i ? "、" : "") + std::to_string(exported.lost_blank_pages[i]);
    out +=
        "は空白の整理中に連続できる空白の限界個数を超えたため、その空白を書き出せませんでした"
        "（同じ行のその後ろが左にずれています）";
    return out;
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
