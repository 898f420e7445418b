// Posting a page: the count strip of the temporary rendering, the 投稿 dialog (posts, copy after copy,
// board profiles, SETTING.TXT), the findings with their fix in the rendering result dialog, and the page
// as a picture, whose glyphs are the canvas's own.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "app/board_profile_dialog.h"
#include "app/main_dialog.h"
#include "app/page_check_view.h"
#include "app/page_image_commands.h"
#include "app/post_dialog.h"
#include "app/posting_session.h"
#include "app/render_result_dialog.h"
#include "canvas/canvas_surface.h"
#include "canvas/count_strip.h"
#include "canvas/draw_part.h"
#include "canvas/glyph_font.h"
#include "model/sjis.h"
#include "model/test_support.h"
#include "qtest_support/test_support.h"
#include "settings/settings.h"

using namespace glyphora;
using glyphora::test::put_part;
using glyphora::test::TestHome;

namespace {

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// A profile of 1,000 bytes and 60 lines, current from the start.
const std::string kSmallBoard = "[small]\nbytes=1000\nlines=60\n";
// Without the size line, the page's lines are the parts' own.
const std::string kSmallBoardSetting = "[option]\nboardprofile=small\nrendersetsize=0\n";

QPushButton* button_named(QWidget* window, const char* text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    QTest::qFail(text, __FILE__, __LINE__);
    return nullptr;
}

// Runs `act` on the next modal dialog of type W as soon as it shows (it may open inside a menu's or
// another dialog's event loop); closes it afterwards unless `act` did.
template <class W>
void when_modal(std::function<void(W&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act = std::move(act)] {
        auto* dialog = qobject_cast<W*>(QApplication::activeModalWidget());
        // Keys go to the window with the focus, as a user's do: act only once the dialog has it.
        if (!dialog || !dialog->isVisible() || !dialog->isActiveWindow()) {
            // No dialog came: the test fails on what it did not see.
            if (++*tries > 500) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    timer->start();
}

// The bytes a server counts for a text made of letters, digits, spaces and full-width characters, with
// CR LF between its lines: each character its Shift_JIS bytes, each line break 6.
int plain_bytes(const std::string& text) {
    int bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            bytes += 6;
            ++i;
        } else {
            ++bytes;
        }
    }
    return bytes;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Draws into another surface only the glyphs, without their opaque cells: black ink on what is there.
class InkOnly : public CanvasSurface {
  public:
    InkOnly(CanvasSurface& inner, int dx, int dy) : inner_(inner), dx_(dx), dy_(dy) {}
    void fill(int64_t, int64_t, int64_t, int64_t, Rgb) override {}
    void glyph(int code, int64_t x, int64_t top, int64_t, Rgb, Rgb) override {
        inner_.glyph(code, x + dx_, top + dy_, 0, canvas_colours::kText, Rgb{255, 255, 255});
    }
    void code_point_glyph(char32_t code_point, int64_t x, int64_t top, int64_t, Rgb, Rgb) override {
        inner_.code_point_glyph(code_point, x + dx_, top + dy_, 0, canvas_colours::kText, Rgb{255, 255, 255});
    }
    void text(std::string_view, int64_t, int64_t, Rgb, Rgb) override {}
    void frame(const Box&, Rgb, int) override {}

  private:
    CanvasSurface& inner_;
    int dx_, dy_;
};

}  // namespace

class PostingTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void the_strip_counts_the_temporary_rendering_and_turns_red_over_budget();
    void the_post_dialog_splits_at_blank_lines_and_copies_post_after_post();
    void profiles_from_setting_txt_and_the_profile_dialog();
    void a_damaged_profiles_file_is_reported_and_never_written_over();
    void the_result_dialog_counts_and_mends_a_leading_space();
    void the_picture_is_saved_and_copied_at_one_and_two_times();
    void the_picture_draws_the_glyphs_the_canvas_draws();

