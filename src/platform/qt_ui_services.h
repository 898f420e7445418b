#pragma once
// The UI services on Qt Widgets: QMessageBox, QFileDialog, QInputDialog-like text dialog, QClipboard,
// QProcess.

#include <QStringList>

class QCoreApplication;
class QMessageBox;

#include <memory>

#include "platform/ui_services.h"

namespace glyphora {

class QtUiServices : public UiServices {
  public:
    QtUiServices();
    ~QtUiServices() override;

    void show_message(QWidget* parent, std::string_view text, std::string_view caption) override;
    bool ask_yes_no(QWidget* parent, std::string_view text, std::string_view caption,
                    DefaultAnswer default_answer = DefaultAnswer::yes) override;
    std::optional<std::string> open_file(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<std::string> save_file(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<std::string> choose_folder(QWidget* parent, std::string_view title,
                                             const std::string& start_folder) override;
    std::optional<std::string> ask_text(QWidget* parent, const TextDialogRequest& request) override;
    void begin_progress(QWidget* parent, std::string_view text) override;
    void end_progress() override;
    bool run_task(QWidget* parent, std::string_view text,
                  const std::function<void(TaskProgress&)>& task) override;
    void begin_busy() override;
    void end_busy() override;
    bool set_clipboard_text(std::string_view sjis) override;
    ClipboardText clipboard_text() override;
    bool set_clipboard_image(const QImage& image) override;
    ScreenMetrics screen_metrics() override;
    std::string find_program(const std::vector<std::string>& candidates) override;
    bool start_program(const std::string& program, const std::vector<std::string>& arguments) override;

  private:
    std::optional<std::string> run_file_dialog(QWidget* parent, const FileDialogRequest& request, bool save);

    struct Progress;
    std::unique_ptr<Progress> progress_;
};

// Qt's own texts (standard buttons, the file dialog) in Japanese, like the rest of the program. Returns
// false, quietly, when Qt's translations are not installed: the program then shows them in English.
bool install_qt_translations(QCoreApplication& application);

// Widens a message box so that a window manager can show its whole caption in the title bar.
void fit_caption(QMessageBox& box);

// The Qt name filters of a "label|pattern|...||" filter: "label (*.aal)", with ';' between patterns
// turned into a space.
QStringList qt_name_filters(std::string_view filter);

}  // namespace glyphora
