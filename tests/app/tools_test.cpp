// The tool dialog and the library maintenance dialog, driven through their buttons with scripted answers:
// the "ツール" command around them, the page shifts, the exchanges with library and collection files and
// their round trips, and the maintenance plan from opening to execution.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/main_dialog.h"
#include "app/maintenance_dialog.h"
#include "app/tool_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/qt_ui_services.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "storage/library_file.h"
#include "storage/page_file.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

const std::string kOk = "正常終了";

// A part with fields of its own for each seed.
void put_seeded_part(Page& page, int slot, int seed) {
    Part& part =
        put_part(page, slot, seed, 18 * (seed % 7), "AA " + std::to_string(seed), "p" + std::to_string(seed));
    part.flip_h = seed % 2 == 1;
    set_comment(part, "c" + std::to_string(seed));
}

// The stored form of a page: equal pages as far as files go.
std::string page_bytes(const Page& page) {
    return serialize_single_page(page);
}

// Every page, its name and the current page of the library.
std::string library_state(const LibraryBook& library) {
    std::string out;
    for (int page = 0; page < kLibraryPages; ++page)
        out += page_bytes(library.pages[page]) + std::string(get_string(library.page_names[page])) + "|";
    return out + std::to_string(library.current_page);
}

std::string empty_page_bytes() {
    const auto page = std::make_unique<Page>();
    clear_page(*page);
    return page_bytes(*page);
}

QPushButton* button(QWidget* dialog, const char* name) {
    auto* found = dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    if (!found) qWarning("no button %s", name);
    return found;
}

// Clicks the named button through its window, as the user does.
void click_button(QWidget* dialog, const char* name) {
    glyphora::test::click(button(dialog, name));
}

QStringList row_texts(QListWidget* list) {
    QStringList rows;
    for (int row = 0; row < list->count(); ++row) rows << list->item(row)->text();
    return rows;
}

// Runs `act` on the modal dialog the next nested loop shows, and closes it afterwards if `act` did not.
template <class Dialog>
void on_next_modal(std::function<void(Dialog&)> act, bool& seen) {
    seen = false;
    QTimer::singleShot(0, [act = std::move(act), &seen] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
}

}  // namespace

class ToolsTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void init();

    void tool_button_runs_the_dialog_and_refreshes_everything();
    void tool_button_waits_while_the_options_sheet_is_open();
    void declined_shifts_leave_the_dialog_open();
    void shift_back_and_forward_move_pages_but_not_settings();
    void preview_through_a_library_file_round_trip();
    void a_damaged_library_file_keeps_the_preview();
    void cancelled_and_failed_exports();
    void aa_file_import_fills_free_library_pages_and_reports();
    void aa_file_export_writes_the_rendered_pages();
    void aa_file_import_cancelled_or_failed_changes_nothing();
    void aa_file_import_into_a_full_library_names_what_did_not_fit();
    void aa_file_export_names_pages_that_lost_a_blank_run();
    void the_progress_window_cancels_a_running_task();
    void library_as_a_collection_loads_into_the_preview();
    void organise_library_opens_maintenance_and_closes_the_tool_dialog();

    void maintenance_opens_on_the_used_pages();
    void maintenance_executing_at_once_only_drops_empty_page_names();
    void maintenance_row_buttons_and_their_bounds();
    void maintenance_other_library_open_and_bring_in();
    void maintenance_execution_failures_change_nothing();

  private:
    void fill_preview();
    void fill_library_pages(std::initializer_list<int> pages);
};

void ToolsTest::init() {
    GuiTest::init();
    start();
}

// Every preview page k holds parts 0 and 1 with seeds 100k + 1 and 100k + 2, and settings of its own.
void ToolsTest::fill_preview() {
    PreviewBook& preview = ctx_->docs->preview;
    for (int k = 0; k < kPreviewPages; ++k) {
        put_seeded_part(preview.pages[k], 0, 100 * k + 1);
        put_seeded_part(preview.pages[k], 1, 100 * k + 2);
        preview.page_settings[k].flag(k % RenderSettings::kCount) = true;
    }
}

void ToolsTest::fill_library_pages(std::initializer_list<int> pages) {
    LibraryBook& library = ctx_->docs->library;
    for (int page : pages) {
        put_seeded_part(library.pages[page], 0, 1000 + page);
        set_string(library.page_names[page], "lib " + std::to_string(page));
    }
}

