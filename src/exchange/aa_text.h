#pragma once
// The text of an AA file as the library holds it: the file's bytes (Shift_JIS, or UTF-8 with or without a
// byte order mark) become Shift_JIS with CR LF line ends, and numeric character references become the
// characters they stand for. Nothing is lost without a word: a character code page 932 cannot hold stays
// (or becomes) a reference and is listed in the report with its line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace glyphora {

// How a file's bytes were read. A file of ASCII alone is the same in every encoding and counts as sjis.
enum class TextEncoding { sjis, utf8, utf8_bom };

// "Shift_JIS", "UTF-8" or "UTF-8 with BOM".
const char* encoding_name(TextEncoding encoding);

// One character that code page 932 cannot hold. It is in the text as a reference: the file's own reference
// text, or "&#N;" (decimal) where the file held the character itself.
struct UnconvertibleChar {
    int line = 0;  // 1-based line of the file
    uint32_t code_point = 0;
    std::string kept;             // the reference text now in the AA (ASCII)
    bool from_reference = false;  // the file held a reference (true) or the UTF-8 character (false)
    friend bool operator==(const UnconvertibleChar&, const UnconvertibleChar&) = default;
};

// How many unconvertible characters the report lists one by one; the rest are only counted.
constexpr std::size_t kListedUnconvertible = 5;

struct DecodeReport {
    TextEncoding encoding = TextEncoding::sjis;
    std::size_t references_converted = 0;  // references written as their character or as a space markup
    std::size_t web_space_characters = 0;  // U+00A0, U+2002, U+2009 written as &nbsp; &ensp; &thinsp;
    std::size_t unconvertible_count = 0;   // all of them, listed or not
    std::vector<UnconvertibleChar> unconvertible;  // the first kListedUnconvertible, in file order
    std::size_t nul_bytes_dropped = 0;             // a part text ends at a NUL, so NUL bytes are left out
};

struct DecodedText {
    bool ok = false;
    std::string error;  // UTF-8, when !ok
    std::string text;   // Shift_JIS with CR LF line ends
    DecodeReport report;
};

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool is_strict_utf8(std::string_view bytes);

// UTF-8 when the bytes start with its byte order mark, or hold a byte above 0x7F and are strict UTF-8;
// Shift_JIS otherwise. Japanese Shift_JIS text is as good as never well-formed UTF-8.
TextEncoding detect_encoding(std::string_view bytes);

// The whole decoding of an AA file:
// - UTF-8 becomes Shift_JIS; U+00A0, U+2002 and U+2009 become &nbsp;, &ensp; and &thinsp;; a character code
//   page 932 cannot hold becomes "&#N;" and is reported. Shift_JIS bytes are kept as they are.
// - "&#NNNN;" and "&#xHHHH;" become their character where code page 932 has it (the three web spaces their
//   markup); one it does not have keeps its reference text and is reported. A reference with no digits,
//   more than 7 decimal or 6 hex digits, no ";", a value of 0, a surrogate, a value above U+10FFFF or a
//   control character is no reference here and stays byte for byte.
// - LF and lone CR become CR LF; NUL bytes are dropped and counted.
// Fails only for a UTF-16 file (by its byte order mark), which is no AA file this program reads, and for a
// file that starts with the UTF-8 byte order mark but is not UTF-8 after it (the error names the byte and
// its line).
DecodedText decode_aa_text(std::string_view bytes);

// The two steps of decode_aa_text, for readers that split a file into AAs before they decode it (so that a
// large file is not held twice). open_aa_bytes makes the checks and detects the encoding; the source's
// bytes are those after a byte order mark. decode_aa_piece decodes one piece of them (a piece never
// splits a line) and appends to out; first_line is the piece's first line in the file, for the report,
// whose counts and list it adds to.
struct AaSource {
    bool ok = false;
    std::string error;  // UTF-8, when !ok
    TextEncoding encoding = TextEncoding::sjis;
    std::string_view bytes;
};
AaSource open_aa_bytes(std::string_view bytes);
void decode_aa_piece(std::string_view piece, TextEncoding encoding, int first_line, std::string& out,
                     DecodeReport& report);

// What a user should hear about a decoding, in English (UTF-8), one sentence per line with LF; empty when
// there is nothing to say (plain Shift_JIS without references).
std::string describe_decode_report(const DecodeReport& report);

}  // namespace glyphora
