// The options sheet: what it shows, what OK stores in memory and in the settings file (and in which
// order), per-page rendering settings, the rendering-only sheet, refused entries, and the open flag.

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "model/test_support.h"
#include "options/options_sheet.h"
#include "platform/scripted_ui_services.h"
#include "qtest_support/test_support.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

const std::string kFace = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";  // "ＭＳ 明朝"
const std::string kKita = "\xB7\xC0\x84\xAA";                      // "ｷﾀ━"

OptionsSheet* shown_sheet() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* sheet = qobject_cast<OptionsSheet*>(w); sheet && sheet->isVisible()) return sheet;
    return nullptr;
}

QByteArray value_of(const std::string& ini, const char* section, const char* key) {
    const IniDocument doc = IniDocument::parse(ini);
    const auto v = doc.find(section, key);
    return v ? QByteArray(v->data(), static_cast<qsizetype>(v->size())) : QByteArray("<none>");
}

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

}  // namespace

class OptionsTest : public test::GuiTest {
    Q_OBJECT

  public:
    OptionsTest() { ini_line_end_ = "\r\n"; }

  private Q_SLOTS:
    void full_sheet_shows_its_pages_and_stores_unchanged_values_again();
    void sizes_are_stored_in_tenths_truncated_in_single_precision_data();
    void sizes_are_stored_in_tenths_truncated_in_single_precision();
    void refused_entries_keep_the_sheet_open_and_store_nothing_data();
    void refused_entries_keep_the_sheet_open_and_store_nothing();
    void per_page_settings_go_into_the_current_page_only();
    void toggling_the_per_page_box_drops_edits();
    void the_exact_fill_box_edits_the_global_flag_whichever_record_is_shown();
    void the_unicode_fill_box_works_under_the_exact_fill_box_and_keeps_its_state();
    void rendering_only_sheet_leaves_the_other_settings_untouched();
    void while_open_a_second_request_and_the_close_request_do_nothing();
    void keys_are_written_in_order();
    void browse_buttons_propose_the_row_path_or_its_default_name();
    void text_fields_keep_the_stored_bytes_they_cannot_show();
    void a_failed_settings_write_is_reported();
    void a_sheet_blocks_only_the_window_it_was_opened_from();

  private:
    // Opens the sheet as the program does and runs act once it is shown; a sheet act leaves open is
    // cancelled afterwards, and left_open tells whether it was.
    OptionsSheetResult with_sheet(OptionsSheetKind kind, const std::function<void(OptionsSheet&)>& act,
                                  bool* left_open = nullptr);
    std::string ini() const { return TestHome::read_file(home_->settings_path()); }
};

OptionsSheetResult OptionsTest::with_sheet(OptionsSheetKind kind,
                                           const std::function<void(OptionsSheet&)>& act, bool* left_open) {
    bool acted = false;
    QTimer::singleShot(0, [&] {
        OptionsSheet* sheet = shown_sheet();
        QVERIFY(sheet);
        acted = true;
        act(*sheet);
        if (left_open) *left_open = sheet->isVisible();
        if (sheet->isVisible()) sheet->reject();
    });
    QWidget* parent =
        kind == OptionsSheetKind::full ? static_cast<QWidget*>(app_->main_dialog()) : app_->preview_canvas();
    const OptionsSheetResult result = run_options_sheet(*ctx_, kind, parent);
    if (!acted) qWarning("the sheet was not shown");
    return result;
}

