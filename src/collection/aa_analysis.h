#pragma once
// What the index keeps of one collection file: its AAs split and decoded as the import reads them, each
// with its place in the file, its size as the canvases measure it, a hash of its text and the words to find
// it by. Heading-only entries name the AAs after them and are no AAs of their own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/aa_formats.h"
#include "render/char_width_table.h"

namespace glyphora::collection {

// A heading-only entry: after trimming blank lines and spaces, one line of at most kMaxHeadingBytes bytes
// that has a letter, kana, kanji or digit and is either enclosed in one bracket pair (【】 ［］ [] 〔〕
// 《》 ≪≫ 〈〉 『』) or begins with a mark (■ □ ◆ ◇ ● ○ ★ ☆ ▼ ▽ ▲ △ ◎ ※). One-line faces such as
// "（ ´∀｀）" are AAs, not headings. Gives the heading line as UTF-8.
constexpr std::size_t kMaxHeadingBytes = 120;
bool is_heading(std::string_view sjis_text, std::string& heading_utf8);

// A 64-bit hash of an AA's Shift_JIS text. It is kept in user data (favourites), so it never changes.
std::uint64_t content_hash(std::string_view sjis_text);

struct AaSize {
    int width_px = 0;  // 0 without a built width table
    int lines = 0;     // down to the last line with a character, at least 1
};
// The size of the part the AA becomes (its text cut as the import cuts it), as the canvas measures it.
AaSize measure_aa(std::string_view sjis_text, const CharWidthTable* widths);

struct AnalysedAa {
    int ordinal = 0;                     // 1-based among all entries of the file, heading entries included
    std::size_t offset = 0, length = 0;  // the text's bytes in the file
    int heading = -1;                    // index into AnalysedFile::headings, -1 for none
    std::string title;                   // AST title, UTF-8
    AaSize size;
    std::uint64_t hash = 0;
    std::string words;  // folded runs of the title and the text (the heading's are kept with the heading)
};

struct AnalysedFile {
    bool ok = false;
    std::string error;  // UTF-8, when !ok
    TextEncoding encoding = TextEncoding::sjis;
    std::vector<std::string> headings;       // UTF-8
    std::vector<std::string> heading_words;  // their folded runs
    std::vector<AnalysedAa> aas;             // blank entries and heading entries left out
};

// Bytes of the AA's text kept for search: plenty for the speech of one AA, bounded for the index's size.
constexpr std::size_t kMaxWordBytes = 1024;

AnalysedFile analyse_file(std::string_view bytes, AaFormat format, const CharWidthTable* widths);

// The AA's text from its bytes (text_offset/text_length of the splitter), decoded as the splitter decodes it.
std::string decode_aa_bytes(std::string_view text_bytes, AaFormat format, TextEncoding encoding);

}  // namespace glyphora::collection
