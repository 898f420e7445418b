// The canvases' popup menus and their commands: the items with their check marks and menu characters, the
// temporary rendering (against the command-line tool, with its clipboard and "←"/"→" modes), alignment,
// menu-character parts, registering from the library, the toggles and writing the library back.

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

#include "app/application.h"
#include "app/command_groups.h"
#include "app/main_commands.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "canvas/popup_commands.h"
#include "canvas/popup_menu.h"
#include "model/test_support.h"
#include "options/options_sheet.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "render/gap_fill.h"
#include "session/messages.h"
#include "storage/file_status.h"
#include "storage/library_file.h"
#include "storage/page_file.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

// The menu as one line: item texts, "-" for separators, "[x]"/"[ ]" for check marks.
std::string describe(const std::vector<PopupItem>& items) {
    std::string out;
    for (const PopupItem& i : items) {
        if (!out.empty()) out += " | ";
        if (i.command == PopupCommand::separator) {
            out += "-";
            continue;
        }
        if (i.checkable) out += i.checked ? "[x]" : "[ ]";
        out += i.text;
    }
    return out;
}

const PopupItem& find_item(const std::vector<PopupItem>& items, PopupCommand command) {
    for (const PopupItem& i : items)
        if (i.command == command) return i;
    static const PopupItem none;
    return none;
}

// A desktop whose clipboard takes no text.
class RefusingClipboard : public ScriptedUiServices {
  public:
    bool set_clipboard_text(std::string_view) override { return false; }
};

}  // namespace

class PopupTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void menus_in_order_with_check_marks_and_menu_characters();
    void temporary_rendering_is_the_command_line_page_text();
    void temporary_rendering_without_content_shows_and_copies_nothing();
    void a_refused_clipboard_copy_is_reported();
    void arrows_render_again_and_copy_only_after_the_clipboard_variant();
    void alignment_packs_the_selection_by_former_x();
    void menu_character_parts_and_registering_from_the_library();
    void toggles_and_undo();
    void rendering_options_open_the_rendering_page_alone();
    void library_update_writes_the_book_or_reports_both_messages();

  private:
    void start(const std::string& extra_ini = {});
    void run(CanvasWindow& canvas, PopupCommand command, int index = -1) {
        PopupItem item;
        item.command = command;
        item.menu_index = index;
        run_popup_command(*dialog_, canvas, item);
    }
    CanvasWindow& preview_canvas() { return dialog_->preview_canvas(); }
    CanvasWindow& library_canvas() { return dialog_->library_canvas(); }
    UndoSnapshot& undo() { return ctx_->docs->undo; }
    void mark_undo() { take_snapshot(undo(), UndoKind::library_slot, preview(), library(), 44); }
    bool undo_marked() { return undo().kind == UndoKind::library_slot && undo().slot == 44; }
    // Copies of a rendering (each rendered line starts with a full-width space); selecting a single part in
    // a list copies that part's text, which is not counted.
    int clipboard_writes() const {
        int n = 0;
        for (const auto& e : ui_->events())
            n += e.kind == ScriptedUiServices::EventKind::clipboard_set && e.text.starts_with("\x81\x40");
        return n;
    }
};

void PopupTest::start(const std::string& extra_ini) {
    GuiTest::start(extra_ini);
    if (started()) QVERIFY(ctx_->ensure_width_table());
}

