// The UI services layer: filter lists, default extensions, the scripted implementation's bookkeeping, and
// the Qt implementation's clipboard conversion, Shift_JIS display and the default button of its questions.

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "platform/qt_text.h"
#include "platform/qt_ui_services.h"
#include "platform/scripted_ui_services.h"

using namespace glyphora;

class UiServicesTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void filter_lists_split_into_label_and_pattern();
    void qt_filters_carry_their_patterns();
    void default_extension_is_added_only_to_names_without_one();
    void scripted_answers_are_used_in_order_and_mismatches_are_reported();
    void scripted_file_dialog_applies_the_default_extension();
    void clipboard_round_trip_converts_code_page_932();
    void clipboard_text_that_code_page_932_cannot_hold_is_refused();
    void display_of_shift_jis_keeps_the_rest_of_a_broken_text();
    void qt_texts_are_japanese();
    void message_boxes_show_their_whole_caption();
    void return_answers_a_question_with_its_default();
};

void UiServicesTest::filter_lists_split_into_label_and_pattern() {
    const auto entries =
        parse_file_filter("Glyphoraファイル(aap)|*.aap|Glyphora単体ファイル(aat)|*.aat|all files|*.*||");
    const std::vector<FileFilterEntry> expected = {
        {"Glyphoraファイル(aap)", "*.aap"}, {"Glyphora単体ファイル(aat)", "*.aat"}, {"all files", "*.*"}};
    QCOMPARE(entries, expected);
    // Anything after "||" is not part of the list; a label without its pattern is dropped.
    QCOMPARE(parse_file_filter("a|*.a||b|*.b||").size(), std::size_t{1});
    QCOMPARE(parse_file_filter("a|*.a|lonely").size(), std::size_t{1});
    QVERIFY(parse_file_filter("").empty());
    QVERIFY(parse_file_filter("||").empty());
}

void UiServicesTest::qt_filters_carry_their_patterns() {
    const QStringList filters = qt_name_filters("Glyphoraファイル(aal)|*.aal|text|*.txt;*.text||");
    QCOMPARE(filters.size(), 2);
    QCOMPARE(filters[0], QString::fromUtf8("Glyphoraファイル(aal) (*.aal)"));
    QCOMPARE(filters[1], QStringLiteral("text (*.txt *.text)"));
}

void UiServicesTest::default_extension_is_added_only_to_names_without_one() {
    QCOMPARE(apply_default_extension("/a/b/page", "aap"), std::string("/a/b/page.aap"));
    QCOMPARE(apply_default_extension("/a/b/page.AAT", "aap"), std::string("/a/b/page.AAT"));
    QCOMPARE(apply_default_extension("/a.dir/page", "aap"), std::string("/a.dir/page.aap"));
    QCOMPARE(apply_default_extension("/a/.hidden", "aap"), std::string("/a/.hidden.aap"));
    QCOMPARE(apply_default_extension("/a/page", ""), std::string("/a/page"));
    QCOMPARE(apply_default_extension("/a/", "aap"), std::string("/a/"));
}

void UiServicesTest::scripted_answers_are_used_in_order_and_mismatches_are_reported() {
    ScriptedUiServices ui;
    ui.answer_yes();
    ui.answer_text("name");
    QVERIFY(ui.ask_yes_no(nullptr, "q1", kMessageCaption));
    // A question meeting a text answer: recorded, answered No, the answer kept for the text dialog.
    QVERIFY(!ui.ask_yes_no(nullptr, "q2", kMessageCaption));
    QCOMPARE(ui.script_errors().size(), std::size_t{1});
    TextDialogRequest request;
    request.title = "t";
    QCOMPARE(ui.ask_text(nullptr, request), std::optional<std::string>("name"));
    QCOMPARE(ui.unused_answers(), std::size_t{0});
    // Nothing left: cancelled, and reported.
    QCOMPARE(ui.ask_text(nullptr, request), std::nullopt);
    QCOMPARE(ui.script_errors().size(), std::size_t{2});
    ui.show_message(nullptr, "m", "cap");
    ui.begin_progress(nullptr, "p");
    QVERIFY(ui.progress_open());
    ui.end_progress();
    const std::vector<std::string> trace = {"question:q1", "question:q2", "text:t",      "text:t",
                                            "message:m",   "progress:p",  "progress-end"};
    QCOMPARE(ui.trace(), trace);
    QCOMPARE(ui.events()[4].caption, std::string("cap"));
    // A question records the button it starts on.
    QCOMPARE(ui.events()[0].default_answer, DefaultAnswer::yes);
    ui.answer_yes();
    QVERIFY(ui.ask_yes_no(nullptr, "q3", kMessageCaption, DefaultAnswer::no));
    QCOMPARE(ui.events().back().default_answer, DefaultAnswer::no);
}