void ToolsTest::tool_button_runs_the_dialog_and_refreshes_everything() {
    Page& preview_page = ctx_->preview_page();
    put_seeded_part(preview_page, 0, 1);
    ctx_->docs->library.current_page = 3;
    take_snapshot(ctx_->docs->undo, UndoKind::preview_page, preview_page, ctx_->library_page(), 0);
    // Changes behind the dialog's back show only after the tool dialog closed.
    set_name(preview_page.slots[0], "renamed");
    put_seeded_part(ctx_->library_page(), 4, 2);
    set_string(ctx_->docs->library.page_names[3], "three");
    ctx_->preview_page().slots[0].selected = false;
    app_->preview_canvas()->show_temporary_rendering("AA");

    auto* tool_button = qobject_cast<QPushButton*>(dialog_->control(control_id::kTool));
    QVERIFY(tool_button && tool_button->isEnabled());

    bool seen = false;
    QString title;
    QStringList captions, groups;
    UndoKind undo_kind_inside = UndoKind::preview_page;
    on_next_modal<ToolDialog>(
        [&](ToolDialog& tool) {
            title = tool.windowTitle();
            undo_kind_inside = ctx_->docs->undo.kind;
            for (QGroupBox* group : tool.findChildren<QGroupBox*>()) groups << group->title();
            for (QPushButton* b : tool.findChildren<QPushButton*>()) captions << b->text();
            click_button(&tool, "cancel");
        },
        seen);
    test::click(tool_button);

    QVERIFY(seen);
    QCOMPARE(title, QString::fromUtf8("Glyphoraツール"));
    QCOMPARE(undo_kind_inside, UndoKind::none);
    QCOMPARE(groups,
             (QStringList{QString::fromUtf8("プレビューメンテナンス"),
                          QString::fromUtf8("ライブラリメンテナンス"), QString::fromUtf8("AAファイル")}));
    for (const char* caption :
         {"今のページ以降を１つ後ろにずらす", "今のページ以降を１つ前にずらす", "ライブラリ整理",
          "ライブラリファイルをプレビューに開く", "今のプレビューをライブラリファイルに出力",
          "今のライブラリを通常AAPファイルに出力", "MLT/AST/TXTを読み込む", "MLT/ASTに書き出す", "ｷｬﾝｾﾙ"})
        QVERIFY2(captions.contains(QString::fromUtf8(caption)), caption);

    QCOMPARE(dialog_->preview_list()->item(0)->text(), QStringLiteral("  (  1, 18)renamed[c1]"));
    QCOMPARE(dialog_->library_list()->item(4)->text(), QStringLiteral("  (  2, 36)p2[c2]"));
    QCOMPARE(dialog_->library_combo()->itemText(3), QStringLiteral("3 - three"));
    QVERIFY(!app_->preview_canvas()->state().temp_shown);
    QVERIFY(ui_->events().empty());
}

void ToolsTest::tool_button_waits_while_the_options_sheet_is_open() {
    take_snapshot(ctx_->docs->undo, UndoKind::preview_page, ctx_->preview_page(), ctx_->library_page(), 0);
    ctx_->options_open = true;
    bool seen = false;
    on_next_modal<QDialog>([](QDialog&) {}, seen);
    run_tool_command(*dialog_);
    QCoreApplication::processEvents();
    QVERIFY(!seen);
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::preview_page);
    ctx_->options_open = false;
}

void ToolsTest::declined_shifts_leave_the_dialog_open() {
    fill_preview();
    ctx_->docs->preview.current_page = 4;
    const std::string page4 = page_bytes(ctx_->docs->preview.pages[4]);
    ToolDialog tool(*dialog_);
    QVERIFY(test::show_active(&tool));
    ui_->answer_no();
    ui_->answer_no();
    click_button(&tool, "shift_back");
    click_button(&tool, "shift_forward");
    QVERIFY(tool.isVisible());
    QCOMPARE(ui_->questions(),
             (std::vector<std::string>{std::string(kShiftBackQuestion), std::string(kShiftForwardQuestion)}));
    QCOMPARE(page_bytes(ctx_->docs->preview.pages[4]), page4);
}

void ToolsTest::shift_back_and_forward_move_pages_but_not_settings() {
    fill_preview();
    PreviewBook& preview = ctx_->docs->preview;
    std::vector<std::string> before;
    for (const Page& page : preview.pages) before.push_back(page_bytes(page));
    std::vector<RenderSettings> settings(std::begin(preview.page_settings), std::end(preview.page_settings));

    preview.current_page = 10;
    dialog_->refresh_lists(Side::preview);
    {
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_yes();
        click_button(&tool, "shift_back");
        QVERIFY(!tool.isVisible());
        QCOMPARE(tool.result(), int{QDialog::Accepted});
    }
    for (int k = 0; k < 10; ++k) QCOMPARE(page_bytes(preview.pages[k]), before[k]);
    QCOMPARE(page_bytes(preview.pages[10]), empty_page_bytes());
    for (int k = 11; k < kPreviewPages; ++k) QCOMPARE(page_bytes(preview.pages[k]), before[k - 1]);
    for (int k = 0; k < kPreviewPages; ++k) QCOMPARE(preview.page_settings[k], settings[k]);
    QCOMPARE(preview.current_page, 10);
    // The dialog refreshed the preview list itself.
    QCOMPARE(dialog_->preview_list()->item(0)->text(), QString::fromUtf8("･"));

    // Forward on the last page only clears that page.
    preview.current_page = kPreviewPages - 1;
    std::vector<std::string> middle;
    for (const Page& page : preview.pages) middle.push_back(page_bytes(page));
    {
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_yes();
        click_button(&tool, "shift_forward");
        QVERIFY(!tool.isVisible());
    }
    for (int k = 0; k < kPreviewPages - 1; ++k) QCOMPARE(page_bytes(preview.pages[k]), middle[k]);
    QCOMPARE(page_bytes(preview.pages[kPreviewPages - 1]), empty_page_bytes());
    for (int k = 0; k < kPreviewPages; ++k) QCOMPARE(preview.page_settings[k], settings[k]);
}