void PopupTest::menus_in_order_with_check_marks_and_menu_characters() {
    start();
    QVERIFY(preview_canvas().popup_handler() && library_canvas().popup_handler());

    library_canvas().state().boxflag = false;
    QCOMPARE(
        describe(popup_menu_items(library_canvas().state(), ctx_->settings)),
        std::string("ライブラリ更新 | プレビューに登録 | - | [ ]非選択パーツはＢＯＸを非表示 | アンドゥ"));

    // No menu characters: the menu ends with the undo item, no trailing separator.
    const std::string preview_head =
        "一時レンダリング | 一時レンダリング＆クリップボード送 | レンダリングオプション | - | "
        "投稿 | 画像として保存 | 画像として保存（2倍） | - | ライブラリから登録 | - | "
        "[x]非選択パーツはＢＯＸを非表示 | [ ]一時レンダリングモード空白色分け | - | 横方向にキレイに整列 | "
        "アンドゥ";
    preview_canvas().state().blank_colouring = false;
    QCOMPARE(describe(popup_menu_items(preview_canvas().state(), ctx_->settings)), preview_head);

    // Only menu character 5: one separator and one item after the undo item.
    ctx_->settings.menuchr[5] = "\x81\x69\x81\x4C\x81\xCD\x81\x4D\x81\x6A";  // "（´∀｀）"
    std::vector<PopupItem> items = popup_menu_items(preview_canvas().state(), ctx_->settings);
    QCOMPARE(describe(items), preview_head + " | - | （´∀｀）");
    QCOMPARE(items.back().menu_index, 5);

    // Several, with gaps: still one separator; "&" is shown as itself, not as a shortcut mark; a text that
    // is not Shift_JIS keeps its item under its number.
    ctx_->settings.menuchr[0] = "A&B";
    ctx_->settings.menuchr[9] = "\x81";
    items = popup_menu_items(preview_canvas().state(), ctx_->settings);
    QCOMPARE(describe(items), preview_head + " | - | A&&B | （´∀｀） | 9");
    QCOMPARE(items[items.size() - 3].menu_index, 0);
    QCOMPARE(items.back().menu_index, 9);
    QVERIFY(find_item(items, PopupCommand::rendering_options).command == PopupCommand::rendering_options);
}

void PopupTest::temporary_rendering_is_the_command_line_page_text() {
    start("[option]\nrenderdotflag=1\nrender_linenumber=1\n");
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/glyphora-cli");
    if (!QFile::exists(cli)) GLYPHORA_SKIP_UNLESS_CI("glyphora-cli is not built beside the test");

    // Page 3 with a flipped part the canvas never measured, gaps of every size and an overlapping part.
    PreviewBook& book = ctx_->docs->preview;
    put_part(book.pages[3], 0, 30, 0, "(\x81L\x81\xCD)/\r\nA  B", "p0").flip_h = true;
    put_part(book.pages[3], 1, 5, 5, "WWWW....", "p1").always_opaque = false;
    put_part(book.pages[3], 2, 77, 40, "\x81\x40Z\r\n\r\nC", "p2");
    put_part(book.pages[0], 0, 0, 0, "other page", "p0");
    const std::string collection = home_->file("sample.aap");
    QCOMPARE(write_collection(collection, book), FileStatus::ok);
    book.current_page = 3;

    reset_dot_random();
    ui_->clipboard = std::string("before");
    run(preview_canvas(), PopupCommand::temporary_rendering_clipboard);

    QProcess process;
    process.start(cli, {"render", "--settings", QString::fromStdString(home_->settings_path()), "--metrics",
                        QStringLiteral(GLYPHORA_TEST_DATA "/test_metrics.txt"), "--page", "3",
                        QString::fromStdString(collection)});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    std::string expected = process.readAllStandardOutput().toStdString();
    QVERIFY(expected.size() > 20);
    QCOMPARE(expected.back(), '\0');  // the page's separator in the file, not part of its text
    expected.pop_back();

    const CanvasState& state = preview_canvas().state();
    QVERIFY(state.temp_shown);
    QCOMPARE(std::string(get_string(state.temp_part->text)), expected);
    QCOMPARE(state.temp_part->x, -11);
    QVERIFY(state.temp_part->in_use);
    QCOMPARE(ui_->clipboard.value_or(""), expected);
    QCOMPARE(state.temp_to_clipboard, 1);
    QCOMPARE(ui_->trace().front(), std::string("busy"));
    QVERIFY(ui_->messages().empty());  // the report of a temporary rendering is never shown
    QCOMPARE(ui_->busy_depth(), 0);

    // While it is shown the menu commands do nothing.
    ui_->clear_events();
    run(preview_canvas(), PopupCommand::temporary_rendering);
    QVERIFY(ui_->events().empty());
    QCOMPARE(state.temp_to_clipboard, 1);
}

