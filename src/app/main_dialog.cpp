#include "app/main_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindowStateChangeEvent>

#include <array>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/command_groups.h"
#include "app/main_commands.h"
#include "canvas/canvas_window.h"
#include "platform/qt_text.h"
#include "session/dialog_units.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

// The template: 383 x 215 dialog units.
constexpr int kDialogWidth = 383;
constexpr int kDialogHeight = 215;
constexpr int kLastPreviewPage = kPreviewPages - 1;
constexpr int kPageStep = 10;

// The main dialog's face; Monapo stands in where it is not installed.
constexpr const char* kDialogFace = "ＭＳ Ｐゴシック";
constexpr const char* kDialogFallbackFace = "Monapo";

constexpr const char* kAboutMenuItem = "Glyphora のﾊﾞｰｼﾞｮﾝ情報(&A)...";

struct ButtonSpec {
    int id;
    int left, top, width, height;
    const char* caption;
};

constexpr std::array kButtons = {
    ButtonSpec{control_id::kLoad, 35, 10, 30, 15, "ロード"},
    ButtonSpec{control_id::kSave, 70, 10, 30, 15, "セーブ"},
    ButtonSpec{control_id::kRender, 115, 10, 45, 15, "レンダリング"},
    ButtonSpec{control_id::kRenderPage, 165, 10, 15, 15, "レ１"},
    ButtonSpec{control_id::kTool, 195, 10, 30, 15, "ツール"},
    ButtonSpec{control_id::kOptions, 226, 10, 35, 15, "オプション"},
    ButtonSpec{control_id::kUndo, 275, 10, 55, 15, "アンドゥ"},
    ButtonSpec{control_id::kExit, 345, 10, 35, 15, "終了"},
    ButtonSpec{control_id::kPreviewCut, 115, 50, 20, 14, "cut"},
    ButtonSpec{control_id::kPreviewCopy, 135, 50, 20, 14, "copy"},
    ButtonSpec{control_id::kPreviewPaste, 155, 50, 20, 14, "paste"},
    ButtonSpec{control_id::kPreviewDetail, 120, 70, 50, 15, "詳細設定"},
    ButtonSpec{control_id::kPreviewRegister, 120, 90, 50, 15, "登録"},
    ButtonSpec{control_id::kMoveUp, 130, 135, 10, 15, "↑"},
    ButtonSpec{control_id::kMoveLeft, 118, 145, 11, 15, "←"},
    ButtonSpec{control_id::kMoveRight, 142, 145, 10, 15, "→"},
    ButtonSpec{control_id::kMoveDown, 130, 155, 10, 15, "↓"},
    ButtonSpec{control_id::kPreviewRowUp, 160, 135, 15, 15, "▲"},
    ButtonSpec{control_id::kPreviewRowDown, 160, 155, 15, 15, "▼"},
    ButtonSpec{control_id::kCopyFromLibrary, 185, 90, 15, 45, "←\n←\n←"},
    ButtonSpec{control_id::kLibraryCut, 315, 50, 20, 14, "cut"},
    ButtonSpec{control_id::kLibraryCopy, 335, 50, 20, 14, "copy"},
    ButtonSpec{control_id::kLibraryPaste, 355, 50, 20, 14, "paste"},
    ButtonSpec{control_id::kLibraryDetail, 320, 70, 50, 15, "詳細設定"},
    ButtonSpec{control_id::kLibraryRegister, 320, 90, 50, 15, "登録"},
    ButtonSpec{control_id::kLibraryRowUp, 320, 140, 15, 15, "▲"},
    ButtonSpec{control_id::kLibraryRowDown, 320, 160, 15, 15, "▼"},
    ButtonSpec{control_id::kLibraryPageName, 345, 195, 35, 12, "名前設定"},
};

QFont dialog_font(int totalfontsize) {
    QFont font = QApplication::font();
    font.setFamilies({QString::fromUtf8(kDialogFace), QString::fromUtf8(kDialogFallbackFace)});
    // A size of 0 (or less) cannot be drawn; the platform's size stands in.
    if (const int points = dialog_point_size(totalfontsize); points > 0) font.setPointSize(points);
    return font;
}

}  // namespace

MainDialog::MainDialog(AppContext& context, CanvasWindow& preview_canvas, CanvasWindow& library_canvas)
    : QDialog(nullptr),
      ctx_(context),
      preview_canvas_(preview_canvas),
      library_canvas_(library_canvas),
      placement_(read_dialog_placement(context.file())) {
    // A caption with system menu, minimise box and close box, no maximise box, a fixed size, in the task bar.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    title_ = QString::fromUtf8(kMainDialogTitle);
    update_title();
    setWindowIcon(app_icon());
    setFont(dialog_font(ctx_.settings.totalfontsize));
    build_controls();
    // The three windows come forward together when a canvas is activated.
    preview_canvas_.set_companions(this, &library_canvas_);
    library_canvas_.set_companions(this, &preview_canvas_);
    install_command_groups(*this);
    // Keys are looked at before any control handles them (Enter, Space, Escape).
    qApp->installEventFilter(this);
}

