#pragma once
// The main dialog: the preview and library lists of the current pages with every command button, the page
// scroll bar and the library page combo. The lists mirror the model (every row and row selection is rebuilt
// from the slots); the two canvases are kept in step with it.

#include <QDialog>

#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "session/app_context.h"
#include "settings/settings.h"

class QComboBox;
class QLabel;
class QListWidget;
class QScrollBar;

namespace glyphora {

class CanvasWindow;

inline constexpr const char* kMainDialogTitle = "Glyphora";

// The control ids of the dialog template.
namespace control_id {
inline constexpr int kVersion = 1072;
inline constexpr int kLoad = 1005;
inline constexpr int kSave = 1006;
inline constexpr int kRender = 1014;
inline constexpr int kRenderPage = 1057;
inline constexpr int kTool = 1044;
inline constexpr int kOptions = 1015;
inline constexpr int kUndo = 1040;
inline constexpr int kExit = 2;
inline constexpr int kPreviewList = 1001;
inline constexpr int kPreviewCut = 1002;
inline constexpr int kPreviewCopy = 1003;
inline constexpr int kPreviewPaste = 1004;
inline constexpr int kPreviewDetail = 1011;
inline constexpr int kPreviewRegister = 1027;
inline constexpr int kMoveUp = 1007;
inline constexpr int kMoveLeft = 1010;
inline constexpr int kMoveRight = 1009;
inline constexpr int kMoveDown = 1008;
inline constexpr int kPreviewRowUp = 1012;
inline constexpr int kPreviewRowDown = 1013;
inline constexpr int kCopyFromLibrary = 1039;
inline constexpr int kLibraryList = 1016;
inline constexpr int kLibraryCut = 1017;
inline constexpr int kLibraryCopy = 1018;
inline constexpr int kLibraryPaste = 1019;
inline constexpr int kLibraryDetail = 1026;
inline constexpr int kLibraryRegister = 1028;
inline constexpr int kLibraryRowUp = 1024;
inline constexpr int kLibraryRowDown = 1025;
inline constexpr int kPageLabel = 1054;
inline constexpr int kPageScroll = 1052;
inline constexpr int kLibraryPageCombo = 1035;
inline constexpr int kLibraryPageName = 1036;
}  // namespace control_id

// What the page scroll bar reports.
enum class PageScroll {
    line_left,
    line_right,
    page_left,
    page_right,
    thumb_position,
    thumb_track,
    left_end,
    right_end,
    end_scroll,
};

// The page scroll bar's answer to a key while it has the focus: the arrows step one page, PageUp and
// PageDown ten, Home and End go to the first and the last page.
std::optional<PageScroll> page_scroll_key(int key);

class MainDialog : public QDialog {
    Q_OBJECT

  public:
    // Reads the stored placement; the font point size comes from totalfontsize.
    MainDialog(AppContext& context, CanvasWindow& preview_canvas, CanvasWindow& library_canvas);
    ~MainDialog() override;

    // Fills the lists, the combo and the page label and shows the dialog (at its stored position when one
    // was stored). Called once, before the dialog is first shown.
    void initialise();

    // Rebuilds the lists of these sides from the model.
    void refresh_lists(Sides sides);
    // What AppContext::changed does: the lists and the canvases of these sides show the model again.
    void show_changes(Sides sides);
    void fill_page_combo();
    // Shows the current preview page index in the page label.
    void write_page_label();

    // A page scroll bar event; thumb is the thumb position for the thumb events.
    void page_scroll(PageScroll action, int thumb = 0);
    // The user picked a row of the library page combo (also the row of the current page).
    void library_page_chosen(int row);

    void run_about();

    // Opens the AA collection window, which the program installs (the dialog does not know it).
    void set_collection_command(std::function<void()> command) { collection_command_ = std::move(command); }
    void open_collection() {
        if (collection_command_) collection_command_();
    }

    // Enables the button `id` and runs `command` when it is clicked. The command groups install their
    // buttons through this (see command_groups.h).
    void set_command(int id, std::function<void()> command);

    // "←" and "→" render a temporary rendering shown on the preview canvas again, from the moved parts
    // (the repeat mode of the canvas's temporary rendering). The canvas popup commands install it; while
    // none is installed those moves end the temporary display and redraw the page.
    void set_temporary_rendering_repeat(std::function<void()> repeat) {
        temporary_rendering_repeat_ = std::move(repeat);
    }
    const std::function<void()>& temporary_rendering_repeat() const { return temporary_rendering_repeat_; }

    CanvasWindow& preview_canvas() { return preview_canvas_; }
    CanvasWindow& library_canvas() { return library_canvas_; }
    AppContext& context() { return ctx_; }

    // The title: "Glyphora", or "Glyphora - " and the path after a collection was loaded or saved, with
    // " *" while the preview holds changes that are not saved.
    void set_collection_title(const std::string& path);
    void update_title();

    // Ends the dialog once a close request was confirmed.
    void end_dialog();

    QWidget* control(int id) const;
    QListWidget* preview_list() const { return preview_list_; }
    QListWidget* library_list() const { return library_list_; }
    QScrollBar* page_scroll_bar() const { return page_scroll_bar_; }
    QLabel* page_label() const { return page_label_; }
    QComboBox* library_combo() const { return library_combo_; }
    const DialogPlacement& stored_placement() const { return placement_; }

  Q_SIGNALS:
    // "終了", the close box and Escape: the application decides whether the dialog ends.
    void close_requested();
    void ended();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void build_controls();
    void list_selection_changed(Side side);
    void fill_list(QListWidget* list, Page& page);
    // Keys of the dialog and its controls, target being the control that has the focus.
    bool handle_key(QWidget* target, QKeyEvent* event);
    void set_space_held(bool held);
    void store_placement();

    AppContext& ctx_;
    CanvasWindow& preview_canvas_;
    CanvasWindow& library_canvas_;
    DialogPlacement placement_;
    std::map<int, QWidget*> controls_;
    QListWidget* preview_list_ = nullptr;
    QListWidget* library_list_ = nullptr;
    QScrollBar* page_scroll_bar_ = nullptr;
    QLabel* page_label_ = nullptr;
    QComboBox* library_combo_ = nullptr;
    QLabel* version_label_ = nullptr;
    std::function<void()> temporary_rendering_repeat_;
    std::function<void()> collection_command_;
    bool filling_lists_ = false;   // the lists are being rebuilt: their selection signals are ours
    bool tracking_moves_ = false;  // moves are stored once the dialog has been placed
    QRect last_stored_frame_;
    QString title_;  // the title without the modified mark
};

}  // namespace glyphora
