// The part detail dialog (fields, checks, sample, palettes, open flag) and the main dialog's register and
// detail commands that run it.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "canvas/palettes_widget.h"
#include "canvas/property_dialog.h"
#include "model/test_support.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"
#include "render/measure_part.h"
#include "settings/settings.h"
#include "system/font_metrics.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

const std::string kHorizontal = "\x84\x9F";  // "─"
const std::string kVertical = "\x84\xA0";    // "│"

QString u8(const char* s) {
    return QString::fromUtf8(s);
}
QString u8(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

class PropertyDialogTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void init();
    void cleanup();

    void integer_fields_take_only_32_bit_integers();
    void ok_stores_every_field_with_its_snapshot_and_refreshes();
    void cancel_stores_nothing();
    void typing_at_once_goes_into_the_name();
    void refusals_keep_the_dialog_open_with_the_field_focused();
    void empty_text_is_refused_after_ok_but_a_label_needs_none();
    void texts_are_cut_at_their_capacity_on_whole_characters();
    void untouched_fields_keep_their_bytes();
    void references_show_as_their_characters_and_keep_their_bytes();
    void sample_is_kept_between_openings_but_not_on_cancel();
    void only_one_detail_dialog_at_a_time();
    void register_finds_its_slot_or_reports_a_full_page();
    void register_with_shift_starts_from_the_clipboard_text();
    void register_never_overwrites_a_part_added_meanwhile();
    void detail_commands_and_the_double_click();
    void palettes_come_from_the_character_set_file();
    void picking_characters_inserts_them_at_the_caret();
    void palettes_show_references_as_their_characters();
    void charmap_button_and_dialog_font();

  private:
    void click(int id, Qt::KeyboardModifiers modifiers = {}) {
        auto* button = qobject_cast<QPushButton*>(dialog_->control(id));
        QVERIFY(button && button->isEnabled());
        test::click(button, {}, modifiers);
    }
    // Runs script on the detail dialog as soon as it is open. A script must close the dialog; one left
    // open is cancelled and the test fails in cleanup.
    void on_dialog(std::function<void(CPropertyDialog&)> script) {
        ++scripts_pending_;
        QTimer::singleShot(0, this, [this, script = std::move(script)] {
            --scripts_pending_;
            auto* dialog = qobject_cast<CPropertyDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                dialog_missing_ = true;
                return;
            }
            script(*dialog);
            if (dialog->isVisible()) {
                dialog_left_open_ = true;
                dialog->reject();
            }
        });
    }
    // Fills the name and the text and confirms.
    static void confirm(CPropertyDialog& d, const char* name, const char* text) {
        d.name_edit()->setText(u8(name));
        d.text_edit()->setPlainText(u8(text));
        test::click(d.ok_button());
    }
    std::string stored_sample() { return read_mojisample(ctx_->file()); }

    int scripts_pending_ = 0;
    bool dialog_missing_ = false;
    bool dialog_left_open_ = false;
};

void PropertyDialogTest::init() {
    GuiTest::init();
    scripts_pending_ = 0;
    dialog_missing_ = dialog_left_open_ = false;
}

void PropertyDialogTest::cleanup() {
    QCOMPARE(scripts_pending_, 0);
    QVERIFY(!dialog_missing_);
    QVERIFY(!dialog_left_open_);
    QVERIFY(!property_dialog_open());
    GuiTest::cleanup();
}

void PropertyDialogTest::integer_fields_take_only_32_bit_integers() {
    QCOMPARE(parse_integer_field("25"), std::optional<int32_t>(25));
    QCOMPARE(parse_integer_field(" -7\t"), std::optional<int32_t>(-7));
    QCOMPARE(parse_integer_field("+0"), std::optional<int32_t>(0));
    QCOMPARE(parse_integer_field("2147483647"), std::optional<int32_t>(2147483647));
    QCOMPARE(parse_integer_field("-2147483648"), std::optional<int32_t>(-2147483647 - 1));
    for (const char* bad :
         {"", " ", "-", "1a", "a1", "1 2", "2147483648", "-2147483649", "99999999999999999999", "0x10", "1.5",
          "\xEF\xBC\x91"})  // the last one is a full-width "1"
        QVERIFY2(!parse_integer_field(bad), bad);
}

