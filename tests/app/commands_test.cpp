// The main dialog's commands, driven through their buttons: parts between the pages and the shared
// clipboard, fine movement on the line grid, reorder, copy from the library, undo, page files (with the
// all-or-nothing load), the library page name, and rendering into a file with the result dialog.

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <climits>
#include <memory>

#include "app/application.h"
#include "app/main_commands.h"
#include "app/main_dialog.h"
#include "app/render_result_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "render/gap_fill.h"
#include "storage/page_file.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

// The names of slots 0 to n - 1 ("-" for an empty slot), and which slots are selected.
std::string names(const Page& page, int n = 8) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (page.slots[i].in_use ? std::string(get_string(page.slots[i].name)) : "-") + " ";
    return out;
}
std::vector<int> selected(const Page& page) {
    std::vector<int> out;
    for (int i = 0; i < kPartsPerPage; ++i)
        if (page.slots[i].selected) out.push_back(i);
    return out;
}

// Catches the next rendering result dialog, notes its title and text and closes it. The state is shared
// with the timer, which may fire after the watch is gone when no dialog came.
struct ResultDialogWatch {
    struct Seen {
        bool armed = true;
        bool seen = false;
        QString title, text;
    };
    std::shared_ptr<Seen> result = std::make_shared<Seen>();
    ResultDialogWatch() = default;
    ResultDialogWatch(const ResultDialogWatch&) = delete;
    ResultDialogWatch& operator=(const ResultDialogWatch&) = delete;
    ~ResultDialogWatch() { result->armed = false; }
    void arm() {
        result->armed = false;
        result = std::make_shared<Seen>();
        QTimer::singleShot(0, [seen = result] {
            if (!seen->armed) return;  // a watch of an earlier command that opened no dialog
            auto* dialog = qobject_cast<RenderResultDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            seen->seen = true;
            seen->title = dialog->windowTitle();
            seen->text = dialog->text();
            test::click(dialog->close_button());
        });
    }
    bool seen() const { return result->seen; }
    const QString& title() const { return result->title; }
    const QString& text() const { return result->text; }
};

}  // namespace

class CommandsTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void cut_copy_and_paste_with_the_insertion_point();
    void paste_needs_one_selected_slot_or_an_empty_page();
    void fine_movement_snaps_y_toward_zero();
    void arrows_and_a_shown_temporary_rendering();
    void reorder_undo_and_its_snapshots();
    void copy_from_the_library();
    void save_and_load_by_extension_with_the_title();
    void a_damaged_file_leaves_every_page_as_it_was();
    void library_page_name();
    void render_commands_write_the_file_and_show_the_report();
    void render_report_names_fractional_lines_and_counts_references();
    void render_button_writes_what_the_command_line_tool_writes();

  private:
    void click(int id, Qt::KeyboardModifiers modifiers = {}) {
        auto* button = qobject_cast<QPushButton*>(dialog_->control(id));
        QVERIFY(button && button->isEnabled());
        test::click(button, {}, modifiers);
    }
    UndoSnapshot& undo() { return ctx_->docs->undo; }
    // A snapshot no command of the test takes, to see whether a command took one.
    void mark_undo() { take_snapshot(undo(), UndoKind::library_slot, preview(), library(), 44); }
    bool undo_marked() { return undo().kind == UndoKind::library_slot && undo().slot == 44; }
    void refresh() { dialog_->refresh_lists(Sides::both()); }
};

