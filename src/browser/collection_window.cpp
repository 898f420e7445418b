#include "browser/collection_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "browser/aa_insertion.h"
#include "browser/aa_thumbnail.h"
#include "canvas/canvas_window.h"
#include "canvas/glyph_font.h"
#include "session/messages.h"

namespace glyphora {

namespace {

constexpr int kSearchDelayMs = 150;
constexpr int kProgressTickMs = 200;
constexpr int kTreeRefreshTicks = 10;  // the tree shows what is indexed so far every two seconds
constexpr int kStoreDelayMs = 400;
constexpr std::size_t kQueuedThumbnails = 128;
constexpr int kCellMargin = 4;

QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

collection::AaKey key_of(const ShownAa& shown) {
    return {shown.location, shown.aa.ordinal, shown.aa.hash};
}

// A thumbnail cell: the picture centred above its caption, a star on favourites.
class AaDelegate : public QStyledItemDelegate {
  public:
    AaDelegate(const int& cell, QObject* parent) : QStyledItemDelegate(parent), cell_(cell) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(cell_ + 2 * kCellMargin, cell_ + option.fontMetrics.height() + 3 * kCellMargin);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // The whole cell shows the selection: the style would mark only the caption of an icon view's item.
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        if (option.state & QStyle::State_HasFocus) {
            QPen focus(option.palette.color(group, QPalette::Highlight).darker(150));
            focus.setStyle(Qt::DotLine);
            painter->save();
            painter->setPen(focus);
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }

        const QRect inner = option.rect.adjusted(kCellMargin, kCellMargin, -kCellMargin, -kCellMargin);
        const int caption_height = option.fontMetrics.height();
        const QRect picture(inner.left(), inner.top(), inner.width(),
                            inner.height() - caption_height - kCellMargin);
        painter->save();
        const QVariant decoration = index.data(Qt::DecorationRole);
        const int state = index.data(AaListModel::kThumbnailStateRole).toInt();
        if (decoration.canConvert<QImage>() && !decoration.value<QImage>().isNull()) {
            const QImage image = decoration.value<QImage>();
            const QSize size = image.size().boundedTo(picture.size());
            const QRect target(picture.left() + (picture.width() - size.width()) / 2,
                               picture.top() + (picture.height() - size.height()) / 2, size.width(),
                               size.height());
            painter->drawImage(target, image);
        } else {
            painter->fillRect(picture, QColor(232, 232, 232));
            if (state == 2) {
                painter->setPen(Qt::darkRed);
                painter->drawText(picture, Qt::AlignCenter, QString::fromUtf8("読めません"));
            }
        }
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect caption(inner.left(), inner.bottom() - caption_height, inner.width(), caption_height);
        painter->drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter,
                          option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, caption.width()));
        if (index.data(AaListModel::kFavouriteRole).toBool()) {
            painter->setPen(QColor(224, 160, 0));
            painter->drawText(picture.adjusted(0, 0, -2, 0), Qt::AlignTop | Qt::AlignRight,
                              QString::fromUtf8("★"));
        }
        painter->restore();
    }

  private:
    const int& cell_;
};

}  // namespace

// --- The view

AaListView::AaListView(QWidget* parent) : QListView(parent) {
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
}

void AaListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        press_position_ = event->position().toPoint();
        press_index_ = indexAt(press_position_);
        dragging_ = false;
    }
    QListView::mousePressEvent(event);
}

void AaListView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && press_index_.isValid()) {
        if (!dragging_ && (event->position().toPoint() - press_position_).manhattanLength() >=
                              QApplication::startDragDistance()) {
            dragging_ = true;
            viewport()->setCursor(Qt::DragCopyCursor);
        }
        if (dragging_) return;
    }
    QListView::mouseMoveEvent(event);
}

void AaListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        viewport()->unsetCursor();
        const QPersistentModelIndex index = press_index_;
        press_index_ = QPersistentModelIndex();
        if (index.isValid()) Q_EMIT dropped(index, event->globalPosition().toPoint());
        return;
    }
    press_index_ = QPersistentModelIndex();
    QListView::mouseReleaseEvent(event);
}

void AaListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        Q_EMIT insert_requested(index, Side::preview);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void AaListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid()) {
        Q_EMIT insert_requested(
            currentIndex(), event->modifiers().testFlag(Qt::ShiftModifier) ? Side::library : Side::preview);
        return;
    }
    const bool star = event->key() == Qt::Key_Asterisk ||
                      (event->key() == Qt::Key_D && event->modifiers().testFlag(Qt::ControlModifier));
    if (star && currentIndex().isValid()) {
        Q_EMIT favourite_requested(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

// --- The window

struct CollectionWindow::ThumbnailFont {
    std::unique_ptr<GlyphFont> font;
};

CollectionWindow::CollectionWindow(AppContext& context, CanvasWindow& preview_canvas,
                                   CanvasWindow& library_canvas, IndexOpener opener)
    : QWidget(nullptr, Qt::Window),
      ctx_(context),
      preview_canvas_(preview_canvas),
      library_canvas_(library_canvas),
      opener_(std::move(opener)),
      thumbnail_font_(std::make_shared<ThumbnailFont>()) {
    setWindowTitle(QString::fromUtf8(kCollectionWindowTitle));
    setObjectName(QStringLiteral("collection_window"));
    marks_ = std::make_unique<collection::UserMarks>(ctx_.program_directory + kMarksFileName);
    std::string error;
    marks_->load(error);  // what cannot be read starts empty; the status line says why
    build();
    if (!error.empty()) status_->setText(from_utf8(error));
}

CollectionWindow::~CollectionWindow() {
    if (scan_progress_) scan_progress_->cancel = true;
    if (scan_thread_.joinable()) scan_thread_.join();
    queries_.reset();
    thumbnails_.reset();
}

void CollectionWindow::build() {
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("collection_search"));
    search_->setPlaceholderText(QString::fromUtf8("検索（スペースで区切った語すべてに一致）"));
    search_->setClearButtonEnabled(true);
    search_->installEventFilter(this);
    top->addWidget(search_, 1);
    star_ = new QToolButton(this);
    star_->setObjectName(QStringLiteral("collection_star"));
    star_->setText(QString::fromUtf8("☆"));
    star_->setToolTip(QString::fromUtf8("お気に入り (Ctrl+D)"));
    star_->setCheckable(true);
    top->addWidget(star_);
    auto* zoom_label = new QLabel(QString::fromUtf8("大きさ"), this);
    top->addWidget(zoom_label);
    zoom_ = new QSlider(Qt::Horizontal, this);
    zoom_->setObjectName(QStringLiteral("collection_zoom"));
    zoom_->setRange(kMinimumZoom, kMaximumZoom);
    zoom_->setSingleStep(8);
    zoom_->setPageStep(32);
    zoom_->setValue(cell_);
    zoom_->setFixedWidth(140);
    zoom_label->setBuddy(zoom_);
    top->addWidget(zoom_);
    layout->addLayout(top);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(splitter);
    auto* left_layout = new QVBoxLayout(left);
    left_layout->setContentsMargins(0, 0, 0, 0);
    tree_ = new QTreeView(left);
    tree_->setObjectName(QStringLiteral("collection_tree"));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->installEventFilter(this);
    tree_model_ = new CollectionTreeModel(this);
    tree_->setModel(tree_model_);
    left_layout->addWidget(tree_, 1);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QString::fromUtf8("フォルダを追加"), left);
    add->setObjectName(QStringLiteral("collection_add_folder"));
    auto* add_zip_button = new QPushButton(QString::fromUtf8("ZIPを追加"), left);
    add_zip_button->setObjectName(QStringLiteral("collection_add_zip"));
    remove_ = new QPushButton(QString::fromUtf8("外す"), left);
    remove_->setObjectName(QStringLiteral("collection_remove"));
    remove_->setEnabled(false);
    for (QPushButton* b : {add, add_zip_button, remove_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    left_layout->addLayout(buttons);

    auto* right = new QWidget(splitter);
    auto* right_layout = new QVBoxLayout(right);
    right_layout->setContentsMargins(0, 0, 0, 0);
    list_ = new AaListView(right);
    list_->setObjectName(QStringLiteral("collection_results"));
    list_model_ = new AaListModel(this);
    list_->setModel(list_model_);
    list_->setItemDelegate(new AaDelegate(cell_, list_));
    right_layout->addWidget(list_, 1);
    detail_ = new QLabel(right);
    detail_->setObjectName(QStringLiteral("collection_detail"));
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail_->setWordWrap(true);
    right_layout->addWidget(detail_);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);

    auto* bottom = new QHBoxLayout;
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("collection_status"));
    bottom->addWidget(status_, 1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("collection_progress"));
    progress_->setVisible(false);
    bottom->addWidget(progress_, 1);
    cancel_ = new QPushButton(QString::fromUtf8("中止"), this);
    cancel_->setObjectName(QStringLiteral("collection_cancel"));
    cancel_->setAutoDefault(false);
    cancel_->setVisible(false);
    bottom->addWidget(cancel_);
    layout->addLayout(bottom);

    setTabOrder(search_, list_);
    setTabOrder(list_, tree_);
    setTabOrder(tree_, add);
    setTabOrder(add, add_zip_button);
    setTabOrder(add_zip_button, remove_);
    setTabOrder(remove_, star_);
    setTabOrder(star_, zoom_);

    search_timer_ = new QTimer(this);
    search_timer_->setSingleShot(true);
    search_timer_->setInterval(kSearchDelayMs);
    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(kProgressTickMs);
    store_timer_ = new QTimer(this);
    store_timer_->setSingleShot(true);
    store_timer_->setInterval(kStoreDelayMs);

    connect(search_, &QLineEdit::textChanged, this, [this] {
        search_pending_ = true;
        insert_on_results_.reset();
        search_timer_->start();
    });
    connect(search_timer_, &QTimer::timeout, this, &CollectionWindow::search_now);
    connect(progress_timer_, &QTimer::timeout, this, &CollectionWindow::show_progress);
    connect(store_timer_, &QTimer::timeout, this, &CollectionWindow::store_state);
    connect(add, &QPushButton::clicked, this, &CollectionWindow::add_folder);
    connect(add_zip_button, &QPushButton::clicked, this, &CollectionWindow::add_zip);
    connect(remove_, &QPushButton::clicked, this, &CollectionWindow::remove_current_root);
    connect(cancel_, &QPushButton::clicked, this, &CollectionWindow::cancel_scan);
    connect(zoom_, &QSlider::valueChanged, this, &CollectionWindow::set_zoom);
    connect(star_, &QToolButton::clicked, this, [this] { toggle_favourite(list_->currentIndex()); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { tree_row_chosen(current); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CollectionWindow::current_changed);
    connect(list_model_, &QAbstractItemModel::modelReset, this, &CollectionWindow::current_changed);
    connect(list_, &AaListView::insert_requested, this,
            [this](const QModelIndex& row, Side side) { insert(row, side); });
    connect(list_, &AaListView::favourite_requested, this, &CollectionWindow::toggle_favourite);
    connect(list_, &AaListView::dropped, this, &CollectionWindow::drop);

    list_model_->set_thumbnail_request([this](const collection::AaInfo& aa) { request_thumbnail(aa); });
    list_model_->set_favourite_test(
        [this](const ShownAa& shown) { return marks_->is_favourite(key_of(shown)); });

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    install_collection_shortcut(this, [this] { open_window(); });
    set_zoom(cell_);
}

void CollectionWindow::restore() {
    const CollectionWindowSettings stored = read_collection_window(ctx_.file());
    move(stored.x, stored.y);
    resize(std::max(200, stored.cx), std::max(150, stored.cy));
    zoom_->setValue(std::clamp(stored.zoom, kMinimumZoom, kMaximumZoom));
    set_zoom(zoom_->value());
    restored_ = true;
    if (stored.open) open_window();
}

void CollectionWindow::open_window() {
    restored_ = true;
    const bool first = !open_tried_;
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    search_->setFocus(Qt::OtherFocusReason);
    write_collection_open(ctx_.file(), true);  // a failed write only forgets that it was open
    if (first && open_index()) start_scan();
}

bool CollectionWindow::open_index() {
    open_tried_ = true;
    std::string error;
    bool rebuilt = false;
    index_ = opener_(error, &rebuilt);
    if (!index_) {
        status_->setText(QString::fromUtf8(kCollectionOpenFailedMessage) + from_utf8(error));
        ctx_.ui.show_message(this, kCollectionOpenFailedMessage + error);
        return false;
    }
    if (rebuilt) ctx_.ui.show_message(this, kCollectionRebuiltMessage);
    sync_roots();
    queries_ = std::make_unique<IndexThread>(opener_);
    thumbnails_ = std::make_unique<IndexThread>(opener_);
    tree_model_->set_index(index_.get());
    return true;
}

void CollectionWindow::sync_roots() {
    // The settings keep the folders, the index is a cache: a rebuilt or deleted one gets them back. Roots
    // the command line added stay, and are stored with the others.
    const std::vector<std::string> indexed = index_->roots();
    for (const std::string& folder : read_collection_window(ctx_.file()).folders) {
        if (std::find(indexed.begin(), indexed.end(), folder) != indexed.end()) continue;
        std::string error;
        if (!index_->add_root(folder, error)) status_->setText(from_utf8(folder + ": " + error));
    }
    store_roots();
}

void CollectionWindow::store_roots() {
    if (index_) write_collection_folders(ctx_.file(), index_->roots());
}

// --- Scanning

void CollectionWindow::start_scan() {
    if (!index_) return;
    if (scanning_) {
        rescan_wanted_ = true;
        return;
    }
    scanning_ = true;
    ticks_ = 0;
    scan_progress_ = std::make_unique<collection::ScanProgress>();
    collection::ScanProgress* progress = scan_progress_.get();
    progress_->setRange(0, 0);
    progress_->setVisible(true);
    cancel_->setVisible(true);
    status_->setText(QString::fromUtf8("AAコレクションを読み込み中…"));
    progress_timer_->start();
    // AAs are measured as the canvases measure them; the table is built here, on the UI thread, and only
    // read on the scan's.
    const CharWidthTable* widths = ctx_.ensure_width_table() ? ctx_.widths.get() : nullptr;
    scan_thread_ = std::thread([this, progress, widths, opener = opener_] {
        collection::ScanResult result;
        std::string error;
        std::unique_ptr<collection::CollectionIndex> index = opener(error, nullptr);
        if (!index) {
            result.error = error;
        } else {
            index->set_widths(widths);
            try {
                result = index->scan(*progress);
            } catch (...) {
                result = {};
                result.error = "out of memory";
            }
        }
        QMetaObject::invokeMethod(
            this, [this, result] { scan_done(result); }, Qt::QueuedConnection);
    });
}

void CollectionWindow::show_progress() {
    if (!scan_progress_) return;
    const collection::ScanProgress& p = *scan_progress_;
    const auto total = p.files_total.load();
    const auto done = p.files_done.load();
    if (total > 0) {
        // The bar counts in thousandths, so that any number of files fits its int range.
        progress_->setRange(0, 1000);
        progress_->setValue(static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / total)));
    }
    status_->setText(
        QString::fromUtf8("読み込み中: %1 / %2 ファイル, %3 AA").arg(done).arg(total).arg(p.aas.load()));
    if (++ticks_ % kTreeRefreshTicks == 0) tree_model_->refresh();
}

