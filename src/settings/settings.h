#pragma once
// Every key of the settings file with its section, type, default and capacity; the settings the program
// holds in memory; and the reads and writes it makes, grouped as the program makes them. This is the one
// place that names keys: other code reads and writes settings through it, never with strings of its own.
// A string read from the file is cut to the capacity of its key; nothing is cut when written.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/part.h"
#include "model/side.h"
#include "settings/ini_document.h"
#include "settings/settings_file.h"

namespace glyphora {

// Capacities of the buffers that receive strings, terminator included: a stored value is read as at most
// one byte less. Paths and the output extension take kPathCapacity.
constexpr std::size_t kFontFaceCapacity = 64;
constexpr std::size_t kMenuTextCapacity = 64;
constexpr std::size_t kRecentTextCapacity = 64;
constexpr std::size_t kMojiSampleCapacity = 600;

constexpr int kMenuTextCount = 10;
constexpr int kRecentTextCount = 16;
constexpr int kCanvasCount = 2;  // a canvas per side, the preview canvas first (see index_of)

struct IntKey {
    std::string_view section;
    std::string_view key;
    int default_value;
};
struct BoolKey {  // stored as an integer: 1 or 0 when written, any non-zero value reads as true
    std::string_view section;
    std::string_view key;
    bool default_value;
};
struct StringKey {
    std::string_view section;
    std::string_view key;
    std::string_view default_value;
    std::size_t capacity;
};

// The platform's sizing-border width and caption height, on which the canvas size defaults depend.
struct WindowMetrics {
    int frame_width = 0;
    int caption_height = 0;
};

namespace settings_keys {

inline constexpr BoolKey render_pageflag{"option", "render_pageflag", false};
inline constexpr IntKey totalfontsize{"option", "totalfontsize", 90};  // tenths of a point
// The global RenderSettings flag i: section "option", key kRenderFlagKeys[i].
BoolKey render_flag(int i);
// Blank runs planned line by line for the fewest characters off their place (experimental). Global only: a
// page's own rendering record, stored in page collection files, has no such flag.
inline constexpr BoolKey renderexactfill{"option", "renderexactfill", false};
// With renderexactfill, the fills may also use the Unicode spaces the font gives a whole-pixel width, written
// as numeric references, where the classic items cannot put a character in place. Global only.
inline constexpr BoolKey renderunicodefill{"option", "renderunicodefill", false};
// The name (UTF-8) of the board profile posts are counted for; empty or unknown: the built-in profile.
inline constexpr StringKey boardprofile{"option", "boardprofile", "", 256};

inline constexpr BoolKey multilibrary{"file", "multilibrary", false};
inline constexpr StringKey library_filename{"file", "library_filename", "", kPathCapacity};
// "-" names no file: the table or character set is then absent.
inline constexpr StringKey asciiset_filename{"file", "asciiset_filename", "-", kPathCapacity};
inline constexpr StringKey hanten_filename{"file", "hanten_filename", "-", kPathCapacity};
inline constexpr StringKey hanten_filename2{"file", "hanten_filename2", "-", kPathCapacity};
inline constexpr StringKey renderext{"file", "renderext", "txt", kPathCapacity};

inline constexpr IntKey fontpoint{"font", "fontpoint", 120};  // tenths of a point
// "ＭＳ Ｐゴシック"
inline constexpr StringKey fontface{
    "font", "fontface", "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E", kFontFaceCapacity};

StringKey menuchr(int i);  // "menuchr0" to "menuchr9" in section "menu", default empty

// Canvas placement, section "window0" or "window1" by canvas kind.
IntKey window_x(Side side);                                 // 16 or 32
IntKey window_y(Side side);                                 // 16 or 32
IntKey window_wx(Side side, const WindowMetrics& metrics);  // 2F + 416 or 2F + 432
IntKey window_wy(Side side, const WindowMetrics& metrics);  // H + 2F + 416 or H + 2F + 432
BoolKey boxflag(Side side);                                 // 1

inline constexpr IntKey dialog_x{"dialog", "x", 16};
inline constexpr IntKey dialog_y{"dialog", "y", 16};
inline constexpr IntKey dialog_cx{"dialog", "cx", 0};
inline constexpr IntKey dialog_cy{"dialog", "cy", 0};

StringKey mru(int i);  // "mru0" (most recent) to "mru15" in section "text", default empty

// The AA collection window, section "collection": whether it was open, its outer position and client size,
// the cell size of its thumbnails and the folders (or ZIP files) of the collection, "folder0" on.
inline constexpr BoolKey collection_open{"collection", "open", false};
inline constexpr IntKey collection_x{"collection", "x", 64};
inline constexpr IntKey collection_y{"collection", "y", 64};
inline constexpr IntKey collection_cx{"collection", "cx", 760};
inline constexpr IntKey collection_cy{"collection", "cy", 560};
inline constexpr IntKey collection_zoom{"collection", "zoom", 128};
inline constexpr IntKey collection_folders{"collection", "folders", 0};
StringKey collection_folder(int i);  // 0 to kCollectionFolderCount - 1

// "＼＼＼／⌒⊃⊃⊇⊂⊆￣ヽ丶〈゛∩∪〉ﾟ∧∧∨￢二〃彡巛彡彳Ц￥⊆∈⊂‐", stored with each line break as "\n".
inline constexpr StringKey mojisample{
    "property", "mojisample",
    "\x81\x5F\x81\x5F\x81\x5F\x81\x5E\x81\xDC\x81\xBD\x81\xBD\x81\xBB\x81\xBC\x81\xBA\x81\x50\x81\x52\x98\xA4"
    "\x81\x71\x81\x4A\x81\xBF\x81\xBE\x81\x72\xDF\x81\xC8\x81\xC8\x81\xC9\x81\xCA\x93\xF1\x81\x56\x9C\x63\x9B"
    "\xDD\x9C\x63\x9C\x65\x84\x57\x81\x8F\x81\xBA\x81\xB8\x81\xBC\x81\x5D",
    kMojiSampleCapacity};

}  // namespace settings_keys

// Typed access to one key. Reads load the file each time; to read many keys, load it once into an
// IniDocument and read from that.
int read_setting(const IniDocument& doc, const IntKey& key);
bool read_setting(const IniDocument& doc, const BoolKey& key);
std::string read_setting(const IniDocument& doc, const StringKey& key);
int read_setting(const SettingsFile& file, const IntKey& key);
bool read_setting(const SettingsFile& file, const BoolKey& key);
std::string read_setting(const SettingsFile& file, const StringKey& key);

SettingsEntry setting_entry(const IntKey& key, int value);
SettingsEntry setting_entry(const BoolKey& key, bool value);
SettingsEntry setting_entry(const StringKey& key, std::string_view value);
IoResult write_setting(SettingsFile& file, const IntKey& key, int value);
IoResult write_setting(SettingsFile& file, const BoolKey& key, bool value);
IoResult write_setting(SettingsFile& file, const StringKey& key, std::string_view value);

// Outer position and size of a canvas window, and whether it frames unselected parts.
struct WindowPlacement {
    int x = 16;
    int y = 16;
    int wx = 416;
    int wy = 416;
    bool boxflag = true;
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// Outer rectangle of the main dialog. Its stored position is used only when cx is not 0; its size never is.
struct DialogPlacement {
    int x = 16;
    int y = 16;
    int cx = 0;
    int cy = 0;
    bool position_applies() const { return cx != 0; }
    friend bool operator==(const DialogPlacement&, const DialogPlacement&) = default;
};

// Paths are longer than a part's path field, so the folders get a capacity of their own.
constexpr std::size_t kCollectionFolderCapacity = 4096;
constexpr int kCollectionFolderCount = 64;

// The collection window's state (section "collection"), read when the window is made.
struct CollectionWindowSettings {
    bool open = settings_keys::collection_open.default_value;
    int x = settings_keys::collection_x.default_value;
    int y = settings_keys::collection_y.default_value;
    int cx = settings_keys::collection_cx.default_value;
    int cy = settings_keys::collection_cy.default_value;
    int zoom = settings_keys::collection_zoom.default_value;
    std::vector<std::string> folders;
    friend bool operator==(const CollectionWindowSettings&, const CollectionWindowSettings&) = default;
};

// Everything the settings file holds, named after the keys, each with its default.
struct Settings {
    // [option]
    bool render_pageflag = settings_keys::render_pageflag.default_value;
    int totalfontsize = settings_keys::totalfontsize.default_value;
    RenderSettings render = default_global_render_settings();  // the global record; keys kRenderFlagKeys
    bool renderexactfill = settings_keys::renderexactfill.default_value;
    bool renderunicodefill = settings_keys::renderunicodefill.default_value;