void OptionsTest::full_sheet_shows_its_pages_and_stores_unchanged_values_again() {
    start("[option]\r\ntotalfontsize=90\r\n[font]\r\nfontpoint=120\r\nfontface=" + kFace +
          "\r\n[menu]\r\nmenuchr3=" + kKita + "\r\n[file]\r\nhanten_filename=/aa/hanten.txt\r\n");
    const auto result = with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        QCOMPARE(sheet.windowTitle(), QString::fromUtf8("Glyphoraのオプション"));
        QTabWidget* tabs = sheet.tabs();
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->currentIndex(), 0);
        const char* captions[] = {"起動関連", "ディレクトリ", "レンダリング", "その他のオプション"};
        const char* classes[] = {"COptionDialogKd", "COptionDialogDir", "COptionDialogRender",
                                 "COptionDialogEtc"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tabs->tabText(i), QString::fromUtf8(captions[i]));
            QCOMPARE(tabs->widget(i)->objectName(), QString::fromLatin1(classes[i]));
        }
        const QList<QAbstractButton*> buttons = sheet.findChild<QDialogButtonBox*>()->buttons();
        QCOMPARE(buttons.size(), 2);  // no Apply, no Help
        QVERIFY(sheet.ok_button()->isDefault());

        OptionDialogKd* kd = sheet.kd_page();
        QCOMPARE(kd->totalfontsize_field()->text(), QStringLiteral("9"));
        QCOMPARE(kd->fontpoint_field()->text(), QStringLiteral("12"));
        QCOMPARE(kd->fontface_field()->text(), QString::fromUtf8("ＭＳ 明朝"));
        QVERIFY(kd->library_field()->isReadOnly());
        QCOMPARE(kd->library_field()->text().toStdString(), home_->file("lib.aal"));
        QCOMPARE(sheet.dir_page()->path_field(0)->text(), QStringLiteral("-"));
        QCOMPARE(sheet.dir_page()->path_field(1)->text(), QStringLiteral("/aa/hanten.txt"));
        QCOMPARE(sheet.etc_page()->menu_field(3)->text(), QString::fromUtf8("ｷﾀ━"));
        QCOMPARE(sheet.render_page()->flag_box(2)->text(), QString::fromUtf8("&&nbsp;などを使用しない"));
        QCOMPARE(sheet.render_page()->group()->title(), QString::fromUtf8("全体の設定"));
        kd->multilibrary_box()->setChecked(true);
        test::click(sheet.ok_button());
    });
    QCOMPARE(result, OptionsSheetResult::confirmed);
    QVERIFY(!ctx_->options_open);
    const std::string file = ini();
    QCOMPARE(value_of(file, "option", "totalfontsize"), QByteArray("90"));
    QCOMPARE(value_of(file, "font", "fontpoint"), QByteArray("120"));
    QCOMPARE(value_of(file, "font", "fontface"), bytes(kFace));
    QCOMPARE(value_of(file, "menu", "menuchr3"), bytes(kKita));
    QCOMPARE(value_of(file, "file", "multilibrary"), QByteArray("1"));
    QVERIFY(ctx_->settings.multilibrary);
}

void OptionsTest::sizes_are_stored_in_tenths_truncated_in_single_precision_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("tenths");
    QTest::newRow("12.5") << "12.5" << 125;
    QTest::newRow("9.5") << "9.5" << 95;
    QTest::newRow("9.99 truncated") << "9.99" << 99;
    QTest::newRow("10.25 with blanks") << " 10.25\t" << 102;
    QTest::newRow("sign and exponent") << "+7.2e1" << 720;
    QTest::newRow("lowest") << "1" << 10;
    QTest::newRow("point only") << "8." << 80;
}

void OptionsTest::sizes_are_stored_in_tenths_truncated_in_single_precision() {
    QFETCH(QString, typed);
    QFETCH(int, tenths);
    start();
    const int dialog_points = app_->main_dialog()->font().pointSize();
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        sheet.kd_page()->totalfontsize_field()->setText(typed);
        sheet.kd_page()->fontpoint_field()->setText(typed);
        test::click(sheet.ok_button());
    });
    QCOMPARE(ctx_->settings.totalfontsize, tenths);
    QCOMPARE(ctx_->settings.fontpoint, tenths);
    QCOMPARE(value_of(ini(), "option", "totalfontsize"), QByteArray::number(tenths));
    QCOMPARE(value_of(ini(), "font", "fontpoint"), QByteArray::number(tenths));
    QCOMPARE(app_->main_dialog()->font().pointSize(), dialog_points);  // from the next start on
}

