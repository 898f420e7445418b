// The desktop program: start-up, the main dialog's loop, shut-down.

#include <QApplication>

#include "app/application.h"
#include "app/widget_map.h"
#include "platform/qt_ui_services.h"

int main(int argc, char** argv) {
    QApplication qt_application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glyphora"));
    // The program ends when the main dialog ends, not when some window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    glyphora::install_qt_translations(qt_application);

    glyphora::install_widget_map_from_environment();  // end-to-end tests only

    glyphora::QtUiServices ui;
    glyphora::Application program(ui);
    if (program.start(glyphora::StartupEnvironment::current()) == glyphora::StartResult::running)
        program.run();
    program.shut_down();
    return 0;
}