void CollectionWindow::scan_done(const collection::ScanResult& result) {
    if (scan_thread_.joinable()) scan_thread_.join();
    scanning_ = false;
    progress_timer_->stop();
    progress_->setVisible(false);
    cancel_->setVisible(false);
    scan_progress_.reset();
    last_scan_ = result;
    if (result.ok || result.cancelled) {
        QString text = result.cancelled ? QString::fromUtf8("中止しました: ") : QString();
        text += QString::fromUtf8("読み込み %1, 変更なし %2, 削除 %3, 読めない %4 ファイル")
                    .arg(result.files_read)
                    .arg(result.files_unchanged)
                    .arg(result.files_removed)
                    .arg(result.files_failed);
        status_->setText(text);
    } else {
        status_->setText(QString::fromUtf8(kCollectionScanFailedMessage) + from_utf8(result.error));
    }
    tree_model_->refresh();
    show_again();
    std::vector<std::function<void()>> actions;
    actions.swap(after_scan_);
    for (auto& action : actions) action();
    if (!result.ok && !result.cancelled && actions.empty())
        ctx_.ui.show_message(this, kCollectionScanFailedMessage + result.error);
    if (rescan_wanted_ && !scanning_) {
        rescan_wanted_ = false;
        start_scan();
    }
    Q_EMIT scan_finished();
}