void OptionsTest::refused_entries_keep_the_sheet_open_and_store_nothing_data() {
    QTest::addColumn<int>("field");  // 0 totalfontsize, 1 fontpoint, 2 fontface, 3 menu text 5, 4 path 1
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString nan = QString::fromUtf8("数字を入力してください。");
    const QString range = QString::fromUtf8("フォントサイズは 1 から 72 ポイントの範囲で入力してください。");
    const char* not_numbers[] = {"", "abc", "1,5", "12pt", "0x10", "inf", "nan", "e5", "-", "1e", "１２"};
    int field = 0;
    for (const char* typed : not_numbers)
        QTest::newRow(*typed ? typed : "empty") << (field++ % 2) << QString::fromUtf8(typed) << nan;
    const char* out_of_range[] = {"0", "0.99", "72.1", "-9", "1e39", "1e-50"};
    for (const char* typed : out_of_range) QTest::newRow(typed) << 0 << QString::fromUtf8(typed) << range;
    QTest::newRow("face of 64 bytes")
        << 2 << QString(64, QLatin1Char('x')) << QString::fromUtf8("Font の名前は 63");
    QTest::newRow("32 full-width") << 2 << QString(32, QChar(0x3042))
                                   << QString::fromUtf8("Font の名前は 63");
    QTest::newRow("no Shift_JIS") << 3 << QString::fromUtf8("a😀")
                                  << QString::fromUtf8("メニュー入力文字 5に");
    QTest::newRow("line break") << 3 << QStringLiteral("a\nb") << QString::fromUtf8("改行");
    QTest::newRow("path of 260") << 4 << QString(260, QLatin1Char('p')) << QString::fromUtf8("は 259");
}

void OptionsTest::refused_entries_keep_the_sheet_open_and_store_nothing() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    start();
    const std::string before = ini();
    const Settings settings_before = ctx_->settings;
    bool left_open = false;
    with_sheet(
        OptionsSheetKind::full,
        [&](OptionsSheet& sheet) {
            QLineEdit* edits[] = {sheet.kd_page()->totalfontsize_field(), sheet.kd_page()->fontpoint_field(),
                                  sheet.kd_page()->fontface_field(), sheet.etc_page()->menu_field(5),
                                  sheet.dir_page()->path_field(1)};
            edits[field]->setText(typed);
            // The start-up page refuses to be left; OK from another page shows the field's page.
            sheet.tabs()->setCurrentIndex(2);
            test::click(sheet.ok_button());
            QVERIFY(ctx_->options_open);
            QVERIFY(sheet.tabs()->currentWidget()->isAncestorOf(edits[field]));
            if (field < 3) {
                sheet.tabs()->setCurrentIndex(3);
                QCOMPARE(sheet.tabs()->currentIndex(), 0);
            }
        },
        &left_open);
    QVERIFY(left_open);
    QVERIFY(!ui_->messages().empty());
    for (const std::string& shown : ui_->messages())
        QVERIFY2(QString::fromStdString(shown).contains(message), shown.c_str());
    QCOMPARE(ini(), before);
    QVERIFY(ctx_->settings == settings_before);
}

void OptionsTest::per_page_settings_go_into_the_current_page_only() {
    // renderhancode stored as 5 reads as on and is written back as 1.
    start("[option]\r\nrender_pageflag=1\r\nrenderhancode=5\r\n");
    PreviewBook& preview = ctx_->docs->preview;
    app_->main_dialog()->page_scroll(PageScroll::thumb_position, 3);
    preview.page_settings[3].rendersetsize = true;
    const RenderSettings global = ctx_->settings.render;
    const RenderSettings page4 = preview.page_settings[4];
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        OptionDialogRender* page = sheet.render_page();
        QCOMPARE(page->group()->title(), QString::fromUtf8("このページ(3)の設定"));
        QVERIFY(page->flag_box(6)->isChecked());
        QVERIFY(!page->flag_box(4)->isChecked());  // the page's record, not the global one
        page->flag_box(0)->setChecked(true);
        page->flag_box(6)->setChecked(false);
        test::click(sheet.ok_button());
    });
    RenderSettings expected;
    expected.render_linenumber = true;
    QVERIFY(preview.page_settings[3] == expected);
    QVERIFY(preview.page_settings[4] == page4);
    QVERIFY(ctx_->settings.render == global);
    const std::string file = ini();
    QCOMPARE(value_of(file, "option", "render_pageflag"), QByteArray("1"));
    const char* written[] = {"0", "0", "0", "0", "1", "1", "1", "0"};
    for (int i = 0; i < RenderSettings::kCount; ++i)
        QCOMPARE(value_of(file, "option", kRenderFlagKeys[i]), QByteArray(written[i]));

    // With the box off the edits go into the global record and the file; page records stay.
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        sheet.render_page()->pageflag_box()->setChecked(false);
        sheet.render_page()->flag_box(1)->setChecked(true);
        test::click(sheet.ok_button());
    });
    QVERIFY(ctx_->settings.render.renderdotflag);
    QVERIFY(preview.page_settings[3] == expected);
    QCOMPARE(value_of(ini(), "option", "renderdotflag"), QByteArray("1"));
    QCOMPARE(value_of(ini(), "option", "render_pageflag"), QByteArray("0"));
}

