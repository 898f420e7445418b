// The main dialog: lists that mirror the model, the clipboard rule, page navigation with its undo
// invalidation, keys, window events and the About dialog.

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

std::vector<int> selected_rows(QListWidget* list) {
    std::vector<int> rows;
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->isSelected()) rows.push_back(row);
    return rows;
}

}  // namespace

class MainDialogTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void lists_mirror_the_current_pages();
    void selecting_rows_writes_back_into_the_model_and_redraws();
    void one_selected_part_puts_its_text_on_the_clipboard();
    void refresh_keeps_the_first_visible_row();
    void library_page_combo_lists_every_page();
    void page_scroll_bar_moves_clamped_and_invalidates_undo_on_change();
    void page_change_shows_the_new_page_from_its_first_row();
    void page_scroll_bar_answers_the_keyboard();
    void library_combo_changes_page_and_always_invalidates_undo();
    void enter_presses_the_focused_button_and_space_is_held_for_both_canvases();
    void minimising_the_dialog_minimises_the_canvases();
    void moves_are_stored_under_dialog();
    void a_stored_position_places_the_dialog();
    void version_label_opens_the_about_dialog();
    void every_command_button_is_on_and_runs_its_command();

  private:
};

void MainDialogTest::lists_mirror_the_current_pages() {
    start();
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 18, "AA", "face");
    set_comment(put_part(page, 1, 120, -36, "BB", "arm"), "left");
    Part& label = put_part(page, 3, 0, 0, "", "title");
    label.is_label = true;
    put_part(page, 4, 200, 198, "Z", "ZEBRA &#9829;&#x2005;x");  // references show as their characters
    page.slots[1].selected = true;
    page.slots[7].selected = true;  // an empty row may be selected too
    put_part(ctx_->library_page(), 49, 5, 5, "T", "tree");
    dialog_->refresh_lists(Sides::both());

    QListWidget* list = dialog_->preview_list();
    QCOMPARE(list->count(), 50);
    QCOMPARE(list->item(0)->text(), QStringLiteral("  (  0, 18)face"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("  (120,-36)arm[left]"));
    QCOMPARE(list->item(2)->text(), QString::fromUtf8("･"));
    QCOMPARE(list->item(3)->text(), QStringLiteral("*title"));
    QCOMPARE(list->item(4)->text(), QString::fromUtf8("  (200,198)ZEBRA \u2665\u2005x"));
    QCOMPARE(selected_rows(list), (std::vector<int>{1, 7}));
    QCOMPARE(dialog_->library_list()->item(49)->text(), QStringLiteral("  (  5,  5)tree"));

    // Only the lists of the mask are rebuilt.
    set_name(page.slots[0], "renamed");
    dialog_->refresh_lists(Side::library);
    QCOMPARE(list->item(0)->text(), QStringLiteral("  (  0, 18)face"));
    dialog_->refresh_lists(Side::preview);
    QCOMPARE(list->item(0)->text(), QStringLiteral("  (  0, 18)renamed"));
}

void MainDialogTest::selecting_rows_writes_back_into_the_model_and_redraws() {
    start();
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 0, "A", "a");
    put_part(page, 1, 0, 0, "B", "b");
    dialog_->refresh_lists(Side::preview);
    CanvasWindow* preview = app_->preview_canvas();
    preview->show_temporary_rendering(
        "\x81\x40"
        "AB");
    QVERIFY(preview->state().temp_shown);

    QListWidget* list = dialog_->preview_list();
    list->item(1)->setSelected(true);
    list->item(4)->setSelected(true);
    QVERIFY(!page.slots[0].selected);
    QVERIFY(page.slots[1].selected);
    QVERIFY(page.slots[4].selected);  // an empty slot: the insertion point of a paste
    // A selection change in the preview list keeps the temporary rendering on display.
    QVERIFY(preview->state().temp_shown);
    list->clearSelection();
    for (const Part& part : page.slots) QVERIFY(!part.selected);

    // A click replaces the selection; the library list writes into the library page.
    QListWidget* library_list = dialog_->library_list();
    put_part(ctx_->library_page(), 2, 0, 0, "C", "c");
    dialog_->refresh_lists(Side::library);
    test::click(library_list->viewport(), library_list->visualItemRect(library_list->item(2)).center());
    QVERIFY(ctx_->library_page().slots[2].selected);
    QCOMPARE(selected_rows(library_list), std::vector<int>{2});
}