void PopupTest::temporary_rendering_without_content_shows_and_copies_nothing() {
    start();
    ui_->clipboard = std::string("kept");
    // A page without parts, and a page whose only part has no text.
    put_part(ctx_->docs->preview.pages[1], 0, 0, 0, "", "p0");
    for (int page : {0, 1}) {
        ctx_->docs->preview.current_page = page;
        for (PopupCommand command :
             {PopupCommand::temporary_rendering, PopupCommand::temporary_rendering_clipboard}) {
            run(preview_canvas(), command);
            QVERIFY(!preview_canvas().state().temp_shown);
            QCOMPARE(ui_->clipboard.value_or(""), std::string("kept"));
            QCOMPARE(clipboard_writes(), 0);
            QVERIFY(ui_->messages().empty());
        }
    }
    // The library canvas has no temporary rendering.
    put_part(ctx_->docs->preview.pages[1], 1, 0, 0, "A", "p1");
    run(library_canvas(), PopupCommand::temporary_rendering_clipboard);
    QVERIFY(!preview_canvas().state().temp_shown);
    QCOMPARE(clipboard_writes(), 0);
}

void PopupTest::a_refused_clipboard_copy_is_reported() {
    ui_ = std::make_unique<RefusingClipboard>();
    start();
    put_part(preview(), 0, 0, 0, "A", "p0");
    run(preview_canvas(), PopupCommand::temporary_rendering_clipboard);
    QVERIFY(preview_canvas().state().temp_shown);
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kTempClipboardFailedMessage)});
}

void PopupTest::arrows_render_again_and_copy_only_after_the_clipboard_variant() {
    start("[option]\nrendersetsize=0\n");
    put_part(preview(), 0, 20, 0, "A", "p0").selected = true;
    put_part(preview(), 1, 60, 0, "B", "p1");
    dialog_->refresh_lists(Side::preview);
    auto right = [this] {
        auto* button = qobject_cast<QPushButton*>(dialog_->control(control_id::kMoveRight));
        QVERIFY(button && button->isEnabled());
        test::click(button);
    };
    const CanvasState& state = preview_canvas().state();

    run(preview_canvas(), PopupCommand::temporary_rendering);
    QVERIFY(state.temp_shown);
    const std::string first(get_string(state.temp_part->text));
    right();
    QVERIFY(state.temp_shown);
    QCOMPARE(preview().slots[0].x, 21);
    const std::string moved(get_string(state.temp_part->text));
    QVERIFY(moved != first);
    QCOMPARE(clipboard_writes(), 0);
    QCOMPARE(state.temp_to_clipboard, 0);

    // A new rendering needs the display to have ended (a click does that on the canvas).
    preview_canvas().request_redraw(true);
    run(preview_canvas(), PopupCommand::temporary_rendering_clipboard);
    QCOMPARE(clipboard_writes(), 1);
    right();
    right();
    QCOMPARE(clipboard_writes(), 3);
    QCOMPARE(ui_->clipboard.value_or(""), std::string(get_string(state.temp_part->text)));
    QVERIFY(ui_->clipboard.value_or("") != moved);

    // Without a shown rendering the arrows only move and redraw.
    preview_canvas().request_redraw(true);
    right();
    QVERIFY(!state.temp_shown);
    QCOMPARE(clipboard_writes(), 3);
}

void PopupTest::alignment_packs_the_selection_by_former_x() {
    start();
    auto placed = [this](int slot, int x, int width) {
        Part& part = put_part(preview(), slot, x, 18 * slot, "A", "p" + std::to_string(slot));
        part.selected = true;
        part.box = {x, 18 * slot, x + width, 18 * slot + 18};
    };
    placed(2, 100, 30);
    placed(5, 40, 20);
    placed(7, 40, 10);
    put_part(preview(), 3, 7, 0, "not selected", "p3");
    Part& unused = put_part(preview(), 9, 1, 0, "selected but not in use", "p9");
    unused.selected = true;
    unused.in_use = false;

    mark_undo();
    run(preview_canvas(), PopupCommand::align_horizontally);
    QCOMPARE(preview().slots[5].x, 40);
    QCOMPARE(preview().slots[7].x, 60);
    QCOMPARE(preview().slots[2].x, 70);
    QCOMPARE(preview().slots[2].y, 36);  // y never changes
    QCOMPARE(preview().slots[3].x, 7);
    QCOMPARE(preview().slots[9].x, 1);
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QCOMPARE(undo().slots[2].x, 100);  // the snapshot holds the page before the move

    // Nothing selected: nothing moves, but the snapshot is still replaced.
    for (Part& p : preview().slots) p.selected = false;
    mark_undo();
    run(preview_canvas(), PopupCommand::align_horizontally);
    QCOMPARE(preview().slots[2].x, 70);
    QVERIFY(!undo_marked());
    QCOMPARE(undo().kind, UndoKind::preview_page);

    // Positions at the edge of the range saturate instead of wrapping.
    Part& edge = put_part(preview(), 0, INT32_MAX - 5, 0, "A", "p0");
    edge.selected = true;
    edge.box = {0, 0, 100, 18};
    Part& next = put_part(preview(), 1, INT32_MAX - 1, 0, "B", "p1");
    next.selected = true;
    next.box = {0, 0, 8, 18};
    run(preview_canvas(), PopupCommand::align_horizontally);
    QCOMPARE(preview().slots[1].x, INT32_MAX);
}