void CommandsTest::cut_copy_and_paste_with_the_insertion_point() {
    start();
    for (int i = 0; i < 6; ++i) put_part(preview(), i, 0, 0, "A", std::string(1, char('a' + i)));
    preview().slots[3].selected = true;
    refresh();

    click(control_id::kPreviewCut);
    QCOMPARE(names(preview()), std::string("a b c e f - - - "));
    QCOMPARE(selected(preview()), std::vector<int>{3});  // the part that followed: the insertion point
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QVERIFY(dialog_->preview_list()->item(3)->isSelected());
    click(control_id::kPreviewPaste);
    QCOMPARE(names(preview()), std::string("a b c d e f - - "));  // back in place
    QCOMPARE(selected(preview()), std::vector<int>{3});

    click(control_id::kPreviewCopy);
    QCOMPARE(selected(preview()), std::vector<int>{4});
    click(control_id::kPreviewPaste);
    QCOMPARE(names(preview()), std::string("a b c d d e f - "));  // the copy right after itself
    QCOMPARE(selected(preview()), std::vector<int>{4});

    // The clipboard is shared: a library block pastes into the preview.
    put_part(library(), 0, 0, 0, "A", "x");
    put_part(library(), 1, 0, 0, "A", "y");
    library().slots[0].selected = library().slots[1].selected = true;
    refresh();
    click(control_id::kLibraryCut);
    QVERIFY(is_page_empty(library()));
    QCOMPARE(undo().kind, UndoKind::library_page);
    for (Part& part : preview().slots) part.selected = false;
    refresh();
    click(control_id::kPreviewPaste);  // a page with parts and no selected slot: nothing
    QCOMPARE(names(preview(), 10), std::string("a b c d d e f - - - "));
    preview().slots[0].selected = true;
    click(control_id::kPreviewPaste);
    QCOMPARE(names(preview(), 10), std::string("x y a b c d d e f - "));
    QCOMPARE(selected(preview()), (std::vector<int>{0, 1}));
    click(control_id::kLibraryPaste);  // an empty page takes the block at slot 0
    QCOMPARE(names(library(), 3), std::string("x y - "));
    QVERIFY(ui_->messages().empty());
}

void CommandsTest::paste_needs_one_selected_slot_or_an_empty_page() {
    start();
    put_part(library(), 0, 0, 0, "A", "clip");
    library().slots[0].selected = true;
    refresh();
    click(control_id::kLibraryCopy);

    // Two selected slots on a page with parts: nothing, and no snapshot.
    put_part(preview(), 0, 0, 0, "A", "a");
    preview().slots[0].selected = preview().slots[5].selected = true;
    refresh();
    mark_undo();
    click(control_id::kPreviewPaste);
    QCOMPARE(names(preview(), 2), std::string("a - "));
    QVERIFY(undo_marked());

    // Slots 30 to 40 used and none selected: not empty, so nothing either.
    Page& lib2 = ctx_->docs->library.pages[2];
    for (int i = 30; i <= 40; ++i) put_part(lib2, i, 0, 0, "A", "p");
    ctx_->docs->library.current_page = 2;
    refresh();
    click(control_id::kLibraryPaste);
    QVERIFY(!library().slots[0].in_use);
    QVERIFY(undo_marked());

    // An empty page pastes at slot 0 whatever is selected.
    ctx_->docs->preview.current_page = 1;
    preview().slots[7].selected = preview().slots[9].selected = true;
    refresh();
    click(control_id::kPreviewPaste);
    QCOMPARE(names(preview(), 2), std::string("clip - "));
    QCOMPARE(selected(preview()), std::vector<int>{0});

    // No room at the end of the page: the message, the selection cleared, the page otherwise as it was.
    put_part(preview(), 49, 0, 0, "A", "last");
    preview().slots[0].selected = true;
    refresh();
    click(control_id::kPreviewPaste);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"あふれるのでペーストできません"});
    QCOMPARE(names(preview(), 2), std::string("clip - "));
    QVERIFY(selected(preview()).empty());
    QCOMPARE(undo().kind, UndoKind::preview_page);
}

