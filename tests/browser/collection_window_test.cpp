// The AA collection window through window-system input, on an index of a real folder: search by typing,
// insertion with Enter and by dragging onto each canvas, undo, a full page, favourites and recent AAs, the
// folder dialog, the remembered state, and a damaged database. Also where a new part goes and how an AA
// too long for a part is cut.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/main_dialog.h"
#include "browser/aa_insertion.h"
#include "browser/collection_window.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "qtest_support/test_support.h"
#include "render/measure_part.h"
#include "session/messages.h"

namespace glyphora {

namespace {

// "【FACES】" names the AAs after it; the second "HELLO WORLD" is a copy of the first.
const std::string kFaces =
    "\x81\x79"
    "FACES\x81\x7A\r\n[SPLIT]\r\nHELLO WORLD\r\n[SPLIT]\r\nABC\r\nABC\r\n[SPLIT]\r\nHELLO WORLD\r\n";
const std::string kFacesHeading =
    "\x81\x79"
    "FACES\x81\x7A";  // Shift_JIS, as the part's name holds it

}  // namespace

class CollectionWindowTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void init() { GuiTest::init(); }
    void cleanup() { GuiTest::cleanup(); }

    void search_by_typing_and_insert_with_enter();
    void results_by_keyboard_and_a_free_spot();
    void drag_onto_each_canvas();
    void full_page_gets_the_usual_message();
    void folder_dialog_favourites_and_remembered_state();
    void damaged_database_is_rebuilt_with_one_message();
    void long_aa_is_cut_at_a_whole_line();

  private:
    // A collection folder in the case's home.
    std::string make_folder() {
        const std::string folder = home_->file("aa");
        std::filesystem::create_directories(folder + "/sub");
        test::TestHome::write_file(folder + "/faces.mlt", kFaces);
        // UTF-8, with a character code page 932 lacks.
        test::TestHome::write_file(folder + "/sub/zebra.txt", "ZEBRA \xe2\x99\xa5\r\n");
        test::TestHome::write_file(folder + "/notes.doc", "not an AA file");
        return folder;
    }
    // Starts the program with the collection window open on folder, the windows apart so that a drop point
    // lies in one window only, and waits for the first scan.
    void start_with(const std::string& folder, const std::string& more = {}) {
        // All on the offscreen screen (800 x 600), which is where the platform finds windows by position.
        std::string ini =
            "[dialog]\nx=16\ny=700\ncx=1\ncy=1\n[window1]\nx=440\ny=16\nwx=300\nwy=200\n"
            "[collection]\nopen=1\nx=440\ny=250\ncx=350\ncy=330\n";
        if (!folder.empty()) ini += "folders=1\nfolder0=" + folder + "\n";
        start_app(ini + more);
        window_ = app_->collection_window();
        QVERIFY(window_ && window_->isVisible());
        QVERIFY(test::show_active(window_));
        QTRY_VERIFY_WITH_TIMEOUT(!window_->scanning(), 15000);
        QVERIFY2(window_->last_scan().ok, window_->last_scan().error.c_str());
    }
    // GuiTest::start, with the index in this case's home (the default one is the program's, shared by
    // every case), and the messages of the start kept.
    void start_app(const std::string& extra_ini, bool fresh_settings = true) {
        if (fresh_settings)
            home_->write_settings("[file]\nlibrary_filename=" + home_->file("lib.aal") + "\n" + extra_ini);
        app_ = std::make_unique<Application>(*ui_);
        app_->context().build_widths = test::build_test_widths;
        const std::string database = home_->file("cache/collection.sqlite");
        app_->set_index_opener([database](std::string& error, bool* rebuilt) {
            return collection::CollectionIndex::open(database, error, rebuilt);
        });
        QCOMPARE(app_->start(home_->environment()), StartResult::running);
        ctx_ = &app_->context();
        dialog_ = app_->main_dialog();
        QVERIFY(test::windows_exposed(*app_));
    }
    void search(const QString& words) {
        window_->search_box()->setFocus();
        QTRY_VERIFY(window_->search_box()->hasFocus());
        window_->search_box()->clear();
        test::type_to_focus(words);
        QVERIFY(window_->search_pending());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->search_pending(), 5000);
    }
    int shown_count() { return window_->list_model()->rowCount(); }
    QPoint cell_centre(int row) {
        return window_->list_view()->visualRect(window_->list_model()->index(row)).center();
    }
    // A press on a thumbnail, moves and a release over `to` in the canvas, all to the collection window,
    // which holds the pointer while the button is down as the window system does.
    void drag_to(int row, CanvasWindow& canvas, QPoint to) {
        QWidget* viewport = window_->list_view()->viewport();
        const QPoint from = cell_centre(row);
        const QPoint over = viewport->mapFromGlobal(canvas.mapToGlobal(to));
        test::press(viewport, from);
        test::move(viewport, from + QPoint(10, 10));
        test::move(viewport, (from + over) / 2);
        test::move(viewport, over);
        test::release(viewport, over);
    }

    CollectionWindow* window_ = nullptr;
};