  private:
    void start_with_board(const std::string& boards, const std::string& extra_ini = {},
                          Widths widths = Widths::test) {
        TestHome::write_file(home_->file("boards.txt"), boards);
        start(extra_ini, widths);
    }
    CanvasWindow& canvas() { return dialog_->preview_canvas(); }
    // Right-clicks the preview canvas and picks an item of the menu that opens.
    void choose(const char* item) {
        bool found = false;
        const QPoint at(300, 200);
        QTimer::singleShot(0, [this, &found, at, text = QString::fromUtf8(item)] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            // The right button comes up first, beside the items, as a user's does.
            test::release(menu, menu->mapFromGlobal(canvas().mapToGlobal(at)), Qt::RightButton);
            for (QAction* action : menu->actions()) {
                if (action->text() != text) continue;
                found = true;
                test::click(menu, menu->actionGeometry(action).center());
                return;
            }
            menu->close();
        });
        test::press(&canvas(), at, Qt::RightButton);
        QVERIFY2(found, item);
    }
    // Parts of `lines` lines of the alphabet from line `first` on, one part per line.
    void alphabet_lines(int first, int lines, int slot = 0) {
        for (int i = 0; i < lines; ++i) put_part(preview(), slot + i, 0, (first + i) * 18, kAlphabet);
    }
};

void PostingTest::the_strip_counts_the_temporary_rendering_and_turns_red_over_budget() {
    start_with_board(kSmallBoard, kSmallBoardSetting);
    alphabet_lines(0, 40);
    CountStrip* strip = canvas().count_strip();
    QVERIFY(strip && strip->isHidden());

    choose("一時レンダリング");
    QVERIFY(canvas().state().temp_shown);
    QTRY_VERIFY(strip->isVisible());
    const std::string rendered(get_string(canvas().state().temp_part->text));
    QCOMPARE(static_cast<int>(lines_of(rendered).size()), 40);
    const int bytes = plain_bytes(rendered);
    QVERIFY(bytes > 1000 && bytes < 10000);
    const std::string thousands =
        std::to_string(bytes / 1000) + "," + std::to_string(bytes % 1000 + 1000).substr(1);
    QCOMPARE(strip->text().toStdString(), thousands + " / 1,000 バイト · 40 / 60 行 · 2 投稿に分割");
    QVERIFY(strip->over());
    QVERIFY(strip->styleSheet().contains(QStringLiteral("#c00000")));
    // It sits along the bottom of the canvas and lets clicks through.
    QCOMPARE(strip->geometry().bottom(), canvas().height() - 1);
    QVERIFY(strip->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Another board counts again at once, within budget now.
    PostingSession::of(*dialog_).set_current(posting::kBuiltinProfileName, dialog_);
    QCOMPARE(strip->text().toStdString(), thousands + " / 4,096 バイト · 40 / 60 行");
    QVERIFY(!strip->over());
    QCOMPARE(read_setting(ctx_->file(), settings_keys::boardprofile),
             std::string(posting::kBuiltinProfileName));

    // The display ends with a key on the canvas, and the strip with it.
    canvas().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&canvas()));
    test::key_to_focus(Qt::Key_A);
    QVERIFY(!canvas().state().temp_shown);
    QTRY_VERIFY(strip->isHidden());
}

void PostingTest::the_post_dialog_splits_at_blank_lines_and_copies_post_after_post() {
    start_with_board(kSmallBoard, kSmallBoardSetting);
    // 20 lines, a blank line, 19 lines: too much for one post of 1,000 bytes, and the break falls on the
    // blank line, not where the bytes run out.
    alphabet_lines(0, 20);
    alphabet_lines(21, 19, 20);
    std::vector<posting::Post> posts;  // the counts: the texts went with the dialog
    std::vector<std::string> texts;
    std::vector<std::string> copied;
    QString status;
    when_modal<PostDialog>([&](PostDialog& dialog) {
        posts = dialog.posts();
        for (const posting::Post& post : posts) texts.emplace_back(post.text);
        QCOMPARE(dialog.post_list()->count(), static_cast<int>(posts.size()));
        QCOMPARE(dialog.post_list()->currentRow(), 0);
        for (int i = 0; i < 2; ++i) {
            test::key_to_focus(Qt::Key_Return);
            copied.push_back(ui_->clipboard.value_or(""));
        }
        status = dialog.status_label()->text();
        QCOMPARE(dialog.post_list()->currentRow(), 1);  // the last post stays selected
        test::click(button_named(&dialog, "閉じる"));
    });
    choose("投稿");

    QCOMPARE(posts.size(), std::size_t{2});
    // Joined again, the posts are the page.
    const std::string page_text = texts[0] + "\r\n" + texts[1];
    QCOMPARE(page_text, render_page_text(*ctx_, 0).text);
    const std::vector<std::string> lines = lines_of(page_text);
    QCOMPARE(static_cast<int>(lines.size()), 40);
    for (std::size_t i = 0; i < posts.size(); ++i) {
        QVERIFY(posts[i].count.bytes <= 1000 && posts[i].count.lines <= 60);
        QCOMPARE(posts[i].count.bytes, plain_bytes(texts[i]));
    }
    // The second post starts right after the blank line (or at it).
    const int first = posts[1].first_line;
    QVERIFY2(first == 21 || first == 22, std::to_string(first).c_str());
    QCOMPARE(lines[20].find_first_not_of("\x81\x40 ."), std::string::npos);
    QCOMPARE(copied, texts);
    QVERIFY(status.contains(QStringLiteral("2 / 2")));

    // A page with nothing to render opens no dialog.
    ctx_->docs->preview.current_page = 5;
    choose("投稿");
    QCOMPARE(ui_->messages().back(), std::string("このページには投稿する内容がありません"));
}