void UiServicesTest::scripted_file_dialog_applies_the_default_extension() {
    ScriptedUiServices ui;
    ui.answer_file("/x/collection");
    ui.answer_cancel();
    FileDialogRequest request;
    request.default_extension = "aap";
    request.proposed_name = "*.aap";
    QCOMPARE(ui.save_file(nullptr, request), std::optional<std::string>("/x/collection.aap"));
    QCOMPARE(ui.open_file(nullptr, request), std::nullopt);
    QCOMPARE(ui.events()[0].answer, std::string("/x/collection.aap"));
    QCOMPARE(ui.events()[1].answer, std::string("<cancel>"));
    QVERIFY(ui.script_errors().empty());
}

void UiServicesTest::clipboard_round_trip_converts_code_page_932() {
    QtUiServices ui;
    const std::string sjis = "\x82\xA0\x81\x40(A)";  // "あ　(A)"
    QVERIFY(ui.set_clipboard_text(sjis));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("あ　(A)"));
    const ClipboardText back = ui.clipboard_text();
    QVERIFY(back.has_text && back.ok);
    QCOMPARE(back.text, sjis);
}

void UiServicesTest::clipboard_text_that_code_page_932_cannot_hold_is_refused() {
    QtUiServices ui;
    // AA copied from a board is spaced with the web's spaces: they come in as their markup, so the text is
    // taken; the other characters code page 932 lacks come in as numeric references; what no part can
    // hold (here U+FFFD) is refused, naming the character.
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8("A\u00A0B\u2002C\u2009D\u2661\u2005\xF0\x9F\x98\x80"));
    const ClipboardText web = ui.clipboard_text();
    QVERIFY(web.ok);
    QCOMPARE(web.text, std::string("A&nbsp;B&ensp;C&thinsp;D&#9825;&#8197;&#128512;"));

    QGuiApplication::clipboard()->setText(QString::fromUtf8("ok \uFFFD"));
    const ClipboardText text = ui.clipboard_text();
    QVERIFY(text.has_text);
    QVERIFY(!text.ok);
    QVERIFY(text.error.find("U+FFFD") != std::string::npos);
    QVERIFY(text.text.empty());
    // Text that is not Shift_JIS is not put on the clipboard, and what was there stays.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    QVERIFY(!ui.set_clipboard_text("\x81"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

void UiServicesTest::display_of_shift_jis_keeps_the_rest_of_a_broken_text() {
    QCOMPARE(sjis_to_qstring("page \x82\xA0"), QString::fromUtf8("page あ"));
    // 0x85 0x40 is not a character of code page 932.
    QCOMPARE(sjis_to_qstring("a\x85\x40"
                             "b"),
             QString::fromUtf8("a\xEF\xBF\xBD"
                               "b"));
    std::string out, error;
    QVERIFY(qstring_to_sjis(QString::fromUtf8("名前"), out, error));
    QCOMPARE(out, std::string("\x96\xBC\x91\x4F"));
    QVERIFY(!qstring_to_sjis(QString::fromUtf8("\xF0\x9F\x98\x80"), out, error));
    QVERIFY(!error.empty());
}

void UiServicesTest::qt_texts_are_japanese() {
    if (!install_qt_translations(*QCoreApplication::instance())) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL("Qt's Japanese translations are not installed");
        QSKIP("Qt's Japanese translations are not installed (make deps installs them)");
    }
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("キャンセル"));
    QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != QStringLiteral("Look in:"));
}

void UiServicesTest::message_boxes_show_their_whole_caption() {
    const QFont title_font = QApplication::font("QMdiSubWindowTitleBar");
    for (const char* caption : {"Glyphora", "ライブラリのファイルへの登録に失敗しました"}) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption), QStringLiteral("OK?"),
                        QMessageBox::Ok);
        fit_caption(box);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY2(box.width() >= QFontMetrics(title_font).horizontalAdvance(box.windowTitle()) + 100, caption);
    }
}

void UiServicesTest::return_answers_a_question_with_its_default() {
    QtUiServices ui;
    for (const DefaultAnswer default_answer : {DefaultAnswer::yes, DefaultAnswer::no}) {
        // Return, as the window system delivers it, once the question is up.
        bool pressed = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (pressed || !box || !QTest::qWaitForWindowExposed(box)) return;
            pressed = true;
            QTest::keyClick(box->windowHandle(), Qt::Key_Return);
        });
        poll.start(20);
        QTimer give_up;  // a question that Return does not answer fails instead of hanging
        give_up.setSingleShot(true);
        connect(&give_up, &QTimer::timeout, this, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        give_up.start(5000);
        const bool yes = ui.ask_yes_no(nullptr, "q", kMessageCaption, default_answer);
        QVERIFY(pressed);
        QCOMPARE(yes, default_answer == DefaultAnswer::yes);
    }
}

QTEST_MAIN(UiServicesTest)
#include "ui_services_test.moc"