MainDialog::~MainDialog() {
    qApp->removeEventFilter(this);
    ctx_.changed_hook = nullptr;
}

void MainDialog::set_command(int id, std::function<void()> command) {
    auto* button = qobject_cast<QPushButton*>(control(id));
    if (!button) return;
    button->setEnabled(true);
    connect(button, &QPushButton::clicked, this, [run = std::move(command)] { run(); });
}

void MainDialog::build_controls() {
    const DialogUnits du(font());
    setFixedSize(du.x(kDialogWidth), du.y(kDialogHeight));

    // Group boxes first, so that they lie beneath the controls they frame.
    auto group = [&](int l, int t, int w, int h, const char* caption) {
        auto* box = new QGroupBox(QString::fromUtf8(caption), this);
        box->setGeometry(du.rect(l, t, w, h));
    };
    group(5, 35, 175, 155, "プレビュー");
    group(115, 125, 40, 50, "微調整");
    group(205, 35, 175, 155, "ライブラリ");

    version_label_ = new QLabel(QStringLiteral("V1.4a"), this);
    version_label_->setGeometry(du.rect(5, 10, 18, 15));
    version_label_->setCursor(Qt::PointingHandCursor);  // its clicks arrive through eventFilter
    controls_[control_id::kVersion] = version_label_;

    for (const ButtonSpec& button_spec : kButtons) {
        auto* button = new QPushButton(QString::fromUtf8(button_spec.caption), this);
        button->setGeometry(
            du.rect(button_spec.left, button_spec.top, button_spec.width, button_spec.height));
        // The dialog has no default button: Enter presses nothing.
        button->setAutoDefault(false);
        button->setDefault(false);
        // Small buttons keep their captions readable.
        button->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
        // A button stays off until a command group installs its command (set_command).
        button->setEnabled(button_spec.id == control_id::kExit);
        controls_[button_spec.id] = button;
    }
    connect(static_cast<QPushButton*>(controls_[control_id::kExit]), &QPushButton::clicked, this,
            &MainDialog::close_requested);

    auto make_list = [&](int id, int l, int t, int w, int h, Side side) {
        auto* list = new QListWidget(this);
        list->setGeometry(du.rect(l, t, w, h));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        list->setUniformItemSizes(true);
        list->setAttribute(Qt::WA_InputMethodEnabled, false);
        for (int row = 0; row < kPartsPerPage; ++row) list->addItem(QString());
        connect(list, &QListWidget::itemSelectionChanged, this,
                [this, side] { list_selection_changed(side); });
        controls_[id] = list;
        return list;
    };
    preview_list_ = make_list(control_id::kPreviewList, 10, 50, 100, 130, Side::preview);
    library_list_ = make_list(control_id::kLibraryList, 210, 51, 100, 129, Side::library);

    page_label_ = new QLabel(this);
    page_label_->setGeometry(du.rect(5, 195, 25, 10));
    controls_[control_id::kPageLabel] = page_label_;

    page_scroll_bar_ = new QScrollBar(Qt::Horizontal, this);
    page_scroll_bar_->setGeometry(du.rect(30, 195, 150, 11));
    page_scroll_bar_->setRange(0, kLastPreviewPage);
    page_scroll_bar_->setSingleStep(1);
    page_scroll_bar_->setPageStep(1);  // the thumb stays small; paging is 10 pages, see page_scroll
    // Takes the focus by click and Tab, so the page can be changed from the keyboard (see handle_key).
    page_scroll_bar_->setFocusPolicy(Qt::StrongFocus);
    connect(page_scroll_bar_, &QScrollBar::actionTriggered, this, [this](int action) {
        const int thumb = page_scroll_bar_->sliderPosition();
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                page_scroll(PageScroll::line_left);
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                page_scroll(PageScroll::line_right);
                break;
            case QAbstractSlider::SliderPageStepSub:
                page_scroll(PageScroll::page_left);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                page_scroll(PageScroll::page_right);
                break;
            case QAbstractSlider::SliderToMinimum:
                page_scroll(PageScroll::left_end);
                break;
            case QAbstractSlider::SliderToMaximum:
                page_scroll(PageScroll::right_end);
                break;
            case QAbstractSlider::SliderMove:
                page_scroll(PageScroll::thumb_track, thumb);
                break;
            default:
                page_scroll(PageScroll::end_scroll);
                break;
        }
        // The slider applies this position once the action is over.
        page_scroll_bar_->setSliderPosition(ctx_.docs->preview.current_page);
    });
    connect(page_scroll_bar_, &QScrollBar::sliderReleased, this,
            [this] { page_scroll(PageScroll::thumb_position, page_scroll_bar_->sliderPosition()); });
    controls_[control_id::kPageScroll] = page_scroll_bar_;

    auto* combo_label = new QLabel(QString::fromUtf8("ライブラリページ"), this);
    combo_label->setGeometry(du.rect(195, 195, 60, 12));

    library_combo_ = new QComboBox(this);
    library_combo_->setGeometry(du.rect(259, 195, 81, 12));
    library_combo_->setMaxVisibleItems(kLibraryPages);
    library_combo_->setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(library_combo_, &QComboBox::activated, this, &MainDialog::library_page_chosen);
    controls_[control_id::kLibraryPageCombo] = library_combo_;

    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void MainDialog::initialise() {
    page_scroll_bar_->setValue(ctx_.docs->preview.current_page);
    write_page_label();
    if (placement_.position_applies()) {
        move(placement_.x, placement_.y);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // The platform's default: centred on the screen.
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    ctx_.changed_hook = [this](Sides sides) { show_changes(sides); };
    refresh_lists(Sides::both());
    fill_page_combo();
    write_page_label();
    // Moves are stored from now on; the placement the dialog was just given is not a move of the user's.
    last_stored_frame_ = frameGeometry();
    tracking_moves_ = true;
}

QWidget* MainDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void MainDialog::fill_list(QListWidget* list, Page& page) {
    int selected = 0;
    int selected_slot = -1;
    for (int row = 0; row < kPartsPerPage; ++row) {
        const Part& part = page.slots[row];
        QListWidgetItem* item = list->item(row);
        // A name may hold characters beyond Shift_JIS as references: the row shows the characters.
        item->setText(QString::fromStdString(ShownPartText(list_label(part)).utf8()));
        item->setSelected(part.selected);
        if (part.selected) {
            ++selected;
            selected_slot = row;
        }
    }
    // One selected part leaves its text on the clipboard, ready to be pasted elsewhere. Only a part in
    // use counts: an empty slot may still hold the text of a part that was cut or moved away.
    if (selected == 1) {
        const Part& part = page.slots[selected_slot];
        if (part.in_use && part.text[0] != '\0') ctx_.ui.set_clipboard_text(get_string(part.text));
    }
}

void MainDialog::refresh_lists(Sides sides) {
    filling_lists_ = true;
    const int preview_top = preview_list_->verticalScrollBar()->value();
    const int library_top = library_list_->verticalScrollBar()->value();
    if (sides.has(Side::preview)) {
        fill_list(preview_list_, ctx_.preview_page());
        preview_list_->verticalScrollBar()->setValue(preview_top);
    }
    if (sides.has(Side::library)) {
        fill_list(library_list_, ctx_.library_page());
        library_list_->verticalScrollBar()->setValue(library_top);
    }
    filling_lists_ = false;
}

void MainDialog::fill_page_combo() {
    const LibraryBook& library = ctx_.docs->library;
    library_combo_->clear();
    for (int page = 0; page < kLibraryPages; ++page) {
        const std::string row =
            std::to_string(page) + " - " + std::string(get_string(library.page_names[page]));
        library_combo_->addItem(sjis_to_qstring(row));
    }
    library_combo_->setCurrentIndex(library.current_page);
}

void MainDialog::set_collection_title(const std::string& path) {
    title_ = QString::fromUtf8(kCollectionTitlePrefix) + QFile::decodeName(QByteArray::fromStdString(path));
    update_title();
}

void MainDialog::update_title() {
    setWindowTitle(ctx_.docs->preview.modified ? title_ + QStringLiteral(" *") : title_);
}

void MainDialog::write_page_label() {
    page_label_->setText(QString::number(ctx_.docs->preview.current_page));
}

void MainDialog::show_changes(Sides sides) {
    refresh_lists(sides);
    if (sides.has(Side::preview)) preview_canvas_.request_redraw(true);
    if (sides.has(Side::library)) library_canvas_.request_redraw(true);
}

void MainDialog::list_selection_changed(Side side) {
    if (filling_lists_) return;
    QListWidget* list = side == Side::preview ? preview_list_ : library_list_;
    Page& page = side == Side::preview ? ctx_.preview_page() : ctx_.library_page();
    for (int row = 0; row < kPartsPerPage; ++row) page.slots[row].selected = list->item(row)->isSelected();
    refresh_lists(side);
    // A temporary rendering on the preview canvas stays on display while the selection changes.
    if (side == Side::preview) {
        preview_canvas_.request_redraw(false);
    } else {
        library_canvas_.request_redraw(true);
    }
}

std::optional<PageScroll> page_scroll_key(int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            return PageScroll::line_left;
        case Qt::Key_Right:
        case Qt::Key_Down:
            return PageScroll::line_right;
        case Qt::Key_PageUp:
            return PageScroll::page_left;
        case Qt::Key_PageDown:
            return PageScroll::page_right;
        case Qt::Key_Home:
            return PageScroll::left_end;
        case Qt::Key_End:
            return PageScroll::right_end;
        default:
            return std::nullopt;
    }
}

