#pragma once
// Placing imported AAs into the library: each AA becomes one part, the parts flow in reading order left to
// right and wrap at the page width, rows never overlap, and placement goes on to the next free library page
// when a page's 50 slots or its height run out. The placement is planned first without touching the book;
// applying the plan writes exactly what it lists, so a caller can look at what did not fit before anything
// changes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/aa_formats.h"
#include "exchange/aa_text.h"
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

// AAs of one file that found no room: entries first to first + count - 1.
struct UnplacedAas {
    int file = 0;
    int first = 0;
    std::size_t count = 0;
    friend bool operator==(const UnplacedAas&, const UnplacedAas&) = default;
};

struct ImportPlan {
    bool ok = false;
    std::string error;              // UTF-8, when !ok (nothing is planned then)
    std::vector<ImportPage> pages;  // in the order they are filled
    std::vector<PlacedAa> placed;   // in reading order
    // The AAs after the last one that found room, in reading order: the rest of one file and every AA of
    // the files after it, one entry per file that has any.
    std::vector<UnplacedAas> not_placed;
    std::vector<CutAa> cut;  // AAs longer than a part holds, cut at a whole line or character
};

// How many AAs did not fit, in all files.
std::size_t not_placed_count(const ImportPlan& plan);

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

// A file to import as it was read: its name as for ImportFile, its format and its bytes, not yet split.
struct ImportSource {
    std::string name;
    AaFormat format = AaFormat::mlt;
    std::string bytes;
};

struct SourceImport {
    ImportPlan plan;
    // One per source, with its name: the AAs that were decoded (every placed one among them, at the index
    // its AaRef gives); the AAs that did not fit are left out.
    std::vector<ImportFile> files;
    std::vector<DecodeReport> reports;  // one per source: the decoding of those AAs
    bool cancelled = false;             // progress asked to stop: nothing is planned (plan.ok is false)
};

// Called after each AA with how many bytes of all sources are gone through and how many there are; false
// stops the work. It runs on the thread the work runs on.
using ImportProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// plan_import for sources not yet split. Each AA is decoded only when the library still has room for it:
// once it has none, the rest are counted in plan.not_placed without being decoded. Every source is opened
// first (see AaSplitter), and a source that cannot be read fails the whole plan, its name in the error.
SourceImport plan_source_import(const LibraryBook& book, std::span<const ImportSource> sources,
                                const CharWidthTable& widths, const ImportOptions& options = {},
                                const ImportProgress& progress = {});

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
