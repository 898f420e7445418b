// Unsaved pages: which commands mark the preview modified and which clear the mark, the title, the exit
// question (and the one when the pages cannot be kept), the autosave to the recovery file (and its failure,
// said once), the end of its claim at a save, and the recovery at start.

#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/application.h"
#include "app/autosave.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "storage/page_file.h"
#include "storage/recovery_file.h"
#include "storage/stored_items.h"

using namespace glyphora;
namespace fs = std::filesystem;

class UnsavedPagesTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void commands_mark_the_preview_or_leave_it();
    void saving_or_loading_a_collection_clears_the_mark();
    void the_exit_question_says_when_pages_are_unsaved();
    void autosave_writes_the_recovery_file_and_says_a_failure_once();
    void recovery_yes_restores_and_no_keeps_five_aside();
    void a_damaged_recovery_file_is_said_and_kept();
    void a_save_ends_the_recovery_files_claim();
    void a_newer_saved_file_makes_no_the_default();
    void exit_asks_when_the_pages_cannot_be_kept();

  private:
    bool modified() const { return ctx_->docs->preview.modified; }
    void press(int id) { test::click(dialog_->control(id)); }
    void unmark() { ctx_->preview_saved(); }
    std::string recovery() const { return recovery_file_path(home_->path() + "/"); }
    // The program started as a user would start it, with the events of the start kept.
    void start_keeping_events() {
        home_->write_settings("[file]\nlibrary_filename=" + home_->file("lib.aal") + "\n");
        app_ = std::make_unique<Application>(*ui_);
        app_->context().build_widths = test::build_test_widths;
        QCOMPARE(app_->start(home_->environment()), StartResult::running);
        ctx_ = &app_->context();
        dialog_ = app_->main_dialog();
    }
    // The questions asked, with the answer Return would give.
    std::vector<std::pair<std::string, DefaultAnswer>> questions_with_defaults() const {
        std::vector<std::pair<std::string, DefaultAnswer>> out;
        for (const auto& event : ui_->events())
            if (event.kind == ScriptedUiServices::EventKind::question)
                out.emplace_back(event.text, event.default_answer);
        return out;
    }
    std::string recovered_name(int page, int slot) const {
        auto book = std::make_unique<PreviewBook>();
        if (read_recovery(recovery(), *book) != FileStatus::ok) return "<unreadable>";
        return std::string(get_string(book->pages[page].slots[slot].name));
    }
    std::vector<fs::path> kept_aside() const {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(home_->path())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("unsaved-pages-")) out.push_back(entry.path());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

void UnsavedPagesTest::commands_mark_the_preview_or_leave_it() {
    start();
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));
    test::put_part(preview(), 0, 20, 18, "A", "a").selected = true;
    dialog_->refresh_lists(Sides::both());

    // What only changes the selection, or changes nothing, leaves the mark off.
    press(control_id::kPreviewRowUp);  // slot 0 cannot go up
    press(control_id::kPreviewCopy);   // the copy is the insertion point's business, not the page's
    test::put_part(library(), 0, 0, 0, "A", "l").selected = true;
    press(control_id::kLibraryCopy);
    press(control_id::kLibraryPaste);
    QVERIFY(!modified());
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));

    // Parts, positions and undo mark it, and the title shows it.
    press(control_id::kPreviewPaste);
    QVERIFY(modified());
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora *"));
    unmark();
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora"));
    press(control_id::kMoveRight);
    QVERIFY(modified());
    unmark();
    press(control_id::kUndo);
    QVERIFY(modified());
    unmark();

    // On the canvas a click selects (no mark), a Space+drag that moves marks.
    CanvasWindow& canvas = *app_->preview_canvas();
    canvas.paint_image();
    const QPoint on_part(preview().slots[0].box.left + 3, preview().slots[0].box.top + 5);
    test::click(&canvas, on_part);
    QVERIFY(!modified());
    canvas.state().space_held = true;
    test::press(&canvas, on_part);
    test::release(&canvas, on_part);
    QVERIFY(!modified());  // a Space+click moves nothing
    test::press(&canvas, on_part);
    test::move(&canvas, on_part + QPoint(7, 0));
    test::release(&canvas, on_part + QPoint(7, 0));
    canvas.state().space_held = false;
    QVERIFY(modified());
}

