#pragma once
// The program's life: start-up (settings, single instance, screen check, settings, library, mirror tables,
// canvases, main dialog), the main dialog's loop, the close request with the library write-back, and
// shut-down. Every question goes through the UI services, so tests drive all of it offscreen.

#include <memory>
#include <string>

#include "browser/index_thread.h"
#include "session/app_context.h"
#include "settings/settings_location.h"

class QLockFile;

namespace glyphora {

class CanvasWindow;
class CollectionWindow;
class Autosaver;
class MainDialog;

// Messages of start-up and close.
inline constexpr const char* kAlreadyRunningMessage = "Glyphoraはすでに起動しています";
inline constexpr const char* kScreenTooSmallMessage =
    "あなたのデスクトップ画面は狭すぎます\nせめて800*600にはしてください";
inline constexpr const char* kDamagedLibraryQuestion =
    "ライブラリが破損しているか、バージョンが違います。\n続けますか？";
inline constexpr const char* kLibraryStorageTitle = "ライブラリ格納ファイル";
inline constexpr const char* kLibraryFilter = "Glyphoraファイル(aal)|*.aal|all files|*.*||";
inline constexpr const char* kExitQuestion = "Glyphoraを終了します";
inline constexpr const char* kExitUnsavedQuestion = "保存していないページがあります。\nGlyphoraを終了します";
inline constexpr const char* kRecoveryQuestion = "前回の作業が保存されていません。復元しますか？";
// Added to the recovery question when the collection file the pages came from was saved after the recovery
// file was written (UTF-8, followed by its path): restoring would bring back older pages.
inline constexpr const char* kRecoverySavedNewerNote = "\n保存済みのファイルの方が新しいです:\n";
// At exit, when the unsaved pages could not be written to the recovery file (followed by the reason).
inline constexpr const char* kExitUnprotectedQuestion =
    "未保存のページを退避できませんでした。終了しますか？";
// After a recovery file could not be read, where it was kept (UTF-8, followed by the path).
inline constexpr const char* kRecoveryKeptMessage = "復元用ファイルは次の名前で残してあります:\n";

constexpr int kMinimumScreenWidth = 800;
constexpr int kMinimumScreenHeight = 600;

// Where the program runs: the executable (for the settings file name and location), the environment that
// may move the settings elsewhere, and the current directory (where a library is looked for when one is
// asked for at every start).
struct StartupEnvironment {
    std::string executable_path;
    LocationEnvironment location;
    std::string current_directory;

    static StartupEnvironment current();
};

enum class StartResult {
    running,             // the main dialog is shown
    no_settings_folder,  // the settings folder cannot be created
    already_running,     // another instance holds the lock
    screen_too_small,
    library_not_chosen,  // the library dialog was cancelled
    library_refused,     // the library is damaged and the user did not go on
};

// The lock file that keeps a second instance from starting. It lives in the settings folder when
// GLYPHORA_HOME names one (so instances with separate homes, such as tests, do not meet), otherwise in the
// temporary folder.
std::string single_instance_lock_path(const LocationEnvironment& location);

class Application {
  public:
    explicit Application(UiServices& ui);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs start-up up to the shown main dialog. Anything but running means the program ends (after
    // shut_down); the canvases then do not exist.
    StartResult start(const StartupEnvironment& environment);

    // The main dialog's loop: returns once a close request was confirmed.
    void run();

    // The main dialog's close request ("終了", close box, Escape). True when the user confirmed; the
    // main dialog has then ended.
    bool close_request();

    // Releases the main dialog, destroys the preview canvas, then the library canvas, and gives up the
    // single-instance lock. Safe on every path and more than once.
    void shut_down();

    AppContext& context() { return ctx_; }
    CanvasWindow* preview_canvas() { return preview_canvas_.get(); }
    CanvasWindow* library_canvas() { return library_canvas_.get(); }
    MainDialog* main_dialog() { return main_dialog_.get(); }
    Autosaver* autosaver() { return autosaver_.get(); }
    CollectionWindow* collection_window() { return collection_window_.get(); }
    // Where the collection window's index comes from; the database in the cache folder unless set before
    // start().
    void set_index_opener(IndexOpener opener) { index_opener_ = std::move(opener); }
    bool dialog_ended() const { return dialog_ended_; }

  private:
    bool choose_library_path(std::string& path);
    bool read_library_file(const std::string& path);
    void create_canvases();
    // A recovery file left by a run that did not end cleanly: offered back, or kept aside.
    void offer_recovery();
    void create_collection_window();

    AppContext ctx_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<CanvasWindow> preview_canvas_;
    std::unique_ptr<CanvasWindow> library_canvas_;
    std::unique_ptr<MainDialog> main_dialog_;
    std::unique_ptr<Autosaver> autosaver_;
    std::unique_ptr<CollectionWindow> collection_window_;
    IndexOpener index_opener_;
    bool dialog_ended_ = false;
    StartupEnvironment environment_;
};

}  // namespace glyphora