void OptionsTest::toggling_the_per_page_box_drops_edits() {
    start("[option]\r\nrender_linenumber=1\r\n");
    ctx_->docs->preview.page_settings[0].renderspbar = true;
    const std::string before = ini();
    const auto shown = [](OptionDialogRender* page) {
        RenderSettings s;
        for (int i = 0; i < RenderSettings::kCount; ++i) s.flag(i) = page->flag_box(i)->isChecked();
        return s;
    };
    const auto result = with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        OptionDialogRender* page = sheet.render_page();
        page->flag_box(7)->setChecked(true);
        page->pageflag_box()->setChecked(true);
        QCOMPARE(page->group()->title(), QString::fromUtf8("このページ(0)の設定"));
        QVERIFY(shown(page) == ctx_->docs->preview.page_settings[0]);
        page->flag_box(3)->setChecked(false);
        page->pageflag_box()->setChecked(false);
        QCOMPARE(page->group()->title(), QString::fromUtf8("全体の設定"));
        QVERIFY(shown(page) == ctx_->settings.render);  // the edit to flag 8 is gone
        page->pageflag_box()->setChecked(true);
        QVERIFY(shown(page) == ctx_->docs->preview.page_settings[0]);
        test::key_to_focus(Qt::Key_Escape);  // Cancel stores nothing
    });
    QCOMPARE(result, OptionsSheetResult::cancelled);
    QVERIFY(ctx_->docs->preview.page_settings[0].renderspbar);
    QVERIFY(!ctx_->settings.render_pageflag);
    QCOMPARE(ini(), before);
}

void OptionsTest::the_exact_fill_box_edits_the_global_flag_whichever_record_is_shown() {
    start("[option]\r\nrender_pageflag=1\r\n");
    const RenderSettings page0 = ctx_->docs->preview.page_settings[0];
    with_sheet(OptionsSheetKind::rendering_only, [&](OptionsSheet& sheet) {
        OptionDialogRender* page = sheet.render_page();
        QCheckBox* box = page->exactfill_box();
        QCOMPARE(box->text(), QString::fromUtf8("ずれを最小にする空白（実験的）"));
        QVERIFY(!box->isChecked());
        const QPoint indicator(8, box->height() / 2);  // the box's centre may lie beyond its caption
        test::click(box, indicator);
        QVERIFY(box->isChecked());
        page->pageflag_box()->setChecked(false);  // the group shows the other record; the box keeps its state
        page->pageflag_box()->setChecked(true);
        QVERIFY(box->isChecked());
        test::click(sheet.ok_button());
    });
    QVERIFY(ctx_->settings.renderexactfill);
    QVERIFY(ctx_->render_context().exact_fill);
    QVERIFY(ctx_->docs->preview.page_settings[0] == page0);
    QCOMPARE(value_of(ini(), "option", "renderexactfill"), QByteArray("1"));

    // Shown as stored; Cancel keeps it.
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        sheet.tabs()->setCurrentIndex(2);
        QCheckBox* box = sheet.render_page()->exactfill_box();
        QVERIFY(box->isChecked());
        test::click(box, QPoint(8, box->height() / 2));
        QVERIFY(!box->isChecked());
        test::key_to_focus(Qt::Key_Escape);
    });
    QVERIFY(ctx_->settings.renderexactfill);
}

