// Unsaved pages: which commands mark the preview modified and which clear the mark, the title, the exit
// question, the autosave to the recovery file (and its failure, said once), and the recovery at start.

#include <QDir>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <memory>

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

QTEST_MAIN(UnsavedPagesTest)
#include "unsaved_pages_test.moc"
