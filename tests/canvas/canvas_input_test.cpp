// Mouse and keys on the canvases, driven by real events on the running program: hit testing, clicks with
// Shift and Ctrl, Space+drag on the line grid, double clicks (detail dialog, quick text box, full page),
// the right button, keys, the recent texts and the stored window placement.

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <limits>
#include <memory>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_input.h"
#include "canvas/canvas_window.h"
#include "canvas/property_dialog.h"
#include "canvas/quick_text_box.h"
#include "model/sjis.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

std::vector<int> selected(const Page& page) {
    std::vector<int> out;
    for (int i = 0; i < kPartsPerPage; ++i)
        if (page.slots[i].selected) out.push_back(i);
    return out;
}

// The visible modal dialog other than the main dialog, if one is open (the detail dialog is modal to its
// canvas only).
QDialog* open_modal_dialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && !qobject_cast<MainDialog*>(dialog) && dialog->isVisible() &&
            dialog->windowModality() != Qt::NonModal)
            return dialog;
    }
    return nullptr;
}

// Runs `act` on the next modal dialog once it is open. The state is shared with the polling timer, which
// stops when the watch is gone.
struct ModalWatch {
    struct State {
        bool armed = true;
        bool seen = false;
        QString title;
        std::function<void(QWidget*)> act;
        QTimer timer;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
    explicit ModalWatch(std::function<void(QWidget*)> act) {
        state->act = std::move(act);
        state->timer.setInterval(10);
        QObject::connect(&state->timer, &QTimer::timeout, [s = state.get()] {
            if (!s->armed || s->seen) return;
            // A user types only once the window is active and its focus is in place.
            QPointer<QDialog> modal = open_modal_dialog();
            if (!modal || !modal->isActiveWindow()) return;
            s->seen = true;
            s->timer.stop();
            s->title = modal->windowTitle();
            s->act(modal);
            // A failed check inside `act` returns early; the dialog must not be left running.
            if (modal && modal->isVisible()) modal->close();
        });
        state->timer.start();
    }
    ModalWatch(const ModalWatch&) = delete;
    ModalWatch& operator=(const ModalWatch&) = delete;
    ~ModalWatch() {
        state->armed = false;
        state->timer.stop();
    }
    bool seen() const { return state->seen; }
};

// Types into the quick text box and ends it with `key` (Return or Escape).
std::function<void(QWidget*)> type_into_box(const QString& text, Qt::Key key) {
    return [text, key](QWidget* modal) {
        auto* box = qobject_cast<QuickTextBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        test::type_to_focus(text);
        test::key_to_focus(key);
    };
}

// Runs `act` just before `target` gets an event of `type`.
struct BeforeEvent : QObject {
    BeforeEvent(QObject* target, QEvent::Type type, std::function<void()> act)
        : type(type), act(std::move(act)) {
        target->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type) act();
        return false;
    }
    QEvent::Type type;
    std::function<void()> act;
};

std::array<std::string, kRecentTextCount> recent(std::initializer_list<std::string> texts) {
    std::array<std::string, kRecentTextCount> out;
    std::size_t i = 0;
    for (const std::string& t : texts) out[i++] = t;
    return out;
}

}  // namespace

class CanvasInputTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void hit_test_is_strict_and_the_top_slot_wins();
    void clicks_with_shift_and_ctrl();
    void space_drag_moves_on_the_line_grid();
    void space_click_selection_rules();
    void double_click_on_a_part_opens_the_detail_dialog();
    void double_click_on_empty_preview_types_a_new_part();
    void double_click_refusals();
    void quick_text_box_confirms_the_keys_of_the_window_system();
    void quick_text_box_takes_characters_code_page_932_lacks();
    void recent_texts_order();
    void part_names_never_split_a_character();
    void right_button_opens_the_menu();
    void keys_end_the_temporary_display_and_hold_space();
    void placement_is_written_to_the_settings_file();
    void compose_a_small_picture();

  private:
    void start(Widths widths = Widths::test);
    CanvasWindow& preview_canvas() { return *app_->preview_canvas(); }
    CanvasWindow& library_canvas() { return *app_->library_canvas(); }
    UndoSnapshot& undo() { return ctx_->docs->undo; }
    void paint(CanvasWindow& canvas) { canvas.paint_image(); }  // measures every box
    void mark_undo() { take_snapshot(undo(), UndoKind::library_slot, preview(), library(), 44); }
    bool undo_marked() { return undo().kind == UndoKind::library_slot && undo().slot == 44; }
    void click(CanvasWindow& canvas, int x, int y, Qt::KeyboardModifiers modifiers = {}) {
        test::click(&canvas, QPoint(x, y), modifiers);
    }
    // Space goes where the keyboard goes: the canvas is made the active window first, as by a click.
    void space(CanvasWindow& canvas, bool down) {
        if (down) QVERIFY(test::show_active(&canvas));
        test::key_to_focus(Qt::Key_Space, {}, down ? test::Key::press : test::Key::release);
    }
    void drag(CanvasWindow& canvas, QPoint from, QPoint to) {
        test::press(&canvas, from);
        test::move(&canvas, to);
        test::release(&canvas, to);
    }

    std::vector<Sides> refreshed_;  // the sides said to have changed, in order
};