void CommandsTest::fine_movement_snaps_y_toward_zero() {
    start();
    const struct {
        int button, x, y, to_x, to_y;
    } cases[] = {
        {control_id::kMoveDown, 7, 5, 7, 18},
        {control_id::kMoveUp, 7, 5, 7, 0},
        {control_id::kMoveRight, 7, 20, 8, 18},
        {control_id::kMoveLeft, 7, -20, 6, -18},
        {control_id::kMoveUp, 7, -5, 7, -18},
        {control_id::kMoveDown, 0, -40, 0, -18},
        {control_id::kMoveRight, INT_MAX, INT_MAX, INT_MAX, INT_MAX / 18 * 18},
        {control_id::kMoveLeft, INT_MIN, INT_MIN, INT_MIN, INT_MIN / 18 * 18},
    };
    for (const auto& c : cases) {
        put_part(preview(), 2, c.x, c.y, "A", "p").selected = true;
        refresh();
        click(c.button);
        QCOMPARE(preview().slots[2].x, c.to_x);
        QCOMPARE(preview().slots[2].y, c.to_y);
        QCOMPARE(undo().kind, UndoKind::preview_slot);  // one part: its slot only
        QCOMPARE(undo().slot, 2);
    }
    QCOMPARE(dialog_->preview_list()->item(2)->text(),
             QString::fromStdString(list_label(preview().slots[2])));

    // Several parts: the page's snapshot, and undo puts them back. Unselected or empty slots stay.
    clear_slot(preview().slots[2]);
    put_part(preview(), 0, 0, 36, "A", "a").selected = true;
    put_part(preview(), 1, 0, 36, "A", "b");
    preview().slots[3].selected = true;  // empty
    put_part(preview(), 4, 0, 54, "A", "c").selected = true;
    refresh();
    click(control_id::kMoveUp);
    QCOMPARE(preview().slots[0].y, 18);
    QCOMPARE(preview().slots[1].y, 36);
    QCOMPARE(preview().slots[4].y, 36);
    QCOMPARE(undo().kind, UndoKind::preview_page);
    click(control_id::kUndo);
    QCOMPARE(preview().slots[0].y, 36);

    // Nothing selected: nothing moves and the snapshot stays.
    for (Part& part : preview().slots) part.selected = false;
    refresh();
    mark_undo();
    click(control_id::kMoveDown);
    QVERIFY(undo_marked());
    QCOMPARE(preview().slots[1].y, 36);
}

void CommandsTest::arrows_and_a_shown_temporary_rendering() {
    start();
    put_part(preview(), 0, 10, 0, "A", "a").selected = true;
    refresh();
    CanvasWindow& canvas = *app_->preview_canvas();
    int repeats = 0;

    // Without the repeat installed every arrow ends the temporary display.
    canvas.show_temporary_rendering("\x81\x40X");
    click(control_id::kMoveRight);
    QVERIFY(!canvas.state().temp_shown);

    dialog_->set_temporary_rendering_repeat([&] { ++repeats; });
    canvas.show_temporary_rendering("\x81\x40X");
    click(control_id::kMoveRight);
    click(control_id::kMoveLeft);
    QCOMPARE(repeats, 2);
    QVERIFY(canvas.state().temp_shown);
    QCOMPARE(preview().slots[0].x, 11);
    click(control_id::kMoveDown);  // up and down end it
    QCOMPARE(repeats, 2);
    QVERIFY(!canvas.state().temp_shown);
    click(control_id::kMoveRight);  // nothing shown: a plain redraw
    QCOMPARE(repeats, 2);
}

void CommandsTest::reorder_undo_and_its_snapshots() {
    start();
    for (int i = 0; i < 3; ++i) put_part(preview(), i, 0, 0, "A", std::string(1, char('a' + i)));
    put_part(preview(), 49, 0, 0, "A", "z");

    // The first row up and the last row down change nothing and take no snapshot.
    for (const auto& [slot, button] :
         {std::pair{0, control_id::kPreviewRowUp}, std::pair{49, control_id::kPreviewRowDown}}) {
        for (Part& part : preview().slots) part.selected = false;
        preview().slots[slot].selected = true;
        refresh();
        mark_undo();
        click(button);
        QVERIFY(undo_marked());
        QCOMPARE(names(preview(), 4), std::string("a b c - "));
    }

    for (Part& part : preview().slots) part.selected = false;
    preview().slots[1].selected = true;
    refresh();
    click(control_id::kPreviewRowDown);
    QCOMPARE(names(preview(), 4), std::string("a c b - "));
    QCOMPARE(selected(preview()), std::vector<int>{2});  // the selection follows the part
    QVERIFY(dialog_->preview_list()->item(2)->isSelected());
    click(control_id::kPreviewRowDown);  // into an empty row
    QCOMPARE(names(preview(), 4), std::string("a c - b "));

    click(control_id::kUndo);
    QCOMPARE(names(preview(), 4), std::string("a c b - "));
    click(control_id::kUndo);  // not consumed: the same state again
    QCOMPARE(names(preview(), 4), std::string("a c b - "));

    // Library side, and an undo with the options sheet open does nothing.
    put_part(library(), 0, 0, 0, "A", "p");
    put_part(library(), 1, 0, 0, "A", "q").selected = true;
    refresh();
    click(control_id::kLibraryRowUp);
    QCOMPARE(names(library(), 2), std::string("q p "));
    ctx_->options_open = true;
    click(control_id::kUndo);
    QCOMPARE(names(library(), 2), std::string("q p "));
    ctx_->options_open = false;
    click(control_id::kUndo);
    QCOMPARE(names(library(), 2), std::string("p q "));
    QCOMPARE(dialog_->library_list()->item(0)->text(), QStringLiteral("  (  0,  0)p"));

    // After a page change undo has nothing to restore.
    click(control_id::kLibraryRowDown);
    dialog_->page_scroll(PageScroll::line_right);
    dialog_->page_scroll(PageScroll::line_left);
    click(control_id::kUndo);
    QCOMPARE(names(library(), 2), std::string("p - "));
}