void PostingTest::profiles_from_setting_txt_and_the_profile_dialog() {
    start();
    alphabet_lines(0, 3);
    const std::string good = home_->file("SETTING.TXT");
    TestHome::write_file(good,
                         "test/SETTING.TXT\r\nBBS_TITLE=AA\x94\xC2\r\nBBS_MESSAGE_COUNT=2048\r\n"
                         "BBS_LINE_NUMBER=16\r\nBBS_UNICODE=change\r\n");
    const std::string bad = home_->file("bad.txt");
    TestHome::write_file(bad, "BBS_TITLE=x\r\nBBS_MESSAGE_COUNT=lots\r\n");
    ui_->answer_file(bad);
    ui_->answer_file(good);
    ui_->answer_yes();  // delete "AA板"

    QString combo_after_import;
    std::vector<std::string> messages;
    bool kept_open_on_duplicate = false;
    when_modal<PostDialog>([&](PostDialog& dialog) {
        // The built-in profile cannot be edited or deleted.
        QVERIFY(!dialog.edit_button()->isEnabled() && !dialog.delete_button()->isEnabled());
        test::click(dialog.import_button());  // malformed: a message, nothing added
        QCOMPARE(dialog.profile_box()->count(), 1);
        test::click(dialog.import_button());
        combo_after_import = dialog.profile_box()->currentText();

        // A second profile through the dialog, first with a name that is taken.
        when_modal<BoardProfileDialog>([&](BoardProfileDialog& editor) {
            editor.name_field()->setText(QString::fromUtf8("AA板"));
            editor.bytes_field()->setValue(512);
            test::click(button_named(&editor, "OK"));  // OK
            kept_open_on_duplicate = editor.isVisible();
            editor.name_field()->setText(QStringLiteral("mine"));
            test::click(button_named(&editor, "OK"));
        });
        test::click(dialog.add_button());
        QCOMPARE(dialog.profile_box()->currentText(), QStringLiteral("mine"));
        QCOMPARE(dialog.posts().front().count.bytes > 0, true);

        // Back to the imported one, and delete it.
        dialog.profile_box()->setCurrentIndex(dialog.profile_box()->findText(QString::fromUtf8("AA板")));
        test::click(dialog.delete_button());
        QCOMPARE(dialog.profile_box()->count(), 2);
        QCOMPARE(dialog.profile_box()->currentText().toStdString(),
                 std::string(posting::kBuiltinProfileName));
    });
    choose("投稿");

    messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY(messages[0].starts_with("SETTING.TXTとして読めません"));
    QVERIFY(messages[0].find("BBS_MESSAGE_COUNT") != std::string::npos);
    QVERIFY(messages[1].starts_with("同じ名前のボード"));
    QVERIFY(kept_open_on_duplicate);
    QCOMPARE(combo_after_import, QString::fromUtf8("AA板"));
    // What is stored: the profile added by hand, and the built-in one current.
    posting::ProfileList stored;
    QVERIFY(posting::load_profiles(home_->file("boards.txt"), stored).ok);
    QCOMPARE(stored.profiles.size(), std::size_t{2});
    QCOMPARE(stored.profiles[1].name, std::string("mine"));
    QCOMPARE(stored.profiles[1].bytes_per_post, 512);
    QCOMPARE(read_setting(ctx_->file(), settings_keys::boardprofile),
             std::string(posting::kBuiltinProfileName));
}

