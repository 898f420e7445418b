// The settings file reader and writer on arbitrary bytes: reading never fails or crashes, a file parsed
// and serialised again is unchanged, every typed value respects its capacity, and a value set reads back
// exactly while every other value stays as it was.
//
// Input: the file's bytes, optionally followed by "\0\0" and a section, key and value separated by NUL
// bytes, which are then set as well.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ini_document.h"
#include "settings/settings.h"

namespace {

using glyphora::IniDocument;
using glyphora::Settings;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void check_capacities(const Settings& s) {
    using namespace glyphora;
    namespace k = settings_keys;
    check(s.fontface.size() < k::fontface.capacity);
    check(s.library_filename.size() < kPathCapacity && s.asciiset_filename.size() < kPathCapacity);
    check(s.hanten_filename.size() < kPathCapacity && s.hanten_filename2.size() < kPathCapacity);
    check(s.renderext.size() < kPathCapacity && s.mojisample.size() < kMojiSampleCapacity);
    for (const auto& m : s.menuchr) check(m.size() < kMenuTextCapacity && m.find('\0') == m.npos);
    for (const auto& m : s.mru) check(m.size() < kRecentTextCapacity && m.find('\0') == m.npos);
    for (const auto& w : s.window) check(w.x >= 0 && w.y >= 0);
    check(s.dialog.x >= 0 && s.dialog.y >= 0);
}

// Sets one value and checks that it reads back exactly, survives a round trip through the file's bytes,
// and that of the typed settings only what `patch` changes has changed.
template <typename Patch>
void set_and_check(IniDocument& doc, std::string_view section, std::string_view key, std::string_view value,
                   Patch patch) {
    Settings expected;
    glyphora::read_all(doc, expected);
    const std::string text_before = doc.serialise();
    const std::string reason = doc.set(section, key, value);
    if (!reason.empty()) {
        check(doc.serialise() == text_before);
        return;
    }
    check(doc.find(section, key) == value);
    const IniDocument again = IniDocument::parse(doc.serialise());
    check(again.find(section, key) == value);
    check(again.serialise() == doc.serialise());
    patch(expected);
    Settings after;
    glyphora::read_all(again, after);
    check(after == expected);
    check_capacities(after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(std::string_view("\0\0", 2));
    const std::string_view file = input.substr(0, split);

    IniDocument doc = IniDocument::parse(file);
    check(doc.serialise() == file);

    Settings settings;
    glyphora::read_all(doc, settings, glyphora::WindowMetrics{4, 20});
    check_capacities(settings);
    (void)doc.read_int("option", "totalfontsize", 90);

    // A known key with an ordinary value, a key in a section that may be new, and a value made of the
    // file's own bytes (line breaks and NULs make it one that must be refused).
    set_and_check(doc, "option", "totalfontsize", "95", [](Settings& s) { s.totalfontsize = 95; });
    set_and_check(doc, "Window1", "BOXFLAG", "0", [](Settings& s) { s.window[1].boxflag = false; });
    const std::string_view mru = file.substr(0, std::min<std::size_t>(80, file.find_first_of("\r\n")));
    set_and_check(doc, "text", "mru3", mru, [&](Settings& s) {
        s.mru[3] = std::string(mru.substr(0, glyphora::kRecentTextCapacity - 1));
    });

    if (split != std::string_view::npos) {
        std::string_view rest = input.substr(split + 2);
        const std::size_t a = rest.find('\0');
        const std::string_view section = rest.substr(0, a);
        rest = a == rest.npos ? std::string_view() : rest.substr(a + 1);
        const std::size_t b = rest.find('\0');
        const std::string_view key = rest.substr(0, b);
        const std::string_view value = b == rest.npos ? std::string_view() : rest.substr(b + 1);
        // Any key may be one of the typed ones, so only the exact read-back and the round trip are checked.
        const std::string before = doc.serialise();
        if (doc.set(section, key, value).empty()) {
            check(doc.find(section, key) == value);
            check(IniDocument::parse(doc.serialise()).find(section, key) == value);
        } else {
            check(doc.serialise() == before);
        }
    }
    return 0;
}