void CanvasInputTest::start(Widths widths) {
    GuiTest::start({}, widths);
    if (!started()) return;
    if (!ctx_->ensure_width_table()) GLYPHORA_SKIP_UNLESS_CI("no font to measure");
    auto refresh = ctx_->changed_hook;
    ctx_->changed_hook = [this, refresh](Sides mask) {
        refreshed_.push_back(mask);
        refresh(mask);
    };
    ui_->clear_events();
}

void CanvasInputTest::hit_test_is_strict_and_the_top_slot_wins() {
    start();
    put_part(preview(), 3, 10, 36, "AAAA", "part");  // box 10..42 x 36..54
    put_part(preview(), 7, 30, 36, "AAAA", "part");  // box 30..62 x 36..54
    Part& label = put_part(preview(), 9, 100, 100, "AAAA", "part");
    label.is_label = true;  // never drawn: cannot be hit
    paint(preview_canvas());
    QCOMPARE(preview().slots[3].box, (Box{10, 36, 42, 54}));

    QCOMPARE(hit_test(preview(), 10, 40, false), -1);  // on the frame lines
    QCOMPARE(hit_test(preview(), 20, 36, false), -1);
    QCOMPARE(hit_test(preview(), 62, 40, false), -1);
    QCOMPARE(hit_test(preview(), 50, 54, false), -1);
    QCOMPARE(hit_test(preview(), 11, 37, false), 3);
    QCOMPARE(hit_test(preview(), 35, 40, false), 7);  // the overlap: the higher slot
    QCOMPARE(hit_test(preview(), 101, 101, false), -1);
    preview().slots[7].no_space_click_select = true;
    QCOMPARE(hit_test(preview(), 35, 40, false), 7);
    QCOMPARE(hit_test(preview(), 35, 40, true), 3);  // Space mode looks through it

    // Through real clicks: the frame line misses, the overlap selects slot 7.
    click(preview_canvas(), 10, 40);
    QVERIFY(selected(preview()).empty());
    click(preview_canvas(), 35, 40);
    QCOMPARE(selected(preview()), std::vector<int>{7});
}

void CanvasInputTest::clicks_with_shift_and_ctrl() {
    start();
    put_part(preview(), 0, 10, 36, "AAAA", "part");
    put_part(preview(), 1, 100, 36, "AAAA", "part");
    put_part(preview(), 2, 200, 36, "AAAA", "part");
    paint(preview_canvas());

    refreshed_.clear();
    click(preview_canvas(), 20, 40);
    QCOMPARE(selected(preview()), std::vector<int>{0});
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QCOMPARE(refreshed_, std::vector<Sides>{Side::preview});
    QVERIFY(app_->main_dialog()->preview_list()->item(0)->isSelected());

    click(preview_canvas(), 110, 40, Qt::ShiftModifier);  // adds
    click(preview_canvas(), 210, 40, Qt::ShiftModifier);
    QCOMPARE(selected(preview()), (std::vector<int>{0, 1, 2}));
    click(preview_canvas(), 110, 40, Qt::ShiftModifier | Qt::ControlModifier);  // takes one away
    QCOMPARE(selected(preview()), (std::vector<int>{0, 2}));

    // Misses with Shift, and with Ctrl alone, leave everything as it was.
    mark_undo();
    refreshed_.clear();
    click(preview_canvas(), 300, 300, Qt::ShiftModifier);
    click(preview_canvas(), 300, 300, Qt::ShiftModifier | Qt::ControlModifier);
    click(preview_canvas(), 300, 300, Qt::ControlModifier);
    QCOMPARE(selected(preview()), (std::vector<int>{0, 2}));
    QVERIFY(undo_marked());
    QVERIFY(refreshed_.empty());

    // Ctrl on a part without Shift selects it alone; a second Ctrl click takes it away.
    click(preview_canvas(), 110, 40, Qt::ControlModifier);
    QCOMPARE(selected(preview()), std::vector<int>{1});
    click(preview_canvas(), 110, 40, Qt::ControlModifier);  // cleared first, then toggled on again
    QCOMPARE(selected(preview()), std::vector<int>{1});

    // A plain miss clears the selection, with a snapshot and a refresh.
    click(preview_canvas(), 20, 40);
    mark_undo();
    click(preview_canvas(), 300, 300);
    QVERIFY(selected(preview()).empty());
    QCOMPARE(undo().kind, UndoKind::preview_page);

    // The library canvas works on the library page, with its own snapshot kind and list.
    put_part(library(), 4, 10, 36, "AAAA", "part");
    paint(library_canvas());
    refreshed_.clear();
    click(library_canvas(), 20, 40);
    QCOMPARE(selected(library()), std::vector<int>{4});
    QCOMPARE(undo().kind, UndoKind::library_page);
    QCOMPARE(refreshed_, std::vector<Sides>{Side::library});
}