void MainDialogTest::one_selected_part_puts_its_text_on_the_clipboard() {
    start();
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 0, "(*'-')", "a");
    put_part(page, 1, 0, 0, "(^_^)", "b");
    put_part(page, 2, 0, 0, "", "empty");
    // A slot left behind by a cut: not in use, its old text still in the record.
    set_text(page.slots[5], "stale");
    dialog_->refresh_lists(Side::preview);
    QListWidget* list = dialog_->preview_list();

    list->item(1)->setSelected(true);
    QCOMPARE(ui_->clipboard, std::optional<std::string>("(^_^)"));

    ui_->clipboard = "outside";
    list->item(0)->setSelected(true);  // two rows: the clipboard stays
    QCOMPARE(ui_->clipboard, std::optional<std::string>("outside"));

    list->clearSelection();
    list->item(2)->setSelected(true);  // a part without text
    QCOMPARE(ui_->clipboard, std::optional<std::string>("outside"));
    list->clearSelection();
    list->item(5)->setSelected(true);  // an empty row
    QCOMPARE(ui_->clipboard, std::optional<std::string>("outside"));

    // Every later refresh while it stays the only selected part puts it there again.
    list->clearSelection();
    list->item(0)->setSelected(true);
    ui_->clipboard = "outside";
    dialog_->refresh_lists(Side::preview);
    QCOMPARE(ui_->clipboard, std::optional<std::string>("(*'-')"));
}

void MainDialogTest::refresh_keeps_the_first_visible_row() {
    start();
    QListWidget* list = dialog_->preview_list();
    list->verticalScrollBar()->setValue(20);
    QCOMPARE(list->verticalScrollBar()->value(), 20);
    put_part(ctx_->preview_page(), 45, 0, 0, "L", "low");
    dialog_->refresh_lists(Sides::both());
    QCOMPARE(list->verticalScrollBar()->value(), 20);
    QCOMPARE(list->indexAt(QPoint(2, 2)).row(), 20);
}

void MainDialogTest::library_page_combo_lists_every_page() {
    start();
    set_string(ctx_->docs->library.page_names[0], "faces");
    set_string(ctx_->docs->library.page_names[19], "\x8A\xE7");  // "顔"
    ctx_->docs->library.current_page = 4;
    dialog_->fill_page_combo();
    QComboBox* combo = dialog_->library_combo();
    QCOMPARE(combo->count(), 20);
    QCOMPARE(combo->itemText(0), QStringLiteral("0 - faces"));
    QCOMPARE(combo->itemText(3), QStringLiteral("3 - "));
    QCOMPARE(combo->itemText(19), QString::fromUtf8("19 - 顔"));
    QCOMPARE(combo->currentIndex(), 4);
}

