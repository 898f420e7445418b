#pragma once
// The AA collection window: the folders and ZIP files of template AAs the user owns, indexed in the
// background, searched as the user types and shown as thumbnails drawn like the canvases draw. A double
// click or Enter puts an AA into the current preview page, a drag puts it onto either canvas at the drop
// point; a star marks favourites, and the AAs used last are listed. A top-level window of its own, which
// remembers whether it was open, where, its folders and its zoom.

#include <QListView>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "browser/collection_models.h"
#include "browser/index_thread.h"
#include "collection/collection_index.h"
#include "model/side.h"
#include "session/app_context.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QTreeView;

namespace glyphora {

class CanvasWindow;

inline constexpr const char* kCollectionWindowTitle = "AAコレクション － Glyphora";
inline constexpr const char* kCollectionRebuiltMessage =
    "AAコレクションの索引が壊れているか古い形式だったため、作り直しました。\nフォルダを読み直します。";
inline constexpr const char* kCollectionOpenFailedMessage = "AAコレクションの索引を開けません\n";
inline constexpr const char* kCollectionScanFailedMessage = "AAコレクションを読み込めませんでした\n";
inline constexpr const char* kAaUnreadableMessage = "このAAを読み込めません\n";
inline constexpr const char* kAddFolderTitle = "AAコレクションに加えるフォルダ";
inline constexpr const char* kRemoveFolderQuestion =
    "このフォルダをAAコレクションから外しますか？\n（ファイルはそのまま残ります）";
inline constexpr std::string_view kZipFilter = "ZIPファイル(zip)|*.zip|all files|*.*||";
inline constexpr const char* kMarksFileName = "collection-marks.txt";

// Search results shown at most.
constexpr int kSearchLimit = 1000;
constexpr int kMinimumZoom = 48;
constexpr int kMaximumZoom = 400;

// The thumbnails, with a drag of its own: the pointer stays with the view while the button is held, and
// the AA lands on whatever window is under the pointer when it is released (QDrag would need a drag
// protocol between two windows of the same program).
class AaListView : public QListView {
    Q_OBJECT

  public:
    explicit AaListView(QWidget* parent = nullptr);

  Q_SIGNALS:
    void dropped(const QModelIndex& index, const QPoint& global_position);
    // Enter (Shift+Enter: the library) and the double click.
    void insert_requested(const QModelIndex& index, Side side);
    void favourite_requested(const QModelIndex& index);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPoint press_position_;
    QPersistentModelIndex press_index_;
    bool dragging_ = false;
};

class CollectionWindow : public QWidget {
    Q_OBJECT

  public:
    CollectionWindow(AppContext& context, CanvasWindow& preview_canvas, CanvasWindow& library_canvas,
                     IndexOpener opener = default_index_opener());
    ~CollectionWindow() override;

    // At start-up: the stored placement and zoom, and the window shown again when it was open at the end
    // of the last run.
    void restore();
    // Shows the window in front with the search box focused; the first time, the index is opened and
    // brought up to date in the background.
    void open_window();

    // What the user does, for the keys and buttons and for tests.
    void add_folder();
    void add_zip();
    void add_root(const std::string& path);
    void remove_current_root();
    void rescan();
    void cancel_scan();
    // Inserts the AA of a list row into the current page of side (at a point, or at a free spot).
    bool insert(const QModelIndex& row, Side side, std::optional<Point> at = std::nullopt);
    void toggle_favourite(const QModelIndex& row);
    void set_zoom(int cell);

    bool scanning() const { return scanning_; }
    // Typed, and its results not shown yet.
    bool search_pending() const { return search_pending_; }
    const collection::ScanResult& last_scan() const { return last_scan_; }
    collection::CollectionIndex* index() { return index_.get(); }
    collection::UserMarks& marks() { return *marks_; }
    CollectionTreeModel* tree_model() { return tree_model_; }
    AaListModel* list_model() { return list_model_; }
    QTreeView* tree_view() { return tree_; }
    AaListView* list_view() { return list_; }
    QLineEdit* search_box() { return search_; }
    QSlider* zoom_slider() { return zoom_; }
    QProgressBar* progress_bar() { return progress_; }
    QLabel* status_label() { return status_; }
    int zoom() const { return cell_; }

  Q_SIGNALS:
    void scan_finished();
    void results_shown();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    bool open_index();
    void sync_roots();
    void store_roots();
    void start_scan();
    void scan_done(const collection::ScanResult& result);
    void show_progress();
    // Runs now, or once the running scan has stopped (it is asked to stop): the index's roots change only
    // while no scan walks them.
    void when_idle(std::function<void()> action);

    void tree_row_chosen(const QModelIndex& row);
    void show_file(std::int64_t file_id);
    void show_marks(const std::vector<collection::AaKey>& keys);
    void show_again();
    void search_now();
    void show_items(std::vector<ShownAa> items, const QString& what);
    void current_changed();
    void request_thumbnail(const collection::AaInfo& aa);
    void drop(const QModelIndex& row, const QPoint& global_position);
    void save_marks();
    void store_state();

    AppContext& ctx_;
    CanvasWindow& preview_canvas_;
    CanvasWindow& library_canvas_;
    IndexOpener opener_;
    std::unique_ptr<collection::CollectionIndex> index_;  // the UI thread's connection
    bool open_tried_ = false;
    std::unique_ptr<IndexThread> queries_;
    std::unique_ptr<IndexThread> thumbnails_;
    std::unique_ptr<collection::UserMarks> marks_;

    // The scan runs on a thread of its own with a connection of its own.
    std::thread scan_thread_;
    std::unique_ptr<collection::ScanProgress> scan_progress_;
    bool scanning_ = false;
    bool rescan_wanted_ = false;
    std::vector<std::function<void()>> after_scan_;
    collection::ScanResult last_scan_;
    int ticks_ = 0;

    enum class Shown { nothing, file, search, favourites, recent };
    Shown shown_ = Shown::nothing;
    std::int64_t shown_file_ = 0;
    std::uint64_t search_generation_ = 0;
    bool search_pending_ = false;            // typed, results not shown yet
    std::optional<Side> insert_on_results_;  // Enter came before the results

    int cell_ = 128;
    bool restored_ = false;
    struct ThumbnailFont;
    std::shared_ptr<ThumbnailFont> thumbnail_font_;  // used on the thumbnail thread only

    CollectionTreeModel* tree_model_ = nullptr;
    AaListModel* list_model_ = nullptr;
    QTreeView* tree_ = nullptr;
    AaListView* list_ = nullptr;
    QLineEdit* search_ = nullptr;
    QSlider* zoom_ = nullptr;
    QToolButton* star_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* remove_ = nullptr;
    QTimer* search_timer_ = nullptr;
    QTimer* progress_timer_ = nullptr;
    QTimer* store_timer_ = nullptr;
};

// Ctrl+Shift+A in window opens the collection window.
void install_collection_shortcut(QWidget* window, std::function<void()> open);

}  // namespace glyphora
