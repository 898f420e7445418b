// The recovery file moved aside: the copy just made is always kept, and of the older copies the newest by
// their time on disk, whatever their names say.

#include <QTest>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/autosave.h"

namespace fs = std::filesystem;

class RecoveryAsideTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void a_clock_set_back_keeps_the_new_copy_and_the_newest_on_disk();

  private:
    static void write(const fs::path& path, const char* text, fs::file_time_type time) {
        std::ofstream(path) << text;
        fs::last_write_time(path, time);
    }
};

void RecoveryAsideTest::a_clock_set_back_keeps_the_new_copy_and_the_newest_on_disk() {
    const fs::path folder = fs::path(qEnvironmentVariable("GLYPHORA_HOME").toStdString()) / "aside";
    fs::remove_all(folder);
    fs::create_directories(folder);
    // Copies made while the clock ran a year ahead: their names sort after today's, and their times on disk
    // run the other way round from their names (the newest is ...01).
    const auto ahead = fs::file_time_type::clock::now() + std::chrono::hours(24 * 365);
    for (int i = 1; i <= 5; ++i)
        write(folder / ("unsaved-pages-2099010" + std::to_string(i) + "-000000.recovery"), "old",
              ahead - std::chrono::hours(i));
    write(folder / "unsaved-pages.recovery", "new", fs::file_time_type::clock::now());

    const std::string aside = glyphora::keep_recovery_aside((folder / "unsaved-pages.recovery").string());
    QVERIFY(!aside.empty());
    QVERIFY(fs::exists(aside));
    QVERIFY(!fs::exists(folder / "unsaved-pages.recovery"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    const std::string made = fs::path(aside).filename().string();
    const std::vector<std::string> expected{
        made, "unsaved-pages-20990101-000000.recovery", "unsaved-pages-20990102-000000.recovery",
        "unsaved-pages-20990103-000000.recovery", "unsaved-pages-20990104-000000.recovery"};
    QCOMPARE(left, expected);
}

QTEST_GUILESS_MAIN(RecoveryAsideTest)
#include "recovery_aside_test.moc"
