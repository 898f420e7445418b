#pragma once
// Helpers of the GUI tests: the fixture every test program derives from (a fresh settings home and scripted
// UI per test case, the program started in it), the widths of tests/data/test_metrics.txt in place of a
// font, small files, and input delivered the way the window system delivers it.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/main_dialog.h"
#include "canvas/canvas_window.h"
#include "platform/scripted_ui_services.h"
#include "render/char_width_table.h"
#include "session/app_context.h"

namespace glyphora::test {

// A folder of its own inside the test program's GLYPHORA_HOME, removed afterwards.
class TestHome {
  public:
    TestHome() : dir_(base() + "/case-XXXXXX") {}

    bool valid() const { return dir_.isValid(); }
    std::string path() const { return QFile::encodeName(dir_.path()).toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }
    std::string settings_path() const { return file("glyphora.ini"); }

    // Where start-up looks: this folder for the settings, the library proposal and the current directory.
    StartupEnvironment environment() const {
        StartupEnvironment env;
        env.executable_path = file("glyphora");
        env.location.glyphora_home = path();
        env.current_directory = path();
        return env;
    }

    void write_settings(const std::string& ini) const { write_file(settings_path(), ini); }

    static void write_file(const std::string& path, const std::string& bytes) {
        QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    static std::string read_file(const std::string& path) {
        QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }
    static bool exists(const std::string& path) {
        return QFile::exists(QFile::decodeName(QByteArray::fromStdString(path)));
    }

  private:
    static QString base() {
        const char* home = std::getenv("GLYPHORA_HOME");
        return home && *home ? QString::fromLocal8Bit(home) : QDir::tempPath();
    }
    QTemporaryDir dir_;
};

// The widths the examples are written for (A-Z 8, half-width space 5, full-width space 11, "." 3, line
// height 18), from the metrics file instead of a font.
inline bool build_test_widths(CharWidthTable& table, const Settings&, std::string& error) {
    auto file = std::make_unique<MetricsFile>();
    const MetricsParseResult parsed = load_metrics_file(GLYPHORA_TEST_DATA "/test_metrics.txt", *file);
    if (!parsed.ok) {
        error = parsed.message;
        return false;
    }
    MetricsFileSource source(*file);
    table.build(source);
    return true;
}

// A test that needs something CI installs (Monapo, Chromium, the built CLI) skips without it on a
// developer's machine but fails under CI, where its absence is a broken set-up.
#define GLYPHORA_SKIP_UNLESS_CI(reason)                                         \
    do {                                                                        \
        if (qEnvironmentVariableIsSet("CI")) QFAIL(reason " (CI installs it)"); \
        QSKIP(reason);                                                          \
    } while (false)

// Input as the window system delivers it: mouse events go to the top-level window at the target's place
// (so modality, grabs and child dispatch apply), keys to the window that has the focus (so focus proxies
// and event filters apply). Never to an inner widget directly.

// The native window of `target`'s top-level widget once it is shown and exposed; a failure otherwise.
inline QWindow* exposed_window(QWidget* target) {
    QWidget* top = target ? target->window() : nullptr;
    if (!top || !target->isVisible() || !top->windowHandle()) {
        QTest::qVerify(false, "exposed_window", "input for a widget that is not shown", __FILE__, __LINE__);
        return nullptr;
    }
    if (!top->windowHandle()->isExposed() && !QTest::qWaitForWindowExposed(top->windowHandle()))
        QTest::qVerify(false, "exposed_window", "window never exposed", __FILE__, __LINE__);
    return top->windowHandle();
}

// Shows `window`, waits until it is exposed and makes it the active window, as a user's click on it does.
inline bool show_active(QWidget* window) {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowExposed(window) && QTest::qWaitForWindowActive(window);
}

enum class Mouse { press, release, click, double_click, move };

// `pos` is in `target`'s coordinates, its centre by default.
inline void mouse(Mouse action, QWidget* target, std::optional<QPoint> pos = {},
                  Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton) {
    QWindow* window = exposed_window(target);
    if (!window) return;
    const QPoint at = target->mapTo(target->window(), pos.value_or(target->rect().center()));
    switch (action) {
        case Mouse::press:
            QTest::mousePress(window, button, modifiers, at);
            break;
        case Mouse::release:
            QTest::mouseRelease(window, button, modifiers, at);
            break;
        case Mouse::click:
            QTest::mouseClick(window, button, modifiers, at);
            break;
        case Mouse::double_click:
            QTest::mouseDClick(window, button, modifiers, at);
            break;
        case Mouse::move:
            QTest::mouseMove(window, at);
            break;
    }
}
inline void click(QWidget* target, std::optional<QPoint> pos = {}, Qt::KeyboardModifiers modifiers = {},
                  Qt::MouseButton button = Qt::LeftButton) {
    mouse(Mouse::click, target, pos, modifiers, button);
}
inline void double_click(QWidget* target, std::optional<QPoint> pos = {},
                         Qt::KeyboardModifiers modifiers = {}) {
    mouse(Mouse::double_click, target, pos, modifiers);
}
inline void press(QWidget* target, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    mouse(Mouse::press, target, pos, {}, button);
}
inline void release(QWidget* target, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    mouse(Mouse::release, target, pos, {}, button);
}
inline void move(QWidget* target, QPoint pos) {
    mouse(Mouse::move, target, pos);
}

// The window the keyboard goes to: the one with the focus.
inline QWindow* focus_window() {
    QWindow* window = QGuiApplication::focusWindow();
    if (!window) QTest::qVerify(false, "focus_window", "no window has the focus", __FILE__, __LINE__);
    return window;
}

enum class Key { press, release, click };

inline void key_to_focus(Qt::Key key, Qt::KeyboardModifiers modifiers = {}, Key action = Key::click) {
    QWindow* window = focus_window();
    if (!window) return;
    switch (action) {
        case Key::press:
            QTest::keyPress(window, key, modifiers);
            break;
        case Key::release:
            QTest::keyRelease(window, key, modifiers);
            break;
        case Key::click:
            QTest::keyClick(window, key, modifiers);
            break;
    }
}

// Types `text` character by character, each a key with its text as a keyboard or an input method gives it.
inline void type_to_focus(const QString& text) {
    for (const QChar c : text) {
        QWindow* window = focus_window();
        if (!window) return;
        const Qt::Key key = c.isLetterOrNumber() && c.unicode() < 0x80
                                ? Qt::Key(c.toUpper().unicode())
                                : (c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key_unknown);
        QTest::sendKeyEvent(QTest::Click, window, key, QString(c), {});
    }
}

// Waits until the main dialog and both canvases are exposed, as they are before a user can touch them.
inline bool windows_exposed(Application& app) {
    for (QWidget* window :
         {static_cast<QWidget*>(app.main_dialog()), static_cast<QWidget*>(app.preview_canvas()),
          static_cast<QWidget*>(app.library_canvas())})
        if (!window || !QTest::qWaitForWindowExposed(window)) return false;
    return true;
}

// The fixture of every GUI test program. Each test case gets a home of its own and a fresh scripted UI;
// start() starts the program there. cleanup() shuts the program down and fails the case when the script
// went wrong or an answer was left unused, so no test passes on a question the program never asked.
// A fixture that needs more set-up declares its own init() or cleanup() and calls these.
class GuiTest : public QObject {
    Q_OBJECT