void CollectionWindow::cancel_scan() {
    if (scan_progress_) scan_progress_->cancel = true;
}

void CollectionWindow::rescan() {
    start_scan();
}

void CollectionWindow::when_idle(std::function<void()> action) {
    if (!scanning_) {
        action();
        return;
    }
    after_scan_.push_back(std::move(action));
    cancel_scan();
}

// --- Folders

void CollectionWindow::add_folder() {
    const std::optional<std::string> folder = ctx_.ui.choose_folder(this, kAddFolderTitle, {});
    if (folder && !folder->empty()) add_root(*folder);
}

void CollectionWindow::add_zip() {
    FileDialogRequest request;
    request.filter = std::string(kZipFilter);
    request.proposed_name = "*.zip";
    const std::optional<std::string> zip = ctx_.ui.open_file(this, request);
    if (zip && !zip->empty()) add_root(*zip);
}

void CollectionWindow::add_root(const std::string& path) {
    if (!index_ && !open_tried_) open_index();
    if (!index_) return;
    when_idle([this, path] {
        std::string error;
        if (!index_->add_root(path, error)) {
            ctx_.ui.show_message(this, error);
            return;
        }
        store_roots();
        tree_model_->refresh();
        rescan_wanted_ = false;
        start_scan();
    });
}