void OptionsTest::the_unicode_fill_box_works_under_the_exact_fill_box_and_keeps_its_state() {
    start();
    with_sheet(OptionsSheetKind::rendering_only, [&](OptionsSheet& sheet) {
        OptionDialogRender* page = sheet.render_page();
        QCheckBox* exact = page->exactfill_box();
        QCheckBox* box = page->unicodefill_box();
        QCOMPARE(box->text(), QString::fromUtf8("Unicodeの空白も使う（文字参照）"));
        QVERIFY(box->toolTip().contains(QString::fromUtf8("ずれを最小にする空白")));
        const QPoint indicator(8, box->height() / 2);
        QVERIFY(!box->isChecked());
        QVERIFY(!box->isEnabled());
        test::click(box, indicator);  // without the exact fill it does nothing
        QVERIFY(!box->isChecked());
        test::click(exact, QPoint(8, exact->height() / 2));
        QVERIFY(box->isEnabled());
        test::click(box, indicator);
        QVERIFY(box->isChecked());
        test::click(sheet.ok_button());
    });
    QVERIFY(ctx_->settings.renderexactfill && ctx_->settings.renderunicodefill);
    QVERIFY(ctx_->render_context().unicode_fill);
    QCOMPARE(value_of(ini(), "option", "renderunicodefill"), QByteArray("1"));

    // Turning the exact fill off disables the box but keeps what it says, for when it comes back on.
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet& sheet) {
        sheet.tabs()->setCurrentIndex(2);
        QCheckBox* exact = sheet.render_page()->exactfill_box();
        QCheckBox* box = sheet.render_page()->unicodefill_box();
        QVERIFY(box->isChecked() && box->isEnabled());
        test::click(exact, QPoint(8, exact->height() / 2));
        QVERIFY(!box->isEnabled());
        QVERIFY(box->isChecked());
        test::click(sheet.ok_button());
    });
    QVERIFY(!ctx_->settings.renderexactfill);
    QVERIFY(ctx_->settings.renderunicodefill);
    QCOMPARE(value_of(ini(), "option", "renderexactfill"), QByteArray("0"));
    QCOMPARE(value_of(ini(), "option", "renderunicodefill"), QByteArray("1"));
}

void OptionsTest::rendering_only_sheet_leaves_the_other_settings_untouched() {
    // Values the full sheet would refuse or rewrite: the rendering sheet must not look at them.
    start("[option]\r\ntotalfontsize=0\r\n[font]\r\nfontpoint=5\r\nfontface=" + std::string(70, 'F') +
          "\r\n[menu]\r\nmenuchr0=\x82\r\n[file]\r\nhanten_filename= /x \r\n");
    const std::string before = ini();
    with_sheet(OptionsSheetKind::rendering_only, [&](OptionsSheet& sheet) {
        QCOMPARE(sheet.tabs()->count(), 1);
        QCOMPARE(sheet.tabs()->tabText(0), QString::fromUtf8("レンダリング"));
        QVERIFY(!sheet.kd_page() && !sheet.dir_page() && !sheet.etc_page());
        sheet.render_page()->flag_box(0)->setChecked(true);
        test::click(sheet.ok_button());
    });
    const std::string file = ini();
    for (const auto& [section, key] : {std::pair{"option", "totalfontsize"},
                                       {"font", "fontpoint"},
                                       {"font", "fontface"},
                                       {"menu", "menuchr0"},
                                       {"menu", "menuchr1"},
                                       {"file", "hanten_filename"},
                                       {"file", "asciiset_filename"},
                                       {"file", "multilibrary"}})
        QCOMPARE(value_of(file, section, key), value_of(before, section, key));
    QCOMPARE(value_of(file, "option", "render_linenumber"), QByteArray("1"));
    QCOMPARE(value_of(file, "option", "render_pageflag"), QByteArray("0"));
    QCOMPARE(ctx_->settings.fontpoint, 5);
}