void CanvasInputTest::space_drag_moves_on_the_line_grid() {
    start();
    CanvasWindow& canvas = preview_canvas();
    put_part(preview(), 0, 10, 36, "AAAA", "part");
    put_part(preview(), 1, 100, 36, "AAAA", "part");
    paint(canvas);

    space(canvas, true);
    QVERIFY(canvas.state().space_held);
    // 7 pixels down: y snaps back.
    test::press(&canvas, QPoint(20, 40));
    QVERIFY(canvas.state().dragging);
    QCOMPARE(preview().slots[0].drag_origin, (Point{10, 36}));
    test::move(&canvas, QPoint(23, 47));
    QCOMPARE(preview().slots[0].x, 13);
    QCOMPARE(preview().slots[0].y, 43);  // not snapped while moving
    refreshed_.clear();
    test::release(&canvas, QPoint(23, 47));
    QVERIFY(!canvas.state().dragging);
    QCOMPARE(preview().slots[0].x, 13);
    QCOMPARE(preview().slots[0].y, 36);
    QCOMPARE(refreshed_, std::vector<Sides>{Side::preview});
    QCOMPARE(preview().slots[1].y, 36);  // not selected: stays

    // 20 pixels down: one line.
    paint(canvas);
    drag(canvas, QPoint(20, 40), QPoint(20, 60));
    QCOMPARE(preview().slots[0].y, 54);

    // Undo of a drag puts the part back where the drag began.
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QCOMPARE(undo().slots[0].y, 36);

    // Above the top edge: -20 ends at -18.
    paint(canvas);
    drag(canvas, QPoint(20, 60), QPoint(20, 60 - 74));
    QCOMPARE(preview().slots[0].y, -20 + 2);
    QCOMPARE(preview().slots[0].y, -18);

    // Space+press on empty canvas moves the whole selection.
    preview().slots[0].y = 36;
    preview().slots[1].selected = true;
    paint(canvas);
    drag(canvas, QPoint(300, 300), QPoint(305, 300));
    QCOMPARE(preview().slots[0].x, 18);
    QCOMPARE(preview().slots[1].x, 105);

    // Without a selection a press on empty canvas starts nothing.
    for (Part& p : preview().slots) p.selected = false;
    mark_undo();
    test::press(&canvas, QPoint(300, 300));
    QVERIFY(!canvas.state().dragging);
    QVERIFY(undo_marked());
    test::release(&canvas, QPoint(300, 300));

    // Positions stop at the ends of their range instead of wrapping around.
    Part& far = put_part(preview(), 9, std::numeric_limits<int32_t>::max() - 2, 0, "AAAA", "part");
    far.selected = true;
    drag(canvas, QPoint(300, 300), QPoint(310, 300));
    QCOMPARE(far.x, std::numeric_limits<int32_t>::max());
    clear_slot(far);

    space(canvas, false);
    QVERIFY(!canvas.state().space_held);
    // A plain press and move after Space is released selects and moves nothing.
    test::press(&canvas, QPoint(20, 40));
    test::move(&canvas, QPoint(60, 80));
    test::release(&canvas, QPoint(60, 80));
    QCOMPARE(preview().slots[0].x, 18);
}

void CanvasInputTest::space_click_selection_rules() {
    start();
    CanvasWindow& canvas = preview_canvas();
    put_part(preview(), 0, 10, 36, "AAAA", "part");
    put_part(preview(), 1, 100, 36, "AAAA", "part").no_space_click_select = true;
    preview().slots[0].selected = true;
    paint(canvas);
    space(canvas, true);

    // A part passed over in Space mode: the selection stays and is what moves.
    drag(canvas, QPoint(110, 40), QPoint(112, 40));
    QCOMPARE(selected(preview()), std::vector<int>{0});
    QCOMPARE(preview().slots[0].x, 12);
    QCOMPARE(preview().slots[1].x, 100);

    // Space+press on another part moves that part alone.
    preview().slots[1].no_space_click_select = false;
    paint(canvas);
    drag(canvas, QPoint(110, 40), QPoint(130, 40));
    QCOMPARE(selected(preview()), std::vector<int>{1});
    QCOMPARE(preview().slots[1].x, 120);
    QCOMPARE(preview().slots[0].x, 12);

    // A double click with Space held does nothing.
    test::double_click(&canvas, QPoint(400, 300));
    QVERIFY(ui_->messages().empty());
    QVERIFY(!canvas.state().dblclick_busy);
    space(canvas, false);
}