void CollectionWindowTest::search_by_typing_and_insert_with_enter() {
    start_with(make_folder());
    QCOMPARE(window_->index()->roots().size(), std::size_t{1});

    // Several words must all match; Latin letters without regard to case.
    search(QStringLiteral("hello zebra"));
    QCOMPARE(shown_count(), 0);
    search(QStringLiteral("world HELLO"));
    // The two copies fold into one result that lists the other.
    QCOMPARE(shown_count(), 1);
    const ShownAa& hit = window_->list_model()->items().front();
    QCOMPARE(hit.also_in.size(), std::size_t{1});
    QVERIFY(aa_details(hit).find(hit.also_in.front()) != std::string::npos);

    // Enter in the search box puts the first result into the preview page, named by its heading.
    test::key_to_focus(Qt::Key_Return);
    QTRY_VERIFY(preview().slots[0].in_use);
    QCOMPARE(get_string(preview().slots[0].text), std::string_view("HELLO WORLD"));
    QCOMPARE(get_string(preview().slots[0].name), std::string_view(kFacesHeading));
    QVERIFY(preview().slots[0].selected);
    QVERIFY(ctx_->docs->preview.modified);

    // One undoable change, through the main dialog's undo.
    test::click(dialog_->control(control_id::kUndo));
    QVERIFY(!preview().slots[0].in_use);
}

