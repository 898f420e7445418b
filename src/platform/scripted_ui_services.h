#pragma once
// UI services for tests: every question is answered from a script given beforehand, and everything shown
// (messages, questions, dialogs, progress windows, clipboard writes, started programs) is recorded in
// order. A question the script does not answer, or answers with the wrong kind of answer, is recorded as a
// script error and answered No / Cancel, so a test sees it instead of hanging on a dialog.

#include <QImage>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui_services.h"

namespace glyphora {

class ScriptedUiServices : public UiServices {
  public:
    enum class EventKind {
        message,
        question,
        open_file,
        save_file,
        text_dialog,
        progress_begin,
        progress_end,
        busy_begin,
        busy_end,
        clipboard_set,
        clipboard_image,  // text: "WIDTHxHEIGHT"
        program_started,
        task,
        choose_folder,
    };

    struct Event {
        EventKind kind;
        std::string text;     // message, question, progress text, dialog title; clipboard text (Shift_JIS)
        std::string caption;  // message boxes and questions
        FileDialogRequest file_request;  // file dialogs
        TextDialogRequest text_request;  // text dialogs
        std::string answer;              // what the script answered ("yes", "no", a path, "<cancel>")
        DefaultAnswer default_answer = DefaultAnswer::yes;  // questions: the button Return would press
    };

    // --- The script, consumed in order.
    void answer_yes(bool yes = true);
    void answer_no() { answer_yes(false); }
    void answer_file(
        const std::string& path);  // the next open or save dialog (or folder dialog) chooses path
    void answer_text(const std::string& text);  // the next text dialog is confirmed with text
    void answer_cancel();                       // the next file or text dialog is cancelled
    // The next task is cancelled, as by its cancel button, once it reports `done` steps or more. Tasks run
    // to their end otherwise.
    void cancel_task_at(std::uint64_t done = 0) { cancel_task_at_ = done; }
    // The next task runs out of memory: std::bad_alloc comes out of run_task instead.
    void task_runs_out_of_memory() { task_out_of_memory_ = true; }

    // --- What happened.
    const std::vector<Event>& events() const { return events_; }
    std::vector<std::string> messages() const;   // texts of the message boxes, in order
    std::vector<std::string> questions() const;  // texts of the questions, in order
    // "message:TEXT", "question:TEXT", "open:PROPOSAL", "save:PROPOSAL", "folder:START", "text:TITLE",
    // "progress:TEXT", "progress-end", "busy", "busy-end", "clipboard", "clipboard-image:WxH",
    // "start:PROGRAM", "task:TEXT" (answer "done" or "cancelled"): a compact trace for order checks.
    std::vector<std::string> trace() const;
    const std::vector<std::string>& script_errors() const { return script_errors_; }
    std::size_t unused_answers() const { return answers_.size(); }
    void clear_events() { events_.clear(); }

    // --- The desktop the tests pretend to have.
    ScreenMetrics metrics{1280, 1024, 4, 20};
    std::optional<std::string> clipboard;  // Shift_JIS; nothing: the clipboard holds no text
    QImage clipboard_picture;              // the last picture put on the clipboard
    std::vector<std::string> installed_programs;
    bool progress_open() const { return progress_depth_ > 0; }
    int busy_depth() const { return busy_depth_; }

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
    // Runs the task on a thread of its own and waits for it.
    bool run_task(QWidget* parent, std::string_view text,
                  const std::function<void(TaskProgress&)>& task) override;
    void begin_busy() override;
    void end_busy() override;
    bool set_clipboard_text(std::string_view sjis) override;
    ClipboardText clipboard_text() override;
    bool set_clipboard_image(const QImage& image) override;
    ScreenMetrics screen_metrics() override { return metrics; }
    std::string find_program(const std::vector<std::string>& candidates) override;
    bool start_program(const std::string& program, const std::vector<std::string>& arguments) override;

  private:
    enum class AnswerKind { yes_no, path, text, cancel };
    struct Answer {
        AnswerKind kind;
        bool yes = false;
        std::string value;
    };
    // The next answer when it is one of the accepted kinds; nothing (and a script error) otherwise.
    std::optional<Answer> next_answer(std::initializer_list<AnswerKind> accepted, const std::string& what);
    std::optional<std::string> file_dialog(EventKind kind, const FileDialogRequest& request);

    std::deque<Answer> answers_;
    std::vector<Event> events_;
    std::vector<std::string> script_errors_;
    int progress_depth_ = 0;
    int busy_depth_ = 0;
    std::optional<std::uint64_t> cancel_task_at_;
    bool task_out_of_memory_ = false;
};

}  // namespace glyphora