void PropertyDialogTest::ok_stores_every_field_with_its_snapshot_and_refreshes() {
    start();
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 0, "O", "other");
    Part& part = put_part(page, 1, 0, 0, "OLD", "old");
    part.x = 10;
    part.flip_v = true;
    part.box = {1, 2, 3, 4};
    part.selected = true;
    dialog_->refresh_lists(Side::preview);
    app_->preview_canvas()->show_temporary_rendering("T");

    QString title, x_shown;
    bool window_modal = false, flip_v_shown = false, opaque_shown = false;
    on_dialog([&](CPropertyDialog& d) {
        QVERIFY(property_dialog_open());
        title = d.windowTitle();
        window_modal = d.windowModality() == Qt::WindowModal;
        x_shown = d.x_edit()->text();
        flip_v_shown = d.flag_box(PartFlag::flip_v)->isChecked();
        opaque_shown = d.flag_box(PartFlag::always_opaque)->isChecked();
        d.comment_edit()->setPlainText(u8("c1\nc2"));
        d.x_edit()->setText(u8("-5"));
        d.y_edit()->setText(u8("25"));
        d.border_left_edit()->setText(u8(" -3"));
        d.border_right_edit()->setText(u8("+7"));
        d.flag_box(PartFlag::icon)->setChecked(true);
        d.flag_box(PartFlag::always_opaque)->setChecked(false);
        d.flag_box(PartFlag::no_space_click_select)->setChecked(true);
        d.flag_box(PartFlag::flip_h)->setChecked(true);
        d.flag_box(PartFlag::flip_v)->setChecked(false);
        d.flag_box(PartFlag::no_mirror_table)->setChecked(true);
        confirm(d, "hand", "AB\nCD");
    });
    click(control_id::kPreviewDetail);

    QCOMPARE(title, u8("登録情報"));
    QVERIFY(window_modal);
    QCOMPARE(x_shown, u8("10"));
    QVERIFY(flip_v_shown);
    QVERIFY(opaque_shown);  // a cleared part is always opaque
    QCOMPARE(get_string(part.name), "hand");
    QCOMPARE(get_string(part.text), "AB\r\nCD");  // line breaks as the renderer and the files expect
    QCOMPARE(get_string(part.comment), "c1\r\nc2");
    QCOMPARE(part.x, -5);
    QCOMPARE(part.y, 25);  // as entered: the canvas snaps it when it is next moved
    QCOMPARE(part.border_left, -3);
    QCOMPARE(part.border_right, 7);
    QVERIFY(part.icon && !part.always_opaque && part.no_space_click_select && part.flip_h && !part.flip_v &&
            part.no_mirror_table && !part.is_label);
    QVERIFY(part.in_use && part.selected);
    QCOMPARE(part.box, measure_part(part, *ctx_->widths));  // measured again by the canvas, for the new text
    QCOMPARE(get_string(page.slots[0].name), "other");
    // The snapshot holds the slot as it was, and undo brings it back.
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::preview_slot);
    QCOMPARE(ctx_->docs->undo.slot, 1);
    QCOMPARE(get_string(ctx_->docs->undo.slots[1].name), "old");
    // The list shows the new values and the preview canvas ended its temporary rendering.
    QVERIFY(dialog_->preview_list()->item(1)->text().startsWith(u8("  ( -5, 25)hand[")));
    QVERIFY(!app_->preview_canvas()->state().temp_shown);
    QCOMPARE(ui_->messages(), std::vector<std::string>{});
}