void MainDialog::page_scroll(PageScroll action, int thumb) {
    PreviewBook& preview = ctx_.docs->preview;
    int page = preview.current_page;
    switch (action) {
        case PageScroll::line_left:
            page -= 1;
            break;
        case PageScroll::line_right:
            page += 1;
            break;
        case PageScroll::page_left:
            page -= kPageStep;
            break;
        case PageScroll::page_right:
            page += kPageStep;
            break;
        case PageScroll::thumb_position:
        case PageScroll::thumb_track:
            page = thumb;
            break;
        case PageScroll::left_end:
            page = 0;
            break;
        case PageScroll::right_end:
            page = kLastPreviewPage;
            break;
        case PageScroll::end_scroll:
            break;
    }
    page = std::clamp(page, 0, kLastPreviewPage);
    if (page != preview.current_page) {
        // An undo would now restore the old page's parts into the new page.
        ctx_.invalidate_undo();
        preview.current_page = page;
        page_scroll_bar_->setValue(page);
        write_page_label();
        show_changes(Side::preview);
        preview_list_->scrollToTop();
    }
    write_page_label();
}

void MainDialog::library_page_chosen(int row) {
    LibraryBook& library = ctx_.docs->library;
    if (row >= 0 && row < kLibraryPages) library.current_page = row;
    ctx_.invalidate_undo();
    show_changes(Side::library);
    write_page_label();
}

