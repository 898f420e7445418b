#pragma once
// The autosave: while the preview holds changes that are not saved, the whole preview book is written to
// the recovery file in the settings folder a few seconds after the last change, and at least every 30
// seconds while changes go on. The book is copied on the user-interface thread (a plain copy, a few
// milliseconds even for 30 full pages) and written from that copy on a worker thread, so typing and
// dragging never wait for the disk. A failed write is reported once and tried again later.

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class QWidget;

namespace glyphora {

struct AppContext;
struct IoResult;

// The recovery file in a settings folder (with its trailing '/'), and the prefix of its kept-aside copies.
std::string recovery_file_path(const std::string& settings_folder);

// Moves the recovery file aside as "unsaved-pages-YYYYMMDD-HHMMSS.recovery" in the same folder, keeping
// the five newest of those copies. Returns the new path, or "" when it could not be moved.
std::string keep_recovery_aside(const std::string& recovery_path);

// Shown once when the recovery file cannot be written (UTF-8), followed by the reason.
inline constexpr const char* kAutosaveFailedMessage =
    "作業中のページを復元用ファイルに保存できません。保存できるようになるまで繰り返し試みます。\n";

class Autosaver : public QObject {
  public:
    static constexpr int kQuietMs = 3000;     // after the last change
    static constexpr int kLongestMs = 30000;  // at the latest, while changes go on

    Autosaver(AppContext& context, std::string path, QWidget* message_parent);
    ~Autosaver() override;  // waits for a write in progress

    // A change of the preview: (re)starts the quiet timer, and the longest one if it is not running.
    void note_change();
    // Writes now, on this thread, if anything is not written yet (at exit). True when the file holds the
    // preview as it is; otherwise last_error() says why, and telling the user is the caller's business.
    bool write_now();
    const std::string& last_error() const { return last_error_; }
    // The whole preview was saved (or loaded): nothing is unsaved, so the recovery file goes. A write in
    // progress is waited for first and its result dropped, so that it cannot bring back the older pages.
    void saved();
    // Removes the recovery file (a clean exit with nothing unsaved).
    void discard();

    const std::string& path() const { return path_; }
    bool writing() const { return writing_; }
    // For tests: the timers' delays.
    void set_delays(int quiet_ms, int longest_ms);

  private:
    void start_write();
    void write_finished(std::uint64_t edits, bool ok, const std::string& error);
    // Waits for the worker; its queued result is then dropped.
    void settle_write();
    void report_failure(const std::string& error);
    void join();

    AppContext& ctx_;
    std::string path_;
    QWidget* message_parent_;
    QTimer quiet_;
    QTimer longest_;
    std::thread worker_;
    bool writing_ = false;
    bool again_ = false;               // a change came while a write was in progress
    std::uint64_t written_edits_ = 0;  // the preview's edit count the file holds
    bool failure_reported_ = false;    // since the last write that went through
    int dropped_results_ = 0;          // queued results of writes settle_write() waited for
    std::string last_error_;           // of write_now
    std::atomic<bool> alive_{true};
};

}  // namespace glyphora
