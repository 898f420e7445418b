#include "app/application.h"
#include "session/messages.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLockFile>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "app/autosave.h"
#include "app/main_dialog.h"
#include "browser/collection_window.h"
#include "canvas/canvas_window.h"
#include "storage/file_status.h"
#include "storage/library_file.h"
#include "storage/recovery_file.h"

namespace glyphora {

namespace {

constexpr const char* kLockName = "Glyphora Executed";
constexpr const char* kNoSettingsFolderMessage = "設定ファイルの置き場所を用意できません\n";

bool file_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// The collection file a recovery file names, when that file was written after the recovery file; empty
// otherwise (or when the recovery file cannot be read: its reading says so later).
std::string saved_after_recovery(const std::string& recovery_path) {
    namespace fs = std::filesystem;
    std::unique_ptr<PreviewBook> book(new (std::nothrow) PreviewBook);
    if (!book || read_recovery(recovery_path, *book) != FileStatus::ok) return {};
    const std::string collection(get_string(book->collection_name));
    if (collection.empty()) return {};
    std::error_code saved_error, recovery_error;
    const fs::file_time_type saved = fs::last_write_time(collection, saved_error);
    const fs::file_time_type recovered = fs::last_write_time(recovery_path, recovery_error);
    if (saved_error || recovery_error || saved <= recovered) return {};
    return collection;
}

}  // namespace

StartupEnvironment StartupEnvironment::current() {
    return {running_executable_path(), LocationEnvironment::current(),
            QFile::encodeName(QDir::currentPath()).toStdString()};
}

std::string single_instance_lock_path(const LocationEnvironment& location) {
    if (!location.glyphora_home.empty()) {
        std::string dir = location.glyphora_home;
        if (dir.back() != '/') dir += '/';
        return dir + kLockName + ".lock";
    }
    // One lock per user, as a desktop session's named objects are.
    return QFile::encodeName(QDir::tempPath()).toStdString() + "/" + kLockName + "-" +
           std::to_string(::getuid()) + ".lock";
}

Application::Application(UiServices& ui) : ctx_(ui) {}

Application::~Application() {
    shut_down();
}

StartResult Application::start(const StartupEnvironment& environment) {
    environment_ = environment;
    UiServices& ui = ctx_.ui;

    // The settings file comes first: everything after it may read settings.
    const PathResult settings_path = settings_file_path(environment.executable_path, environment.location);
    if (!settings_path.ok) {
        ui.show_message(nullptr, kNoSettingsFolderMessage + settings_path.error);
        return StartResult::no_settings_folder;
    }
    ctx_.settings_file.emplace(settings_path.path);
    ctx_.program_directory = settings_directory(environment.executable_path, environment.location).path;

    // One instance at a time keeps the settings file and the library file to one writer. The lock is
    // tied to the process, so a crashed instance does not keep the program from starting.
    lock_ = std::make_unique<QLockFile>(
        QFile::decodeName(QByteArray::fromStdString(single_instance_lock_path(environment.location))));
    lock_->setStaleLockTime(0);  // never stale while its process lives, however long it runs
    if (!lock_->tryLock(0)) {
        const bool held_by_another = lock_->error() == QLockFile::LockFailedError;
        lock_.reset();
        // A lock that cannot be made at all (a read-only folder) must not keep the program from running.
        if (held_by_another) {
            ui.show_message(nullptr, kAlreadyRunningMessage, kMessageCaption);
            return StartResult::already_running;
        }
    }

    const ScreenMetrics screen = ui.screen_metrics();
    if (screen.screen_width < kMinimumScreenWidth || screen.screen_height < kMinimumScreenHeight) {
        ui.show_message(nullptr, kScreenTooSmallMessage);
        return StartResult::screen_too_small;
    }

    read_startup_settings(ctx_.file(), ctx_.settings);

    std::string library_path;
    if (!choose_library_path(library_path)) return StartResult::library_not_chosen;

    load_mirror_tables(*ctx_.mirrors, ctx_.settings.hanten_filename, ctx_.settings.hanten_filename2);

    if (!read_library_file(library_path)) return StartResult::library_refused;
    ctx_.settings.library_filename = library_path;
    write_library_filename(ctx_.file(), library_path);  // a failed settings write is not reported

    create_canvases();

    main_dialog_ = std::make_unique<MainDialog>(ctx_, *preview_canvas_, *library_canvas_);
    QObject::connect(main_dialog_.get(), &MainDialog::close_requested, main_dialog_.get(),
                     [this] { close_request(); });
    main_dialog_->initialise();

    autosaver_ =
        std::make_unique<Autosaver>(ctx_, recovery_file_path(ctx_.program_directory), main_dialog_.get());
    ctx_.modified_hook = [this] {
        main_dialog_->update_title();
        // Once the whole preview is in a file, the recovery file would only offer older pages back.
        if (ctx_.docs->preview.modified) {
            autosaver_->note_change();
        } else {
            autosaver_->saved();
        }
    };
    offer_recovery();
    create_collection_window();
    return StartResult::running;
}

void Application::create_collection_window() {
    collection_window_ = std::make_unique<CollectionWindow>(
        ctx_, *preview_canvas_, *library_canvas_, index_opener_ ? index_opener_ : default_index_opener());
    auto open = [this] { collection_window_->open_window(); };
    main_dialog_->set_collection_command(open);
    // Every window of the program opens it with the same keys.
    for (QWidget* window :
         {static_cast<QWidget*>(main_dialog_.get()), static_cast<QWidget*>(preview_canvas_.get()),
          static_cast<QWidget*>(library_canvas_.get())})
        install_collection_shortcut(window, open);
    collection_window_->restore();
}

bool Application::choose_library_path(std::string& path) {
    UiServices& ui = ctx_.ui;
    if (ctx_.settings.multilibrary) {
        FileDialogRequest request;
        request.filter = kLibraryFilter;
        request.default_extension = "aal";
        request.proposed_name = environment_.current_directory + "/*.aal";
        const std::optional<std::string> chosen = ui.open_file(nullptr, request);
        if (!chosen || chosen->empty()) return false;
        path = *chosen;
        return true;
    }
    path = ctx_.settings.library_filename;
    if (!path.empty()) return true;

    const PathResult proposal = default_library_path(environment_.executable_path, environment_.location);
    TextDialogRequest request;
    request.title = kLibraryStorageTitle;
    request.initial_text = proposal.ok ? proposal.path : std::string();
    request.allow_empty = false;
    const std::optional<std::string> entered = ui.ask_text(nullptr, request);
    // An empty name names no file; it ends the program like Cancel.
    if (!entered || entered->empty()) return false;
    path = *entered;
    return true;
}

bool Application::read_library_file(const std::string& path) {
    LibraryBook& library = ctx_.docs->library;
    ctx_.library_path = path;
    set_string(library.path, path);
    library.library_writable = true;

    const FileStatus status = read_library(path, library);
    bool damaged = status == FileStatus::wrong_magic || status == FileStatus::cut_off;
    if (status == FileStatus::cannot_open_for_reading && file_exists(path)) {
        // A library that exists but cannot be read must not be replaced by an empty one at close.
        ctx_.ui.show_message(nullptr, status_message(status));
        damaged = true;
    }
    if (!damaged) return true;  // read, or not there yet: it is created at the first write
    if (!ctx_.ui.ask_yes_no(nullptr, kDamagedLibraryQuestion)) return false;
    // Going on with an empty library that is never written over the damaged file.
    clear_library(library);
    library.library_writable = false;
    return true;
}

void Application::create_canvases() {
    const ScreenMetrics screen = ctx_.ui.screen_metrics();
    const WindowMetrics metrics{screen.frame_width, screen.caption_height};
    preview_canvas_ = std::make_unique<CanvasWindow>(ctx_, Side::preview);
    library_canvas_ = std::make_unique<CanvasWindow>(ctx_, Side::library);
    preview_canvas_->create_window(read_window_placement(ctx_.file(), Side::preview, metrics), screen);
    library_canvas_->create_window(read_window_placement(ctx_.file(), Side::library, metrics), screen);
}

void Application::offer_recovery() {
    const std::string path = autosaver_->path();
    if (!file_exists(path)) return;
    // The single-instance lock is held, so the file was left by a run that did not end cleanly.
    std::string question = kRecoveryQuestion;
    DefaultAnswer default_answer = DefaultAnswer::yes;
    const std::string saved = saved_after_recovery(path);
    if (!saved.empty()) {
        question += kRecoverySavedNewerNote + saved;
        default_answer = DefaultAnswer::no;
    }
    if (ctx_.ui.ask_yes_no(main_dialog_.get(), question, kMessageCaption, default_answer)) {
        const FileStatus status = read_recovery(path, ctx_.docs->preview);
        if (status == FileStatus::ok) {
            const std::string name(get_string(ctx_.docs->preview.collection_name));
            if (!name.empty()) main_dialog_->set_collection_title(name);
            // Nothing of it is saved yet: the flag stays set until the user saves.
            ctx_.changed(Side::preview);
            return;
        }
        // A damaged file is said, and kept for the user like a declined one.
        const std::string aside = keep_recovery_aside(path);
        ctx_.ui.show_message(main_dialog_.get(), status_message(status));
        ctx_.ui.show_message(main_dialog_.get(), kRecoveryKeptMessage + (aside.empty() ? path : aside));
        return;
    }
    // Never deleted unasked: kept beside the settings under a dated name (or, if it cannot be moved, where
    // it is, to be offered again).
    if (keep_recovery_aside(path).empty())
        ctx_.ui.show_message(main_dialog_.get(), std::string(kRecoveryKeptMessage) + path);
}

void Application::run() {
    if (!main_dialog_ || dialog_ended_) return;
    QEventLoop loop;
    QObject::connect(main_dialog_.get(), &MainDialog::ended, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Application::close_request() {
    if (!main_dialog_ || dialog_ended_ || ctx_.options_open) return false;
    UiServices& ui = ctx_.ui;
    MainDialog* dialog = main_dialog_.get();
    LibraryBook& library = ctx_.docs->library;

    // The library is written before the question, whatever the answer will be.
    if (library.library_writable) {
        FileStatus status;
        {
            ProgressScope progress(ui, dialog, kUpdatingLibraryText);
            status = write_library(ctx_.library_path, library);
        }
        if (status != FileStatus::ok) {
            ui.show_message(dialog, status_message(status));
            ui.show_message(dialog, kLibraryWriteFailedMessage);
        }
    }
    if (dialog->isMinimized()) dialog->showNormal();
    const bool unsaved = ctx_.docs->preview.modified;
    if (!ui.ask_yes_no(dialog, unsaved ? kExitUnsavedQuestion : kExitQuestion)) return false;
    // Unsaved pages stay in the recovery file, brought up to date, and are offered at the next start. When
    // they cannot be written there, ending would lose them: the user decides, and No goes on running.
    if (unsaved) {
        if (!autosaver_->write_now() &&
            !ui.ask_yes_no(dialog, kExitUnprotectedQuestion + ("\n" + autosaver_->last_error()),
                           kMessageCaption, DefaultAnswer::no))
            return false;
    } else {
        autosaver_->discard();
    }

    dialog_ended_ = true;
    dialog->end_dialog();
    return true;
}

void Application::shut_down() {
    ctx_.modified_hook = nullptr;
    // It inserts into the canvases' pages and runs threads of its own: it goes first.
    collection_window_.reset();
    autosaver_.reset();
    main_dialog_.reset();
    preview_canvas_.reset();
    library_canvas_.reset();
    lock_.reset();  // unlocks
}

}  // namespace glyphora