void OptionsTest::while_open_a_second_request_and_the_close_request_do_nothing() {
    start();
    Page& page = ctx_->preview_page();
    take_snapshot(ctx_->docs->undo, UndoKind::preview_page, page, ctx_->library_page(), 0);
    const std::string before = ini();
    bool acted = false;
    QTimer::singleShot(0, [&] {
        OptionsSheet* sheet = shown_sheet();
        QVERIFY(sheet);
        acted = true;
        QCOMPARE(sheet->kind(), OptionsSheetKind::full);  // the main dialog's button opens the full sheet
        QVERIFY(ctx_->options_open);
        QCOMPARE(ctx_->docs->undo.kind, UndoKind::none);
        QCOMPARE(run_options_sheet(*ctx_, OptionsSheetKind::full, nullptr), OptionsSheetResult::already_open);
        QCOMPARE(run_options_sheet(*ctx_, OptionsSheetKind::rendering_only, nullptr),
                 OptionsSheetResult::already_open);
        QVERIFY(!app_->close_request());
        QVERIFY(ui_->questions().empty());
        QCOMPARE(shown_sheet(), sheet);
        sheet->kd_page()->fontpoint_field()->setText(QStringLiteral("30"));
        sheet->etc_page()->menu_field(0)->setText(QStringLiteral("x"));
        test::click(sheet->cancel_button());
    });
    test::click(app_->main_dialog()->control(control_id::kOptions));
    QVERIFY(acted);
    QVERIFY(!ctx_->options_open);
    QCOMPARE(ctx_->settings.fontpoint, 120);
    QVERIFY(ctx_->settings.menuchr[0].empty());
    QCOMPARE(ini(), before);
}

void OptionsTest::keys_are_written_in_order() {
    start();
    ctx_->settings_file.emplace(home_->file("fresh.ini"));
    with_sheet(OptionsSheetKind::full, [](OptionsSheet& sheet) { test::click(sheet.ok_button()); });
    std::string expected =
        "[file]\r\nmultilibrary=0\r\nasciiset_filename=-\r\nhanten_filename=-\r\nhanten_filename2=-\r\n"
        "[font]\r\nfontpoint=120\r\nfontface=\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"
        "[option]\r\ntotalfontsize=90\r\nrender_pageflag=0\r\nrender_linenumber=0\r\nrenderdotflag=0\r\n"
        "rendernotsp=0\r\nrenderspbar=0\r\nrenderhancode=0\r\nrenderhantenzmode=1\r\nrendersetsize=1\r\n"
        "rendernotrenspace=0\r\nrenderexactfill=0\r\nrenderunicodefill=0\r\n[menu]\r\n";
    for (int i = 0; i < kMenuTextCount; ++i) expected += "menuchr" + std::to_string(i) + "=\r\n";
    QCOMPARE(TestHome::read_file(home_->file("fresh.ini")), expected);

    ctx_->settings_file.emplace(home_->file("fresh2.ini"));
    with_sheet(OptionsSheetKind::rendering_only, [](OptionsSheet& sheet) { test::click(sheet.ok_button()); });
    QCOMPARE(TestHome::read_file(home_->file("fresh2.ini")),
             "[option]\r\n" + expected.substr(expected.find("render_pageflag"),
                                              expected.find("[menu]") - expected.find("render_pageflag")));
}

void OptionsTest::browse_buttons_propose_the_row_path_or_its_default_name() {
    start("[file]\r\nasciiset_filename=/aa/ascii.txt\r\n");
    ui_->answer_file("/p/chars.txt");
    ui_->answer_cancel();
    ui_->answer_file("/p/flip2");
    with_sheet(OptionsSheetKind::full, [](OptionsSheet& sheet) {
        OptionDialogDir* dir = sheet.dir_page();
        dir->path_field(1)->clear();
        sheet.tabs()->setCurrentWidget(dir);
        for (int row = 0; row < OptionDialogDir::kRows; ++row) test::click(dir->browse_button(row));
        QCOMPARE(dir->path_field(1)->text(), QString());  // cancelled: left as it was
        test::click(sheet.ok_button());
    });
    const auto& events = ui_->events();
    QCOMPARE(events.size(), size_t(3));
    const char* proposals[] = {"/aa/ascii.txt", "hanten.txt", "-"};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(events[row].file_request.proposed_name, std::string(proposals[row]));
        QCOMPARE(events[row].file_request.default_extension, std::string("txt"));
        QCOMPARE(events[row].file_request.filter,
                 std::string("テキスト(txt)|*.txt|テキスト(tx)|*.tx|html|*.html|all files|*.*||"));
    }
    QCOMPARE(ctx_->settings.asciiset_filename, std::string("/p/chars.txt"));
    QCOMPARE(ctx_->settings.hanten_filename, std::string());
    QCOMPARE(value_of(ini(), "file", "hanten_filename2"), QByteArray("/p/flip2.txt"));
}