void ToolsTest::preview_through_a_library_file_round_trip() {
    fill_preview();
    PreviewBook& preview = ctx_->docs->preview;
    std::vector<std::string> before;
    for (const Page& page : preview.pages) before.push_back(page_bytes(page));
    const std::string path = home_->file("pages.aal");

    {
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_file(path);
        click_button(&tool, "export_preview");
        QVERIFY(!tool.isVisible());
    }
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"save:*.aal", "message:" + kOk}));
    const FileDialogRequest& save = ui_->events().front().file_request;
    QCOMPARE(save.filter, std::string(kLibraryFileFilter));
    QCOMPARE(save.default_extension, std::string("aal"));
    QVERIFY(save.confirm_overwrite);
    QCOMPARE(TestHome::read_file(path), serialize_library_from_preview(preview));

    // Change the preview, then read the file back into it.
    clear_page(preview.pages[3]);
    put_seeded_part(preview.pages[25], 7, 77);
    preview.current_page = 25;
    ui_->clear_events();
    {
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_file(path);
        click_button(&tool, "open_into_preview");
        QVERIFY(!tool.isVisible());
    }
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"open:*.aal", "message:" + kOk}));
    const FileDialogRequest& open = ui_->events().front().file_request;
    QCOMPARE(open.filter, std::string(kLibraryFileFilter));
    QCOMPARE(open.default_extension, std::string("aal"));
    for (int k = 0; k < kLibraryPages; ++k) QCOMPARE(page_bytes(preview.pages[k]), before[k]);
    for (int k = kLibraryPages; k < kPreviewPages; ++k)
        QCOMPARE(page_bytes(preview.pages[k]), empty_page_bytes());
    for (const RenderSettings& s : preview.page_settings) QCOMPARE(s, RenderSettings{});
    QCOMPARE(preview.current_page, 25);
    QCOMPARE(dialog_->preview_list()->item(7)->text(), QString::fromUtf8("･"));
}

void ToolsTest::a_damaged_library_file_keeps_the_preview() {
    fill_preview();
    PreviewBook& preview = ctx_->docs->preview;
    std::vector<std::string> before;
    for (const Page& page : preview.pages) before.push_back(page_bytes(page));
    const auto check_unchanged = [&] {
        for (int k = 0; k < kPreviewPages; ++k) QCOMPARE(page_bytes(preview.pages[k]), before[k]);
        QCOMPARE(preview.page_settings[1], (RenderSettings{false, true}));
    };

    // Cut off in the records of page 12: the plain reader would have cleared and half-filled the preview.
    const std::string full = serialize_library_from_preview(preview);
    const std::string cut = home_->file("cut.aal");
    TestHome::write_file(cut, full.substr(0, full.size() * 3 / 5));
    const std::string other_kind = home_->file("pages.aap");
    TestHome::write_file(other_kind, serialize_collection(preview));

    for (const auto& [path, status] :
         {std::pair{cut, FileStatus::cut_off}, std::pair{other_kind, FileStatus::wrong_magic},
          std::pair{home_->file("missing.aal"), FileStatus::cannot_open_for_reading}}) {
        ui_->clear_events();
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_file(path);
        click_button(&tool, "open_into_preview");
        QVERIFY(!tool.isVisible());
        QCOMPARE(ui_->messages(), (std::vector<std::string>{status_message(status),
                                                            std::string(kReadIntoPreviewFailedMessage)}));
        check_unchanged();
    }

    // Cancelling the file dialog closes the tool dialog too.
    ui_->clear_events();
    ToolDialog tool(*dialog_);
    QVERIFY(test::show_active(&tool));
    ui_->answer_cancel();
    click_button(&tool, "open_into_preview");
    QVERIFY(!tool.isVisible());
    QCOMPARE(ui_->trace(), std::vector<std::string>{"open:*.aal"});
    check_unchanged();
}

void ToolsTest::cancelled_and_failed_exports() {
    for (const char* which : {"export_preview", "export_library"}) {
        ui_->clear_events();
        {
            ToolDialog tool(*dialog_);
            QVERIFY(test::show_active(&tool));
            ui_->answer_cancel();
            click_button(&tool, which);
            QVERIFY(!tool.isVisible());
        }
        QCOMPARE(ui_->messages(), std::vector<std::string>{});

        // A folder that does not exist cannot take the file.
        ui_->clear_events();
        const std::string path = home_->file("no such folder/out.file");
        {
            ToolDialog tool(*dialog_);
            QVERIFY(test::show_active(&tool));
            ui_->answer_file(path);
            click_button(&tool, which);
            QVERIFY(!tool.isVisible());
        }
        QCOMPARE(ui_->messages(),
                 (std::vector<std::string>{status_message(FileStatus::cannot_open_for_writing),
                                           std::string(kExportFailedMessage)}));
        QVERIFY(!TestHome::exists(path));
    }
}

