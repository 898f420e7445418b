#include "platform/qt_ui_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <thread>

#include "platform/qt_text.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString from_native_path(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string to_native_path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

struct QtUiServices::Progress {
    std::unique_ptr<QFrame> window;
};

QtUiServices::QtUiServices() = default;
QtUiServices::~QtUiServices() = default;

bool install_qt_translations(QCoreApplication& application) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto translator = std::make_unique<QTranslator>(&application);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder))
        return false;
    QCoreApplication::installTranslator(translator.release());
    return true;
}

void fit_caption(QMessageBox& box) {
    // A message box sizes itself to its text; a short text left the caption cut to "G…". Room for the
    // caption in the title bar's font plus the window manager's buttons.
    constexpr int kTitleBarButtons = 120;
    const QFont title_font = QApplication::font("QMdiSubWindowTitleBar");
    const int caption = QFontMetrics(title_font).horizontalAdvance(box.windowTitle());
    const int wanted = std::max(caption + kTitleBarButtons, 300);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) {
        box.setMinimumWidth(wanted);
        return;
    }
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(wanted - margins.left() - margins.right(), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QStringList qt_name_filters(std::string_view filter) {
    QStringList filters;
    for (const FileFilterEntry& entry : parse_file_filter(filter)) {
        QString patterns = from_utf8(entry.pattern);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << from_utf8(entry.label) + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

void QtUiServices::show_message(QWidget* parent, std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::NoIcon, from_utf8(caption), from_utf8(text), QMessageBox::Ok, parent);
    fit_caption(box);
    box.exec();
}

bool QtUiServices::ask_yes_no(QWidget* parent, std::string_view text, std::string_view caption,
                              DefaultAnswer default_answer) {
    QMessageBox box(QMessageBox::Question, from_utf8(caption), from_utf8(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(default_answer == DefaultAnswer::no ? QMessageBox::No : QMessageBox::Yes);
    fit_caption(box);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtUiServices::run_file_dialog(QWidget* parent, const FileDialogRequest& request,
                                                         bool save) {
    QFileDialog dialog(parent, from_utf8(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(qt_name_filters(request.filter));
    dialog.setDefaultSuffix(from_utf8(request.default_extension));
    if (!request.confirm_overwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);

    // A proposal with a wildcard ("folder/*.aal") only chooses the folder; a plain name is preselected.
    const QFileInfo proposal(from_native_path(request.proposed_name));
    if (!request.proposed_name.empty()) {
        const QString dir = proposal.path();
        if (!dir.isEmpty() && dir != QStringLiteral(".")) dialog.setDirectory(dir);
        if (!proposal.fileName().contains(QLatin1Char('*'))) dialog.selectFile(proposal.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return to_native_path(files.first());
}

std::optional<std::string> QtUiServices::open_file(QWidget* parent, const FileDialogRequest& request) {
    return run_file_dialog(parent, request, false);
}

std::optional<std::string> QtUiServices::save_file(QWidget* parent, const FileDialogRequest& request) {
    return run_file_dialog(parent, request, true);
}

std::optional<std::string> QtUiServices::choose_folder(QWidget* parent, std::string_view title,
                                                       const std::string& start_folder) {
    QFileDialog dialog(parent, from_utf8(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!start_folder.empty()) dialog.setDirectory(from_native_path(start_folder));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList folders = dialog.selectedFiles();
    if (folders.isEmpty()) return std::nullopt;
    return to_native_path(folders.first());
}

std::optional<std::string> QtUiServices::ask_text(QWidget* parent, const TextDialogRequest& request) {
    QDialog dialog(parent);
    dialog.setWindowTitle(from_utf8(request.title));
    auto* layout = new QVBoxLayout(&dialog);
    if (!request.label.empty()) layout->addWidget(new QLabel(from_utf8(request.label), &dialog));
    auto* edit = new QLineEdit(from_utf8(request.initial_text), &dialog);
    edit->setMinimumWidth(360);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (!request.allow_empty) {
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        auto update = [ok, edit] { ok->setEnabled(!edit->text().trimmed().isEmpty()); };
        QObject::connect(edit, &QLineEdit::textChanged, ok, update);
        update();
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return edit->text().toStdString();
}

void QtUiServices::begin_progress(QWidget* parent, std::string_view text) {
    progress_ = std::make_unique<Progress>();
    progress_->window =
        std::make_unique<QFrame>(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    QFrame& window = *progress_->window;
    window.setWindowTitle(QStringLiteral("Glyphora"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->addWidget(new QLabel(from_utf8(text), &window));
    window.adjustSize();
    if (parent) window.move(parent->frameGeometry().center() - window.rect().center());
    window.show();
    // The work that follows blocks the event loop: paint the window now so that it is seen meanwhile.
    window.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUiServices::end_progress() {
    progress_.reset();
}

bool QtUiServices::run_task(QWidget* parent, std::string_view text,
                            const std::function<void(TaskProgress&)>& task) {
    // A short task ends before anything is shown; a longer one gets the window after this long.
    constexpr int kShowAfterMs = 400;
    constexpr int kPollMs = 20;
    constexpr int kSteps = 1000;
    TaskProgress progress;
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            task(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });

    QProgressDialog dialog(from_utf8(text), QString::fromUtf8("ｷｬﾝｾﾙ"), 0, kSteps, parent);
    dialog.setWindowTitle(QStringLiteral("Glyphora"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(std::numeric_limits<int>::max());  // shown below, not by its own timer
    QObject::connect(&dialog, &QProgressDialog::canceled, [&progress] { progress.cancel(); });
    QElapsedTimer clock;
    clock.start();
    while (!finished) {
        // Input waits while no window says why nothing responds, and again once the task was cancelled.
        QEventLoop loop;
        QTimer::singleShot(kPollMs, &loop, &QEventLoop::quit);
        loop.exec(dialog.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        if (finished || progress.cancelled()) continue;
        if (!dialog.isVisible() && clock.elapsed() >= kShowAfterMs) {
            if (parent) dialog.move(parent->frameGeometry().center() - dialog.rect().center());
            dialog.show();
        }
        const std::uint64_t total = progress.total();
        if (total == 0) {
            dialog.setMaximum(0);  // a busy indicator
        } else {
            dialog.setMaximum(kSteps);
            dialog.setValue(static_cast<int>(std::min(progress.done(), total) * kSteps / total));
        }
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    return !progress.cancelled();
}

void QtUiServices::begin_busy() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::end_busy() {
    QGuiApplication::restoreOverrideCursor();
}

bool QtUiServices::set_clipboard_text(std::string_view sjis) {
    const Conversion converted = sjis_to_utf8(sjis);
    if (!converted.ok) return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(from_utf8(converted.text));
    return true;
}

ClipboardText QtUiServices::clipboard_text() {
    ClipboardText result;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return result;
    const QString text = clipboard->text();
    if (text.isNull()) return result;
    result.has_text = true;
    // What is copied from a board keeps its web spaces as the part markup of the same widths.
    result.ok = qstring_to_part_text(text, result.text, result.error);
    if (!result.ok) result.text.clear();
    return result;
}

bool QtUiServices::set_clipboard_image(const QImage& image) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || image.isNull()) return false;
    clipboard->setImage(image);
    return true;
}

ScreenMetrics QtUiServices::screen_metrics() {
    ScreenMetrics metrics;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        metrics.screen_width = screen->geometry().width();
        metrics.screen_height = screen->geometry().height();
    }
    // Qt does not tell a window's frame before the window manager has framed it; the style's metrics are
    // the best estimate available beforehand.
    if (const QStyle* style = QApplication::style()) {
        metrics.frame_width = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
        metrics.caption_height = style->pixelMetric(QStyle::PM_TitleBarHeight);
    }
    return metrics;
}

std::string QtUiServices::find_program(const std::vector<std::string>& candidates) {
    for (const std::string& name : candidates) {
        const QString found = QStandardPaths::findExecutable(QString::fromStdString(name));
        if (!found.isEmpty()) return to_native_path(found);
    }
    return {};
}

bool QtUiServices::start_program(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    return QProcess::startDetached(from_native_path(program), args);
}

}  // namespace glyphora