void CommandsTest::copy_from_the_library() {
    start();
    Part& placed = put_part(preview(), 0, 40, 54, "old", "placed");
    placed.flip_h = true;
    placed.selected = true;
    put_part(preview(), 1, 0, 0, "A", "other");
    Part& source = put_part(library(), 3, 200, 90, "new", "lib");
    set_comment(source, "note");
    source.is_label = true;
    source.always_opaque = false;
    source.selected = true;
    put_part(library(), 4, 5, 5, "two", "lib2");
    refresh();

    // Shift: the placed part takes the library part's look and keeps its place and flips.
    click(control_id::kCopyFromLibrary, Qt::ShiftModifier);
    QCOMPARE(get_string(preview().slots[0].text), std::string_view("new"));
    QCOMPARE(get_string(preview().slots[0].name), std::string_view("lib"));
    QCOMPARE(get_string(preview().slots[0].comment), std::string_view("note"));
    QVERIFY(preview().slots[0].is_label && !preview().slots[0].always_opaque && preview().slots[0].flip_h);
    QCOMPARE(preview().slots[0].x, 40);
    QCOMPARE(preview().slots[0].y, 54);
    QCOMPARE(undo().kind, UndoKind::preview_slot);
    QCOMPARE(undo().slot, 0);
    QCOMPARE(names(preview(), 3), std::string("lib other - "));

    // Without Shift (or with two library parts selected) the selected library parts are copied to the
    // first free slots at 0, 0.
    library().slots[4].selected = true;
    refresh();
    click(control_id::kCopyFromLibrary, Qt::ShiftModifier);
    QCOMPARE(names(preview(), 5), std::string("lib other lib lib2 - "));
    QCOMPARE(preview().slots[3].x, 0);
    QCOMPARE(preview().slots[2].y, 0);
    QCOMPARE(selected(preview()), (std::vector<int>{0, 2, 3}));
    QCOMPARE(undo().kind, UndoKind::preview_page);

    // A page that fills up keeps what was copied before the message.
    for (int i = 5; i < kPartsPerPage; ++i) put_part(preview(), i, 0, 0, "A", "f");
    clear_slot(preview().slots[4]);
    click(control_id::kCopyFromLibrary);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"プレビューに登録できる限界数です"});
    QCOMPARE(get_string(preview().slots[4].name), std::string_view("lib"));
}

