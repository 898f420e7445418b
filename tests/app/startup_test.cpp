// Start-up and close: the single instance, the screen check, choosing and reading the library, the canvases'
// placement, and the close request with its library write-back.

#include <QListWidget>
#include <QLockFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "session/messages.h"
#include "storage/file_status.h"
#include "storage/library_file.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

constexpr std::size_t kEmptyLibrarySize = 1056;

std::unique_ptr<Application> make_app(ScriptedUiServices& ui) {
    auto app = std::make_unique<Application>(ui);
    app->context().build_widths = glyphora::test::build_test_widths;
    return app;
}

std::string settings_value(const TestHome& home, const StringKey& key) {
    return read_setting(SettingsFile(home.settings_path()), key);
}

// A library file with one named page holding one part.
std::string one_part_library() {
    auto book = std::make_unique<LibraryBook>();
    clear_library(*book);
    set_string(book->page_names[2], "faces");
    put_part(book->pages[2], 0, 0, 0, "(-_-)", "sleepy");
    return serialize_library(*book);
}

}  // namespace

class StartupTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void second_instance_is_refused_until_the_first_has_ended();
    void a_lock_left_by_another_process_stops_the_start();
    void screens_below_800_by_600_are_refused();
    void cancelling_the_library_storage_dialog_ends_without_windows();
    void confirming_the_library_storage_dialog_stores_the_path_and_creates_the_file_at_close();
    void multilibrary_asks_for_a_library_in_the_current_directory();
    void a_stored_library_is_read_without_a_dialog();
    void damaged_library_question_no_ends_the_program();
    void damaged_library_question_yes_starts_empty_and_never_overwrites_it();
    void a_cut_off_library_asks_the_damaged_question();
    void an_unreadable_library_is_not_replaced_at_close();
    void close_writes_the_library_before_asking_and_no_keeps_running();
    void close_reports_a_failed_write_and_still_asks();
    void close_does_nothing_while_the_options_sheet_is_open();
    void escape_close_box_and_exit_button_all_ask_to_close();
    void canvases_are_placed_from_the_settings();
    void main_dialog_font_follows_totalfontsize();
    void a_minimised_dialog_is_restored_before_the_close_question();
};

void StartupTest::second_instance_is_refused_until_the_first_has_ended() {
    TestHome& home = *home_;
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui1 = *ui_;
    auto first = make_app(ui1);
    QCOMPARE(first->start(home.environment()), StartResult::running);

    ScriptedUiServices ui2;
    auto second = make_app(ui2);
    QCOMPARE(second->start(home.environment()), StartResult::already_running);
    QCOMPARE(ui2.messages(), std::vector<std::string>{kAlreadyRunningMessage});
    QCOMPARE(ui2.events().front().caption, std::string("Glyphora"));
    QVERIFY(second->preview_canvas() == nullptr);
    QVERIFY(second->main_dialog() == nullptr);
    second->shut_down();
    // The first instance is untouched.
    QVERIFY(first->main_dialog()->isVisible());

    first->shut_down();
    ScriptedUiServices ui3;
    auto third = make_app(ui3);
    QCOMPARE(third->start(home.environment()), StartResult::running);
    QVERIFY(ui3.messages().empty());
}

void StartupTest::a_lock_left_by_another_process_stops_the_start() {
    TestHome& home = *home_;
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    QLockFile other(QString::fromStdString(single_instance_lock_path(home.environment().location)));
    other.setStaleLockTime(0);
    QVERIFY(other.tryLock(0));

    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::already_running);
    QCOMPARE(ui.messages(), std::vector<std::string>{kAlreadyRunningMessage});
    other.unlock();

    // Lock paths differ between homes, so test programs running side by side never meet.
    LocationEnvironment a, b;
    a.glyphora_home = "/tmp/a";
    b.glyphora_home = "/tmp/b";
    QVERIFY(single_instance_lock_path(a) != single_instance_lock_path(b));
}

void StartupTest::screens_below_800_by_600_are_refused() {
    const struct {
        int width, height;
        bool accepted;
    } cases[] = {{800, 600, true}, {800, 599, false}, {799, 600, false}, {640, 480, false}};
    for (const auto& c : cases) {
        TestHome home;
        home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
        ScriptedUiServices ui;
        ui.metrics.screen_width = c.width;
        ui.metrics.screen_height = c.height;
        auto app = make_app(ui);
        const StartResult result = app->start(home.environment());
        if (c.accepted) {
            QCOMPARE(result, StartResult::running);
            QVERIFY(ui.messages().empty());
        } else {
            QCOMPARE(result, StartResult::screen_too_small);
            QCOMPARE(ui.messages(), std::vector<std::string>{kScreenTooSmallMessage});
            QVERIFY(app->preview_canvas() == nullptr);
        }
    }
}

