// The desktop program: start-up, the main dialog's loop, shut-down.

#include <QApplication>

#include "app/application.h"
#include "platform/qt_ui_services.h"

#ifdef GLYPHORA_WIDGET_MAP
#include "app/widget_map.h"
#endif

int main(int argc, char** argv) {
    QApplication qt_application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glyphora"));
    // The program ends when the main dialog ends, not when some window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    glyphora::install_qt_translations(qt_application);

#ifdef GLYPHORA_WIDGET_MAP
    glyphora::install_widget_map_from_environment();  // the end-to-end tests' copy only
#endif

    glyphora::QtUiServices ui;
    glyphora::Application program(ui);
    if (program.start(glyphora::StartupEnvironment::current()) == glyphora::StartResult::running)
        program.run();
    program.shut_down();
    return 0;
}