void CollectionWindow::remove_current_root() {
    const collection::TreeNode* node = tree_model_->node(tree_->currentIndex());
    if (!index_ || !node || node->kind != collection::TreeNode::Kind::root) return;
    if (!ctx_.ui.ask_yes_no(this, kRemoveFolderQuestion, kMessageCaption, DefaultAnswer::no)) return;
    const std::string path = node->location;
    when_idle([this, path] {
        std::string error;
        if (!index_->remove_root(path, error)) {
            ctx_.ui.show_message(this, error);
            return;
        }
        store_roots();
        tree_model_->refresh();
        if (shown_ == Shown::file) show_items({}, {});
        show_again();
    });
}

// --- What the list shows

void CollectionWindow::tree_row_chosen(const QModelIndex& row) {
    const collection::TreeNode* node = tree_model_->node(row);
    remove_->setEnabled(node && node->kind == collection::TreeNode::Kind::root);
    if (!index_ || !row.isValid()) return;
    // The tree replaces a search on display.
    if (!search_->text().isEmpty()) {
        const QSignalBlocker quiet(search_);
        search_->clear();
        search_timer_->stop();
        ++search_generation_;
    }
    switch (tree_model_->kind(row)) {
        case TreeRowKind::favourites:
            shown_ = Shown::favourites;
            show_marks(marks_->favourites());
            return;
        case TreeRowKind::recent:
            shown_ = Shown::recent;
            show_marks(marks_->recent());
            return;
        case TreeRowKind::file:
            if (node) show_file(node->file_id);
            return;
        default:
            return;
    }
}