void StartupTest::cancelling_the_library_storage_dialog_ends_without_windows() {
    TestHome& home = *home_;
    ScriptedUiServices& ui = *ui_;
    ui.answer_cancel();
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::library_not_chosen);
    QVERIFY(ui.script_errors().empty());
    const auto& events = ui.events();
    QCOMPARE(events.size(), std::size_t{1});
    QCOMPARE(events[0].kind, ScriptedUiServices::EventKind::text_dialog);
    QCOMPARE(events[0].text_request.title, std::string(kLibraryStorageTitle));
    // The proposal is the program's folder + "library.aal".
    QCOMPARE(events[0].text_request.initial_text, home.file("library.aal"));
    QVERIFY(app->preview_canvas() == nullptr && app->library_canvas() == nullptr &&
            app->main_dialog() == nullptr);
    QVERIFY(settings_value(home, settings_keys::library_filename).empty());
    app->shut_down();
    QVERIFY(!TestHome::exists(home.file("library.aal")));
}

void StartupTest::confirming_the_library_storage_dialog_stores_the_path_and_creates_the_file_at_close() {
    TestHome& home = *home_;
    const std::string path = home.file("mine.aal");
    ScriptedUiServices& ui = *ui_;
    ui.answer_text(path);
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QCOMPARE(settings_value(home, settings_keys::library_filename), path);
    QVERIFY(app->context().docs->library.library_writable);
    QVERIFY(!TestHome::exists(path));

    ui.answer_yes();
    QVERIFY(app->close_request());
    QVERIFY(app->dialog_ended());
    QCOMPARE(TestHome::read_file(path).size(), kEmptyLibrarySize);
    QVERIFY(ui.script_errors().empty());
}

void StartupTest::multilibrary_asks_for_a_library_in_the_current_directory() {
    {
        TestHome home;
        home.write_settings("[file]\nmultilibrary=1\nlibrary_filename=" + home.file("old.aal") + "\n");
        TestHome::write_file(home.file("chosen.aal"), one_part_library());
        ScriptedUiServices ui;
        ui.answer_file(home.file("chosen"));  // typed without extension: "aal" is added
        auto app = make_app(ui);
        QCOMPARE(app->start(home.environment()), StartResult::running);
        const FileDialogRequest& request = ui.events().at(0).file_request;
        QCOMPARE(ui.events().at(0).kind, ScriptedUiServices::EventKind::open_file);
        QCOMPARE(request.proposed_name, home.path() + "/*.aal");
        QCOMPARE(request.default_extension, std::string("aal"));
        QCOMPARE(request.filter, std::string("Glyphoraファイル(aal)|*.aal|all files|*.*||"));
        QCOMPARE(settings_value(home, settings_keys::library_filename), home.file("chosen.aal"));
        QCOMPARE(std::string(get_string(app->context().docs->library.page_names[2])), std::string("faces"));
    }
    {
        TestHome home;
        home.write_settings("[file]\nmultilibrary=1\n");
        ScriptedUiServices ui;
        ui.answer_cancel();
        auto app = make_app(ui);
        QCOMPARE(app->start(home.environment()), StartResult::library_not_chosen);
        QVERIFY(app->main_dialog() == nullptr);
    }
}

void StartupTest::a_stored_library_is_read_without_a_dialog() {
    TestHome& home = *home_;
    TestHome::write_file(home.file("lib.aal"), one_part_library());
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QVERIFY(ui.events().empty());
    const LibraryBook& library = app->context().docs->library;
    QVERIFY(library.pages[2].slots[0].in_use);
    QVERIFY(library.library_writable);
    QCOMPARE(std::string(get_string(library.path)), home.file("lib.aal"));
}

void StartupTest::damaged_library_question_no_ends_the_program() {
    TestHome& home = *home_;
    TestHome::write_file(home.file("lib.aal"), "not a library at all");
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    ui.answer_no();
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::library_refused);
    QCOMPARE(ui.questions(), std::vector<std::string>{kDamagedLibraryQuestion});
    QVERIFY(app->preview_canvas() == nullptr);
    QCOMPARE(TestHome::read_file(home.file("lib.aal")), std::string("not a library at all"));
}