void UnsavedPagesTest::saving_or_loading_a_collection_clears_the_mark() {
    start();
    test::put_part(preview(), 0, 0, 0, "A", "a");
    ctx_->changed(Side::preview);
    QVERIFY(modified());

    // A single page saved leaves the other pages unsaved; loading one changes the collection.
    ui_->answer_file(home_->file("one.aat"));
    press(control_id::kSave);
    QVERIFY(modified());
    ui_->answer_file(home_->file("all.aap"));
    press(control_id::kSave);
    QVERIFY(!modified());
    QCOMPARE(dialog_->windowTitle(), "Glyphora - " + QString::fromStdString(home_->file("all.aap")));
    ui_->answer_file(home_->file("one.aat"));
    press(control_id::kLoad);
    QVERIFY(modified());
    QVERIFY(dialog_->windowTitle().endsWith(" *"));
    ui_->answer_file(home_->file("all.aap"));
    press(control_id::kLoad);
    QVERIFY(!modified());
    // A load that fails leaves the mark as it was.
    test::put_part(preview(), 1, 0, 18, "A", "b");
    ctx_->changed(Side::preview);
    test::TestHome::write_file(home_->file("bad.aap"), "no collection");
    ui_->answer_file(home_->file("bad.aap"));
    press(control_id::kLoad);
    QVERIFY(modified());
}

void UnsavedPagesTest::the_exit_question_says_when_pages_are_unsaved() {
    start();
    ui_->answer_yes();
    QVERIFY(app_->close_request());
    QCOMPARE(ui_->questions(), std::vector<std::string>{kExitQuestion});
    QVERIFY(!fs::exists(recovery()));
    shut_down();

    start();
    test::put_part(preview(), 0, 40, 18, "A", "kept");
    ctx_->changed(Side::preview);
    ui_->answer_no();
    QVERIFY(!app_->close_request());
    ui_->answer_yes();
    QVERIFY(app_->close_request());
    QCOMPARE(ui_->questions(), (std::vector<std::string>{kExitUnsavedQuestion, kExitUnsavedQuestion}));
    // Closing without saving ends the program; the pages wait in the recovery file, up to date.
    auto book = std::make_unique<PreviewBook>();
    QCOMPARE(read_recovery(recovery(), *book), FileStatus::ok);
    QCOMPARE(get_string(book->pages[0].slots[0].name), "kept");
}

void UnsavedPagesTest::autosave_writes_the_recovery_file_and_says_a_failure_once() {
    start();
    app_->autosaver()->set_delays(20, 200);
    test::put_part(preview(), 0, 0, 0, "A", "auto");
    ctx_->changed(Side::preview);
    QTRY_VERIFY(fs::exists(recovery()));
    auto book = std::make_unique<PreviewBook>();
    QTRY_COMPARE(read_recovery(recovery(), *book), FileStatus::ok);
    QCOMPARE(get_string(book->pages[0].slots[0].name), "auto");

    // A folder that is gone: said once, tried again, and written once it is back.
    const std::string folder = home_->file("gone");
    Autosaver saver(*ctx_, folder + "/unsaved-pages.recovery", dialog_);
    saver.set_delays(10, 40);
    for (int i = 0; i < 3; ++i) {
        ctx_->preview_modified();
        saver.note_change();
        QTest::qWait(80);
    }
    QTRY_VERIFY(!saver.writing());
    QCOMPARE(ui_->messages().size(), std::size_t{1});
    QVERIFY(ui_->messages()[0].starts_with(kAutosaveFailedMessage));
    QVERIFY(fs::create_directory(folder));
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(folder + "/unsaved-pages.recovery"), 2000);
    QCOMPARE(ui_->messages().size(), std::size_t{1});
}

