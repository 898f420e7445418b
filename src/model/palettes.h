#pragma once
// The character palettes of the part detail dialog: eight named strings of Shift_JIS characters, seven
// built in and an empty "favourites", which a character set file in the asciiset.txt format of other AA
// editors may replace section by section. The file is read again each time the palettes are built.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace glyphora {

constexpr int kPaletteCount = 8;
// Capacities, terminator included: a name holds at most 39 bytes, a content at most 799.
constexpr std::size_t kPaletteNameCapacity = 40;
constexpr std::size_t kPaletteContentCapacity = 800;
// The file is read in pieces of at most this many bytes; a longer line counts as several lines.
constexpr std::size_t kCharsetChunk = 99;

struct Palette {
    std::string name;     // Shift_JIS, at most kPaletteNameCapacity - 1 bytes, whole characters
    std::string content;  // Shift_JIS characters without separators, at most kPaletteContentCapacity - 1
    friend bool operator==(const Palette&, const Palette&) = default;
};

using PaletteSet = std::array<Palette, kPaletteCount>;

PaletteSet builtin_palettes();

// Applies the sections of a character set file's contents to palettes, in order from palette 0:
// "[IndexName=name]" starts a section (emptying that palette), the lines up to "[END]" are appended to
// it, lines outside sections are ignored, and a ninth section is not read. Palettes the file does not
// reach keep what they held.
void read_charset_content(PaletteSet& palettes, std::string_view content);

// Reads the character set file at path into palettes. False when it names no file ("-" or empty) or
// cannot be opened; the palettes are then unchanged.
bool load_charset_file(PaletteSet& palettes, const std::string& path);

// The built-in palettes, then the character set file when it can be read: what the dialog shows.
PaletteSet build_palettes(const std::string& charset_path);

// The character codes of a palette's content, one per character (a byte, or lead * 256 + trail).
std::vector<int> palette_codes(std::string_view content);

}  // namespace glyphora