void PropertyDialogTest::cancel_stores_nothing() {
    start();
    Part& part = put_part(ctx_->library_page(), 2, 0, 0, "K", "keep");
    part.selected = true;
    const std::string sample_before = stored_sample();
    on_dialog([&](CPropertyDialog& d) {
        d.name_edit()->setText(u8("changed"));
        d.sample_edit()->setPlainText(u8("new sample"));
        test::click(d.cancel_button());
    });
    click(control_id::kLibraryDetail);
    QCOMPARE(get_string(part.name), "keep");
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);
    QCOMPARE(stored_sample(), sample_before);
    QVERIFY(!property_dialog_open());
}

void PropertyDialogTest::typing_at_once_goes_into_the_name() {
    start();
    on_dialog([](CPropertyDialog& d) {
        QWindow* window = d.windowHandle();
        for (char c : std::string("Mona")) QTest::keyClick(window, c);
        d.text_edit()->setPlainText(u8("(*-*)"));
        QTest::keyClick(window, Qt::Key_Return);  // in the name field, Return is OK
    });
    click(control_id::kPreviewRegister);
    const Part& part = ctx_->preview_page().slots[0];
    QVERIFY(part.in_use);
    QCOMPARE(get_string(part.name), "Mona");
    QCOMPARE(get_string(part.text), "(*-*)");
}

void PropertyDialogTest::refusals_keep_the_dialog_open_with_the_field_focused() {
    start();
    Part& part = put_part(ctx_->preview_page(), 0, 0, 0, "P", "p");
    part.selected = true;
    std::vector<bool> open_after;
    std::vector<std::string> focused;
    on_dialog([&](CPropertyDialog& d) {
        auto attempt = [&] {
            test::click(d.ok_button());
            open_after.push_back(d.isVisible());
            const QWidget* f = d.focusWidget();
            focused.push_back(f == d.y_edit()      ? "y"
                              : f == d.name_edit() ? "name"
                              : f == d.text_edit() ? "text"
                                                   : "?");
        };
        for (const char* bad : {"12a", "", "99999999999"}) {
            d.y_edit()->setText(u8(bad));
            attempt();
        }
        d.y_edit()->setText(u8(" 7 "));
        // A character code page 932 cannot hold is named, not replaced.
        d.name_edit()->setText(u8("€uro"));
        attempt();
        d.name_edit()->setText(u8("p"));
        d.text_edit()->setPlainText(u8("A\n\uFFFD"));
        attempt();
        // The web's spaces are taken as their markup.
        d.text_edit()->setPlainText(u8("P\u00A0Q\u2009"));
        // The empty name is refused after the sample has been saved.
        d.sample_edit()->setPlainText(u8("s1\ns2"));
        d.name_edit()->setText(QString());
        attempt();
        d.name_edit()->setText(u8("named"));
        attempt();
    });
    click(control_id::kPreviewDetail);

    QCOMPARE(open_after, (std::vector<bool>{true, true, true, true, true, true, false}));
    const std::vector<std::string> messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t(6));
    for (int i = 0; i < 3; ++i) QCOMPARE(messages[i], std::string("整数を入力してください。"));
    QVERIFY(messages[3].find("'€' (U+20AC) at character 1") != std::string::npos);
    QVERIFY(messages[3].find("名前") != std::string::npos);
    QVERIFY(messages[4].find("(U+FFFD) at character 3") != std::string::npos);
    QVERIFY(messages[4].find("パーツテキスト") != std::string::npos);
    QCOMPARE(messages[5], std::string("名前が空っぽです"));
    focused.pop_back();  // the dialog closed
    QCOMPARE(focused, (std::vector<std::string>{"y", "y", "y", "name", "text", "name"}));
    QCOMPARE(get_string(part.name), "named");
    QCOMPARE(QString::fromStdString(std::string(get_string(part.text))), QStringLiteral("P&nbsp;Q&thinsp;"));
    QCOMPARE(part.y, 7);
    QCOMPARE(stored_sample(), "s1\\ns2");
}