void CanvasInputTest::double_click_on_a_part_opens_the_detail_dialog() {
    start();
    put_part(preview(), 5, 10, 36, "AAAA", "part");
    put_part(library(), 2, 10, 36, "AAAA", "part");
    paint(preview_canvas());
    paint(library_canvas());

    {
        ModalWatch watch([](QWidget* modal) {
            auto* dialog = qobject_cast<CPropertyDialog*>(modal);
            QVERIFY(dialog);
            QVERIFY(open_modal_dialog() == dialog);
            dialog->x_edit()->setText("40");
            test::click(dialog->ok_button());
        });
        test::double_click(&preview_canvas(), QPoint(20, 40));
        QVERIFY(watch.seen());
        QCOMPARE(watch.state->title, QString::fromUtf8(kPreviewPartTitle));
    }
    QCOMPARE(preview().slots[5].x, 40);
    QVERIFY(preview().slots[5].selected);
    QCOMPARE(undo().kind, UndoKind::preview_slot);
    QCOMPARE(undo().slot, 5);
    QVERIFY(!preview_canvas().state().dblclick_busy);

    {
        ModalWatch watch([](QWidget* modal) {
            auto* dialog = qobject_cast<CPropertyDialog*>(modal);
            QVERIFY(dialog);
            test::click(dialog->cancel_button());
        });
        test::double_click(&library_canvas(), QPoint(20, 40));
        QVERIFY(watch.seen());
        QCOMPARE(watch.state->title, QString::fromUtf8(kLibraryPartTitle));
    }
    QVERIFY(library().slots[2].selected);

    // On an empty spot of the library canvas nothing opens.
    const int parts_before = find_register_slot(library());
    test::double_click(&library_canvas(), QPoint(300, 300));
    QCOMPARE(find_register_slot(library()), parts_before);
    QVERIFY(ui_->messages().empty());
}

