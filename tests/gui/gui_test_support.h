#pragma once
// Helpers of the GUI tests: a fresh settings home per test, the widths of tests/data/test_metrics.txt in
// place of a font, and small files.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <string>

#include "session/app_context.h"
#include "app/application.h"
#include "render/char_width_table.h"

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

}  // namespace glyphora::test