void PropertyDialogTest::empty_text_is_refused_after_ok_but_a_label_needs_none() {
    start();
    Page& page = ctx_->preview_page();
    Part& part = put_part(page, 0, 0, 0, "BODY", "body");
    part.selected = true;
    on_dialog([&](CPropertyDialog& d) { confirm(d, "body", ""); });
    click(control_id::kPreviewDetail);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"本体が空っぽでは登録できません"});
    QCOMPARE(get_string(part.text), "BODY");
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);

    // Registered, the refused entry leaves the free slot empty.
    on_dialog([&](CPropertyDialog& d) { confirm(d, "nothing", ""); });
    click(control_id::kPreviewRegister);
    QVERIFY(!page.slots[1].in_use);

    on_dialog([&](CPropertyDialog& d) {
        d.flag_box(PartFlag::is_label)->setChecked(true);
        confirm(d, "title", "");
    });
    click(control_id::kPreviewRegister);
    QVERIFY(page.slots[1].in_use && page.slots[1].is_label && page.slots[1].selected);
    QCOMPARE(dialog_->preview_list()->item(1)->text(), u8("*title"));
}

void PropertyDialogTest::texts_are_cut_at_their_capacity_on_whole_characters() {
    start();
    Page& page = ctx_->preview_page();
    std::string wide_name;
    for (int i = 0; i < 20; ++i) wide_name += "\xE3\x81\x82";  // "あ", two bytes in Shift_JIS
    on_dialog([&](CPropertyDialog& d) {
        d.comment_edit()->setPlainText(QString(60, QLatin1Char('c')));
        confirm(d, "0123456789012345678901234567890123456789", std::string(20000, 't').c_str());
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(get_string(page.slots[0].name), "01234567890123456789012345678");  // 40 bytes stored as 29
    QCOMPARE(get_string(page.slots[0].comment).size(), std::size_t(49));
    QCOMPARE(get_string(page.slots[0].text).size(), std::size_t(16383));

    on_dialog([&](CPropertyDialog& d) { confirm(d, wide_name.c_str(), "x"); });
    click(control_id::kPreviewRegister);
    // 29 bytes would end in half a character: 14 whole ones are kept.
    QCOMPARE(get_string(page.slots[1].name).size(), std::size_t(28));
    QCOMPARE(dialog_->preview_list()->item(1)->text(), u8("  (  0,  0)") + u8(wide_name).left(14));
}

void PropertyDialogTest::untouched_fields_keep_their_bytes() {
    start();
    // 0x85 0x40 is no character of code page 932; 0xED 0x40 converts back to another code; the lone LF is
    // no line break for the renderer.
    const std::string text =
        "A\x85\x40"
        "B\nC\xED\x40";
    Part& part = put_part(ctx_->preview_page(), 0, 0, 0, text.c_str(), "n\xED\x40");
    set_comment(part, "c\xED\x40");
    part.selected = true;
    on_dialog([&](CPropertyDialog& d) {
        d.y_edit()->setText(u8("36"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewDetail);
    QCOMPARE(part.y, 36);
    QCOMPARE(get_string(part.text), text);
    QCOMPARE(get_string(part.name), "n\xED\x40");
    QCOMPARE(get_string(part.comment), "c\xED\x40");
    QCOMPARE(ui_->messages(), std::vector<std::string>{});
}

// The text field shows references as their characters. What the user did not edit is stored back byte for
// byte, the references' own forms included; typed characters code page 932 lacks become references.
void PropertyDialogTest::references_show_as_their_characters_and_keep_their_bytes() {
    start();
    const std::string text = "A&#x2005Z&#X2661;&#65;\r\n&#9825;B";
    Part& part = put_part(ctx_->preview_page(), 0, 0, 0, text.c_str(), "refs");
    part.selected = true;
    QString shown;
    QStringList families;
    on_dialog([&](CPropertyDialog& d) {
        shown = d.text_edit()->toPlainText();
        families = d.font().families();
        d.y_edit()->setText(u8("18"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewDetail);
    QCOMPARE(shown, u8("A\u2005Z\u2661A\n\u2661B"));
    // The heart, which Monapo lacks, is shown in the font the canvases draw it with.
    if (const std::string file = fallback_font_file(resolve_font("Monapo"), 0x2661); !file.empty())
        QVERIFY(families.contains(QRawFont(QString::fromStdString(file), 16).familyName()));
    QCOMPARE(part.y, 18);
    QCOMPARE(get_string(part.text), text);

    // Typed at the end and after the first character, with the keys: the rest keeps its bytes.
    on_dialog([&](CPropertyDialog& d) {
        test::click(d.text_edit());
        test::key_to_focus(Qt::Key_End, Qt::ControlModifier);
        test::type_to_focus(u8("\u2661\u2005"));
        test::key_to_focus(Qt::Key_Home, Qt::ControlModifier);
        test::key_to_focus(Qt::Key_Right);
        test::type_to_focus(u8("\u2588"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewDetail);
    QCOMPARE(get_string(part.text), "A&#9608;&#x2005Z&#X2661;&#65;\r\n&#9825;B&#9825;&#8197;");

    QCOMPARE(ui_->messages(), std::vector<std::string>{});
}

void PropertyDialogTest::sample_is_kept_between_openings_but_not_on_cancel() {
    start();
    QString default_sample, reopened;
    on_dialog([&](CPropertyDialog& d) {
        default_sample = d.sample_edit()->toPlainText();
        d.sample_edit()->setPlainText(u8("ab\n─"));
        confirm(d, "s", "S");
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(default_sample, u8("＼＼＼／⌒⊃⊃⊇⊂⊆￣ヽ丶〈゛∩∪〉ﾟ∧∧∨￢二〃彡巛彡彳Ц￥⊆∈⊂‐"));
    QCOMPARE(stored_sample(), "ab\\n" + kHorizontal);
    QCOMPARE(ctx_->settings.mojisample, "ab\\n" + kHorizontal);

    on_dialog([&](CPropertyDialog& d) {
        reopened = d.sample_edit()->toPlainText();
        d.sample_edit()->setPlainText(u8("discarded"));
        d.reject();
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(reopened, u8("ab\n─"));
    QCOMPARE(stored_sample(), "ab\\n" + kHorizontal);

    // 350 double-byte characters: 599 bytes would split one, so 299 are kept.
    on_dialog([&](CPropertyDialog& d) {
        d.sample_edit()->setPlainText(QString(350, QChar(0x2500)));
        confirm(d, "s", "S");
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(stored_sample().size(), std::size_t(598));
}

void PropertyDialogTest::only_one_detail_dialog_at_a_time() {
    start();
    Page& page = ctx_->preview_page();
    Part& part = put_part(page, 0, 0, 0, "P", "p");
    bool second = true;
    on_dialog([&](CPropertyDialog& d) {
        // As a canvas double click would while this one is open.
        second = run_property_dialog(*ctx_, {.parent = app_->preview_canvas(),
                                             .part = &page.slots[0],
                                             .title = kPreviewPartTitle,
                                             .undo_kind = UndoKind::preview_slot,
                                             .changed = Side::preview});
        d.reject();
    });
    PropertyDialogRequest request;
    request.parent = dialog_;
    request.part = &part;
    request.title = "t";
    QVERIFY(!run_property_dialog(*ctx_, request));
    QVERIFY(!second);
    // The flag was cleared on the way out: the next one opens.
    on_dialog([&](CPropertyDialog& d) { confirm(d, "q", "Q"); });
    QVERIFY(run_property_dialog(*ctx_, request));
    QCOMPARE(get_string(part.name), "q");
}

void PropertyDialogTest::register_finds_its_slot_or_reports_a_full_page() {
    start();
    Page& page = ctx_->preview_page();
    for (int i = 0; i < 49; ++i) put_part(page, i, 0, 0, "P", "p");
    page.slots[3].selected = true;
    QString title;
    on_dialog([&](CPropertyDialog& d) {
        title = d.windowTitle();
        QCOMPARE(d.text_edit()->toPlainText(), QString());  // no Shift: the text starts empty
        confirm(d, "new", "N");
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(title, u8("プレビューに登録"));
    QVERIFY(page.slots[49].in_use && page.slots[49].selected);
    QCOMPARE(get_string(page.slots[49].name), "new");
    QVERIFY(page.slots[3].selected);  // other parts keep their selection
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::preview_page);
    restore_snapshot(ctx_->docs->undo, page, ctx_->library_page());
    QVERIFY(!page.slots[49].in_use);

    // A full page: the message, no dialog, no snapshot.
    put_part(page, 49, 0, 0, "L", "last");
    take_snapshot(ctx_->docs->undo, UndoKind::none, page, ctx_->library_page(), 0);
    ui_->clear_events();
    click(control_id::kPreviewRegister);
    QCOMPARE(ui_->messages(), std::vector<std::string>{"登録エラー"});
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);

    // Only the last slot used: the first one is free. On the library side the title says so.
    Page& library = ctx_->library_page();
    put_part(library, 49, 0, 0, "L", "last");
    on_dialog([&](CPropertyDialog& d) {
        title = d.windowTitle();
        confirm(d, "lib", "B");
    });
    click(control_id::kLibraryRegister);
    QCOMPARE(title, u8("ライブラリに登録"));
    QCOMPARE(get_string(library.slots[0].name), "lib");
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::library_page);
    QCOMPARE(dialog_->library_list()->item(0)->text(), u8("  (  0,  0)lib"));
}

void PropertyDialogTest::register_with_shift_starts_from_the_clipboard_text() {
    start();
    Page& page = ctx_->preview_page();
    ui_->clipboard = "L1\nL2" + kHorizontal;
    QString shown;
    on_dialog([&](CPropertyDialog& d) {
        shown = d.text_edit()->toPlainText();
        d.name_edit()->setText(u8("clip"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewRegister, Qt::ShiftModifier);
    QCOMPARE(shown, u8("L1\nL2─"));
    QCOMPARE(get_string(page.slots[0].text), "L1\r\nL2" + kHorizontal);

    // A longer clipboard text is cut to the text's capacity, never inside a character.
    ui_->clipboard = "a" + [] {
        std::string s;
        for (int i = 0; i < 9000; ++i) s += kVertical;
        return s;
    }();
    on_dialog([&](CPropertyDialog& d) {
        d.name_edit()->setText(u8("long"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewRegister, Qt::ShiftModifier);
    QCOMPARE(get_string(page.slots[1].text).size(), std::size_t(16383));

    // Nor inside a reference: 16380 bytes and a 7-byte reference keep the 16380.
    ui_->clipboard = std::string(16380, 'r') + "&#9825;";
    on_dialog([&](CPropertyDialog& d) {
        d.name_edit()->setText(u8("refs"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewRegister, Qt::ShiftModifier);
    QCOMPARE(get_string(page.slots[2].text), std::string(16380, 'r'));
}

void PropertyDialogTest::register_never_overwrites_a_part_added_meanwhile() {
    start();
    Page& page = ctx_->preview_page();
    on_dialog([&](CPropertyDialog& d) {
        // The canvases stay usable: a part appears in the slot the register command chose.
        put_part(page, 0, 0, 0, "Q", "quick");
        confirm(d, "registered", "R");
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(get_string(page.slots[0].name), "quick");
    QCOMPARE(get_string(page.slots[1].name), "registered");
}

void PropertyDialogTest::detail_commands_and_the_double_click() {
    start();
    Page& page = ctx_->preview_page();
    put_part(page, 0, 0, 0, "A", "a");
    put_part(page, 1, 0, 0, "B", "b");
    dialog_->refresh_lists(Side::preview);
    QListWidget* list = dialog_->preview_list();

    // Nothing selected: the button opens nothing.
    click(control_id::kPreviewDetail);
    QCOMPARE(ui_->messages(), std::vector<std::string>{});

    QString title;
    const QRect row = list->visualItemRect(list->item(1));
    test::click(list->viewport(), row.center());
    on_dialog([&](CPropertyDialog& d) {
        title = d.windowTitle();
        confirm(d, "b2", "B");
    });
    test::double_click(list->viewport(), row.center());
    QCOMPARE(title, u8("登録情報"));
    QCOMPARE(get_string(page.slots[1].name), "b2");
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::preview_page);  // the whole page for a double click
    QCOMPARE(ctx_->docs->undo.slot, 1);
    QCOMPARE(list->item(1)->text(), u8("  (  0,  0)b2"));

    Page& library = ctx_->library_page();
    put_part(library, 4, 0, 0, "L", "l").selected = true;
    on_dialog([&](CPropertyDialog& d) {
        title = d.windowTitle();
        confirm(d, "l2", "L");
    });
    click(control_id::kLibraryDetail);
    QCOMPARE(title, u8("ライブラリの登録情報"));
    QCOMPARE(ctx_->docs->undo.kind, UndoKind::library_slot);
    QCOMPARE(ctx_->docs->undo.slot, 4);
    QCOMPARE(dialog_->library_list()->item(4)->text(), u8("  (  0,  0)l2"));
}

void PropertyDialogTest::palettes_come_from_the_character_set_file() {
    const std::string charset = home_->file("asciiset.txt");
    TestHome::write_file(charset,
                         "outside\r\n"
                         "[IndexName=lines]\r\n" +
                             kHorizontal + "\r\n" + kVertical + "\r\n" + "=\r\n" +
                             "[END]\r\n"
                             "ignored\r\n"
                             "[IndexName=kana]\r\n"
                             "\xD0\xCD\r\n"
                             "[END]\r\n");
    start("asciiset_filename=" + charset + "\n");
    QStringList tabs;
    QStringList first_list, last_list, kana_list;
    int tab_after_negative = -1;
    on_dialog([&](CPropertyDialog& d) {
        PalettesWidget* p = d.palettes();
        for (int i = 0; i < p->tabs()->count(); ++i) tabs << p->tabs()->tabText(i);
        for (int i = 0; i < p->list()->count(); ++i) first_list << p->list()->item(i)->text();
        p->tabs()->setCurrentIndex(7);  // as a click on the last tab
        for (int i = 0; i < p->list()->count(); ++i) last_list << p->list()->item(i)->text();
        p->tab_changed(1);
        for (int i = 0; i < p->list()->count(); ++i) kana_list << p->list()->item(i)->text();
        p->tab_changed(-3);
        tab_after_negative = p->current_tab();
        d.reject();
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(tabs, (QStringList{u8("lines"), u8("kana"), u8("その３"), u8("その４"), u8("その５"),
                                u8("その６"), u8("その７"), u8("お気に入り")}));
    QCOMPARE(first_list, (QStringList{u8("─"), u8("│"), u8("=")}));  // three lines, one palette
    QVERIFY(last_list.isEmpty());
    QCOMPARE(kana_list, (QStringList{u8("ﾐ"), u8("ﾍ")}));
    QCOMPARE(tab_after_negative, 0);

    // Edits to the file show at the next opening.
    TestHome::write_file(charset, "[IndexName=fresh]\nx\n[END]\n");
    on_dialog([&](CPropertyDialog& d) {
        tabs.clear();
        tabs << d.palettes()->tabs()->tabText(0) << d.palettes()->tabs()->tabText(1);
        d.reject();
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(tabs, (QStringList{u8("fresh"), u8("その２")}));
}

void PropertyDialogTest::picking_characters_inserts_them_at_the_caret() {
    start();
    Page& page = ctx_->preview_page();
    std::vector<std::string> clipboard_after;
    on_dialog([&](CPropertyDialog& d) {
        PalettesWidget* p = d.palettes();
        QCOMPARE(p->current_tab(), 0);
        QCOMPARE(p->list()->item(0)->text(), u8("─"));
        d.text_edit()->setPlainText(u8("ab"));
        QTextCursor caret = d.text_edit()->textCursor();
        caret.setPosition(1);
        d.text_edit()->setTextCursor(caret);
        // "ﾐ" from the third palette goes in at the caret.
        p->tab_changed(2);
        int mi = -1;
        for (int i = 0; i < p->list()->count(); ++i)
            if (p->list()->item(i)->text() == u8("ﾐ")) mi = i;
        QVERIFY(mi >= 0);
        p->list()->setCurrentRow(mi);
        clipboard_after.push_back(ui_->clipboard.value_or(""));
        // A click on the selected character picks it once more.
        const QRect row = p->list()->visualItemRect(p->list()->item(mi));
        test::click(p->list()->viewport(), row.center());
        clipboard_after.push_back(ui_->clipboard.value_or(""));
        // "─" replaces the selected "b".
        caret = d.text_edit()->textCursor();
        caret.movePosition(QTextCursor::End);
        caret.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
        d.text_edit()->setTextCursor(caret);
        p->tab_changed(0);
        test::click(p->list()->viewport(), p->list()->visualItemRect(p->list()->item(0)).center());
        clipboard_after.push_back(ui_->clipboard.value_or(""));
        QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.text_edit()));
        d.name_edit()->setText(u8("picked"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewRegister);
    QCOMPARE(clipboard_after, (std::vector<std::string>{"\xD0", "\xD0", kHorizontal}));
    // One byte for the half-width katakana, two for the line character.
    QCOMPARE(get_string(page.slots[0].text), "a\xD0\xD0" + kHorizontal);
}

// A character set file may hold references: the list shows the character, a pick puts the reference on
// the clipboard and the character into the text, which stores it as a reference again.
void PropertyDialogTest::palettes_show_references_as_their_characters() {
    const std::string charset = home_->file("asciiset.txt");
    TestHome::write_file(charset, "[IndexName=refs]\r\n&#x2661;&#8197;&#1;&amp;A\r\n[END]\r\n");
    start("asciiset_filename=" + charset + "\n");
    Page& page = ctx_->preview_page();
    QStringList shown;
    std::string clipboard;
    on_dialog([&](CPropertyDialog& d) {
        PalettesWidget* p = d.palettes();
        for (int i = 0; i < p->list()->count(); ++i) shown << p->list()->item(i)->text();
        test::click(p->list()->viewport(), p->list()->visualItemRect(p->list()->item(0)).center());
        clipboard = ui_->clipboard.value_or("");
        d.name_edit()->setText(u8("heart"));
        test::click(d.ok_button());
    });
    click(control_id::kPreviewRegister);
    // A control is shown as written; "&amp;" is no numeric reference.
    QCOMPARE(shown, (QStringList{u8("\u2661"), u8("\u2005"), u8("&#1;"), u8("&"), u8("a"), u8("m"), u8("p"),
                                 u8(";"), u8("A")}));
    QCOMPARE(clipboard, std::string("&#x2661;"));
    QCOMPARE(get_string(page.slots[0].text), "&#9825;");
}

void PropertyDialogTest::charmap_button_and_dialog_font() {
    start("[font]\nfontpoint=165\n");
    bool enabled = true;
    int points = 0;
    on_dialog([&](CPropertyDialog& d) {
        enabled = d.charmap_button()->isEnabled();
        points = d.font().pointSize();
        d.reject();
    });
    click(control_id::kPreviewRegister);
    QVERIFY(!enabled);  // no character map installed
    QCOMPARE(points, 16);

    ui_->installed_programs = {"kcharselect"};
    ui_->clear_events();
    on_dialog([&](CPropertyDialog& d) {
        enabled = d.charmap_button()->isEnabled();
        test::click(d.charmap_button());
        d.reject();
    });
    click(control_id::kPreviewRegister);
    QVERIFY(enabled);
    const std::vector<std::string> trace = ui_->trace();
    QCOMPARE(std::count(trace.begin(), trace.end(), "start:kcharselect"), 1);
}

QTEST_MAIN(PropertyDialogTest)
#include "property_dialog_test.moc"