void PostingTest::a_damaged_profiles_file_is_reported_and_never_written_over() {
    const std::string damaged = "[first]\nbytes=100\nthis line is no setting\n";
    start_with_board(damaged);
    alphabet_lines(0, 2);
    when_modal<PostDialog>([&](PostDialog& dialog) {
        QCOMPARE(dialog.profile_box()->count(), 1);
        when_modal<BoardProfileDialog>([](BoardProfileDialog& editor) {
            editor.name_field()->setText(QStringLiteral("new"));
            test::click(button_named(&editor, "OK"));
        });
        test::click(dialog.add_button());
        QCOMPARE(dialog.profile_box()->currentText(), QStringLiteral("new"));  // for this run
    });
    choose("投稿");
    const std::vector<std::string> messages = ui_->messages();
    QCOMPARE(messages.size(), std::size_t{2});  // on opening, and when the new profile is not saved
    QVERIFY(messages[0].find("line 3") != std::string::npos);
    QCOMPARE(TestHome::read_file(home_->file("boards.txt")), damaged);
}

void PostingTest::the_result_dialog_counts_and_mends_a_leading_space() {
    start_with_board(kSmallBoard, kSmallBoardSetting);
    put_part(preview(), 0, 0, 0, "AB\r\n CD", "lead");
    put_part(preview(), 1, 0, 36, kAlphabet);
    const std::string out = home_->file("out.txt");
    ui_->answer_file(out);
    QString count_before;
    std::size_t findings_after = 0;
    QStringList findings;
    bool fix_enabled = false;
    when_modal<RenderResultDialog>([&](RenderResultDialog& result) {
        PageCheckView* view = result.check_view();
        QVERIFY(view && result.posts_button());
        count_before = view->count_label()->text();
        for (int row = 0; row < view->findings_list()->count(); ++row)
            findings << view->findings_list()->item(row)->text();
        // The finding that names the part, selected by keyboard, mended with "修正".
        int row = 0;
        while (row < static_cast<int>(view->findings().size()) && view->findings()[row].slot != 0) ++row;
        QVERIFY(row < static_cast<int>(view->findings().size()));
        view->findings_list()->setFocus();
        view->findings_list()->setCurrentRow(row);
        fix_enabled = view->fix_button()->isEnabled();
        test::click(view->fix_button());
        findings_after = view->findings().size();
        test::click(result.close_button());
    });
    test::click(dialog_->control(control_id::kRenderPage));

    QVERIFY2(count_before.startsWith(QString::fromUtf8("ページ0：")), qPrintable(count_before));
    QVERIFY(count_before.contains(QString::fromUtf8(" / 1,000 バイト · 3 / 60 行")));
    QVERIFY2(findings.join('|').contains(
                 QString::fromUtf8("2行目：行頭の半角スペース（HTMLでは消えます）（パーツ1「lead」）")),
             qPrintable(findings.join('|')));
    QVERIFY(fix_enabled);
    // The default flags allow &nbsp;: the space became one, and an undo brings it back.
    QCOMPARE(std::string(get_string(preview().slots[0].text)), std::string("AB\r\n&nbsp;CD"));
    QCOMPARE(findings_after, std::size_t(findings.size()) - 1);  // the list shows the mended page
    ctx_->undo();
    QCOMPARE(std::string(get_string(preview().slots[0].text)), std::string("AB\r\n CD"));
}