void ToolsTest::aa_file_import_fills_free_library_pages_and_reports() {
    fill_library_pages({2});
    LibraryBook& library = ctx_->docs->library;
    library.current_page = 2;
    const std::string mlt = home_->file("faces.mlt");
    TestHome::write_file(mlt,
                         "A\r\n[SPLIT]\r\nB&#x1F600;\r\n[SPLIT]\r\n\xC2\xA0"
                         "C\r\n");
    auto run_import = [&](const std::string& path) -> bool {
        ui_->clear_events();
        ToolDialog tool(*dialog_);
        if (!test::show_active(&tool)) return false;
        if (path.empty())
            ui_->answer_cancel();
        else
            ui_->answer_file(path);
        click_button(&tool, "import_aa_file");
        return tool.isVisible();
    };

    // Cancelled, or not an AA file: the dialog stays, nothing changes.
    QVERIFY(run_import(""));
    QVERIFY(ui_->messages().empty());
    TestHome::write_file(home_->file("notes.doc"), "A");
    QVERIFY(run_import(home_->file("notes.doc")));
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kNotAnAaFileMessage)});
    QVERIFY(run_import(home_->file("missing.mlt")));
    QCOMPARE(ui_->messages().size(), std::size_t(1));
    QVERIFY(is_page_empty(library.pages[3]));

    // Page 2 is in use: the AAs go to page 3, which the library list then shows.
    QVERIFY(!run_import(mlt));
    QCOMPARE(library.current_page, 3);
    QCOMPARE(get_string(library.pages[2].slots[0].name), "p1002");
    QCOMPARE(std::string(get_string(library.pages[3].slots[1].text)), std::string("B&#x1F600;"));
    QCOMPARE(QString::fromLatin1(std::string(get_string(library.pages[3].slots[2].text)).c_str()),
             QStringLiteral("&nbsp;C"));
    QCOMPARE(std::string(get_string(library.page_names[3])), std::string("faces 1"));
    QCOMPARE(dialog_->library_list()->item(1)->text().left(10), QStringLiteral("  ( 24,  0"));
    const std::vector<std::string> messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t(1));
    QVERIFY2(messages[0].starts_with("3個のAAをライブラリのページ3に読み込みました"), messages[0].c_str());
    QVERIFY2(messages[0].find("U+1F600（3行目）") != std::string::npos, messages[0].c_str());
}

void ToolsTest::aa_file_export_writes_the_rendered_pages() {
    const std::string path = home_->file("pages.mlt");
    auto run_export = [&](const std::string& to) {
        ui_->clear_events();
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_file(to);
        click_button(&tool, "export_aa_file");
    };
    run_export(path);
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kNothingToExportMessage)});
    QVERIFY(!TestHome::exists(path));

    ctx_->settings.render.rendersetsize = false;
    put_part(ctx_->docs->preview.pages[0], 0, 0, 0, "AB");
    put_part(ctx_->docs->preview.pages[2], 0, 0, 18, "C");
    run_export(path);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"2ページを書き出しました"});
    QCOMPARE(QByteArray::fromStdString(TestHome::read_file(path)),
             QByteArray("\x81\x40"
                        "AB\r\n[SPLIT]\r\n\x81\x40\r\n\x81\x40"
                        "C\r\n"));

    run_export(home_->file("no such folder/pages.ast"));
    QCOMPARE(ui_->messages().size(), std::size_t(1));
    QVERIFY(ui_->messages()[0].starts_with(kExportFailedMessage));
}

void ToolsTest::aa_file_import_cancelled_or_failed_changes_nothing() {
    fill_library_pages({0, 3});
    LibraryBook& library = ctx_->docs->library;
    const std::string before = library_state(library);
    int changes = 0;
    const auto hook = ctx_->changed_hook;
    ctx_->changed_hook = [&](Sides sides) {
        ++changes;
        hook(sides);
    };
    const std::string mlt = home_->file("many.mlt");
    std::string bytes;
    for (int i = 0; i < 120; ++i) bytes += "A\r\n[SPLIT]\r\n";
    TestHome::write_file(mlt, bytes);
    const std::string big = home_->file("big.mlt");
    TestHome::write_file(big, "");
    std::filesystem::resize_file(big, std::uintmax_t{300} << 20);  // sparse: never read
    auto run_import = [&](const std::string& path) -> bool {
        ui_->clear_events();
        ToolDialog tool(*dialog_);
        if (!test::show_active(&tool)) return false;
        ui_->answer_file(path);
        click_button(&tool, "import_aa_file");
        return tool.isVisible();
    };

    // Cancelled halfway through the file: the dialog stays, and the library is as it was.
    ui_->cancel_task_at(bytes.size() / 2);
    QVERIFY(run_import(mlt));
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"open:", "task:" + std::string(kImportingAaText)}));
    QCOMPARE(ui_->events().back().answer, std::string("cancelled"));
    QCOMPARE(library_state(library), before);
    QCOMPARE(changes, 0);
    QVERIFY(!ctx_->docs->preview.modified);

    // Too large: refused with the file and the limit.
    QVERIFY(run_import(big));
    QCOMPARE(ui_->messages(), std::vector<std::string>{"ファイルが大きすぎるため読み込めません：" + big +
                                                       "\n（300MB。読み込めるのは256MBまでです）"});
    QCOMPARE(library_state(library), before);
    QCOMPARE(changes, 0);

    // Out of memory: said so, and nothing changes.
    ui_->task_runs_out_of_memory();
    QVERIFY(run_import(mlt));
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kImportOutOfMemoryMessage)});
    QCOMPARE(library_state(library), before);
    QCOMPARE(changes, 0);

    // Not cancelled, the same file goes in.
    QVERIFY(!run_import(mlt));
    QCOMPARE(ui_->events()[1].answer, std::string("done"));
    QVERIFY(library_state(library) != before);
    QVERIFY(changes > 0);
}