void CommandsTest::save_and_load_by_extension_with_the_title() {
    start();
    put_part(preview(), 0, 3, 18, "A", "only");
    const std::string aat = home_->file("one.AAT"), txt = home_->file("one.txt"),
                      aap = home_->file("all.aap");

    // A single page in capitals: a single page file; the title and the remembered name stay.
    ui_->answer_file(aat);
    mark_undo();
    click(control_id::kSave);
    QCOMPARE(undo().kind, UndoKind::none);
    const FileDialogRequest& request = ui_->events().front().file_request;
    QCOMPARE(request.filter,
             std::string("Glyphoraファイル(aap)|*.aap|Glyphora単体ファイル(aat)|*.aat|all files|*.*||"));
    QCOMPARE(request.default_extension, std::string("aap"));
    QCOMPARE(request.proposed_name, std::string("*.aap"));
    QVERIFY(request.confirm_overwrite);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"正常終了"});
    QCOMPARE(TestHome::read_file(aat).substr(0, 19), std::string("Glyphora-Data V003", 19));
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));

    // Another extension touches no file.
    ui_->clear_events();
    ui_->answer_file(txt);
    click(control_id::kSave);
    QCOMPARE(ui_->messages(),
             (std::vector<std::string>{"拡張子からファイルタイプが決まらず", "保存に失敗しました"}));
    QVERIFY(!TestHome::exists(txt));

    ui_->clear_events();
    ui_->answer_file(aap);
    click(control_id::kSave);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"正常終了"});
    QCOMPARE(dialog_->windowTitle(), QString::fromStdString("Glyphora - " + aap));

    // Loading a single page changes the current page only, and not the title; a cancelled dialog still
    // invalidated the undo.
    ctx_->docs->preview.current_page = 4;
    ui_->clear_events();
    ui_->answer_file(aat);
    click(control_id::kLoad);
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"open:" + aap, "message:正常終了"}));
    QVERIFY(!ui_->events().front().file_request.confirm_overwrite);
    QCOMPARE(names(preview(), 2), std::string("only - "));
    QCOMPARE(dialog_->preview_list()->item(0)->text(), QStringLiteral("  (  3, 18)only"));
    ui_->answer_cancel();
    mark_undo();
    click(control_id::kLoad);
    QCOMPARE(undo().kind, UndoKind::none);

    // A collection loaded in a fresh program sets the title.
    app_->shut_down();
    start();
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));
    ui_->answer_file(aap);
    click(control_id::kLoad);
    QCOMPARE(dialog_->windowTitle(), QString::fromStdString("Glyphora - " + aap));
    QCOMPARE(get_string(ctx_->docs->preview.collection_name), std::string_view(aap));
    QCOMPARE(names(ctx_->docs->preview.pages[0], 2), std::string("only - "));

    // The options sheet open: load and save do nothing at all.
    ui_->clear_events();
    ctx_->options_open = true;
    click(control_id::kLoad);
    click(control_id::kSave);
    QVERIFY(ui_->events().empty());
}

void CommandsTest::a_damaged_file_leaves_every_page_as_it_was() {
    start();
    PreviewBook& book = ctx_->docs->preview;
    for (int p = 0; p < kPreviewPages; ++p)
        put_part(book.pages[p], p % 50, p, 18 * p, "A", "page" + std::to_string(p));
    book.page_settings[7].renderdotflag = true;
    const std::string before = serialize_collection(book);
    const std::string cut = home_->file("cut.aap"), cut_page = home_->file("cut.aat");
    TestHome::write_file(cut, before.substr(0, before.size() - 270));  // ends in the middle of page 29
    TestHome::write_file(cut_page, serialize_single_page(book.pages[3]).substr(0, 40));
    TestHome::write_file(home_->file("wrong.aap"), serialize_single_page(book.pages[3]));

    const std::string cut_off = "ファイルが途中で不正に切れてしまっている";
    const struct {
        std::string path, status;
    } cases[] = {{cut, cut_off},
                 {cut_page, cut_off},
                 {home_->file("wrong.aap"), "ファイルが破損あるいは違う"},
                 {home_->file("missing.aap"), "ファイルが開けない"}};
    for (const auto& c : cases) {
        ui_->clear_events();
        ui_->answer_file(c.path);
        click(control_id::kLoad);
        QCOMPARE(ui_->messages(), (std::vector<std::string>{c.status, "読み出しに失敗しました"}));
        QCOMPARE(serialize_collection(book), before);
        QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));
    }
    QCOMPARE(dialog_->preview_list()->item(0)->text(), QStringLiteral("  (  0,  0)page0"));
}