void PopupTest::menu_character_parts_and_registering_from_the_library() {
    start();
    ctx_->settings.menuchr[4] = "\x81\x69\x81\x4C\x81\xCD\x81\x4D\x81\x6A";
    put_part(preview(), 0, 0, 0, "A", "p0").selected = true;
    preview_canvas().state().menu_point = {33, 53};
    mark_undo();
    run(preview_canvas(), PopupCommand::menu_character, 4);
    const Part& added = preview().slots[1];
    QVERIFY(added.in_use && added.selected);
    QVERIFY(!preview().slots[0].selected);
    QCOMPARE(std::string(get_string(added.name)),
             std::string("MENU\x92\xC7\x89\xC1\x83\x70\x81\x5B\x83\x63"));
    QCOMPARE(added.x, 33);
    QCOMPARE(added.y, 36);
    QCOMPARE(std::string(get_string(added.text)), ctx_->settings.menuchr[4]);
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QVERIFY(!undo().slots[1].in_use);

    // A full page: the error and nothing changes, the snapshot stays.
    for (int i = 0; i < kPartsPerPage; ++i) put_part(preview(), i, i, 0, "A", "p" + std::to_string(i));
    mark_undo();
    run(preview_canvas(), PopupCommand::menu_character, 4);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"登録エラー"});
    QVERIFY(undo_marked());
    QCOMPARE(preview().slots[1].x, 1);

    // Registering from the library (either canvas): the selected library parts at (0, 0), still selected;
    // what fitted is copied before the page-full message.
    ui_->clear_events();
    for (int i = 0; i < kPartsPerPage; ++i) clear_slot(preview().slots[i]);
    for (int i = 0; i < 48; ++i) put_part(preview(), i, 9, 9, "A", "p" + std::to_string(i));
    put_part(library(), 3, 50, 72, "X", "p3").selected = true;
    put_part(library(), 4, 50, 90, "Y", "p4").selected = true;
    put_part(library(), 6, 50, 90, "Z", "p6").selected = true;
    run(library_canvas(), PopupCommand::register_from_library);
    QCOMPARE(std::string(get_string(preview().slots[48].text)), std::string("X"));
    QCOMPARE(std::string(get_string(preview().slots[49].text)), std::string("Y"));
    QCOMPARE(preview().slots[49].x, 0);
    QVERIFY(preview().slots[49].selected);
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kPreviewFullMessage)});
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QVERIFY(!undo().slots[48].in_use);
}