void MainDialogTest::page_scroll_bar_moves_clamped_and_invalidates_undo_on_change() {
    start();
    PreviewBook& preview = ctx_->docs->preview;
    auto snapshot = [&] {
        take_snapshot(ctx_->docs->undo, UndoKind::preview_page, ctx_->preview_page(), ctx_->library_page(),
                      0);
    };
    auto label = [&] { return dialog_->page_label()->text().toInt(); };

    const struct {
        int from;
        PageScroll action;
        int thumb;
        int to;
    } cases[] = {
        {25, PageScroll::page_right, 0, 29},  {29, PageScroll::page_right, 0, 29},
        {3, PageScroll::page_left, 0, 0},     {0, PageScroll::line_left, 0, 0},
        {0, PageScroll::line_right, 0, 1},    {12, PageScroll::page_right, 0, 22},
        {5, PageScroll::thumb_track, 17, 17}, {5, PageScroll::thumb_position, 40, 29},
        {5, PageScroll::right_end, 0, 29},    {5, PageScroll::left_end, 0, 0},
        {5, PageScroll::end_scroll, 9, 5},
    };
    for (const auto& c : cases) {
        preview.current_page = c.from;
        dialog_->page_scroll_bar()->setValue(c.from);
        snapshot();
        dialog_->page_scroll(c.action, c.thumb);
        QCOMPARE(preview.current_page, c.to);
        QCOMPARE(label(), c.to);
        QCOMPARE(dialog_->page_scroll_bar()->value(), c.to);
        // Only a change of page invalidates the undo.
        QCOMPARE(ctx_->docs->undo.kind, c.from == c.to ? UndoKind::preview_page : UndoKind::none);
    }

    // Undo after a page change does nothing.
    preview.current_page = 0;
    put_part(ctx_->preview_page(), 0, 0, 0, "A", "a");
    snapshot();
    dialog_->page_scroll(PageScroll::line_right);
    QCOMPARE(restore_snapshot(ctx_->docs->undo, ctx_->preview_page(), ctx_->library_page()), UndoKind::none);
    QVERIFY(is_page_empty(ctx_->preview_page()));

    // The scroll bar's own arrows go through the same rules.
    preview.current_page = 28;
    dialog_->page_scroll_bar()->setValue(28);
    dialog_->page_scroll_bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(preview.current_page, 29);
    dialog_->page_scroll_bar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(preview.current_page, 28);
    QCOMPARE(dialog_->page_scroll_bar()->value(), 28);
}

void MainDialogTest::page_change_shows_the_new_page_from_its_first_row() {
    start();
    put_part(ctx_->docs->preview.pages[6], 0, 0, 0, "O", "other");
    QListWidget* list = dialog_->preview_list();
    list->verticalScrollBar()->setValue(25);
    CanvasWindow* preview = app_->preview_canvas();
    preview->show_temporary_rendering("\x81\x40X");
    dialog_->page_scroll(PageScroll::thumb_track, 6);
    QCOMPARE(list->item(0)->text(), QStringLiteral("  (  0,  0)other"));
    QCOMPARE(list->verticalScrollBar()->value(), 0);
    QVERIFY(!preview->state().temp_shown);  // the page is shown again
}

void MainDialogTest::page_scroll_bar_answers_the_keyboard() {
    start();
    QWindow* window = dialog_->windowHandle();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QScrollBar* bar = dialog_->page_scroll_bar();
    // It takes the focus by Tab from the control before it, the preview list's last neighbour.
    bar->setFocus();
    QTest::keyClick(window, Qt::Key_Tab, Qt::ShiftModifier);
    QVERIFY(!bar->hasFocus());
    QTest::keyClick(window, Qt::Key_Tab);
    QVERIFY(bar->hasFocus());

    const auto press = [&](Qt::Key key) {
        QTest::keyClick(window, key);
        return dialog_->page_label()->text().toInt();
    };
    QCOMPARE(press(Qt::Key_Right), 1);
    QCOMPARE(press(Qt::Key_Down), 2);
    QCOMPARE(press(Qt::Key_PageDown), 12);
    QCOMPARE(press(Qt::Key_Left), 11);
    QCOMPARE(press(Qt::Key_End), 29);
    QCOMPARE(press(Qt::Key_PageDown), 29);
    QCOMPARE(press(Qt::Key_PageUp), 19);
    QCOMPARE(press(Qt::Key_Home), 0);
    QCOMPARE(press(Qt::Key_Up), 0);
    QCOMPARE(ctx_->docs->preview.current_page, 0);
    QCOMPARE(bar->value(), 0);
}