void PostingTest::the_picture_is_saved_and_copied_at_one_and_two_times() {
    start({}, Widths::font);
    if (!ctx_->ensure_width_table()) GLYPHORA_SKIP_UNLESS_CI("no rendering font (Monapo) is installed");
    put_part(preview(), 0, 0, 0, "ABC\r\nWWWWW", "p0");
    const std::string one = home_->file("one.png"), two = home_->file("two.png");
    ui_->answer_file(one);
    ui_->answer_file(two);
    std::string text;
    when_modal<PostDialog>([&](PostDialog& dialog) {
        text = std::string(dialog.posts().front().text);
        test::click(dialog.save_image_button());
        dialog.scale_box()->setCurrentIndex(1);
        test::click(dialog.save_image_button());
        test::click(dialog.copy_image_button());
    });
    choose("投稿");

    // The widest line at the canvas's widths, an 8 px margin round it, lines 18 px apart at 12 pt.
    QCOMPARE(ctx_->widths->line_height, 18);
    int widest = 0;
    for (const std::string& line : lines_of(text)) {
        int width = 0;
        for (std::size_t pos = 0; pos < line.size();) {
            const SjisChar c = char_at(line, pos);
            width += ctx_->widths->width(c.code);
            pos += static_cast<std::size_t>(c.length);
        }
        widest = std::max(widest, width);
    }
    const QImage at_one(QString::fromStdString(one));
    const QImage at_two(QString::fromStdString(two));
    const int lines = static_cast<int>(lines_of(text).size());
    QVERIFY(lines >= 2);
    QCOMPARE(at_one.size(), QSize(widest + 16, lines * 18 + 16));
    QCOMPARE(at_two.size(), at_one.size() * 2);
    QCOMPARE(ui_->clipboard_picture.size(), at_two.size());
    QCOMPARE(ui_->clipboard_picture.convertToFormat(QImage::Format_Grayscale8),
             at_two.convertToFormat(QImage::Format_Grayscale8));
    // Black on white.
    QCOMPARE(qGray(at_one.pixel(0, 0)), 255);
    QVERIFY(std::any_of(at_one.bits(), at_one.bits() + at_one.sizeInBytes(), [](uchar v) { return v < 64; }));

    // The canvas menu saves the same file.
    const std::string from_menu = home_->file("menu.png");
    ui_->answer_file(from_menu);
    choose("画像として保存");
    QCOMPARE(TestHome::read_file(from_menu), TestHome::read_file(one));
}

void PostingTest::the_picture_draws_the_glyphs_the_canvas_draws() {
    start({}, Widths::font);
    if (!ctx_->ensure_width_table()) GLYPHORA_SKIP_UNLESS_CI("no rendering font (Monapo) is installed");
    // Letters, kana, kanji, symbols a board escapes, and a character written as a reference.
    put_part(preview(), 0, 0, 0, "Aa(\x81\x4C\x81\xCD\x81\x4D)\x82\xA0\x88\x9F<&\"\r\nWg|&#9825;j", "p0");
    put_part(preview(), 1, 40, 36, "\x83\x82\x83\x69\x81\x5B", "p1");
    const RenderedPage page = render_page_text(*ctx_, 0);
    QVERIFY(page.has_content);
    auto temp = std::make_unique<Part>();
    for (const int scale : {1, 2}) {
        const QImage picture = page_picture(*ctx_, page.text, scale, dialog_);
        QVERIFY(!picture.isNull());
        // The canvas's glyph drawing of the same text, 8 px in, black ink on white.
        QImage canvas_drawing(picture.size(), QImage::Format_RGB32);
        canvas_drawing.fill(Qt::white);
        canvas_drawing.setDevicePixelRatio(scale);
        {
            const GlyphFont font(ctx_->settings.fontface, ctx_->settings.fontpoint);
            ImageSurface surface(canvas_drawing, font);
            InkOnly ink(surface, 8, 8);
            clear_slot(*temp);
            temp->in_use = true;
            set_text(*temp, page.text);
            draw_part(*temp, ink, *ctx_->widths, false, false, true, false);
            draw_part(*temp, ink, *ctx_->widths, false, false, true, false);
        }
        const QImage grey = canvas_drawing.convertToFormat(QImage::Format_Grayscale8);
        int differing = 0, worst = 0;
        for (int y = 0; y < grey.height(); ++y) {
            for (int x = 0; x < grey.width(); ++x) {
                const int d = std::abs(int(grey.constScanLine(y)[x]) - int(picture.constScanLine(y)[x]));
                differing += d != 0;
                worst = std::max(worst, d);
            }
        }
        const std::string what = "scale " + std::to_string(scale) + ": " + std::to_string(differing) +
                                 " pixels differ, by up to " + std::to_string(worst);
        if (differing) {
            grey.save(QStringLiteral("/tmp/post/canvas%1.png").arg(scale));
            picture.save(QStringLiteral("/tmp/post/picture%1.png").arg(scale));
        }
        QVERIFY2(differing == 0, what.c_str());
    }
}

QTEST_MAIN(PostingTest)
#include "posting_test.moc"