void UnsavedPagesTest::recovery_yes_restores_and_no_keeps_five_aside() {
    auto book = std::make_unique<PreviewBook>();
    test::put_part(book->pages[4], 2, 10, 36, "A", "lost");
    set_string(book->collection_name, "/aa/work.aap");
    QVERIFY(write_recovery(recovery(), *book).ok);

    ui_->answer_yes();
    start_keeping_events();
    QCOMPARE(ui_->questions(), std::vector<std::string>{kRecoveryQuestion});
    QCOMPARE(get_string(ctx_->docs->preview.pages[4].slots[2].name), "lost");
    QVERIFY(modified());
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Glyphora - /aa/work.aap *"));
    shut_down();

    // No: moved aside under a dated name, never deleted; the five newest such copies are kept.
    for (int i = 1; i <= 5; ++i)
        test::TestHome::write_file(
            home_->file("unsaved-pages-2020010" + std::to_string(i) + "-000000.recovery"), "old");
    ui_->clear_events();
    ui_->answer_no();
    start_keeping_events();
    QCOMPARE(ui_->questions(), std::vector<std::string>{kRecoveryQuestion});
    QVERIFY(!fs::exists(recovery()));
    QVERIFY(!modified());
    const std::vector<fs::path> aside = kept_aside();
    QCOMPARE(aside.size(), std::size_t{5});
    QCOMPARE(aside.front().filename().string(), std::string("unsaved-pages-20200102-000000.recovery"));
    auto kept = std::make_unique<PreviewBook>();
    QCOMPARE(read_recovery(aside.back().string(), *kept), FileStatus::ok);
    QCOMPARE(get_string(kept->pages[4].slots[2].name), "lost");
}

void UnsavedPagesTest::a_damaged_recovery_file_is_said_and_kept() {
    test::TestHome::write_file(recovery(), std::string(kRecoveryMagic) + '\0' + "/aa/work.aap");
    ui_->answer_yes();
    start_keeping_events();
    const std::vector<std::string> messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0], status_message(FileStatus::cut_off));
    QVERIFY(messages[1].starts_with(kRecoveryKeptMessage));
    QVERIFY(!fs::exists(recovery()));
    QCOMPARE(kept_aside().size(), std::size_t{1});
    QCOMPARE(test::TestHome::read_file(kept_aside()[0].string()),
             std::string(kRecoveryMagic) + '\0' + "/aa/work.aap");
    QVERIFY(!modified());
}

void UnsavedPagesTest::a_save_ends_the_recovery_files_claim() {
    start();
    Autosaver& saver = *app_->autosaver();
    saver.set_delays(20, 200);
    test::put_part(preview(), 0, 0, 0, "A", "first");
    ctx_->changed(Side::preview);
    QTRY_COMPARE(recovered_name(0, 0), std::string("first"));

    // A single page saved leaves the rest unsaved: the recovery file stays, kept up to date.
    test::put_part(preview(), 1, 0, 18, "A", "second");
    ctx_->changed(Side::preview);
    ui_->answer_file(home_->file("one.aat"));
    press(control_id::kSave);
    QTRY_COMPARE(recovered_name(0, 1), std::string("second"));
    QTRY_VERIFY(!saver.writing());

    // Changed and saved whole before the autosave came: the older pages are no longer offered.
    test::put_part(preview(), 2, 0, 36, "A", "last");
    ctx_->changed(Side::preview);
    ui_->answer_file(home_->file("work.aap"));
    press(control_id::kSave);
    QVERIFY(!fs::exists(recovery()));
    QTest::qWait(100);  // the timers that ran for the change write nothing
    QVERIFY(!fs::exists(recovery()));

    // Saved while a write of a full book is in progress: the write cannot bring the file back. The save
    // command's call once its file is written, made at once: saving a full book takes as long as the write.
    for (Page& page : ctx_->docs->preview.pages)
        for (int slot = 0; slot < kPartsPerPage; ++slot)
            test::put_part(page, slot, 0, 0, std::string(kTextCapacity - 1, 'A'), "full");
    ctx_->changed(Side::preview);
    const QDeadlineTimer deadline(5000);
    while (!saver.writing() && !deadline.hasExpired()) QCoreApplication::processEvents();  // no sleeps
    QVERIFY(saver.writing());
    ctx_->preview_saved();
    QVERIFY(!saver.writing());
    QTest::qWait(100);
    QVERIFY(!fs::exists(recovery()));
    clear_preview(ctx_->docs->preview);
    // The dropped result of that write leaves the autosave working: two more writes go through.
    test::put_part(preview(), 0, 0, 0, "A", "after");
    ctx_->changed(Side::preview);
    QTRY_COMPARE(recovered_name(0, 0), std::string("after"));
    test::put_part(preview(), 0, 0, 0, "A", "again");
    ctx_->changed(Side::preview);
    QTRY_COMPARE(recovered_name(0, 0), std::string("again"));
    ui_->answer_file(home_->file("work.aap"));
    press(control_id::kSave);

    // A crash right after the save: the next start asks nothing and shows nothing unsaved.
    shut_down();
    ui_->clear_events();
    start_keeping_events();
    QVERIFY(ui_->questions().empty());
    QVERIFY(!modified());
    QVERIFY(!dialog_->windowTitle().endsWith(" *"));
}