void CollectionWindowTest::results_by_keyboard_and_a_free_spot() {
    start_with(make_folder());
    test::put_part(preview(), 0, 0, 0, "ZZZZ");  // 32 px wide, on the first row

    // A file chosen in the tree by keyboard lists its AAs, in order.
    QTreeView* tree = window_->tree_view();
    tree->setFocus();
    QTRY_VERIFY(tree->hasFocus());
    QCOMPARE(window_->tree_model()->rowCount(), 3);  // favourites, recent, the folder
    test::key_to_focus(Qt::Key_Home);
    test::key_to_focus(Qt::Key_Down);
    test::key_to_focus(Qt::Key_Down);
    QCOMPARE(tree->currentIndex(), window_->tree_model()->index(2, 0));
    test::key_to_focus(Qt::Key_Right);  // opens the folder
    QTRY_VERIFY(window_->tree_model()->rowCount(window_->tree_model()->index(2, 0)) >= 2);
    const QModelIndex faces = window_->tree_model()->find(window_->index()->roots().front() + "/faces.mlt");
    QVERIFY(faces.isValid());
    for (int i = 0; i < 4 && tree->currentIndex() != faces; ++i) test::key_to_focus(Qt::Key_Down);
    QCOMPARE(tree->currentIndex(), QModelIndex(faces));
    QVERIFY(shown_count() >= 3);
    for (const ShownAa& shown : window_->list_model()->items())
        QVERIFY(shown.location.ends_with("/faces.mlt"));
    QCOMPARE(window_->list_model()->items()[1].aa.ordinal, window_->list_model()->items()[0].aa.ordinal + 1);

    // Down from the search box goes to the results.
    search(QStringLiteral("abc"));
    QCOMPARE(shown_count(), 1);
    test::key_to_focus(Qt::Key_Down);
    QTRY_VERIFY(window_->list_view()->hasFocus());
    test::key_to_focus(Qt::Key_Return);
    QTRY_VERIFY(preview().slots[1].in_use);
    const Part& added = preview().slots[1];
    QCOMPARE(get_string(added.text), std::string_view("ABC\r\nABC"));
    // Beside the part that was there, not over it.
    const Box old_box = measure_part(preview().slots[0], *ctx_->widths);
    const Box new_box = measure_part(added, *ctx_->widths);
    QVERIFY(new_box.left >= old_box.right || new_box.top >= old_box.bottom);
    QVERIFY(!preview().slots[0].selected);

    // Shift+Enter puts it into the current library page.
    test::key_to_focus(Qt::Key_Return, Qt::ShiftModifier);
    QTRY_VERIFY(library().slots[0].in_use);

    // Ctrl+D marks a favourite, and the AAs used are the recent ones, newest first.
    test::key_to_focus(Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(window_->marks().favourites().size(), std::size_t{1});
    QCOMPARE(window_->marks().recent().size(), std::size_t{1});  // the same AA twice is one entry
    QVERIFY(test::TestHome::exists(ctx_->program_directory + kMarksFileName));
}

void CollectionWindowTest::drag_onto_each_canvas() {
    start_with(make_folder());
    search(QStringLiteral("abc"));
    QCOMPARE(shown_count(), 1);

    // Onto the preview canvas: at the drop point, on the line grid (lines of 18).
    drag_to(0, *app_->preview_canvas(), QPoint(40, 60));
    QTRY_VERIFY(preview().slots[0].in_use);
    QCOMPARE(preview().slots[0].x, 40);
    QCOMPARE(preview().slots[0].y, 54);
    QCOMPARE(get_string(preview().slots[0].text), std::string_view("ABC\r\nABC"));
    QVERIFY(ctx_->docs->preview.modified);

    // Onto the library canvas: into its current page.
    ctx_->docs->library.current_page = 3;
    drag_to(0, *app_->library_canvas(), QPoint(100, 100));
    QTRY_VERIFY(ctx_->docs->library.pages[3].slots[0].in_use);
    QCOMPARE(ctx_->docs->library.pages[3].slots[0].x, 100);
    QCOMPARE(ctx_->docs->library.pages[3].slots[0].y, 90);
    test::click(dialog_->control(control_id::kUndo));
    QVERIFY(!ctx_->docs->library.pages[3].slots[0].in_use);
    QVERIFY(preview().slots[0].in_use);

    // A drop that misses both canvases puts nothing anywhere.
    QWidget* viewport = window_->list_view()->viewport();
    test::press(viewport, cell_centre(0));
    test::move(viewport, cell_centre(0) + QPoint(30, 30));
    test::release(viewport, cell_centre(0) + QPoint(30, 30));
    QVERIFY(!preview().slots[1].in_use);
}

void CollectionWindowTest::full_page_gets_the_usual_message() {
    start_with(make_folder());
    for (int slot = 0; slot < kPartsPerPage; ++slot) test::put_part(preview(), slot, 0, slot * 18, "Z");
    search(QStringLiteral("zebra"));
    QCOMPARE(shown_count(), 1);
    test::key_to_focus(Qt::Key_Return);
    QTRY_COMPARE(ui_->messages().size(), std::size_t{1});
    QCOMPARE(ui_->messages().front(), std::string(kRegisterErrorMessage));
    QCOMPARE(get_string(preview().slots[49].text), std::string_view("Z"));
    QVERIFY(!ctx_->docs->preview.modified);
}

void CollectionWindowTest::folder_dialog_favourites_and_remembered_state() {
    const std::string folder = make_folder();
    start_with({});
    QCOMPARE(window_->list_model()->rowCount(), 0);

    // "フォルダを追加" through the folder dialog: the folder is indexed and stored in the settings.
    ui_->answer_file(folder);
    test::click(window_->findChild<QPushButton*>(QStringLiteral("collection_add_folder")));
    QTRY_VERIFY_WITH_TIMEOUT(!window_->scanning() && window_->last_scan().files_read == 2, 15000);
    QCOMPARE(read_collection_window(ctx_->file()).folders, std::vector<std::string>{folder});
    search(QStringLiteral("zebra"));
    QCOMPARE(shown_count(), 1);
    test::key_to_focus(Qt::Key_Down);
    test::key_to_focus(Qt::Key_Asterisk);
    QCOMPARE(window_->marks().favourites().size(), std::size_t{1});
    test::key_to_focus(Qt::Key_Return);
    QTRY_VERIFY(preview().slots[0].in_use);
    QCOMPARE(get_string(preview().slots[0].text), std::string_view("ZEBRA &#9829;"));

    // The zoom and the window's place are stored.
    window_->zoom_slider()->setValue(200);
    window_->move(520, 40);
    QTRY_COMPARE(read_collection_window(ctx_->file()).zoom, 200);
    QTRY_COMPARE(read_collection_window(ctx_->file()).x, 520);

    // The next start opens it again where it was, with its zoom, and the favourite is still one even with
    // the cache deleted.
    shut_down();
    std::filesystem::remove_all(home_->file("cache"));
    start_app({}, false);
    window_ = app_->collection_window();
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->zoom(), 200);
    QCOMPARE(window_->pos().x(), 520);
    QTRY_VERIFY_WITH_TIMEOUT(!window_->scanning(), 15000);
    QCOMPARE(window_->index()->roots(), std::vector<std::string>{folder});
    window_->tree_view()->setFocus();
    QTRY_VERIFY(window_->tree_view()->hasFocus());
    test::key_to_focus(Qt::Key_Home);  // the favourites, the first row
    QTRY_COMPARE(shown_count(), 1);
    QCOMPARE(window_->list_model()->items().front().location, folder + "/sub/zebra.txt");

    // Closing it is remembered too.
    window_->close();
    QVERIFY(!read_collection_window(ctx_->file()).open);
}