void MainDialog::run_about() {
    AboutDialog about(this);
    about.exec();
}

void MainDialog::end_dialog() {
    tracking_moves_ = false;
    hide();
    Q_EMIT ended();
}

void MainDialog::set_space_held(bool held) {
    for (CanvasWindow* canvas : {&preview_canvas_, &library_canvas_}) {
        canvas->state().space_held = held;
        canvas->request_redraw(true);
    }
}

bool MainDialog::handle_key(QWidget* target, QKeyEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    if (target == page_scroll_bar_ && press) {
        if (const std::optional<PageScroll> action = page_scroll_key(event->key())) {
            page_scroll(*action);
            return true;
        }
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Never closes the dialog and there is no default button. Space is taken for the move mode,
            // so Enter is how the keyboard presses the button that has the focus.
            if (auto* button = qobject_cast<QPushButton*>(target);
                press && button && button->isEnabled() && !event->isAutoRepeat())
                button->click();
            return true;
        case Qt::Key_Space:
            // Held for both canvases, where it turns left clicks into moves; never presses a button.
            if (!event->isAutoRepeat()) set_space_held(press);
            return true;
        case Qt::Key_Escape:
            if (press) Q_EMIT close_requested();
            return true;
        default:
            return false;
    }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == version_label_ && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        run_about();
        return true;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) return handle_key(widget, static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (isMinimized()) {
            if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
            preview_canvas_.showMinimized();
            library_canvas_.showMinimized();
        } else if (change->oldState() & Qt::WindowMinimized) {
            preview_canvas_.showNormal();
            library_canvas_.showNormal();
        }
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isMinimized()) {
        // The program's windows come forward together, the dialog above the canvases. Raising the
        // dialog on deactivation as well would lift it above the window the user just turned to.
        preview_canvas_.raise();
        library_canvas_.raise();
        raise();
    }
    QDialog::changeEvent(event);
}

void MainDialog::store_placement() {
    const QRect frame = frameGeometry();
    if (frame == last_stored_frame_) return;
    last_stored_frame_ = frame;
    placement_ = DialogPlacement{frame.x(), frame.y(), frame.width(), frame.height()};
    write_dialog_placement(ctx_.file(), placement_);  // a failed write is not reported
}

void MainDialog::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (tracking_moves_ && !isMinimized()) store_placement();
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // The close box asks like "終了"; the dialog ends only when the application says so.
    event->ignore();
    Q_EMIT close_requested();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The window manager's menu cannot be extended, so the About item is offered on the dialog itself.
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutMenuItem), this, &MainDialog::run_about);
    menu.exec(event->globalPos());
}

}  // namespace glyphora