void CanvasInputTest::double_click_on_empty_preview_types_a_new_part() {
    start();
    CanvasWindow& canvas = preview_canvas();
    put_part(preview(), 0, 10, 36, "AAAA", "part").selected = true;
    paint(canvas);
    write_recent_text(ctx_->file(), 0, "old");

    QPoint box_pos;
    {
        ModalWatch watch([&box_pos](QWidget* modal) {
            auto* box = qobject_cast<QuickTextBox*>(modal);
            QVERIFY(box);
            box_pos = box->pos();
            QCOMPARE(box->field()->count(), 1);
            QCOMPARE(box->field()->itemText(0), QString("old"));
            QVERIFY(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QVERIFY(box->windowFlags().testFlag(Qt::FramelessWindowHint));
            test::type_to_focus("ABCDEFGHIJ");
            test::key_to_focus(Qt::Key_Return);
        });
        refreshed_.clear();
        test::double_click(&canvas, QPoint(150, 80));
        QVERIFY(watch.seen());
    }
    QCOMPARE(box_pos, canvas.mapToGlobal(QPoint(150, 72)));  // over the spot the part starts at
    const Part& part = preview().slots[1];
    QVERIFY(part.in_use);
    QCOMPARE(get_string(part.text), std::string_view("ABCDEFGHIJ"));
    QCOMPARE(get_string(part.name), std::string_view("ABCDEFGH"));
    QCOMPARE(part.x, 150);
    QCOMPARE(part.y, 72);
    QCOMPARE(selected(preview()), std::vector<int>{1});
    QVERIFY(refreshed_.back() == Side::preview);
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QVERIFY(!undo().slots[1].in_use);  // taken before the part was added
    QCOMPARE(read_recent_texts(ctx_->file())[0], std::string("ABCDEFGHIJ"));
    QCOMPARE(read_recent_texts(ctx_->file())[1], std::string("old"));
    QVERIFY(!canvas.state().dblclick_busy);

    // A Japanese text whose eighth and ninth bytes are one character: a 9-byte name.
    {
        ModalWatch watch(type_into_box(QString::fromUtf8("Aあいうえお"), Qt::Key_Return));
        test::double_click(&canvas, QPoint(300, 200));
        QVERIFY(watch.seen());
    }
    QCOMPARE(get_string(preview().slots[2].text),
             std::string_view("A\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8"));
    QCOMPARE(get_string(preview().slots[2].name), std::string_view("A\x82\xA0\x82\xA2\x82\xA4\x82\xA6"));

    // Typing the start of a recent text gives what was typed, not the recent text.
    const auto before = read_recent_texts(ctx_->file());
    {
        ModalWatch watch([](QWidget* modal) {
            auto* box = qobject_cast<QuickTextBox*>(modal);
            QVERIFY(box);
            test::type_to_focus(QString::fromUtf8("AB\u00A0"));
            test::key_to_focus(Qt::Key_Return);
        });
        test::double_click(&canvas, QPoint(300, 400));
        QVERIFY(watch.seen());
    }
    // A web space (here a typed no-break space) is taken as its markup.
    QCOMPARE(get_string(preview().slots[3].text), std::string_view("AB&nbsp;"));
    clear_slot(preview().slots[3]);
    for (int i = 0; i < kRecentTextCount; ++i) write_recent_text(ctx_->file(), i, before[i]);

    // Escape cancels: nothing added, the recent texts stay, the snapshot taken before stays current.
    {
        ModalWatch watch(type_into_box("never", Qt::Key_Escape));
        test::double_click(&canvas, QPoint(300, 300));
        QVERIFY(watch.seen());
    }
    QVERIFY(!preview().slots[3].in_use);
    QCOMPARE(undo().kind, UndoKind::preview_page);
    QVERIFY(undo().slots[2].in_use);
    QCOMPARE(read_recent_texts(ctx_->file())[1], std::string("ABCDEFGHIJ"));

    // An empty text is remembered as an empty entry but adds no invisible part.
    {
        ModalWatch watch(type_into_box("", Qt::Key_Return));
        test::double_click(&canvas, QPoint(300, 300));
        QVERIFY(watch.seen());
    }
    QVERIFY(!preview().slots[3].in_use);
    QCOMPARE(read_recent_texts(ctx_->file())[0], std::string());
    QCOMPARE(read_recent_texts(ctx_->file())[1], std::string("A\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8"));

    // A character no part can hold is named; the box stays open until the text is fixed.
    {
        ModalWatch watch([](QWidget* modal) {
            auto* box = qobject_cast<QuickTextBox*>(modal);
            QVERIFY(box);
            test::type_to_focus(QString::fromUtf8("A\uFFFD"));
            test::key_to_focus(Qt::Key_Return);
            QVERIFY(box->isVisible());
            test::key_to_focus(Qt::Key_A, Qt::ControlModifier);  // the correction replaces it all
            test::type_to_focus("B");
            test::key_to_focus(Qt::Key_Return);
        });
        test::double_click(&canvas, QPoint(300, 300));
        QVERIFY(watch.seen());
    }
    QCOMPARE(ui_->messages().size(), std::size_t{1});
    QVERIFY(ui_->messages()[0].find("(U+FFFD) at character 2") != std::string::npos);
    QCOMPARE(get_string(preview().slots[3].text), std::string_view("B"));

    // A 64-byte text: the part keeps it all; the recent entry reads back cut to 63 bytes.
    const std::string long_text(64, 'Q');
    {
        ModalWatch watch(type_into_box(QString::fromStdString(long_text), Qt::Key_Return));
        test::double_click(&canvas, QPoint(300, 300));
        QVERIFY(watch.seen());
    }
    QCOMPARE(get_string(preview().slots[4].text), std::string_view(long_text));
    QCOMPARE(read_recent_texts(ctx_->file())[0], long_text.substr(0, 63));
    QVERIFY(home_->read_file(home_->settings_path()).find("mru0=" + long_text + "\n") != std::string::npos);
}

void CanvasInputTest::double_click_refusals() {
    start();
    for (int i = 0; i < kPartsPerPage; ++i) put_part(preview(), i, 10, 36 + 18 * i, "", "part");
    {
        // The first press of the double click clears the selection with a snapshot of its own.
        BeforeEvent mark(&preview_canvas(), QEvent::MouseButtonDblClick, [this] { mark_undo(); });
        test::double_click(&preview_canvas(), QPoint(400, 10));
    }
    QCOMPARE(ui_->messages(), std::vector<std::string>{"登録エラー"});
    QVERIFY(undo_marked());
    QVERIFY(open_modal_dialog() == nullptr);
    QVERIFY(!preview_canvas().state().dblclick_busy);

    // While a double click is being handled, another one is ignored.
    preview_canvas().state().dblclick_busy = true;
    ui_->clear_events();
    test::double_click(&preview_canvas(), QPoint(400, 10));
    QVERIFY(ui_->messages().empty());
    QVERIFY(preview_canvas().state().dblclick_busy);
    preview_canvas().state().dblclick_busy = false;
}

// Keys sent to the box's window reach its focus widget, the drop-down, as the window system delivers them:
// Return and keypad Enter confirm, also after a recent text was picked from the opened list (where Return
// picks without confirming).
void CanvasInputTest::quick_text_box_confirms_the_keys_of_the_window_system() {
    start();
    CanvasWindow& canvas = preview_canvas();
    write_recent_text(ctx_->file(), 0, "first");
    write_recent_text(ctx_->file(), 1, "second");
    const auto new_part = [&](const std::function<void(QuickTextBox&, QWindow*)>& keys) -> std::string {
        const int slot = find_register_slot(preview());
        ModalWatch watch([&keys](QWidget* modal) {
            auto* box = qobject_cast<QuickTextBox*>(modal);
            QVERIFY(box);
            QVERIFY(box->field()->hasFocus());
            keys(*box, box->windowHandle());
        });
        QTest::mouseDClick(canvas.windowHandle(), Qt::LeftButton, {}, QPoint(300, 300));
        if (!watch.seen()) return "<no box>";
        return preview().slots[slot].in_use ? std::string(get_string(preview().slots[slot].text)) : "<none>";
    };

    for (Qt::Key confirm : {Qt::Key_Return, Qt::Key_Enter}) {
        QCOMPARE(new_part([confirm](QuickTextBox&, QWindow* window) {
                     for (char c : std::string("XY")) QTest::keyClick(window, c);
                     QTest::keyClick(window, confirm);
                 }),
                 std::string("XY"));
    }
    QCOMPARE(read_recent_texts(ctx_->file())[0], std::string("XY"));

    QString picked;
    const std::string made = new_part([&picked](QuickTextBox& box, QWindow* window) {
        QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView* list = box.field()->view();
        QTRY_VERIFY(list->isVisible());
        const QRect row = list->visualRect(list->model()->index(1, 0));
        QWidget* popup = list->window();
        QTest::mouseClick(popup->windowHandle(), Qt::LeftButton, {},
                          list->viewport()->mapTo(popup, row.center()));
        QTRY_VERIFY(!list->isVisible());
        QVERIFY(box.isVisible());
        picked = box.field()->currentText();
        QTest::keyClick(window, Qt::Key_Return);
    });
    QCOMPARE(picked, QStringLiteral("first"));  // the second row: "XY" is the most recent now
    QCOMPARE(made, picked.toStdString());
}

// Typed or pasted, a character code page 932 lacks becomes a decimal reference; the web's spaces keep their
// markup; a text cut to the part's capacity never ends inside a reference.
void CanvasInputTest::quick_text_box_takes_characters_code_page_932_lacks() {
    start();
    CanvasWindow& canvas = preview_canvas();
    const auto new_part = [&](const QString& typed, const QString& pasted) -> std::string {
        const int slot = find_register_slot(preview());
        QGuiApplication::clipboard()->setText(pasted);
        ModalWatch watch([&typed](QWidget* modal) {
            QVERIFY(qobject_cast<QuickTextBox*>(modal));
            test::type_to_focus(typed);
            test::key_to_focus(Qt::Key_V, Qt::ControlModifier);
            test::key_to_focus(Qt::Key_Return);
        });
        test::double_click(&canvas, QPoint(300, 100 + 20 * slot));
        if (!watch.seen()) return "<no box>";
        return preview().slots[slot].in_use ? std::string(get_string(preview().slots[slot].text)) : "<none>";
    };
    QCOMPARE(new_part(QString::fromUtf8("\u2661\u2005A"), QString::fromUtf8("\u2661\u2005\u00A0\U0001F600")),
             std::string("&#9825;&#8197;A&#9825;&#8197;&nbsp;&#128512;"));
    QCOMPARE(new_part(QString(), QString(16380, QLatin1Char('Q')) + QString::fromUtf8("\u2661")),
             std::string(16380, 'Q'));
    QVERIFY(ui_->messages().empty());
}

void CanvasInputTest::recent_texts_order() {
    auto stored = [](const std::vector<SettingsEntry>& entries) {
        std::vector<std::string> out;
        for (const SettingsEntry& e : entries) out.push_back(std::string(e.key) + "=" + e.value);
        return out;
    };
    using V = std::vector<std::string>;
    QCOMPARE(stored(recent_text_entries(recent({"T1", "T2", "T3"}), "T2")),
             (V{"mru0=T2", "mru1=T1", "mru2=T3"}));
    QCOMPARE(stored(recent_text_entries(recent({"T2", "T1", "T3"}), "T4")),
             (V{"mru0=T4", "mru1=T2", "mru2=T1", "mru3=T3"}));
    // An empty text takes the first free place's value and pushes the others down.
    QCOMPARE(stored(recent_text_entries(recent({"T1", "T2"}), "")), (V{"mru0=", "mru1=T1", "mru2=T2"}));
    // A gap shortens the list; the key that would keep a second copy of T3 is emptied.
    QCOMPARE(stored(recent_text_entries(recent({"", "T1", "T2", "T3"}), "T1")),
             (V{"mru0=T1", "mru1=T2", "mru2=T3", "mru3="}));

    // Through the settings file: 16 texts, a new one drops the oldest; an existing one moves up.
    TestHome home;
    SettingsFile file(home.settings_path());
    for (int i = 0; i < kRecentTextCount; ++i) write_recent_text(file, i, "t" + std::to_string(i));
    QVERIFY(update_recent_texts(file, "new").ok);
    auto texts = read_recent_texts(file);
    QCOMPARE(texts[0], std::string("new"));
    QCOMPARE(texts[1], std::string("t0"));
    QCOMPARE(texts[15], std::string("t14"));
    QVERIFY(update_recent_texts(file, "t9").ok);
    texts = read_recent_texts(file);
    QCOMPARE(texts[0], std::string("t9"));
    QCOMPARE(texts[1], std::string("new"));
    QCOMPARE(texts[10], std::string("t8"));
    QCOMPARE(texts[11], std::string("t10"));
    QCOMPARE(texts[15], std::string("t14"));
    // A text longer than 63 bytes reads back cut, so it is added again rather than moved.
    const std::string long_text(70, 'x');
    QVERIFY(update_recent_texts(file, long_text).ok);
    QVERIFY(update_recent_texts(file, long_text).ok);
    texts = read_recent_texts(file);
    QCOMPARE(texts[0], long_text.substr(0, 63));
    QCOMPARE(texts[1], long_text.substr(0, 63));
    QCOMPARE(texts[2], std::string("t9"));
}

void CanvasInputTest::part_names_never_split_a_character() {
    const std::string four_wide = "\x82\xA0\x82\xA2\x82\xA4\x82\xA6";  // "あいうえ"
    QVERIFY(!splits_double_byte(four_wide, 8));                        // byte 8 is the end
    QVERIFY(splits_double_byte("A" + four_wide, 8));
    QVERIFY(!splits_double_byte("AB" + four_wide, 8));
    QVERIFY(
        !splits_double_byte("ABCDEFG\xFC"
                            "A",
                            8));  // 0xFC is a character of its own
    QVERIFY(!splits_double_byte("AB", 8));
    QCOMPARE(quick_part_name(four_wide), four_wide);
    QCOMPARE(quick_part_name("A" + four_wide), "A" + four_wide);
    QCOMPARE(quick_part_name("AB" + four_wide), "AB" + four_wide.substr(0, 6));
    QCOMPARE(quick_part_name("ABC"), std::string("ABC"));
    QCOMPARE(quick_part_name("AB&#9825;&#x2005X"), std::string("AB&#9825;"));
    QCOMPARE(quick_part_name("ABC&#9825;"), std::string("ABC&#9825;"));
    QCOMPARE(snap_to_line(25, 18), 18);
    QCOMPARE(snap_to_line(-5, 18), 0);
    QCOMPARE(snap_to_line(-20, 18), -18);
    QCOMPARE(snap_to_line(-20, 0), -20);
}

void CanvasInputTest::right_button_opens_the_menu() {
    start();
    CanvasWindow& canvas = preview_canvas();
    canvas.show_temporary_rendering("\x81\x40X");
    bool menu_seen = false;
    QPoint menu_pos;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        menu_seen = true;
        menu_pos = menu->pos();
        menu->close();
    });
    test::press(&canvas, QPoint(50, 60), Qt::RightButton);
    QVERIFY(menu_seen);
    QCOMPARE(canvas.state().menu_point, (Point{50, 60}));
    QVERIFY(!canvas.state().temp_shown);  // the press ended the temporary display
    QCOMPARE(menu_pos, canvas.mapToGlobal(QPoint(66, 60)));
    test::release(&canvas, QPoint(50, 60), Qt::RightButton);

    // With Space held nothing opens and the point stays.
    space(canvas, true);
    test::press(&canvas, QPoint(80, 90), Qt::RightButton);
    QVERIFY(QApplication::activePopupWidget() == nullptr);
    QCOMPARE(canvas.state().menu_point, (Point{50, 60}));
    test::release(&canvas, QPoint(80, 90), Qt::RightButton);
    space(canvas, false);
}