void MainDialogTest::library_combo_changes_page_and_always_invalidates_undo() {
    start();
    put_part(ctx_->docs->library.pages[5], 1, 0, 0, "5", "five");
    auto snapshot = [&] {
        take_snapshot(ctx_->docs->undo, UndoKind::library_page, ctx_->preview_page(), ctx_->library_page(),
                      0);
    };

    snapshot();
    dialog_->library_page_chosen(0);  // the current page again
    QCOMPARE(ctx_->docs->library.current_page, 0);
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);

    snapshot();
    QComboBox* combo = dialog_->library_combo();
    combo->setCurrentIndex(5);
    Q_EMIT combo->activated(5);
    QCOMPARE(ctx_->docs->library.current_page, 5);
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);
    QCOMPARE(dialog_->library_list()->item(1)->text(), QStringLiteral("  (  0,  0)five"));

    // A row out of range leaves the page, but still invalidates.
    snapshot();
    dialog_->library_page_chosen(-1);
    QCOMPARE(ctx_->docs->library.current_page, 5);
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);
}

void MainDialogTest::enter_presses_the_focused_button_and_space_is_held_for_both_canvases() {
    start();
    QSignalSpy close_spy(dialog_, &MainDialog::close_requested);
    auto* exit_button = static_cast<QPushButton*>(dialog_->control(control_id::kExit));
    QSignalSpy clicked(exit_button, &QPushButton::clicked);
    auto* row_up = static_cast<QPushButton*>(dialog_->control(control_id::kPreviewRowUp));
    QSignalSpy row_up_clicked(row_up, &QPushButton::clicked);
    QWindow* window = dialog_->windowHandle();

    // Space holds the move mode, so Enter is the key that presses the focused button; elsewhere it does
    // nothing and never closes the dialog.
    row_up->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(row_up_clicked.count(), 1);
    dialog_->preview_list()->setFocus();
    QTest::keyClick(window, Qt::Key_Enter);
    dialog_->page_scroll_bar()->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(row_up_clicked.count(), 1);
    QCOMPARE(close_spy.count(), 0);
    QVERIFY(dialog_->isVisible());
    exit_button->setFocus();

    CanvasWindow* preview = app_->preview_canvas();
    CanvasWindow* library = app_->library_canvas();
    preview->show_temporary_rendering("\x81\x40X");
    QTest::keyPress(window, Qt::Key_Space);
    QVERIFY(preview->state().space_held);
    QVERIFY(library->state().space_held);
    QVERIFY(!preview->state().temp_shown);
    QTest::keyRelease(window, Qt::Key_Space);
    QVERIFY(!preview->state().space_held);
    QVERIFY(!library->state().space_held);
    QCOMPARE(clicked.count(), 0);  // Space never pressed the focused button

    // Space in a list neither toggles a row nor reaches the model.
    put_part(ctx_->preview_page(), 0, 0, 0, "A", "a");
    dialog_->refresh_lists(Side::preview);
    dialog_->preview_list()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    dialog_->preview_list()->setFocus();
    QTest::keyClick(window, Qt::Key_Space);
    QVERIFY(!ctx_->preview_page().slots[0].selected);

    ui_->answer_no();
    dialog_->library_combo()->setFocus();
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(close_spy.count(), 1);
    QCOMPARE(ui_->questions(), std::vector<std::string>{kExitQuestion});
}

void MainDialogTest::minimising_the_dialog_minimises_the_canvases() {
    start();
    dialog_->showMinimized();
    QVERIFY(app_->preview_canvas()->isMinimized());
    QVERIFY(app_->library_canvas()->isMinimized());
    dialog_->showNormal();
    QVERIFY(!app_->preview_canvas()->isMinimized());
    QVERIFY(!app_->library_canvas()->isMinimized());
    QVERIFY(app_->preview_canvas()->isVisible());
}

void MainDialogTest::moves_are_stored_under_dialog() {
    start();
    // Showing the dialog at its default place is not a move of the user's.
    QCOMPARE(read_dialog_placement(ctx_->file()).cx, 0);
    dialog_->move(120, 140);
    const DialogPlacement stored = read_dialog_placement(ctx_->file());
    QCOMPARE(stored.x, dialog_->frameGeometry().x());
    QCOMPARE(stored.y, dialog_->frameGeometry().y());
    QCOMPARE(stored.cx, dialog_->frameGeometry().width());
    QCOMPARE(stored.cy, dialog_->frameGeometry().height());
    QVERIFY(stored.cx > 0);
}

