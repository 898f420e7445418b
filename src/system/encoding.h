#pragma once
// Conversion between code page 932 (Shift_JIS) and Unicode, used only at the edges: widgets, the
// clipboard, font lookup and the command line. Text that the other side cannot hold is reported with
// the offending character and its position; nothing is replaced silently.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// spaces U+00A0, U+2002 and U+2009 become the part markup "&nbsp;", "&ensp;" and "&thinsp;" (5, 8 and 2
// pixels); any other character code page 932 lacks becomes a decimal numeric reference ("&#9825;"), which
// the part's readers take as that one character; everything else converts as utf8_to_sjis does. Refused,
// as no part can hold them: NUL (a part's text ends there), U+FFFD (what the windows show for bytes that are
// no character, so storing it would replace those bytes), the C1 controls U+0080 to U+009F (a browser reads
// their references as other characters) and bytes that are no UTF-8. On failure error_offset and bad_char
// name the first of them, as offsets into utf8.
Conversion utf8_to_part_text(std::string_view utf8);

// The longest start of a part's text with at most max_bytes bytes that ends between two of its items: never
// inside a double-byte character, a numeric reference, an entity or a CR LF.
std::string_view part_text_prefix(std::string_view text, std::size_t max_bytes);

// One code point (at most U+10FFFF) as UTF-8.
std::string encode_utf8(uint32_t code_point);

// Whether a text field shows a character written as a numeric reference as the character itself: not a
// control, a line or paragraph separator, something a text document uses for itself (U+FDD0 to U+FDEF,
// U+FFFC), U+FFFD (which stands for bytes that are no character) nor a noncharacter. Such references are
// shown as written.
bool shows_as_itself(char32_t code_point);

// A part's text as a text field shows it, and the way back. Line breaks (CR LF, a lone CR or LF) show as
// "\n", a numeric reference as its character where it shows_as_itself, everything else as
// sjis_to_utf8_lenient shows it; the "&space" declaration lines are shown as written. Each shown character
// remembers the stored bytes it stands for, so an edit changes only the stretch the user changed.
class ShownPartText {
  public:
    explicit ShownPartText(std::string_view stored);

    // The text to show, UTF-8.
    const std::string& utf8() const { return shown_; }

    // The stored form of an edited text (UTF-8, "\n" line breaks). The stored bytes before and after the
    // edited stretch stay as they were; the stretch converts with utf8_to_part_text, its line breaks as
    // CR LF. An unedited text gives back the stored bytes. On failure error_offset and bad_char are those
    // of the refused character in edited.
    Conversion store(std::string_view edited) const;

  private:
    struct Piece {
        std::size_t stored_begin = 0, stored_length = 0;
        std::size_t shown_begin = 0, shown_length = 0;
        int open_reference_base = 0;  // 10 or 16: a reference without ";" that digits after it would extend
        bool lone_cr = false;         // a CR without LF, which an LF after it would join
        bool lone_lead_byte = false;  // the last byte of the text, a lead byte without its trail
    };
    void add(std::size_t stored_begin, std::size_t stored_end, std::string_view shown, Piece piece);

    std::string stored_;
    std::string shown_;
    std::vector<Piece> pieces_;
};

// The part markup that stands for one of the web's spaces (U+00A0, U+2002, U+2009, which code page 932
// lacks): "&nbsp;", "&ensp;" or "&thinsp;"; empty for any other code point.
std::string_view web_space_markup(uint32_t code_point);

}  // namespace glyphora