void OptionsTest::text_fields_keep_the_stored_bytes_they_cannot_show() {
    // A path that is not UTF-8 and a face cut in half a character by its capacity.
    const std::string path = "/aa/\x82\xA0\xFF.txt";
    const std::string face = std::string(62, 'F') + "\x82";
    start("[file]\r\nhanten_filename=" + path + "\r\n[font]\r\nfontface=" + face + "\r\n");
    with_sheet(OptionsSheetKind::full, [](OptionsSheet& sheet) {
        sheet.etc_page()->menu_field(9)->setText(QString::fromUtf8("ｷﾀ━"));
        test::click(sheet.ok_button());
    });
    QCOMPARE(value_of(ini(), "file", "hanten_filename"), bytes(path));
    QCOMPARE(value_of(ini(), "font", "fontface"), bytes(face));
    QCOMPARE(value_of(ini(), "menu", "menuchr9"), bytes(kKita));
    QCOMPARE(ctx_->settings.menuchr[9], kKita);
}

void OptionsTest::a_failed_settings_write_is_reported() {
    start();
    ctx_->settings_file.emplace(home_->file("no-such-folder/glyphora.ini"));
    const auto result = with_sheet(OptionsSheetKind::full, [](OptionsSheet& sheet) {
        sheet.kd_page()->totalfontsize_field()->setText(QStringLiteral("11"));
        test::click(sheet.ok_button());
    });
    QCOMPARE(result, OptionsSheetResult::confirmed);
    QCOMPARE(ctx_->settings.totalfontsize, 110);  // in effect for this run all the same
    QCOMPARE(ui_->messages().size(), size_t(1));
    QVERIFY(ui_->messages()[0].starts_with("オプションを設定ファイルに保存できませんでした。\n"));
}

// Clicks go to the windows at a position, as the window system sends them, so modality is what decides
// whether a window still answers while a sheet is open.
void OptionsTest::a_sheet_blocks_only_the_window_it_was_opened_from() {
    start("[option]\r\nrender_pageflag=1\r\n");
    MainDialog* dialog = app_->main_dialog();
    CanvasWindow* canvas = app_->preview_canvas();
    QScrollBar* bar = dialog->page_scroll_bar();
    const QPoint next_page = bar->mapTo(dialog, QPoint(bar->width() - 4, bar->height() / 2));
    for (int page : {0, 1}) {
        put_part(ctx_->docs->preview.pages[page], 0, 0, 18, "AAAA");
    }
    canvas->paint_image();  // measures the part
    const QPoint on_part(12, 27);
    const bool flag_before = ctx_->docs->preview.page_settings[0].flag(0);

    // The rendering-only sheet of the preview canvas: the page scroll bar still turns the page, while the
    // canvas waits for the sheet. OK stores the per-page flags into the page the sheet was opened on.
    const auto rendering = with_sheet(OptionsSheetKind::rendering_only, [&](OptionsSheet& sheet) {
        QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {}, next_page);
        QCOMPARE(ctx_->docs->preview.current_page, 1);
        QCOMPARE(dialog->page_label()->text(), QStringLiteral("1"));
        canvas->paint_image();
        QTest::mouseClick(canvas->windowHandle(), Qt::LeftButton, {}, on_part);
        QVERIFY(!ctx_->docs->preview.pages[1].slots[0].selected);
        sheet.render_page()->flag_box(0)->setChecked(!sheet.render_page()->flag_box(0)->isChecked());
        sheet.accept();
    });
    QCOMPARE(rendering, OptionsSheetResult::confirmed);
    QCOMPARE(ctx_->docs->preview.page_settings[0].flag(0), !flag_before);
    QCOMPARE(ctx_->docs->preview.page_settings[1].flag(0), flag_before);

    // The full sheet of the main dialog: the canvas answers, the dialog waits.
    with_sheet(OptionsSheetKind::full, [&](OptionsSheet&) {
        QTest::mouseClick(canvas->windowHandle(), Qt::LeftButton, {}, on_part);
        QVERIFY(ctx_->docs->preview.pages[1].slots[0].selected);
        QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {}, next_page);
        QCOMPARE(ctx_->docs->preview.current_page, 1);
    });
    QVERIFY(!ctx_->options_open);
}

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
