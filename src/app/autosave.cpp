#include "app/autosave.h"

#include <QDateTime>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "session/app_context.h"
#include "storage/recovery_file.h"

namespace glyphora {

namespace {

constexpr const char* kRecoveryName = "unsaved-pages.recovery";
constexpr const char* kAsidePrefix = "unsaved-pages-";
constexpr const char* kAsideSuffix = ".recovery";
constexpr std::size_t kAsideKept = 5;

}  // namespace

std::string recovery_file_path(const std::string& settings_folder) {
    return settings_folder + kRecoveryName;
}

std::string keep_recovery_aside(const std::string& recovery_path) {
    namespace fs = std::filesystem;
    const fs::path live(recovery_path);
    const fs::path folder = live.parent_path();
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    fs::path aside = folder / (kAsidePrefix + stamp + kAsideSuffix);
    std::error_code error;
    for (int n = 2; fs::exists(aside, error) && n < 100; ++n)
        aside = folder / (kAsidePrefix + stamp + "-" + std::to_string(n) + kAsideSuffix);
    fs::rename(live, aside, error);
    if (error) return {};

    // The newest few copies stay, by their time on disk: names carry the clock's time when they were made,
    // and a clock that was set back would make the newest copy's name sort first. The copy just made is
    // never among those removed.
    struct Aside {
        fs::path path;
        fs::file_time_type time;
    };
    std::vector<Aside> others;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(kAsidePrefix) || !name.ends_with(kAsideSuffix) || entry.path() == aside)
            continue;
        std::error_code time_error;
        const fs::file_time_type time = fs::last_write_time(entry.path(), time_error);
        if (!time_error) others.push_back({entry.path(), time});
    }
    std::sort(others.begin(), others.end(), [](const Aside& a, const Aside& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    for (std::size_t i = kAsideKept - 1; i < others.size(); ++i) fs::remove(others[i].path, error);
    return aside.string();
}

Autosaver::Autosaver(AppContext& context, std::string path, QWidget* message_parent)
    : ctx_(context), path_(std::move(path)), message_parent_(message_parent) {
    quiet_.setSingleShot(true);
    longest_.setSingleShot(true);
    set_delays(kQuietMs, kLongestMs);
    connect(&quiet_, &QTimer::timeout, this, [this] { start_write(); });
    connect(&longest_, &QTimer::timeout, this, [this] { start_write(); });
}

Autosaver::~Autosaver() {
    alive_ = false;
    join();
}

void Autosaver::set_delays(int quiet_ms, int longest_ms) {
    quiet_.setInterval(quiet_ms);
    longest_.setInterval(longest_ms);
}

void Autosaver::note_change() {
    quiet_.start();
    if (!longest_.isActive()) longest_.start();
}

void Autosaver::join() {
    if (worker_.joinable()) worker_.join();
}

void Autosaver::start_write() {
    if (!ctx_.docs->preview.modified || ctx_.preview_edits == written_edits_) return;
    if (writing_) {
        again_ = true;
        return;
    }
    quiet_.stop();
    longest_.stop();
    join();
    const std::uint64_t edits = ctx_.preview_edits;
    std::unique_ptr<PreviewBook> copy(new (std::nothrow) PreviewBook(ctx_.docs->preview));
    if (!copy) {
        write_finished(edits, false, "not enough memory");
        return;
    }
    writing_ = true;
    try {
        worker_ = std::thread([this, book = std::move(copy), edits, path = path_]() mutable {
            // write_recovery reports a failed allocation as a failed write; so must the report itself.
            try {
                const IoResult result = write_recovery(path, *book);
                book.reset();
                if (!alive_) return;
                QMetaObject::invokeMethod(
                    this,
                    [this, edits, ok = result.ok, error = result.error] { write_finished(edits, ok, error); },
                    Qt::QueuedConnection);
            } catch (const std::exception&) {
                book.reset();
                if (!alive_) return;
                QMetaObject::invokeMethod(
                    this, [this, edits] { write_finished(edits, false, "not enough memory"); },
                    Qt::QueuedConnection);
            }
        });
    } catch (const std::system_error& error) {  // no thread could be started
        writing_ = false;
        write_finished(edits, false, error.what());
    }
}

void Autosaver::write_finished(std::uint64_t edits, bool ok, const std::string& error) {
    // The result of a write already waited for by saved() or write_now(), which settled what it stood for.
    if (dropped_results_ > 0) {
        --dropped_results_;
        return;
    }
    writing_ = false;
    join();
    if (ok) {
        written_edits_ = std::max(written_edits_, edits);
        failure_reported_ = false;
    } else {
        // Tried again later.
        if (!longest_.isActive()) longest_.start();
        report_failure(error);
    }
    if (again_) {
        again_ = false;
        note_change();
    }
}

void Autosaver::report_failure(const std::string& error) {
    // The user hears of it once, not at every change, until a write goes through again.
    if (failure_reported_) return;
    failure_reported_ = true;
    ctx_.ui.show_message(message_parent_, kAutosaveFailedMessage + error);
}

void Autosaver::settle_write() {
    join();
    // The worker has queued its result before it ended; that result is stale once this returns.
    if (writing_) ++dropped_results_;
    writing_ = false;
    again_ = false;
}

bool Autosaver::write_now() {
    settle_write();
    last_error_.clear();
    if (!ctx_.docs->preview.modified || ctx_.preview_edits == written_edits_) return true;
    const IoResult result = write_recovery(path_, ctx_.docs->preview);
    if (result.ok) {
        written_edits_ = ctx_.preview_edits;
        failure_reported_ = false;
        return true;
    }
    // The caller tells the user (and may go on running): the autosave keeps trying without saying it again.
    last_error_ = result.error;
    failure_reported_ = true;
    if (!longest_.isActive()) longest_.start();
    return false;
}

void Autosaver::saved() {
    quiet_.stop();
    longest_.stop();
    // A write in progress ends before the file goes, so that it cannot bring the file back.
    settle_write();
    failure_reported_ = false;
    std::error_code error;
    std::filesystem::remove(path_, error);
}

void Autosaver::discard() {
    settle_write();
    quiet_.stop();
    longest_.stop();
    std::error_code error;
    std::filesystem::remove(path_, error);
}

}  // namespace glyphora