  protected Q_SLOTS:
    void init() {
        shut_down();
        home_ = std::make_unique<TestHome>();
        ui_ = std::make_unique<ScriptedUiServices>();
    }
    void cleanup() {
        shut_down();
        const std::unique_ptr<ScriptedUiServices> ui = std::move(ui_);
        home_.reset();
        std::string errors;
        for (const std::string& error : ui->script_errors()) errors += error + "; ";
        QVERIFY2(ui->script_errors().empty(), errors.c_str());
        QCOMPARE(ui->unused_answers(), std::size_t{0});
    }

  protected:
    enum class Widths { test, font };

    // Starts the program with the library in this case's home and `extra_ini` after it in the settings
    // file, and waits until its windows are exposed. The events of the start are cleared. `started()`
    // tells whether it got that far.
    void start(const std::string& extra_ini = {}, Widths widths = Widths::test) {
        started_ = false;
        home_->write_settings("[file]" + ini_line_end_ + "library_filename=" + home_->file("lib.aal") +
                              ini_line_end_ + extra_ini);
        app_ = std::make_unique<Application>(*ui_);
        if (widths == Widths::test) app_->context().build_widths = build_test_widths;
        QCOMPARE(app_->start(home_->environment()), StartResult::running);
        ctx_ = &app_->context();
        QVERIFY(windows_exposed(*app_));
        dialog_ = app_->main_dialog();
        ui_->clear_events();
        started_ = true;
    }
    bool started() const { return started_; }
    void shut_down() {
        if (app_) app_->shut_down();
        app_.reset();
        ctx_ = nullptr;
        dialog_ = nullptr;
    }

    Page& preview() { return ctx_->preview_page(); }
    Page& library() { return ctx_->library_page(); }

    std::string ini_line_end_ = "\n";  // of the settings file start() writes
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<ScriptedUiServices> ui_;
    std::unique_ptr<Application> app_;
    AppContext* ctx_ = nullptr;
    MainDialog* dialog_ = nullptr;

  private:
    bool started_ = false;
};

}  // namespace glyphora::test