void UnsavedPagesTest::a_newer_saved_file_makes_no_the_default() {
    const std::string saved = home_->file("work.aap");
    test::TestHome::write_file(saved, "saved pages");
    auto book = std::make_unique<PreviewBook>();
    test::put_part(book->pages[0], 0, 0, 0, "A", "older");
    set_string(book->collection_name, saved);
    const auto write_recovery_beside = [&](std::chrono::seconds saved_later) {
        QVERIFY(write_recovery(recovery(), *book).ok);
        fs::last_write_time(saved, fs::last_write_time(recovery()) + saved_later);
    };

    // Written after the save: offered as it is, Yes by default.
    write_recovery_beside(std::chrono::seconds(-60));
    ui_->answer_no();
    start_keeping_events();
    using Asked = std::vector<std::pair<std::string, DefaultAnswer>>;
    QCOMPARE(questions_with_defaults(), (Asked{{kRecoveryQuestion, DefaultAnswer::yes}}));
    shut_down();

    // Saved after the last autosave: the question says so and starts on No.
    write_recovery_beside(std::chrono::seconds(60));
    ui_->clear_events();
    ui_->answer_no();
    start_keeping_events();
    const std::string question = std::string(kRecoveryQuestion) + kRecoverySavedNewerNote + saved;
    QCOMPARE(questions_with_defaults(), (Asked{{question, DefaultAnswer::no}}));
    QVERIFY(!modified());
}

void UnsavedPagesTest::exit_asks_when_the_pages_cannot_be_kept() {
    start();
    test::put_part(preview(), 0, 40, 18, "A", "kept");
    ctx_->changed(Side::preview);
    // A folder where the recovery file must go: the write fails whatever the permissions.
    QVERIFY(fs::create_directory(recovery()));

    ui_->answer_yes();
    ui_->answer_no();
    QVERIFY(!app_->close_request());
    QVERIFY(!app_->dialog_ended());
    QVERIFY(dialog_->isVisible());
    const auto asked = questions_with_defaults();
    QCOMPARE(asked.size(), std::size_t{2});
    QCOMPARE(asked[0].first, std::string(kExitUnsavedQuestion));
    QVERIFY(asked[1].first.starts_with(std::string(kExitUnprotectedQuestion) + "\n"));
    QVERIFY(asked[1].first.size() > std::string(kExitUnprotectedQuestion).size() + 1);  // and why
    QCOMPARE(asked[1].second, DefaultAnswer::no);
    QVERIFY(ui_->messages().empty());  // the question says it all

    // Yes ends the program all the same.
    ui_->answer_yes();
    ui_->answer_yes();
    QVERIFY(app_->close_request());
    QVERIFY(app_->dialog_ended());
}

QTEST_MAIN(UnsavedPagesTest)
#include "unsaved_pages_test.moc"