void CollectionWindow::show_file(std::int64_t file_id) {
    shown_ = Shown::file;
    shown_file_ = file_id;
    const std::string location = index_->location_of_file(file_id);
    std::vector<ShownAa> items;
    for (collection::AaInfo& aa : index_->aas_of_file(file_id))
        items.push_back({std::move(aa), location, {}});
    const QString what = from_utf8(location);
    show_items(std::move(items), what);
}

void CollectionWindow::show_marks(const std::vector<collection::AaKey>& keys) {
    std::vector<ShownAa> items;
    for (const collection::AaKey& key : keys) {
        // At its place, or a copy elsewhere when its file changed around it; gone ones are left out.
        std::optional<collection::AaInfo> aa = index_->find(key);
        if (!aa) continue;
        std::string location = aa->hash == key.hash && key.ordinal == aa->ordinal
                                   ? key.location
                                   : index_->location_of_file(aa->file_id);
        items.push_back({std::move(*aa), std::move(location), {}});
    }
    show_items(std::move(items), {});
}

void CollectionWindow::show_again() {
    if (!index_) return;
    const int scrolled = list_->verticalScrollBar() ? list_->verticalScrollBar()->value() : 0;
    const int current = list_->currentIndex().row();
    switch (shown_) {
        case Shown::file: {
            // A file read anew has new AA rows; a file that is gone shows nothing.
            const QModelIndex row = tree_->currentIndex();
            const collection::TreeNode* node = tree_model_->node(row);
            if (node && node->kind == collection::TreeNode::Kind::file) {
                show_file(node->file_id);
            } else {
                show_items({}, {});
            }
            break;
        }
        case Shown::search:
            search_now();
            return;
        case Shown::favourites:
            show_marks(marks_->favourites());
            break;
        case Shown::recent:
            show_marks(marks_->recent());
            break;
        case Shown::nothing:
            return;
    }
    if (current >= 0 && current < list_model_->rowCount())
        list_->setCurrentIndex(list_model_->index(current));
    if (list_->verticalScrollBar()) list_->verticalScrollBar()->setValue(scrolled);
}

void CollectionWindow::search_now() {
    search_timer_->stop();
    const std::string words = search_->text().trimmed().toStdString();
    const std::uint64_t generation = ++search_generation_;
    if (words.empty()) {
        search_pending_ = false;
        if (shown_ == Shown::search) {
            shown_ = Shown::nothing;
            show_items({}, {});
            tree_row_chosen(tree_->currentIndex());
        }
        return;
    }
    shown_ = Shown::search;
    if (!queries_) {
        search_pending_ = false;
        insert_on_results_.reset();
        return;
    }
    search_pending_ = true;
    status_->setText(QString::fromUtf8("検索中…"));
    queries_->replace({[this, words, generation](collection::CollectionIndex* index) {
                           std::vector<collection::SearchHit> hits;
                           if (index) hits = index->search(words, kSearchLimit);
                           QMetaObject::invokeMethod(
                               this,
                               [this, generation, hits = std::move(hits)]() mutable {
                                   if (generation != search_generation_) return;  // typed on since
                                   std::vector<ShownAa> items;
                                   items.reserve(hits.size());
                                   for (collection::SearchHit& hit : hits)
                                       items.push_back({std::move(hit.aa), std::move(hit.location),
                                                        std::move(hit.also_in)});
                                   const QString what = items.size() >= static_cast<std::size_t>(kSearchLimit)
                                                            ? QString::fromUtf8("%1 件以上").arg(items.size())
                                                            : QString::fromUtf8("%1 件").arg(items.size());
                                   search_pending_ = false;
                                   show_items(std::move(items), what);
                                   if (insert_on_results_ && list_->currentIndex().isValid())
                                       insert(list_->currentIndex(), *insert_on_results_);
                                   insert_on_results_.reset();
                               },
                               Qt::QueuedConnection);
                       },
                       {}});
}

