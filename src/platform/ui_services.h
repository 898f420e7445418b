#pragma once
// Everything the program asks of the user or of the desktop, behind one interface: message boxes, Yes/No
// questions, file dialogs, the one-field text dialog, the progress window, tasks run off the UI thread, the
// busy cursor, the clipboard, the screen and starting another program. The program uses QtUiServices; GUI
// tests use ScriptedUiServices, which answers from a script and records what was shown. No window of the
// program opens a message box or a file dialog any other way.
//
// Texts shown to the user are UTF-8. Paths are the platform's native bytes (UTF-8 on Linux). Clipboard
// text is Shift_JIS on this side; the implementation converts it to and from Unicode.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QImage;
class QWidget;

namespace glyphora {

// The caption of every message box and question.
inline constexpr std::string_view kMessageCaption = "Glyphora";

struct FileDialogRequest {
    // Entries "label|pattern|label|pattern|...||", e.g. "Glyphoraファイル(aal)|*.aal|all files|*.*||".
    std::string filter;
    std::string default_extension;  // added to a name typed without an extension (without the dot)
    // The name (or folder + pattern, e.g. "/home/me/*.aal") the dialog starts with.
    std::string proposed_name;
    bool confirm_overwrite = false;  // save dialogs: ask before replacing an existing file
    std::string title;               // empty: the platform's "Open" / "Save As"
};

struct FileFilterEntry {
    std::string label;
    std::string pattern;  // one or more patterns separated by ';'
    friend bool operator==(const FileFilterEntry&, const FileFilterEntry&) = default;
};

// The entries of a filter list. The list ends at "||" or at its end; a label without a pattern is dropped.
std::vector<FileFilterEntry> parse_file_filter(std::string_view filter);

// path with ".ext" appended when its file name has no extension and ext is not empty.
std::string apply_default_extension(const std::string& path, std::string_view extension);

struct TextDialogRequest {
    std::string title;
    std::string label;  // shown above the field; may be empty
    std::string initial_text;
    bool allow_empty = true;  // false: OK is offered only when the field holds something
};

struct ClipboardText {
    bool has_text = false;  // the clipboard held plain text
    bool ok = false;        // it could be converted to Shift_JIS; text is then complete
    std::string text;       // Shift_JIS
    std::string error;      // why it could not (UTF-8), when has_text && !ok
};

// The desktop and the window frames the platform puts around a top-level window.
struct ScreenMetrics {
    int screen_width = 0;
    int screen_height = 0;
    int frame_width = 0;     // sizing border of a top-level window
    int caption_height = 0;  // caption bar of a top-level window
};

// The button a question starts on.
enum class DefaultAnswer { yes, no };

// What a task running off the UI thread shares with it: how far the task is, and whether it is to stop.
class TaskProgress {
  public:
    // The task's side: steps done of total (any unit; total 0 while unknown), and whether to stop now.
    void report(std::uint64_t done, std::uint64_t total) {
        total_ = total;
        done_ = done;
        if (done >= cancel_at_) cancelled_ = true;
    }
    bool cancelled() const { return cancelled_; }

    // The UI's side.
    void cancel() { cancelled_ = true; }
    void cancel_at(std::uint64_t done) { cancel_at_ = done; }  // as if the user cancelled at that report
    std::uint64_t done() const { return done_; }
    std::uint64_t total() const { return total_; }

  private:
    std::atomic<std::uint64_t> done_{0}, total_{0};
    std::atomic<std::uint64_t> cancel_at_{UINT64_MAX};
    std::atomic<bool> cancelled_{false};
};

class UiServices {
  public:
    virtual ~UiServices() = default;

    // A modal message box with an OK button.
    virtual void show_message(QWidget* parent, std::string_view text,
                              std::string_view caption = kMessageCaption) = 0;
    // A modal question with Yes and No; true for Yes. Return answers with the default button: No where
    // Yes could lose work.
    virtual bool ask_yes_no(QWidget* parent, std::string_view text,
                            std::string_view caption = kMessageCaption,
                            DefaultAnswer default_answer = DefaultAnswer::yes) = 0;
    // The chosen path, or nothing when cancelled. The default extension is already applied.
    virtual std::optional<std::string> open_file(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> save_file(QWidget* parent, const FileDialogRequest& request) = 0;
    // A folder chosen in the platform's folder dialog, which starts in start_folder (when not empty); nothing
    // when cancelled.
    virtual std::optional<std::string> choose_folder(QWidget* parent, std::string_view title,
                                                     const std::string& start_folder) = 0;
    // The entered text (UTF-8), or nothing when cancelled.
    virtual std::optional<std::string> ask_text(QWidget* parent, const TextDialogRequest& request) = 0;

    // A small window with one line of text, shown (and painted) at once, until end_progress.
    virtual void begin_progress(QWidget* parent, std::string_view text) = 0;
    virtual void end_progress() = 0;
    // Runs task on a thread of its own and returns when it has returned, false when it was cancelled; an
    // exception it throws is thrown again here. Meanwhile the program takes no input; from a moment on a
    // modal progress window with the text, how far the task is and a cancel button shows. A task looks at
    // cancelled() often and, once it is set, returns without having changed anything.
    virtual bool run_task(QWidget* parent, std::string_view text,
                          const std::function<void(TaskProgress&)>& task) = 0;
    // The wait cursor over the whole program, until end_busy. Calls nest.
    virtual void begin_busy() = 0;
    virtual void end_busy() = 0;

    // Puts Shift_JIS text on the system clipboard as plain text. False when the clipboard cannot take it
    // (a character Unicode has no counterpart for); the clipboard is then left as it was.
    virtual bool set_clipboard_text(std::string_view sjis) = 0;
    virtual ClipboardText clipboard_text() = 0;
    // Puts a picture on the system clipboard; false when there is no clipboard to take it.
    virtual bool set_clipboard_image(const QImage& image) = 0;

    virtual ScreenMetrics screen_metrics() = 0;

    // The first of the named programs found on the search path; empty when none is.
    virtual std::string find_program(const std::vector<std::string>& candidates) = 0;
    // Starts a program without waiting for it; false when it could not be started.
    virtual bool start_program(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// Shows the progress window for the lifetime of the object.
class ProgressScope {
  public:
    ProgressScope(UiServices& ui, QWidget* parent, std::string_view text) : ui_(ui) {
        ui_.begin_progress(parent, text);
    }
    ~ProgressScope() { ui_.end_progress(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    UiServices& ui_;
};

// Shows the busy cursor for the lifetime of the object.
class BusyScope {
  public:
    explicit BusyScope(UiServices& ui) : ui_(ui) { ui_.begin_busy(); }
    ~BusyScope() { ui_.end_busy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    UiServices& ui_;
};

}  // namespace glyphora