    // [file]
    bool multilibrary = settings_keys::multilibrary.default_value;
    std::string library_filename{settings_keys::library_filename.default_value};
    std::string asciiset_filename{settings_keys::asciiset_filename.default_value};
    std::string hanten_filename{settings_keys::hanten_filename.default_value};
    std::string hanten_filename2{settings_keys::hanten_filename2.default_value};
    std::string renderext{settings_keys::renderext.default_value};

    // [font]
    int fontpoint = settings_keys::fontpoint.default_value;
    std::string fontface{settings_keys::fontface.default_value};

    // [menu]
    std::array<std::string, kMenuTextCount> menuchr;

    // [window0], [window1], by canvas kind
    std::array<WindowPlacement, kCanvasCount> window = {WindowPlacement{16, 16, 416, 416, true},
                                                        WindowPlacement{32, 32, 432, 432, true}};

    // [dialog]
    DialogPlacement dialog;

    // [text]: the recent texts of the quick text box, most recent first; an empty entry is a free place
    std::array<std::string, kRecentTextCount> mru;

    // [property]: stored form, line breaks as "\n" (see decode_mojisample)
    std::string mojisample{settings_keys::mojisample.default_value};

    friend bool operator==(const Settings&, const Settings&) = default;
};

// --- Reads, in the order and groups the program makes them.

// Start-up: render_pageflag, multilibrary, totalfontsize, the eight render flags, renderexactfill,
// renderunicodefill, fontpoint, fontface, menuchr0-9, asciiset_filename, hanten_filename, hanten_filename2,
// library_filename.
void read_startup_settings(const SettingsFile& file, Settings& settings);

// Just before a canvas is created: x, y, wx, wy, with a negative x or y replaced by 4. The boxflag of the
// result is that of the file too (read as the canvas is created).
WindowPlacement read_window_placement(const SettingsFile& file, Side side, const WindowMetrics& metrics);
bool read_boxflag(const SettingsFile& file, Side side);

// As the main dialog is constructed; a negative x or y is replaced by 4.
DialogPlacement read_dialog_placement(const SettingsFile& file);

std::string read_renderext(const SettingsFile& file);  // output dialog opens
std::array<std::string, kRecentTextCount> read_recent_texts(
    const SettingsFile& file);                          // quick text box opens
std::string read_mojisample(const SettingsFile& file);  // part detail dialog opens; stored form

// All of the above from one reading of the file, in the program's order: start-up, window0 and its boxflag,
// window1 and its boxflag, dialog, renderext, mru0-15, mojisample.
void read_all(const SettingsFile& file, Settings& settings, const WindowMetrics& metrics = {});
void read_all(const IniDocument& doc, Settings& settings, const WindowMetrics& metrics = {});

// --- Writes. Each is one atomic replacement of the file; a failure is returned and nothing is changed.

// The options sheet confirmed. Full sheet: multilibrary, fontpoint, totalfontsize, asciiset_filename,
// hanten_filename, hanten_filename2, fontface, menuchr0-9; then, for both sheets, render_pageflag, the
// eight flags of the global record, renderexactfill and renderunicodefill.
IoResult write_options(SettingsFile& file, const Settings& settings, bool full_sheet);

IoResult write_library_filename(SettingsFile& file, std::string_view path);
IoResult write_renderext(SettingsFile& file, std::string_view extension);
IoResult write_window_position(SettingsFile& file, Side side, int x, int y);
IoResult write_window_size(SettingsFile& file, Side side, int wx, int wy);
IoResult write_boxflag(SettingsFile& file, Side side, bool boxflag);
IoResult write_dialog_placement(SettingsFile& file, const DialogPlacement& placement);  // x, y, cx, cy
IoResult write_recent_text(SettingsFile& file, int index, std::string_view text);
IoResult write_mojisample(SettingsFile& file, std::string_view stored);
// The collection window. A position off screen reads as 4; more than kCollectionFolderCount folders are
// not stored (the index keeps them all).
CollectionWindowSettings read_collection_window(const SettingsFile& file);
IoResult write_collection_open(SettingsFile& file, bool open);
IoResult write_collection_geometry(SettingsFile& file, int x, int y, int cx, int cy);
IoResult write_collection_zoom(SettingsFile& file, int zoom);
IoResult write_collection_folders(SettingsFile& file, const std::vector<std::string>& folders);

// --- Values in memory.

// The options sheet shows a size in tenths of a point as points (times 0.1 in single precision) and stores
// the entered points times 10, truncated toward zero. A value beyond the int range (or not a number)
// stores the nearest int (0 for not a number).
float points_from_tenths(int tenths);
int tenths_from_points(float points);

// The main dialog's font point size: totalfontsize / 10 (integer division).
constexpr int dialog_point_size(int totalfontsize) {
    return totalfontsize / 10;
}

// The character sample as the part detail dialog shows it: each stored "\n" becomes CR LF. A backslash
// that is the trail byte of a double-byte character is not one.
std::string decode_mojisample(std::string_view stored);
// The stored form of a sample text: its first kMojiSampleCapacity - 1 bytes, with each CR LF (or lone LF
// or CR, which the value could not hold) as "\n".
std::string encode_mojisample(std::string_view text);

}  // namespace glyphora