void StartupTest::damaged_library_question_yes_starts_empty_and_never_overwrites_it() {
    TestHome& home = *home_;
    TestHome::write_file(home.file("lib.aal"), "Glyphora-Libr V009 damaged");
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    ui.answer_yes();
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QVERIFY(!app->context().docs->library.library_writable);
    QVERIFY(is_page_empty(app->context().docs->library.pages[0]));

    ui.clear_events();
    ui.answer_yes();
    QVERIFY(app->close_request());
    // No progress window, no write: only the question.
    QCOMPARE(ui.trace(), std::vector<std::string>{std::string("question:") + kExitQuestion});
    QCOMPARE(TestHome::read_file(home.file("lib.aal")), std::string("Glyphora-Libr V009 damaged"));
}

void StartupTest::a_cut_off_library_asks_the_damaged_question() {
    TestHome& home = *home_;
    std::string bytes = one_part_library();
    bytes.resize(bytes.size() / 2);
    TestHome::write_file(home.file("lib.aal"), bytes);
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    ui.answer_yes();
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QCOMPARE(ui.questions(), std::vector<std::string>{kDamagedLibraryQuestion});
    // Whatever was read before the cut is dropped with the rest.
    QVERIFY(!app->context().docs->library.pages[2].slots[0].in_use);
    QVERIFY(get_string(app->context().docs->library.page_names[2]).empty());
}

void StartupTest::an_unreadable_library_is_not_replaced_at_close() {
    TestHome& home = *home_;
    // A folder where the library should be: it exists but cannot be read as a file.
    QVERIFY(QDir().mkpath(QString::fromStdString(home.file("lib.aal"))));
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    ui.answer_yes();
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QCOMPARE(ui.messages(), std::vector<std::string>{status_message(FileStatus::cannot_open_for_reading)});
    QCOMPARE(ui.questions(), std::vector<std::string>{kDamagedLibraryQuestion});
    QVERIFY(!app->context().docs->library.library_writable);
}