void CollectionWindowTest::damaged_database_is_rebuilt_with_one_message() {
    const std::string folder = make_folder();
    std::filesystem::create_directories(home_->file("cache"));
    test::TestHome::write_file(home_->file("cache/collection.sqlite"), std::string(4096, 'x'));
    start_with(folder);
    QCOMPARE(ui_->messages(), std::vector<std::string>{kCollectionRebuiltMessage});
    search(QStringLiteral("zebra"));
    QCOMPARE(shown_count(), 1);
}

void CollectionWindowTest::long_aa_is_cut_at_a_whole_line() {
    std::string text;
    const std::string line(100, 'A');
    while (text.size() < kTextCapacity + 500) text += line + "\r\n";
    const PreparedAa aa =
        prepare_aa(text, "", "\xe3\x80\x90\xe7\xac\x91\xe9\xa1\x94\xe3\x80\x91");  // 【笑顔】
    QVERIFY(aa.cut);
    QVERIFY(aa.text.size() < kTextCapacity);
    QVERIFY(aa.text.size() % (line.size() + 2) == line.size() || aa.text.size() % (line.size() + 2) == 0);
    QCOMPARE(aa.name, std::string("\x81\x79\x8f\xce\x8a\xe7\x81\x7a"));
    // The title wins; without either, the first line names it.
    QCOMPARE(prepare_aa("XY\r\nZ", "T", "H").name, std::string("T"));
    QCOMPARE(prepare_aa("XY\r\nZ", "", "").name, std::string("XY"));
    QVERIFY(!prepare_aa("XY\r\nZ", "", "").cut);
}

}  // namespace glyphora

QTEST_MAIN(glyphora::CollectionWindowTest)
#include "collection_window_test.moc"