void CollectionWindow::show_items(std::vector<ShownAa> items, const QString& what) {
    if (thumbnails_) thumbnails_->clear();
    list_model_->set_items(std::move(items));
    if (list_model_->rowCount() > 0) list_->setCurrentIndex(list_model_->index(0));
    if (!scanning_ && !what.isEmpty()) status_->setText(what);
    Q_EMIT results_shown();
}

void CollectionWindow::current_changed() {
    const ShownAa* shown = list_model_->item(list_->currentIndex());
    detail_->setText(shown ? from_utf8(aa_details(*shown)).replace(QLatin1Char('\n'), QStringLiteral("  "))
                           : QString());
    const bool favourite = shown && marks_->is_favourite(key_of(*shown));
    star_->setChecked(favourite);
    star_->setText(QString::fromUtf8(favourite ? "★" : "☆"));
    star_->setEnabled(shown != nullptr);
}

// --- Thumbnails

void CollectionWindow::set_zoom(int cell) {
    cell = std::clamp(cell, kMinimumZoom, kMaximumZoom);
    if (zoom_->value() != cell) zoom_->setValue(cell);  // comes back here
    const bool changed = cell != cell_;
    cell_ = cell;
    list_->setGridSize(
        QSize(cell_ + 2 * kCellMargin, cell_ + list_->fontMetrics().height() + 3 * kCellMargin));
    if (changed) {
        if (thumbnails_) thumbnails_->clear();
        list_model_->clear_thumbnails();
        if (restored_) store_timer_->start();
    }
}

void CollectionWindow::request_thumbnail(const collection::AaInfo& aa) {
    if (!thumbnails_ || !ctx_.ensure_width_table()) {
        // Without measured widths nothing can be drawn; the cell says so.
        QMetaObject::invokeMethod(
            list_model_, [model = list_model_, id = aa.id] { model->thumbnail_ready(id, QImage()); },
            Qt::QueuedConnection);
        return;
    }
    const int cell = cell_;
    const CharWidthTable* widths = ctx_.widths.get();
    const std::string face = ctx_.settings.fontface;
    const int point = ctx_.settings.fontpoint;
    std::shared_ptr<ThumbnailFont> font = thumbnail_font_;
    AaListModel* model = list_model_;
    thumbnails_->post_first(
        {[aa, cell, widths, face, point, font, model, this](collection::CollectionIndex* index) {
             QImage image;
             std::string text, error;
             if (index && index->text_of(aa, text, error)) {
                 if (!font->font || !font->font->matches(face, point))
                     font->font = std::make_unique<GlyphFont>(face, point);
                 image = draw_aa_thumbnail(text, *font->font, *widths, cell, cell);
             }
             QMetaObject::invokeMethod(
                 model,
                 [this, model, id = aa.id, cell, image] {
                     // Drawn for another cell size: asked for again at the new one.
                     if (cell != cell_) {
                         model->thumbnail_dropped(id);
                     } else {
                         model->thumbnail_ready(id, image);
                     }
                 },
                 Qt::QueuedConnection);
         },
         [model, id = aa.id] { model->thumbnail_dropped(id); }},
        kQueuedThumbnails);
}

// --- Using an AA

