#pragma once
// Placing imported AAs into the library: each AA becomes one part, the parts flow in reading order left to
// right and wrap at the page width, rows never overlap, and placement goes on to the next free library page
// when a page's 50 slots or its height run out. The placement is planned first without touching the book;
// applying the plan writes exactly what it lists, so a caller can look at what did not fit before anything
// changes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/aa_formats.h"
#include "model/books.h"
#include "render/char_width_table.h"

namespace glyphora {

// One file's AAs, in reading order. name is the file's path or name as the user gave it (UTF-8): new pages
// are named after it.
struct ImportFile {
    std::string name;
    std::vector<AaEntry> entries;
};

struct ImportOptions {
    int start_page = 0;     // the first library page to use (0 to 19)
    bool replace = false;   // false: pages with parts are skipped; true: they are cleared and reused
    int page_width = 432;   // where a row wraps, in pixels (the library canvas's default client width)
    int page_height = 432;  // where a page ends, in pixels
    int gap = 16;           // pixels between two parts of a row; rows are one line height apart
};

// One AA, by its place in the list of files.
struct AaRef {
    int file = 0;
    int entry = 0;
    friend bool operator==(const AaRef&, const AaRef&) = default;
};

struct PlacedAa {
    AaRef aa;
    int page = 0;
    int slot = 0;
    int32_t x = 0, y = 0;
    Box box;                     // as the canvas measures it at (x, y)
    std::string name;            // Shift_JIS, at most kNameCapacity - 1 bytes
    std::size_t text_bytes = 0;  // how much of the AA's text the part holds (all of it unless it was cut)
};

struct CutAa {
    AaRef aa;
    std::size_t original_bytes = 0;
    std::size_t kept_bytes = 0;
};

// A library page the plan fills.
struct ImportPage {
    int page = 0;
    std::string name;          // Shift_JIS: "<file name> <n>", n counting the pages the file started
    bool had_content = false;  // it held parts, which applying the plan clears (only with replace)
};

struct ImportPlan {
    bool ok = false;
    std::string error;              // UTF-8, when !ok (nothing is planned then)
    std::vector<ImportPage> pages;  // in the order they are filled
    std::vector<PlacedAa> placed;   // in reading order
    std::vector<AaRef> not_placed;  // the AAs after the last one that found room, in reading order
    std::vector<CutAa> cut;         // AAs longer than a part holds, cut at a whole line or character
};

// Where every AA of the files would go. widths must be built (it measures the parts); an empty library
// page is one without parts in use (its name does not count). Fails for a start page outside 0 to 19 or
// an unbuilt width table.
ImportPlan plan_import(const LibraryBook& book, std::span<const ImportFile> files,
                       const CharWidthTable& widths, const ImportOptions& options = {});

// Writes the plan into the book: every page it lists is cleared and named, and every placed AA becomes a
// part (a cleared slot, then position, text, name and box). files must be those the plan was made from;
// false, with the book untouched, when the plan does not fit them or is not ok.
bool apply_import(LibraryBook& book, const ImportPlan& plan, std::span<const ImportFile> files);

// plan_import, then apply_import of what fits; the result lists what did not.
ImportPlan import_into_library(LibraryBook& book, std::span<const ImportFile> files,
                               const CharWidthTable& widths, const ImportOptions& options = {});

// The part name for an AA: the title when it has one, else the first line that is not blank (spaces,
// full-width spaces and space markup collapse to one half-width space), cut at a whole character to fit.
std::string aa_part_name(std::string_view title, std::string_view text);

// The longest front of text that a part holds: all of it when it fits, else cut before the line end of the
// last whole line that fits (when that keeps at least half), else at a whole character.
std::size_t part_text_length(std::string_view text);

// "<base> <number>" in Shift_JIS within the name capacity, base being the file name without folder and
// extension (UTF-8, converted); "import" when that is empty or has no Shift_JIS form.
std::string import_page_name(std::string_view file_name, int number);

}  // namespace glyphora