void ToolsTest::aa_file_import_into_a_full_library_names_what_did_not_fit() {
    std::initializer_list<int> used = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    fill_library_pages(used);
    const std::string mlt = home_->file("faces.mlt");
    std::string bytes;
    for (int i = 0; i < 60; ++i) bytes += "A\r\n[SPLIT]\r\n";
    TestHome::write_file(mlt, bytes);
    ToolDialog tool(*dialog_);
    QVERIFY(test::show_active(&tool));
    ui_->answer_file(mlt);
    click_button(&tool, "import_aa_file");
    QCOMPARE(ui_->messages(), std::vector<std::string>{"50個のAAをライブラリのページ19に読み込みました\n"
                                                       "faces.mltの51～60個目のAA（10個）は空いているページに"
                                                       "入りませんでした"});
    const LibraryBook& library = ctx_->docs->library;
    QCOMPARE(library.current_page, 19);
    QVERIFY(library.pages[19].slots[49].in_use);
    QCOMPARE(get_string(library.pages[18].slots[0].name), "p1018");
}

void ToolsTest::aa_file_export_names_pages_that_lost_a_blank_run() {
    ctx_->settings.render.rendersetsize = false;
    put_part(ctx_->docs->preview.pages[0], 0, 0, 0, "A");
    put_part(ctx_->docs->preview.pages[2], 0, 0, 0, "A");
    put_part(ctx_->docs->preview.pages[2], 1, 10'000, 0, "B");  // far more than 300 spaces from the "A"
    const std::string path = home_->file("pages.mlt");
    ToolDialog tool(*dialog_);
    QVERIFY(test::show_active(&tool));
    ui_->answer_file(path);
    click_button(&tool, "export_aa_file");
    QCOMPARE(ui_->messages().size(), std::size_t(1));
    const std::string message = ui_->messages()[0];
    QVERIFY2(message.starts_with("2ページを書き出しました\nただし、ページ2は空白の整理中に"),
             message.c_str());
    QCOMPARE(QByteArray::fromStdString(TestHome::read_file(path)), QByteArray("\x81\x40"
                                                                              "A\r\n[SPLIT]\r\n\x81\x40"
                                                                              "AB\r\n"));
}

void ToolsTest::the_progress_window_cancels_a_running_task() {
    QtUiServices qt;
    // A short task ends before any window shows.
    QVERIFY(qt.run_task(dialog_, "short", [](TaskProgress& progress) { progress.report(1, 1); }));

    // A long one shows the window with its progress; its cancel button stops it.
    int shown_value = -1;
    QTimer watch;
    watch.setInterval(20);
    connect(&watch, &QTimer::timeout, [&] {
        auto* window = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible() || shown_value >= 0) return;
        shown_value = window->value();
        QVERIFY(shown_value > 0);
        QCOMPARE(window->labelText(), QStringLiteral("long"));
        test::click(window->findChild<QPushButton*>());
    });
    watch.start();
    bool stopped = false;
    const bool finished = qt.run_task(dialog_, "long", [&](TaskProgress& progress) {
        for (int i = 0; i < 10'000 && !progress.cancelled(); ++i) {
            progress.report(500, 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stopped = progress.cancelled();
    });
    watch.stop();
    QVERIFY(!finished);
    QVERIFY(stopped);
    QCOMPARE(shown_value, 500);

    // What the task throws reaches the caller.
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc,
                             qt.run_task(dialog_, "failing", [](TaskProgress&) { throw std::bad_alloc(); }));
}

void ToolsTest::library_as_a_collection_loads_into_the_preview() {
    fill_library_pages({0, 7, 19});
    put_seeded_part(ctx_->docs->library.pages[7], 49, 4949);
    ctx_->settings.render = RenderSettings{true, false, true};
    const std::string path = home_->file("library.aap");

    {
        ToolDialog tool(*dialog_);
        QVERIFY(test::show_active(&tool));
        ui_->answer_file(path);
        click_button(&tool, "export_library");
        QVERIFY(!tool.isVisible());
    }
    QCOMPARE(ui_->trace(), (std::vector<std::string>{"save:*.aap", "message:" + kOk}));
    const FileDialogRequest& save = ui_->events().front().file_request;
    QCOMPARE(save.filter, std::string(kCollectionFileFilter));
    QCOMPARE(save.default_extension, std::string("aap"));
    QVERIFY(save.confirm_overwrite);

    // Loaded with the main dialog's load command, over a preview that had other pages.
    fill_preview();
    ctx_->settings.render = RenderSettings{};
    ui_->clear_events();
    ui_->answer_file(path);
    auto* load = qobject_cast<QPushButton*>(dialog_->control(control_id::kLoad));
    QVERIFY(load && load->isEnabled());
    test::click(load);
    QCOMPARE(ui_->messages(), std::vector<std::string>{kOk});

    const PreviewBook& preview = ctx_->docs->preview;
    const LibraryBook& library = ctx_->docs->library;
    for (int k = 0; k < kLibraryPages; ++k)
        QCOMPARE(page_bytes(preview.pages[k]), page_bytes(library.pages[k]));
    for (int k = kLibraryPages; k < kPreviewPages; ++k)
        QCOMPARE(page_bytes(preview.pages[k]), empty_page_bytes());
    for (const RenderSettings& s : preview.page_settings) QCOMPARE(s, (RenderSettings{true, false, true}));
}

void ToolsTest::organise_library_opens_maintenance_and_closes_the_tool_dialog() {
    ToolDialog tool(*dialog_);
    QVERIFY(test::show_active(&tool));
    bool seen = false;
    QString title;
    on_next_modal<MaintenanceDialog>(
        [&](MaintenanceDialog& maintenance) {
            title = maintenance.windowTitle();
            click_button(&maintenance, "cancel");
        },
        seen);
    click_button(&tool, "organise_library");
    QVERIFY(seen);
    QCOMPARE(title, QString::fromUtf8("Glyphora ライブラリメンテナンス"));
    QVERIFY(!tool.isVisible());
}

void ToolsTest::maintenance_opens_on_the_used_pages() {
    fill_library_pages({0, 2});
    set_string(ctx_->docs->library.page_names[1], "named, empty");
    MaintenanceDialog maintenance(*ctx_, dialog_);

    QStringList expected(kPlanRows, QString::fromUtf8("－－"));
    expected[0] = QString::fromUtf8("元：[lib 0           ] 使用");
    expected[2] = QString::fromUtf8("元：[lib 2           ] 使用");
    QCOMPARE(row_texts(maintenance.plan_list()), expected);
    QCOMPARE(row_texts(maintenance.other_list()), QStringList(kLibraryPages, QString::fromUtf8("未使用")));
    QVERIFY(!maintenance.other_list()->isEnabled());
    QVERIFY(!button(&maintenance, "bring_in")->isEnabled());
    QVERIFY(button(&maintenance, "open_library")->isEnabled());
    QCOMPARE(maintenance.current_row(), kNoRow);
    QCOMPARE(maintenance.findChild<QLineEdit*>(QStringLiteral("current_path"))->text(),
             QString::fromStdString(home_->file("lib.aal")));
    QCOMPARE(maintenance.findChild<QLineEdit*>(QStringLiteral("other_path"))->text(), QString());
    QStringList captions;
    for (QPushButton* b : maintenance.findChildren<QPushButton*>()) captions << b->text();
    for (const char* caption :
         {"ライブラリを開く", "→", "▲", "▼", "消す", "挿入", "処理実行して閉じる", "ｷｬﾝｾﾙ"})
        QVERIFY2(captions.contains(QString::fromUtf8(caption)), caption);
}

void ToolsTest::maintenance_executing_at_once_only_drops_empty_page_names() {
    fill_library_pages({0, 2});
    LibraryBook& library = ctx_->docs->library;
    set_string(library.page_names[1], "named, empty");
    const std::string page0 = page_bytes(library.pages[0]);
    const std::string page2 = page_bytes(library.pages[2]);

    MaintenanceDialog maintenance(*ctx_, dialog_);
    QVERIFY(test::show_active(&maintenance));
    // A No returns to the dialog with nothing changed.
    ui_->answer_no();
    click_button(&maintenance, "execute");
    QVERIFY(maintenance.isVisible());
    QCOMPARE(std::string(get_string(library.page_names[1])), std::string("named, empty"));

    ui_->clear_events();
    ui_->answer_yes();
    click_button(&maintenance, "execute");
    QVERIFY(!maintenance.isVisible());
    QCOMPARE(maintenance.result(), int{QDialog::Accepted});
    QCOMPARE(ui_->trace(),
             (std::vector<std::string>{"question:" + std::string(kExecuteQuestion), "busy", "busy-end",
                                       "message:" + std::string(kFinishedMessage)}));
    QCOMPARE(page_bytes(library.pages[0]), page0);
    QCOMPARE(page_bytes(library.pages[2]), page2);
    QCOMPARE(std::string(get_string(library.page_names[0])), std::string("lib 0"));
    QCOMPARE(std::string(get_string(library.page_names[1])), std::string());
}

void ToolsTest::maintenance_row_buttons_and_their_bounds() {
    fill_library_pages({0, 1, 2});
    MaintenanceDialog maintenance(*ctx_, dialog_);
    QVERIFY(test::show_active(&maintenance));
    QListWidget* plan = maintenance.plan_list();
    const auto sources = [&] {
        std::vector<int> out;
        for (const PlanRow& row : maintenance.plan().rows) out.push_back(row.source_page);
        return out;
    };
    const auto rows = [](std::initializer_list<int> first) {
        std::vector<int> out(first);
        out.resize(kPlanRows, kNoRow);
        return out;
    };

    // Without a current row the buttons do nothing.
    for (const char* name : {"up", "down", "erase", "insert"}) click_button(&maintenance, name);
    QCOMPARE(sources(), rows({0, 1, 2}));

    test::click(plan->viewport(), plan->visualItemRect(plan->item(1)).center());
    QCOMPARE(maintenance.current_row(), 1);
    click_button(&maintenance, "up");
    QCOMPARE(sources(), rows({1, 0, 2}));
    QCOMPARE(maintenance.current_row(), 0);
    click_button(&maintenance, "up");  // already at the top
    QCOMPARE(sources(), rows({1, 0, 2}));
    click_button(&maintenance, "down");
    QCOMPARE(sources(), rows({0, 1, 2}));
    QCOMPARE(maintenance.current_row(), 1);
    click_button(&maintenance, "insert");
    QCOMPARE(sources(), rows({0, kNoRow, 1, 2}));
    QCOMPARE(maintenance.current_row(), 1);
    QCOMPARE(plan->item(1)->text(), QString::fromUtf8("－－"));
    QCOMPARE(plan->item(2)->text(), QString::fromUtf8("元：[lib 1           ] 使用"));
    click_button(&maintenance, "erase");
    click_button(&maintenance, "erase");
    QCOMPARE(sources(), rows({0, 2}));
    QCOMPARE(maintenance.current_row(), 1);

    plan->setCurrentRow(kLastPlanRow);
    click_button(&maintenance, "down");  // already at the bottom
    QCOMPARE(maintenance.current_row(), kLastPlanRow);
    click_button(&maintenance, "up");
    QCOMPARE(maintenance.current_row(), kLastPlanRow - 1);

    // Row 19 in use: no insertion anywhere.
    plan->setCurrentRow(0);
    click_button(&maintenance, "down");
    for (int i = 1; i < kLastPlanRow; ++i) click_button(&maintenance, "down");
    QCOMPARE(maintenance.plan().rows[kLastPlanRow].source_page, 0);
    const std::vector<int> full = sources();
    plan->setCurrentRow(3);
    click_button(&maintenance, "insert");
    QCOMPARE(ui_->messages(), std::vector<std::string>{std::string(kCannotInsertMessage)});
    QCOMPARE(sources(), full);
    QCOMPARE(maintenance.current_row(), 3);
    QVERIFY(ui_->questions().empty());
}

void ToolsTest::maintenance_other_library_open_and_bring_in() {
    // The other library: pages 3, 4, 5, 7 used, page 6 only named.
    auto other = std::make_unique<LibraryBook>();
    clear_library(*other);
    for (int page : {3, 4, 5, 7}) {
        put_seeded_part(other->pages[page], 10, 3000 + page);
        set_string(other->page_names[page], "other " + std::to_string(page));
    }
    set_string(other->page_names[6], "named only");
    const std::string other_path = home_->file("other.aal");
    QCOMPARE(write_library(other_path, *other), FileStatus::ok);
    const std::string damaged_path = home_->file("damaged.aal");
    TestHome::write_file(damaged_path, std::string("Glyphora-Libr V003\0", 19));

    for (int page = 0; page < 17; ++page) fill_library_pages({page});
    MaintenanceDialog maintenance(*ctx_, dialog_);
    QVERIFY(test::show_active(&maintenance));

    // Cancelled, then a damaged file: the dialog stays usable without another library.
    ui_->answer_cancel();
    click_button(&maintenance, "open_library");
    ui_->answer_file(damaged_path);
    click_button(&maintenance, "open_library");
    QCOMPARE(ui_->trace(), (std::vector<std::string>{
                               "open:*.aal", "open:*.aal", "message:" + status_message(FileStatus::cut_off),
                               "message:" + std::string(kOtherLibraryReadFailedMessage)}));
    QCOMPARE(ui_->events().front().file_request.filter, std::string(kLibraryFileFilter));
    QVERIFY(button(&maintenance, "open_library")->isEnabled());
    QVERIFY(!maintenance.other_list()->isEnabled());
    QVERIFY(maintenance.other_path().empty());

    ui_->clear_events();
    ui_->answer_file(other_path);
    click_button(&maintenance, "open_library");
    QCOMPARE(ui_->messages(), std::vector<std::string>{kOk});
    QVERIFY(!button(&maintenance, "open_library")->isEnabled());
    QVERIFY(maintenance.other_list()->isEnabled());
    QVERIFY(button(&maintenance, "bring_in")->isEnabled());
    QCOMPARE(maintenance.findChild<QLineEdit*>(QStringLiteral("other_path"))->text(),
             QString::fromStdString(other_path));
    QListWidget* others = maintenance.other_list();
    QCOMPARE(others->item(3)->text(), QString::fromUtf8("[other 3         ] 使用"));
    QCOMPARE(others->item(6)->text(), QString::fromUtf8("[named only      ] 未使用"));
    QCOMPARE(others->item(0)->text(), QString::fromUtf8("未使用"));

    // "→" without a current row changes nothing.
    for (int page : {3, 5, 6, 7}) others->item(page)->setSelected(true);
    const LibraryPlan opening = maintenance.plan();
    click_button(&maintenance, "bring_in");
    QVERIFY(maintenance.plan() == opening);

    // Pages 3, 5, 7 at row 1 (6 is not used); rows 1 to 16 move to 4 to 19.
    for (int page : {3, 5, 6, 7}) others->item(page)->setSelected(true);
    maintenance.plan_list()->setCurrentRow(1);
    click_button(&maintenance, "bring_in");
    const auto rows = maintenance.plan().rows;
    QCOMPARE(rows[0], (PlanRow{false, 0}));
    QCOMPARE(rows[1], (PlanRow{true, 3}));
    QCOMPARE(rows[2], (PlanRow{true, 5}));
    QCOMPARE(rows[3], (PlanRow{true, 7}));
    for (int i = 4; i < kPlanRows; ++i) QCOMPARE(rows[i], (PlanRow{false, i - 3}));
    QCOMPARE(maintenance.current_row(), kNoRow);
    QVERIFY(others->selectedItems().isEmpty());
    QCOMPARE(maintenance.plan_list()->item(2)->text(), QString::fromUtf8("新：[other 5         ] 使用"));
    QVERIFY(ui_->messages().size() == 1);

    // The plan is full now: "→" stops before inserting anything.
    others->item(4)->setSelected(true);
    maintenance.plan_list()->setCurrentRow(0);
    click_button(&maintenance, "bring_in");
    QCOMPARE(ui_->messages().back(), std::string(kTooManyPagesMessage));
    QVERIFY(maintenance.plan().rows == rows);

    // Executed: the new pages come whole, with their names, from the file.
    LibraryBook& library = ctx_->docs->library;
    const std::string old1 = page_bytes(library.pages[1]);
    ui_->answer_yes();
    click_button(&maintenance, "execute");
    QVERIFY(!maintenance.isVisible());
    QCOMPARE(page_bytes(library.pages[2]), page_bytes(other->pages[5]));
    QCOMPARE(std::string(get_string(library.page_names[2])), std::string("other 5"));
    QCOMPARE(page_bytes(library.pages[4]), old1);
    QCOMPARE(std::string(get_string(library.page_names[19])), std::string("lib 16"));
}

void ToolsTest::maintenance_execution_failures_change_nothing() {
    auto other = std::make_unique<LibraryBook>();
    clear_library(*other);
    put_seeded_part(other->pages[2], 0, 77);
    const std::string other_path = home_->file("other.aal");
    QCOMPARE(write_library(other_path, *other), FileStatus::ok);
    fill_library_pages({0, 1});
    LibraryBook& library = ctx_->docs->library;
    const std::string page0 = page_bytes(library.pages[0]);
    const std::string page1 = page_bytes(library.pages[1]);

    MaintenanceDialog maintenance(*ctx_, dialog_);
    QVERIFY(test::show_active(&maintenance));
    ui_->answer_file(other_path);
    click_button(&maintenance, "open_library");
    maintenance.other_list()->item(2)->setSelected(true);
    maintenance.plan_list()->setCurrentRow(0);
    click_button(&maintenance, "bring_in");
    QCOMPARE(maintenance.plan().rows[0], (PlanRow{true, 2}));

    // No memory for the new library.
    ui_->clear_events();
    maintenance.make_scratch = [] { return std::unique_ptr<LibraryBook>(); };
    ui_->answer_yes();
    click_button(&maintenance, "execute");
    QVERIFY(maintenance.isVisible());
    QCOMPARE(ui_->trace(),
             (std::vector<std::string>{"question:" + std::string(kExecuteQuestion), "busy", "busy-end",
                                       "message:" + std::string(kNoMemoryMessage)}));
    QCOMPARE(page_bytes(library.pages[0]), page0);

    // The other file went away after it was opened.
    maintenance.make_scratch = make_scratch_library;
    QVERIFY(QFile::remove(QString::fromStdString(other_path)));
    ui_->clear_events();
    ui_->answer_yes();
    click_button(&maintenance, "execute");
    QVERIFY(maintenance.isVisible());
    QCOMPARE(ui_->messages(), (std::vector<std::string>{status_message(FileStatus::cannot_open_for_reading),
                                                        std::string(kOtherLibraryReadFailedMessage)}));
    QCOMPARE(page_bytes(library.pages[0]), page0);
    QCOMPARE(page_bytes(library.pages[1]), page1);
    QCOMPARE(std::string(get_string(library.page_names[0])), std::string("lib 0"));
    QCOMPARE(ui_->busy_depth(), 0);

    // Cancel discards the plan.
    click_button(&maintenance, "cancel");
    QCOMPARE(maintenance.result(), int{QDialog::Rejected});
    QCOMPARE(page_bytes(library.pages[0]), page0);
}

QTEST_MAIN(ToolsTest)
#include "tools_test.moc"