void CanvasInputTest::keys_end_the_temporary_display_and_hold_space() {
    start();
    CanvasWindow& canvas = preview_canvas();
    canvas.show_temporary_rendering("\x81\x40X");
    QVERIFY(test::show_active(&canvas));
    test::key_to_focus(Qt::Key_A);
    QVERIFY(!canvas.state().temp_shown);
    QVERIFY(!canvas.state().space_held);

    canvas.show_temporary_rendering("\x81\x40X");
    test::key_to_focus(Qt::Key_B, {}, test::Key::release);
    QVERIFY(!canvas.state().temp_shown);

    space(canvas, true);
    QVERIFY(canvas.state().space_held);
    QVERIFY(!library_canvas().state().space_held);  // each canvas follows its own keys
    // Repeats of a held Space do not end the move mode.
    QTest::simulateEvent(test::focus_window(), false, Qt::Key_Space, {}, " ", true);
    QVERIFY(canvas.state().space_held);
    space(canvas, false);
    QVERIFY(!canvas.state().space_held);
}

void CanvasInputTest::placement_is_written_to_the_settings_file() {
    start();
    CanvasWindow& canvas = library_canvas();
    const ScreenMetrics m = ui_->metrics;
    const WindowMetrics wm{m.frame_width, m.caption_height};
    // Start-up wrote nothing for the windows it placed.
    QVERIFY(home_->read_file(home_->settings_path()).find("[window1]") == std::string::npos);

    canvas.move(200, 150);
    QTRY_COMPARE(read_window_placement(ctx_->file(), Side::library, wm).x, 200);
    QCOMPARE(read_window_placement(ctx_->file(), Side::library, wm).y, 150);
    canvas.resize(300, 250);
    QTRY_COMPARE(read_window_placement(ctx_->file(), Side::library, wm).wx, 300 + 2 * m.frame_width);
    QCOMPARE(read_window_placement(ctx_->file(), Side::library, wm).wy,
             250 + m.caption_height + 2 * m.frame_width);
    // The preview canvas's section is untouched.
    QVERIFY(home_->read_file(home_->settings_path()).find("[window0]") == std::string::npos);

    // A minimised window stores nothing.
    canvas.showMinimized();
    canvas.resize(100, 100);
    QCoreApplication::processEvents();
    QCOMPARE(read_window_placement(ctx_->file(), Side::library, wm).wx, 300 + 2 * m.frame_width);
    canvas.showNormal();

    // The stored placement is what the next start creates the window with.
    const WindowPlacement stored = read_window_placement(ctx_->file(), Side::library, wm);
    CanvasWindow again(*ctx_, Side::library);
    again.create_window(stored, m);
    QCOMPARE(again.pos(), QPoint(200, 150));
    QCOMPARE(again.size(), QSize(300, 250));
}