void CommandsTest::library_page_name() {
    start();
    LibraryBook& lib = ctx_->docs->library;
    lib.current_page = 2;
    set_string(lib.page_names[2], "\x8A\xE7");  // "顔"
    dialog_->fill_page_combo();

    // 28 ASCII bytes and a double-byte character: cut to 28, never in the middle of the character.
    ui_->answer_text(std::string(28, 'n') + "木");
    mark_undo();
    click(control_id::kLibraryPageName);
    QCOMPARE(ui_->events().front().text_request.title, std::string("ライブラリページ名"));
    QCOMPARE(ui_->events().front().text_request.initial_text, std::string("顔"));
    QCOMPARE(get_string(lib.page_names[2]), std::string_view(std::string(28, 'n')));
    QCOMPARE(dialog_->library_combo()->itemText(2), QString::fromStdString("2 - " + std::string(28, 'n')));
    QCOMPARE(undo().kind, UndoKind::none);

    ui_->answer_text(std::string(40, 'k'));
    click(control_id::kLibraryPageName);
    QCOMPARE(get_string(lib.page_names[2]).size(), std::size_t{29});

    // Cancel keeps the name (the undo is gone all the same); a character Shift_JIS lacks is refused.
    ui_->answer_cancel();
    mark_undo();
    click(control_id::kLibraryPageName);
    QCOMPARE(undo().kind, UndoKind::none);
    ui_->clear_events();
    ui_->answer_text("€uro");
    click(control_id::kLibraryPageName);
    QCOMPARE(ui_->messages().size(), std::size_t{1});
    QCOMPARE(get_string(lib.page_names[2]), std::string_view(std::string(29, 'k')));
}

void CommandsTest::render_commands_write_the_file_and_show_the_report() {
    start();
    // Page 2 runs out of lines (no line number); page 5 out of text room on its last lines.
    put_part(ctx_->docs->preview.pages[2], 0, 0, 78 * 18, "A\r\nB\r\nC\r\nD", "low");
    std::string tall;
    for (int line = 0; line < 80; ++line) tall += std::string(220, 'W') + "\r\n";
    put_part(ctx_->docs->preview.pages[5], 0, 0, 0, tall.c_str(), "tall");
    ResultDialogWatch watch;

    const std::string out = home_->file("out.txt");
    ui_->answer_file(out);
    mark_undo();
    watch.arm();
    click(control_id::kRender);
    QVERIFY(watch.seen());
    QCOMPARE(watch.title(), QStringLiteral("レンダリング終了"));
    // Both pages' problems show, not just the last page's.
    QVERIFY2(watch.text().contains(QStringLiteral("出来上がったテキストの改行数が多すぎます")),
             qPrintable(watch.text()));
    QVERIFY2(watch.text().contains(QStringLiteral("出来上がったテキストの文字数が多すぎます")),
             qPrintable(watch.text()));
    QCOMPARE(undo().kind, UndoKind::none);
    const FileDialogRequest& request = ui_->events().front().file_request;
    QCOMPARE(request.proposed_name, std::string("*.txt"));
    QCOMPARE(request.default_extension, std::string("txt"));
    QCOMPARE(request.filter,
             std::string("テキスト(txt)|*.txt|テキスト(tx)|*.tx|html|*.html|all files|*.*||"));
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"save:*.txt", "busy", "busy-end"}));
    const std::string text = TestHome::read_file(out);
    QCOMPARE(text.substr(0, 4), std::string("1/2\n"));
    QVERIFY(text.find("2/2\n") != std::string::npos);

    // The current page into HTML: the extension is remembered as chosen, no busy cursor.
    put_part(ctx_->docs->preview.pages[0], 0, 0, 0, ">>5 abc", "reply");
    ui_->clear_events();
    ui_->answer_file(home_->file("page.HTML"));
    watch.arm();
    click(control_id::kRenderPage);
    QCOMPARE(watch.text(), QStringLiteral("レンダリングは無事終了しました"));
    QCOMPARE(ui_->trace(), std::vector<std::string>{"save:*.txt"});
    QVERIFY(TestHome::read_file(home_->file("page.HTML")).find("<a href=\"#top\">&gt;&gt;5</a> abc<br>") !=
            std::string::npos);
    QCOMPARE(read_renderext(ctx_->file()), std::string("HTML"));

    // A collection name is proposed with the remembered extension; an unwritable file is reported and
    // the extension stays.
    set_string(ctx_->docs->preview.collection_name, home_->file("work.aap"));
    ui_->clear_events();
    ui_->answer_file(home_->file("no/such/dir/x.txt"));
    watch.arm();
    click(control_id::kRender);
    QVERIFY(!watch.seen());
    QCOMPARE(ui_->events().front().file_request.proposed_name, home_->file("work.HTML"));
    QCOMPARE(ui_->events().front().file_request.filter.substr(0, 10), std::string("all files|"));
    QVERIFY(ui_->messages().at(0).starts_with("ファイルが書き込めない"));
    QCOMPARE(read_renderext(ctx_->file()), std::string("HTML"));

    ui_->clear_events();
    ctx_->options_open = true;
    click(control_id::kRender);
    click(control_id::kRenderPage);
    QVERIFY(ui_->events().empty());
}

