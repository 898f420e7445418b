// The end-to-end tests' widget map: with GLYPHORA_WIDGET_MAP naming a file the running program keeps its
// controls there; with the variable unset it writes nothing.

#include <QDir>
#include <QTest>

#include "app/widget_map.h"
#include "qtest_support/test_support.h"

using namespace glyphora;
using glyphora::test::TestHome;

class WidgetMapTest : public test::GuiTest {
    Q_OBJECT

  private Q_SLOTS:
    void the_map_is_written_only_when_the_variable_names_a_file();
};

void WidgetMapTest::the_map_is_written_only_when_the_variable_names_a_file() {
    // As main() does it: the seam first, then the start-up, here from an empty current folder.
    const QString folder = QString::fromStdString(home_->file("cwd"));
    QVERIFY(QDir().mkpath(folder));
    struct RestoreCurrent {
        QString path = QDir::currentPath();
        ~RestoreCurrent() { QDir::setCurrent(path); }
    } restore;
    QVERIFY(QDir::setCurrent(folder));
    qunsetenv("GLYPHORA_WIDGET_MAP");
    install_widget_map_from_environment();
    start();
    QTest::qWait(1000);  // several ticks of the map's timer, had it started
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    // The same program asked for a map writes one, with the main dialog's controls by id.
    const std::string map = home_->file("cwd/widgets.txt");
    qputenv("GLYPHORA_WIDGET_MAP", QByteArray::fromStdString(map));
    install_widget_map_from_environment();
    qunsetenv("GLYPHORA_WIDGET_MAP");
    QTRY_VERIFY_WITH_TIMEOUT(TestHome::exists(map), 5000);
    QVERIFY(TestHome::read_file(map).find("Glyphora\tid:2\t") != std::string::npos);
}

QTEST_MAIN(WidgetMapTest)
#include "widget_map_test.moc"