// Composes a picture the way a user does: three parts typed at double-clicked spots, one of them moved
// by Space+drag. With GLYPHORA_LOOK_PNG set (under a real display) the screen is saved there afterwards.
void CanvasInputTest::compose_a_small_picture() {
    start(Widths::font);
    CanvasWindow& canvas = preview_canvas();
    const int line = ctx_->widths->line_height;
    auto type_at = [&](QPoint at, const char* utf8) {
        ModalWatch watch(type_into_box(QString::fromUtf8(utf8), Qt::Key_Return));
        test::double_click(&canvas, at);
        QVERIFY(watch.seen());
    };
    type_at(QPoint(40, 2 * line + 3), "　∧＿∧");
    type_at(QPoint(30, 3 * line + 3), "（　´∀｀）＜ こんにちは");
    type_at(QPoint(200, 8 * line + 3), "(ﾟーﾟ*)");
    QCOMPARE(find_register_slot(preview()), 3);
    paint(canvas);

    // Space+drag the last part up beside the others: 58 pixels up and 20 to the left.
    const Box box = preview().slots[2].box;
    const QPoint grab(box.left + 5, box.top + 5);
    space(canvas, true);
    drag(canvas, grab, grab + QPoint(-20, -3 * line - 4));
    space(canvas, false);
    QCOMPARE(preview().slots[2].x, 180);
    QCOMPARE(preview().slots[2].y, 4 * line);  // 144 - 58 = 86, down to the line at 72
    QCOMPARE(selected(preview()), std::vector<int>{2});
    QCOMPARE(app_->main_dialog()->preview_list()->count() > 2, true);

    const QByteArray png = qgetenv("GLYPHORA_LOOK_PNG");
    if (png.isEmpty()) return;
    canvas.raise();
    canvas.repaint();
    QTest::qWait(300);
    QVERIFY(canvas.screen()->grabWindow(0).save(QString::fromLocal8Bit(png)));
}

QTEST_MAIN(CanvasInputTest)
#include "canvas_input_test.moc"