void MainDialogTest::a_stored_position_places_the_dialog() {
    start("[dialog]\nx=-10\ny=200\ncx=600\ncy=450\n");
    QCOMPARE(dialog_->pos(), QPoint(4, 200));
    // Its size is its own, whatever was stored.
    QVERIFY(dialog_->width() != 600 || dialog_->height() != 450);

    // cx 0 leaves the default placement, even with x and y stored.
    app_->shut_down();
    home_ = std::make_unique<TestHome>();
    start("[dialog]\nx=300\ny=300\ncx=0\n");
    QVERIFY(dialog_->pos() != QPoint(300, 300));
}

void MainDialogTest::version_label_opens_the_about_dialog() {
    start();
    QString title, version;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (!about) return;
        title = about->windowTitle();
        modal = about->isModal();
        if (auto* line = about->findChild<QLabel*>(QStringLiteral("version"))) version = line->text();
        static_cast<QDialog*>(about)->accept();
    });
    test::click(dialog_->control(control_id::kVersion));
    QCOMPARE(title, QString::fromUtf8("Glyphoraのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(version, QStringLiteral("Glyphora ver 1.4a"));
    QVERIFY(modal);
}

void MainDialogTest::every_command_button_is_on_and_runs_its_command() {
    start();
    QVERIFY(test::show_active(dialog_));
    // What a command leaves behind: a changed page, undo or part clipboard, a question or file dialog of
    // the UI services, or a dialog of its own (closed again at once).
    auto state = [this] {
        QByteArray bytes;
        auto add = [&bytes](const auto& object) {
            bytes.append(reinterpret_cast<const char*>(&object), sizeof(object));
        };
        add(ctx_->preview_page());
        add(ctx_->library_page());
        add(ctx_->docs->clipboard);
        add(ctx_->docs->undo.kind);
        return bytes;
    };
    int dialogs = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&dialogs] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++dialogs;
            dialog->reject();
        }
    });
    closer.start(10);

    int clicked = 0;
    for (int id = 0; id < 2000; ++id) {
        auto* button = qobject_cast<QPushButton*>(dialog_->control(id));
        if (!button) continue;
        const QByteArray name = button->text().toUtf8();
        QVERIFY2(button->isEnabled(), name);
        // A selected part on each side, something to paste and something to undo.
        clear_page(ctx_->preview_page());
        clear_page(ctx_->library_page());
        put_part(ctx_->preview_page(), 0, 0, 18, "A", "a").selected = true;
        put_part(ctx_->library_page(), 0, 0, 18, "B", "b").selected = true;
        clear_slot(ctx_->docs->clipboard.entries[1]);
        put_part(ctx_->preview_page(), 9, 0, 0, "C", "clip");
        ctx_->docs->clipboard.entries[0] = ctx_->preview_page().slots[9];
        clear_slot(ctx_->preview_page().slots[9]);
        take_snapshot(ctx_->docs->undo, UndoKind::preview_page, ctx_->preview_page(), ctx_->library_page(),
                      0);
        ctx_->preview_page().slots[0].x = 8;
        dialog_->refresh_lists(Sides::both());
        if (id == control_id::kExit) ui_->answer_no();
        for (int asks : {control_id::kLoad, control_id::kSave, control_id::kRender, control_id::kRenderPage,
                         control_id::kLibraryPageName})
            if (id == asks) ui_->answer_cancel();
        ui_->clear_events();
        const QByteArray before = state();
        const int dialogs_before = dialogs;

        test::click(button);
        QVERIFY2(state() != before || !ui_->events().empty() || dialogs > dialogs_before, name);
        QCOMPARE(ui_->unused_answers(), std::size_t{0});
        ++clicked;
    }
    QVERIFY(clicked >= 25);
    QVERIFY(dialogs >= 4);  // tools, options, and the detail dialog of either side
    QVERIFY(dialog_->isVisible());
}

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