bool CollectionWindow::insert(const QModelIndex& row, Side side, std::optional<Point> at) {
    const ShownAa* shown = list_model_->item(row);
    if (!shown || !index_) return false;
    std::string text, error;
    if (!index_->text_of(shown->aa, text, error)) {
        ctx_.ui.show_message(this, kAaUnreadableMessage + error);
        return false;
    }
    const PreparedAa prepared = prepare_aa(text, shown->aa.title, shown->aa.heading);
    CanvasWindow& canvas = side == Side::preview ? preview_canvas_ : library_canvas_;
    switch (insert_aa(ctx_, side, prepared, at, std::max(1, canvas.width()))) {
        case InsertResult::page_full:
            ctx_.ui.show_message(this, kRegisterErrorMessage);
            return false;
        case InsertResult::no_font:
            ctx_.report_width_table_failure();
            return false;
        case InsertResult::inserted:
            break;
    }
    status_->setText(prepared.cut
                         ? QString::fromUtf8("長すぎるため、パーツに入る行までで切りました")
                         : QString::fromUtf8("%1 に入れました").arg(from_utf8(aa_reference(*shown))));
    marks_->used(key_of(*shown));
    save_marks();
    if (shown_ == Shown::recent) show_again();
    return true;
}

void CollectionWindow::drop(const QModelIndex& row, const QPoint& global_position) {
    QWidget* target = QApplication::topLevelAt(global_position);
    for (CanvasWindow* canvas : {&preview_canvas_, &library_canvas_}) {
        if (target != canvas) continue;
        const QPoint at = canvas->mapFromGlobal(global_position);
        insert(row, canvas->side(), Point{at.x(), at.y()});
        return;
    }
}

void CollectionWindow::toggle_favourite(const QModelIndex& row) {
    const ShownAa* shown = list_model_->item(row);
    if (!shown) return;
    const collection::AaKey key = key_of(*shown);
    marks_->set_favourite(key, !marks_->is_favourite(key));
    save_marks();
    list_model_->favourites_changed();
    current_changed();
}

void CollectionWindow::save_marks() {
    std::string error;
    if (!marks_->save(error)) status_->setText(from_utf8(error));
}

// --- The window's own state

void CollectionWindow::store_state() {
    if (!restored_) return;
    if (isVisible() && !isMinimized() && !isMaximized() && !isFullScreen())
        write_collection_geometry(ctx_.file(), pos().x(), pos().y(), width(), height());
    write_collection_zoom(ctx_.file(), cell_);
}

void CollectionWindow::closeEvent(QCloseEvent* event) {
    store_state();
    write_collection_open(ctx_.file(), false);
    event->accept();
}

void CollectionWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (restored_ && isVisible()) store_timer_->start();
}

void CollectionWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (restored_ && isVisible()) store_timer_->start();
}

bool CollectionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == search_) {
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: {
                // Into the first result of what was typed last, also when it has not come yet.
                const Side side =
                    key->modifiers().testFlag(Qt::ShiftModifier) ? Side::library : Side::preview;
                if (search_pending_ && !search_->text().trimmed().isEmpty()) {
                    insert_on_results_ = side;
                    if (search_timer_->isActive()) search_now();
                } else if (list_->currentIndex().isValid()) {
                    insert(list_->currentIndex(), side);
                }
                return true;
            }
            case Qt::Key_Down:
            case Qt::Key_PageDown:
                list_->setFocus(Qt::TabFocusReason);
                if (!list_->currentIndex().isValid() && list_model_->rowCount() > 0)
                    list_->setCurrentIndex(list_model_->index(0));
                return true;
            case Qt::Key_Escape:
                search_->clear();
                return true;
            default:
                break;
        }
    } else if (watched == tree_) {
        if (key->key() == Qt::Key_Delete) {
            remove_current_root();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && list_model_->rowCount() > 0) {
            list_->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void install_collection_shortcut(QWidget* window, std::function<void()> open) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, std::move(open));
}

}  // namespace glyphora
