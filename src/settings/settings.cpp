#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "model/sjis.h"

namespace glyphora {

namespace {

constexpr std::array<std::string_view, kCanvasCount> kWindowSections = {"window0", "window1"};
constexpr std::array<int, kCanvasCount> kWindowDefaultPosition = {16, 32};
constexpr std::array<int, kCanvasCount> kWindowDefaultClient = {416, 432};

constexpr std::array<std::string_view, kMenuTextCount> kMenuchrKeys = {
    "menuchr0", "menuchr1", "menuchr2", "menuchr3", "menuchr4",
    "menuchr5", "menuchr6", "menuchr7", "menuchr8", "menuchr9",
};

constexpr std::array<std::string_view, kRecentTextCount> kMruKeys = {
    "mru0", "mru1", "mru2",  "mru3",  "mru4",  "mru5",  "mru6",  "mru7",
    "mru8", "mru9", "mru10", "mru11", "mru12", "mru13", "mru14", "mru15",
};

IniDocument load_for_reading(const SettingsFile& file) {
    IniDocument doc;
    file.load(doc);  // an unreadable file reads as an empty one: every key its default
    return doc;
}

// Windows parked off screen (a minimised window reports -32000) come back at the screen's edge.
constexpr int on_screen(int position) {
    return position < 0 ? 4 : position;
}

void read_startup(const IniDocument& doc, Settings& s) {
    namespace k = settings_keys;
    s.render_pageflag = read_setting(doc, k::render_pageflag);
    s.multilibrary = read_setting(doc, k::multilibrary);
    s.totalfontsize = read_setting(doc, k::totalfontsize);
    for (int i = 0; i < RenderSettings::kCount; ++i) s.render.flag(i) = read_setting(doc, k::render_flag(i));
    s.renderexactfill = read_setting(doc, k::renderexactfill);
    s.renderunicodefill = read_setting(doc, k::renderunicodefill);
    s.fontpoint = read_setting(doc, k::fontpoint);
    s.fontface = read_setting(doc, k::fontface);
    for (int i = 0; i < kMenuTextCount; ++i) s.menuchr[i] = read_setting(doc, k::menuchr(i));
    s.asciiset_filename = read_setting(doc, k::asciiset_filename);
    s.hanten_filename = read_setting(doc, k::hanten_filename);
    s.hanten_filename2 = read_setting(doc, k::hanten_filename2);
    s.library_filename = read_setting(doc, k::library_filename);
}

WindowPlacement read_window(const IniDocument& doc, Side side, const WindowMetrics& metrics) {
    namespace k = settings_keys;
    WindowPlacement w;
    w.x = on_screen(read_setting(doc, k::window_x(side)));
    w.y = on_screen(read_setting(doc, k::window_y(side)));
    w.wx = read_setting(doc, k::window_wx(side, metrics));
    w.wy = read_setting(doc, k::window_wy(side, metrics));
    w.boxflag = read_setting(doc, k::boxflag(side));
    return w;
}

DialogPlacement read_dialog(const IniDocument& doc) {
    namespace k = settings_keys;
    DialogPlacement d;
    d.x = on_screen(read_setting(doc, k::dialog_x));
    d.y = on_screen(read_setting(doc, k::dialog_y));
    d.cx = read_setting(doc, k::dialog_cx);
    d.cy = read_setting(doc, k::dialog_cy);
    return d;
}

std::array<std::string, kRecentTextCount> read_mru(const IniDocument& doc) {
    std::array<std::string, kRecentTextCount> texts;
    for (int i = 0; i < kRecentTextCount; ++i) texts[i] = read_setting(doc, settings_keys::mru(i));
    return texts;
}

IoResult write_entries(SettingsFile& file, const std::vector<SettingsEntry>& entries) {
    return file.write(std::span(entries.data(), entries.size()));
}

}  // namespace

namespace settings_keys {

BoolKey render_flag(int i) {
    return {"option", kRenderFlagKeys[i], default_global_render_settings().flag(i)};
}

StringKey menuchr(int i) {
    return {"menu", kMenuchrKeys[i], "", kMenuTextCapacity};
}

IntKey window_x(Side side) {
    return {kWindowSections[index_of(side)], "x", kWindowDefaultPosition[index_of(side)]};
}
IntKey window_y(Side side) {
    return {kWindowSections[index_of(side)], "y", kWindowDefaultPosition[index_of(side)]};
}

IntKey window_wx(Side side, const WindowMetrics& m) {
    return {kWindowSections[index_of(side)], "wx", 2 * m.frame_width + kWindowDefaultClient[index_of(side)]};
}

// The height default adds the border width, not a border height, twice: kept as stored files expect.
IntKey window_wy(Side side, const WindowMetrics& m) {
    return {kWindowSections[index_of(side)], "wy",
            m.caption_height + 2 * m.frame_width + kWindowDefaultClient[index_of(side)]};
}

BoolKey boxflag(Side side) {
    return {kWindowSections[index_of(side)], "boxflag", true};
}

StringKey mru(int i) {
    return {"text", kMruKeys[i], "", kRecentTextCapacity};
}

StringKey collection_folder(int i) {
    // The key names must outlive the entries that view them.
    static const std::array<std::string, kCollectionFolderCount> names = [] {
        std::array<std::string, kCollectionFolderCount> n;
        for (int k = 0; k < kCollectionFolderCount; ++k) n[k] = "folder" + std::to_string(k);
        return n;
    }();
    return {"collection", names[static_cast<std::size_t>(i)], "", kCollectionFolderCapacity};
}

}  // namespace settings_keys

int read_setting(const IniDocument& doc, const IntKey& key) {
    return doc.read_int(key.section, key.key, key.default_value);
}

bool read_setting(const IniDocument& doc, const BoolKey& key) {
    return doc.read_int(key.section, key.key, key.default_value ? 1 : 0) != 0;
}

std::string read_setting(const IniDocument& doc, const StringKey& key) {
    return doc.read_string(key.section, key.key, key.default_value, key.capacity);
}

int read_setting(const SettingsFile& file, const IntKey& key) {
    return read_setting(load_for_reading(file), key);
}
bool read_setting(const SettingsFile& file, const BoolKey& key) {
    return read_setting(load_for_reading(file), key);
}
std::string read_setting(const SettingsFile& file, const StringKey& key) {
    return read_setting(load_for_reading(file), key);
}

SettingsEntry setting_entry(const IntKey& key, int value) {
    return int_entry(key.section, key.key, value);
}
SettingsEntry setting_entry(const BoolKey& key, bool value) {
    return bool_entry(key.section, key.key, value);
}
SettingsEntry setting_entry(const StringKey& key, std::string_view value) {
    return string_entry(key.section, key.key, value);
}

IoResult write_setting(SettingsFile& file, const IntKey& key, int value) {
    return write_entries(file, {setting_entry(key, value)});
}
IoResult write_setting(SettingsFile& file, const BoolKey& key, bool value) {
    return write_entries(file, {setting_entry(key, value)});
}
IoResult write_setting(SettingsFile& file, const StringKey& key, std::string_view value) {
    return write_entries(file, {setting_entry(key, value)});
}

void read_startup_settings(const SettingsFile& file, Settings& settings) {
    read_startup(load_for_reading(file), settings);
}

WindowPlacement read_window_placement(const SettingsFile& file, Side side, const WindowMetrics& metrics) {
    return read_window(load_for_reading(file), side, metrics);
}

bool read_boxflag(const SettingsFile& file, Side side) {
    return read_setting(file, settings_keys::boxflag(side));
}

DialogPlacement read_dialog_placement(const SettingsFile& file) {
    return read_dialog(load_for_reading(file));
}

std::string read_renderext(const SettingsFile& file) {
    return read_setting(file, settings_keys::renderext);
}

std::array<std::string, kRecentTextCount> read_recent_texts(const SettingsFile& file) {
    return read_mru(load_for_reading(file));
}

std::string read_mojisample(const SettingsFile& file) {
    return read_setting(file, settings_keys::mojisample);
}

void read_all(const SettingsFile& file, Settings& settings, const WindowMetrics& metrics) {
    read_all(load_for_reading(file), settings, metrics);
}

void read_all(const IniDocument& doc, Settings& settings, const WindowMetrics& metrics) {
    read_startup(doc, settings);
    for (Side side : {Side::preview, Side::library})
        settings.window[index_of(side)] = read_window(doc, side, metrics);
    settings.dialog = read_dialog(doc);
    settings.renderext = read_setting(doc, settings_keys::renderext);
    settings.mru = read_mru(doc);
    settings.mojisample = read_setting(doc, settings_keys::mojisample);
}

IoResult write_options(SettingsFile& file, const Settings& s, bool full_sheet) {
    namespace k = settings_keys;
    std::vector<SettingsEntry> entries;
    if (full_sheet) {
        entries.push_back(setting_entry(k::multilibrary, s.multilibrary));
        entries.push_back(setting_entry(k::fontpoint, s.fontpoint));
        entries.push_back(setting_entry(k::totalfontsize, s.totalfontsize));
        entries.push_back(setting_entry(k::asciiset_filename, s.asciiset_filename));
        entries.push_back(setting_entry(k::hanten_filename, s.hanten_filename));
        entries.push_back(setting_entry(k::hanten_filename2, s.hanten_filename2));
        entries.push_back(setting_entry(k::fontface, s.fontface));
        for (int i = 0; i < kMenuTextCount; ++i)
            entries.push_back(setting_entry(k::menuchr(i), s.menuchr[i]));
    }
    entries.push_back(setting_entry(k::render_pageflag, s.render_pageflag));
    for (int i = 0; i < RenderSettings::kCount; ++i)
        entries.push_back(setting_entry(k::render_flag(i), s.render.flag(i)));
    entries.push_back(setting_entry(k::renderexactfill, s.renderexactfill));
    entries.push_back(setting_entry(k::renderunicodefill, s.renderunicodefill));
    return write_entries(file, entries);
}

IoResult write_library_filename(SettingsFile& file, std::string_view path) {
    return write_setting(file, settings_keys::library_filename, path);
}

IoResult write_renderext(SettingsFile& file, std::string_view extension) {
    return write_setting(file, settings_keys::renderext, extension);
}

IoResult write_window_position(SettingsFile& file, Side side, int x, int y) {
    return write_entries(file, {setting_entry(settings_keys::window_x(side), x),
                                setting_entry(settings_keys::window_y(side), y)});
}

IoResult write_window_size(SettingsFile& file, Side side, int wx, int wy) {
    const WindowMetrics any;  // only the key names are needed, and they do not depend on the metrics
    return write_entries(file, {setting_entry(settings_keys::window_wx(side, any), wx),
                                setting_entry(settings_keys::window_wy(side, any), wy)});
}

IoResult write_boxflag(SettingsFile& file, Side side, bool boxflag) {
    return write_setting(file, settings_keys::boxflag(side), boxflag);
}

IoResult write_dialog_placement(SettingsFile& file, const DialogPlacement& p) {
    namespace k = settings_keys;
    return write_entries(file, {setting_entry(k::dialog_x, p.x), setting_entry(k::dialog_y, p.y),
                                setting_entry(k::dialog_cx, p.cx), setting_entry(k::dialog_cy, p.cy)});
}

IoResult write_recent_text(SettingsFile& file, int index, std::string_view text) {
    return write_setting(file, settings_keys::mru(index), text);
}

IoResult write_mojisample(SettingsFile& file, std::string_view stored) {
    return write_setting(file, settings_keys::mojisample, stored);
}

float points_from_tenths(int tenths) {
    return static_cast<float>(tenths) * 0.1f;
}

int tenths_from_points(float points) {
    const float tenths = points * 10.0f;
    // Converting a float outside the int range is undefined; such an entry stores the nearest int.
    if (std::isnan(tenths)) return 0;
    if (tenths >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (tenths <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(tenths);
}

std::string decode_mojisample(std::string_view stored) {
    std::string out;
    out.reserve(stored.size() + 8);
    std::size_t pos = 0;
    while (pos < stored.size()) {
        if (stored[pos] == '\\' && pos + 1 < stored.size() && stored[pos + 1] == 'n') {
            out += "\r\n";
            pos += 2;
            continue;
        }
        const auto len = static_cast<std::size_t>(char_at(stored, pos).length);
        out.append(stored.substr(pos, len));
        pos += len;
    }
    return out;
}

std::string encode_mojisample(std::string_view text) {
    text = text.substr(0, kMojiSampleCapacity - 1);
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            out += "\\n";
            pos += (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            continue;
        }
        // A line break is never a trail byte: a lead byte before one stands alone, and the break is kept.
        std::size_t len = static_cast<std::size_t>(char_at(text, pos).length);
        if (len == 2 && (text[pos + 1] == '\r' || text[pos + 1] == '\n')) len = 1;
        out.append(text.substr(pos, len));
        pos += len;
    }
    return out;
}

CollectionWindowSettings read_collection_window(const SettingsFile& file) {
    namespace k = settings_keys;
    const IniDocument doc = load_for_reading(file);
    CollectionWindowSettings c;
    c.open = read_setting(doc, k::collection_open);
    c.x = on_screen(read_setting(doc, k::collection_x));
    c.y = on_screen(read_setting(doc, k::collection_y));
    c.cx = read_setting(doc, k::collection_cx);
    c.cy = read_setting(doc, k::collection_cy);
    c.zoom = read_setting(doc, k::collection_zoom);
    const int count = std::clamp(read_setting(doc, k::collection_folders), 0, kCollectionFolderCount);
    for (int i = 0; i < count; ++i) {
        std::string folder = read_setting(doc, k::collection_folder(i));
        if (!folder.empty()) c.folders.push_back(std::move(folder));
    }
    return c;
}

IoResult write_collection_open(SettingsFile& file, bool open) {
    return write_setting(file, settings_keys::collection_open, open);
}

IoResult write_collection_geometry(SettingsFile& file, int x, int y, int cx, int cy) {
    namespace k = settings_keys;
    return write_entries(file, {setting_entry(k::collection_x, x), setting_entry(k::collection_y, y),
                                setting_entry(k::collection_cx, cx), setting_entry(k::collection_cy, cy)});
}

IoResult write_collection_zoom(SettingsFile& file, int zoom) {
    return write_setting(file, settings_keys::collection_zoom, zoom);
}

IoResult write_collection_folders(SettingsFile& file, const std::vector<std::string>& folders) {
    namespace k = settings_keys;
    const int count = static_cast<int>(std::min<std::size_t>(folders.size(), kCollectionFolderCount));
    std::vector<SettingsEntry> entries{setting_entry(k::collection_folders, count)};
    for (int i = 0; i < count; ++i) entries.push_back(setting_entry(k::collection_folder(i), folders[i]));
    return write_entries(file, entries);
}

}  // namespace glyphora