void CommandsTest::render_report_names_fractional_lines_and_counts_references() {
    start();
    QVERIFY(ctx_->ensure_width_table());
    auto metrics = std::make_unique<MetricsFile>();
    QVERIFY(parse_metrics("line_height 18\ndefault 8\nU+2006 2.667\n", *metrics).ok);
    ctx_->widths->set_code_point_source(MetricsFileSource(*metrics).code_points());
    put_part(preview(), 0, 0, 18, "A&#x2006;B&#x2661", "refs");
    ResultDialogWatch watch;
    ui_->answer_file(home_->file("refs.txt"));
    watch.arm();
    click(control_id::kRenderPage);
    QVERIFY(watch.seen());
    const QString expected = QStringLiteral(
        "2行目：幅が１ドット単位でない文字参照があり、ブラウザではその後ろの文字が少しずれます\n"
        "出力の文字参照：2個（16バイト）");
    QVERIFY2(watch.text() == expected, qPrintable(watch.text()));
    QVERIFY(TestHome::read_file(home_->file("refs.txt")).find("A&#x2006;B&#x2661;\r\n") != std::string::npos);
}

void CommandsTest::render_button_writes_what_the_command_line_tool_writes() {
    // The program measures the real rendering font here, as glyphora-cli does with the same settings file
    // (no metrics file on either side).
    const std::string settings = "[option]\nrenderdotflag=1\nrender_linenumber=1\n";
    start(settings, Widths::font);
    if (!ctx_->ensure_width_table()) GLYPHORA_SKIP_UNLESS_CI("no rendering font installed");
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/glyphora-cli");
    if (!QFile::exists(cli)) GLYPHORA_SKIP_UNLESS_CI("glyphora-cli is not built beside the test");

    // A collection with a flipped part on a page the canvas never showed, and a reply reference.
    auto docs = make_documents();
    put_part(docs->preview.pages[0], 0, 8, 18,
             "\x81\x40 \x81\xC8\x81Q\x81\xC8\r\n\x81i\x81@\x81L\x81\xCD\x81M\x81j", "mona");
    put_part(docs->preview.pages[0], 1, 60, 36, ">>12 <ok>", "text");
    put_part(docs->preview.pages[3], 0, 30, 0, "(\x81L\x81\xCD)/\r\nA  B", "flip").flip_h = true;
    put_part(docs->preview.pages[3], 1, 5, 5, "WWWW....", "over").always_opaque = false;
    const std::string collection = home_->file("sample.aap");
    QCOMPARE(write_collection(collection, docs->preview), FileStatus::ok);

    ui_->answer_file(collection);
    click(control_id::kLoad);
    for (const std::string name : {"all.txt", "all.html", "page.txt"}) {
        ResultDialogWatch watch;
        watch.arm();
        // The dots of the gaps come from one generator per run; each run of the tool starts it afresh.
        reset_dot_random();
        ui_->answer_file(home_->file("gui-" + name));
        click(name == "page.txt" ? control_id::kRenderPage : control_id::kRender);
        QVERIFY2(watch.seen(), name.c_str());

        QProcess process;
        QStringList args{"render", "--settings", QString::fromStdString(home_->settings_path()), "-o",
                         QString::fromStdString(home_->file("cli-" + name))};
        if (name == "page.txt")
            args << "--page"
                 << "0";
        process.start(cli, args << QString::fromStdString(collection));
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const std::string gui_bytes = TestHome::read_file(home_->file("gui-" + name));
        QVERIFY(gui_bytes.size() > 40);
        QCOMPARE(gui_bytes, TestHome::read_file(home_->file("cli-" + name)));
    }
}

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