void PopupTest::toggles_and_undo() {
    start();
    const std::string before = TestHome::read_file(home_->settings_path());
    QVERIFY(before.find("boxflag") == std::string::npos);

    run(library_canvas(), PopupCommand::toggle_frames);
    QVERIFY(!library_canvas().state().boxflag);
    QVERIFY(preview_canvas().state().boxflag);
    QVERIFY(!read_boxflag(ctx_->file(), Side::library));
    QVERIFY(read_boxflag(ctx_->file(), Side::preview));
    // The one key written is window1's.
    const std::string after = TestHome::read_file(home_->settings_path());
    const std::size_t key = after.find("boxflag");
    QVERIFY(key != std::string::npos && after.find("boxflag", key + 1) == std::string::npos);
    QVERIFY(after.rfind("[window1]", key) != std::string::npos);
    QVERIFY(after.rfind("[window0]", key) == std::string::npos ||
            after.rfind("[window0]", key) < after.rfind("[window1]", key));
    QCOMPARE(describe({popup_menu_items(library_canvas().state(), ctx_->settings)[3]}),
             std::string("[ ]非選択パーツはＢＯＸを非表示"));

    // Space held: nothing happens.
    library_canvas().state().space_held = true;
    run(library_canvas(), PopupCommand::toggle_frames);
    QVERIFY(!library_canvas().state().boxflag);
    library_canvas().state().space_held = false;
    run(library_canvas(), PopupCommand::toggle_frames);
    QVERIFY(read_boxflag(ctx_->file(), Side::library));

    // Blank colouring lasts for the run only and keeps a shown temporary rendering.
    put_part(preview(), 0, 0, 0, "A", "p0");
    run(preview_canvas(), PopupCommand::temporary_rendering);
    run(preview_canvas(), PopupCommand::toggle_blank_colouring);
    QVERIFY(!preview_canvas().state().blank_colouring);
    QVERIFY(preview_canvas().state().temp_shown);
    QVERIFY(TestHome::read_file(home_->settings_path()).find("colour") == std::string::npos);

    // Undo from either menu is the dialog's undo.
    put_part(preview(), 0, 5, 0, "A", "p0").selected = true;
    run(preview_canvas(), PopupCommand::align_horizontally);  // snapshot of the page, x 5
    preview().slots[0].x = 99;
    run(library_canvas(), PopupCommand::undo);
    QCOMPARE(preview().slots[0].x, 5);
    preview().slots[0].x = 99;
    ctx_->options_open = true;  // the dialog's undo waits for the options sheet
    run(preview_canvas(), PopupCommand::undo);
    QCOMPARE(preview().slots[0].x, 99);
    ctx_->options_open = false;
}

void PopupTest::rendering_options_open_the_rendering_page_alone() {
    start();
    int pages = -1;
    bool over_canvas = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* sheet = qobject_cast<OptionsSheet*>(w);
            if (!sheet || !sheet->isVisible()) continue;
            pages = sheet->tabs()->count();
            over_canvas = sheet->parentWidget() == &preview_canvas();
            QVERIFY(ctx_->options_open);
            sheet->reject();
        }
    });
    mark_undo();
    run(preview_canvas(), PopupCommand::rendering_options);
    QCOMPARE(pages, 1);
    QVERIFY(over_canvas);
    QVERIFY(!ctx_->options_open);
    QCOMPARE(undo().kind, UndoKind::none);  // opening the sheet invalidates the snapshot
}

void PopupTest::library_update_writes_the_book_or_reports_both_messages() {
    start();
    put_part(ctx_->docs->library.pages[7], 2, 11, 36, "lib part", "p2");
    set_string(ctx_->docs->library.page_names[7], "seven");
    ctx_->docs->library.library_writable = false;  // written all the same

    // The preview canvas, and Space held, do nothing.
    run(preview_canvas(), PopupCommand::update_library);
    library_canvas().state().space_held = true;
    run(library_canvas(), PopupCommand::update_library);
    QVERIFY(ui_->events().empty());
    library_canvas().state().space_held = false;

    ctx_->library_path = home_->file("written.aal");
    mark_undo();
    run(library_canvas(), PopupCommand::update_library);
    QCOMPARE(ui_->trace(),
             (std::vector<std::string>{"progress:ライブラリファイルを更新中・・・", "progress-end"}));
    QCOMPARE(undo().kind, UndoKind::none);
    auto book = std::make_unique<LibraryBook>();
    QCOMPARE(read_library_all_or_nothing(ctx_->library_path, *book), FileStatus::ok);
    QCOMPARE(std::string(get_string(book->pages[7].slots[2].text)), std::string("lib part"));
    QCOMPARE(std::string(get_string(book->page_names[7])), std::string("seven"));

    // A path that cannot be written: the writer's status, then the failure; the book is unchanged and the
    // snapshot stays invalidated.
    ui_->clear_events();
    ctx_->library_path = home_->file("no-such-folder/lib.aal");
    mark_undo();
    run(library_canvas(), PopupCommand::update_library);
    const std::vector<std::string> messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY(!messages[0].empty());
    QVERIFY(messages[0] != "正常終了");
    QCOMPARE(messages[1], std::string("ライブラリのファイルへの登録に失敗しました"));
    QCOMPARE(ui_->trace().at(1), std::string("progress-end"));  // messages come after the window closed
    QCOMPARE(undo().kind, UndoKind::none);
    QCOMPARE(std::string(get_string(ctx_->docs->library.pages[7].slots[2].text)), std::string("lib part"));
    QVERIFY(!ui_->progress_open());
}

QTEST_MAIN(PopupTest)
#include "popup_test.moc"