void StartupTest::close_writes_the_library_before_asking_and_no_keeps_running() {
    TestHome& home = *home_;
    const std::string path = home.file("new.aal");
    home.write_settings("[file]\nlibrary_filename=" + path + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    QVERIFY(ui.events().empty());  // a library not there yet is no error
    put_part(app->context().docs->library.pages[0], 0, 0, 0, "AA");

    ui.answer_no();
    QVERIFY(!app->close_request());
    const std::vector<std::string> expected = {std::string("progress:") + kUpdatingLibraryText,
                                               "progress-end", std::string("question:") + kExitQuestion};
    QCOMPARE(ui.trace(), expected);
    QVERIFY(!app->dialog_ended());
    QVERIFY(app->main_dialog()->isVisible());
    // Written although the answer was No.
    auto reread = std::make_unique<LibraryBook>();
    QCOMPARE(read_library(path, *reread), FileStatus::ok);
    QVERIFY(reread->pages[0].slots[0].in_use);

    // Yes ends the dialog, and run() returns at once.
    ui.answer_yes();
    QVERIFY(app->close_request());
    QVERIFY(!app->main_dialog()->isVisible());
    app->run();
    QVERIFY(ui.script_errors().empty());
}

void StartupTest::close_reports_a_failed_write_and_still_asks() {
    TestHome& home = *home_;
    const std::string path = home.file("missing-folder/lib.aal");
    home.write_settings("[file]\nlibrary_filename=" + path + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    ui.answer_yes();
    QVERIFY(app->close_request());
    const std::vector<std::string> expected = {
        std::string("progress:") + kUpdatingLibraryText, "progress-end",
        "message:" + status_message(FileStatus::cannot_open_for_writing),
        std::string("message:") + kLibraryWriteFailedMessage, std::string("question:") + kExitQuestion};
    QCOMPARE(ui.trace(), expected);
}

void StartupTest::close_does_nothing_while_the_options_sheet_is_open() {
    TestHome& home = *home_;
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    app->context().options_open = true;
    QVERIFY(!app->close_request());
    QVERIFY(ui.events().empty());
    QVERIFY(!TestHome::exists(home.file("lib.aal")));
}

void StartupTest::escape_close_box_and_exit_button_all_ask_to_close() {
    TestHome& home = *home_;
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    MainDialog* dialog = app->main_dialog();

    QVERIFY(test::show_active(dialog));
    dialog->preview_list()->setFocus();
    ui.answer_no();
    test::key_to_focus(Qt::Key_Escape);
    ui.answer_no();
    dialog->close();
    QVERIFY(dialog->isVisible());
    ui.answer_no();
    test::click(dialog->control(control_id::kExit));
    QCOMPARE(ui.questions().size(), std::size_t{3});
    QVERIFY(!app->dialog_ended());
    QVERIFY(ui.script_errors().empty());
}

void StartupTest::canvases_are_placed_from_the_settings() {
    {
        TestHome home;
        home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
        ScriptedUiServices ui;  // frame 4, caption 20
        auto app = make_app(ui);
        QCOMPARE(app->start(home.environment()), StartResult::running);
        CanvasWindow* preview = app->preview_canvas();
        CanvasWindow* library = app->library_canvas();
        QCOMPARE(preview->pos(), QPoint(16, 16));
        QCOMPARE(library->pos(), QPoint(32, 32));
        // The default outer sizes leave client areas of 416 and 432 pixels.
        QCOMPARE(preview->size(), QSize(416, 416));
        QCOMPARE(library->size(), QSize(432, 432));
        QCOMPARE(preview->windowTitle(), QString::fromUtf8(kPreviewCanvasTitle));
        QCOMPARE(library->windowTitle(), QString::fromUtf8(kLibraryCanvasTitle));
        QVERIFY(preview->windowFlags() & Qt::Tool);
        QVERIFY(!(preview->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(preview->isVisible() && library->isVisible());
        QCOMPARE(preview->state().section, std::string("window0"));
        QVERIFY(library->side() == Side::library);
        QVERIFY(preview->state().created && preview->state().boxflag);
    }
    {
        TestHome home;
        home.write_settings(
            "[file]\nlibrary_filename=" + home.file("lib.aal") +
            "\n[window0]\nx=100\ny=-5\nwx=308\nwy=228\nboxflag=0\n[window1]\nx=-32000\ny=50\n");
        ScriptedUiServices ui;
        auto app = make_app(ui);
        QCOMPARE(app->start(home.environment()), StartResult::running);
        QCOMPARE(app->preview_canvas()->pos(), QPoint(100, 4));
        QCOMPARE(app->preview_canvas()->size(), QSize(300, 200));
        QVERIFY(!app->preview_canvas()->state().boxflag);
        QCOMPARE(app->library_canvas()->pos(), QPoint(4, 50));
    }
}

void StartupTest::main_dialog_font_follows_totalfontsize() {
    const struct {
        const char* stored;
        int points;
    } cases[] = {{"95", 9}, {"120", 12}, {nullptr, 9}};
    for (const auto& c : cases) {
        TestHome home;
        std::string ini = "[file]\nlibrary_filename=" + home.file("lib.aal") + "\n";
        if (c.stored) ini += std::string("[option]\ntotalfontsize=") + c.stored + "\n";
        home.write_settings(ini);
        ScriptedUiServices ui;
        auto app = make_app(ui);
        QCOMPARE(app->start(home.environment()), StartResult::running);
        QCOMPARE(app->main_dialog()->font().pointSize(), c.points);
    }
    // A bigger font makes a bigger dialog.
    TestHome small_home, big_home;
    small_home.write_settings("[file]\nlibrary_filename=" + small_home.file("lib.aal") +
                              "\n[option]\ntotalfontsize=90\n");
    big_home.write_settings("[file]\nlibrary_filename=" + big_home.file("lib.aal") +
                            "\n[option]\ntotalfontsize=180\n");
    ScriptedUiServices ui_small, ui_big;
    auto small_app = make_app(ui_small);
    QCOMPARE(small_app->start(small_home.environment()), StartResult::running);
    const QSize small_size = small_app->main_dialog()->size();
    small_app->shut_down();
    auto big_app = make_app(ui_big);
    QCOMPARE(big_app->start(big_home.environment()), StartResult::running);
    QVERIFY(big_app->main_dialog()->width() > small_size.width());
    QVERIFY(big_app->main_dialog()->height() > small_size.height());
}

void StartupTest::a_minimised_dialog_is_restored_before_the_close_question() {
    TestHome& home = *home_;
    home.write_settings("[file]\nlibrary_filename=" + home.file("lib.aal") + "\n");
    ScriptedUiServices& ui = *ui_;
    auto app = make_app(ui);
    QCOMPARE(app->start(home.environment()), StartResult::running);
    app->main_dialog()->showMinimized();
    QVERIFY(app->main_dialog()->isMinimized());
    ui.answer_no();
    QVERIFY(!app->close_request());
    QVERIFY(!app->main_dialog()->isMinimized());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
