#pragma once
// Conversion between code page 932 (Shift_JIS) and Unicode, used only at the edges: widgets, the
// clipboard, font lookup and the command line. Text that the other side cannot hold is reported with
// the offending character and its position; nothing is replaced silently.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

struct Conversion {
    bool ok = false;
    std::string text;              // the converted text (complete only when ok)
    std::size_t error_offset = 0;  // byte offset in the input of the first character that failed
    std::string bad_char;          // that character as it appeared in the input
};

Conversion utf8_to_sjis(std::string_view utf8);
Conversion sjis_to_utf8(std::string_view sjis);

// Shift_JIS for showing, whatever it holds: a double-byte code that code page 932 has no character for, and
// any other byte that starts no character (a stray byte, a lead byte without a valid trail), each become
// one U+FFFD, and the text after it still shows. U+FFFD cannot be written back to Shift_JIS, so a shown
// text that is edited and stored again is refused rather than silently changed.
// How a byte sequence that is no character is shown: as U+FFFD (in the windows, where a shown text may be
// stored again), or as its bytes in "\xNN" form (in a terminal, where the bytes themselves are the news).
enum class Unconvertible { replacement_character, hex_bytes };
std::string sjis_to_utf8_lenient(std::string_view sjis,
                                 Unconvertible shown_as = Unconvertible::replacement_character);

// A readable message for a failed utf8_to_sjis, e.g. "'€' (U+20AC) at character 3 cannot be written in
// Shift_JIS".
std::string describe_unmappable(std::string_view utf8_input, const Conversion& failed);

// The Unicode scalar value of one Shift_JIS code (one or two bytes), or -1 when code page 932 maps it to
// no character.
int sjis_code_to_unicode(int code);

// The Shift_JIS code (one or two bytes, as model/sjis.h forms it) that utf8_to_sjis writes for one Unicode
// scalar value, or -1 when code page 932 has no character for it. Served from a table built on the first
// call, so it is cheap enough for whole files.
int unicode_to_sjis_code(uint32_t code_point);

// Text that comes into a part from outside the program (the clipboard, a text field) as UTF-8: the web's
// spaces U+00A0, U+2002 and U+2009, which code page 932 lacks, become the part markup "&nbsp;", "&ensp;"
// and "&thinsp;" (5, 8 and 2 pixels); everything else converts as utf8_to_sjis does. On failure
// error_offset and bad_char name the first character that cannot be written, as offsets into utf8.
Conversion utf8_to_part_text(std::string_view utf8);

// The part markup that stands for one of the web's spaces (U+00A0, U+2002, U+2009, which code page 932
// lacks): "&nbsp;", "&ensp;" or "&thinsp;"; empty for any other code point.
std::string_view web_space_markup(uint32_t code_point);

}  // namespace glyphora
