#pragma once
// The markup inside a part's text, read alike by the renderer and by the canvas measurement: the leading
// "&space" lines that declare blank characters, and the entities "&ttt;", "&www;", "&ensp;", "&nbsp;",
// "&thinsp;" and "&=XY;".

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glyphora {

struct BlankEntry {
    int32_t code = 0;   // 0 ends the list
    int32_t width = 0;  // declared width in pixels; 0 = the character's own width
};

struct BlankTable {
    static constexpr int kCapacity = 64;
    BlankEntry entries[kCapacity];

    // The first entry declaring code, or -1.
    int find(int32_t code) const {
        for (int i = 0; i < kCapacity && entries[i].code != 0; ++i)
            if (entries[i].code == code) return i;
        return -1;
    }
    bool empty() const { return entries[0].code == 0; }
};

// Clears the table and reads the "&space" declaration lines at the start of text ("&space=..." or
// "&spaceD=..." with one digit D). Each line writes from entry 0 again, so a shorter later line leaves the
// rest of an earlier one in force. Returns the position of the first byte that is ordinary text.
std::size_t read_blank_declarations(std::string_view text, BlankTable& table);

enum class MarkupKind {
    none,         // not markup: an ordinary "&"
    transparent,  // &ttt;
    skip,         // &www;
    ensp,         // &ensp;   8-pixel blank
    nbsp,         // &nbsp;   5-pixel blank
    thinsp,       // &thinsp; 2-pixel blank
    byte,         // &=XY;    the single byte XY
};

struct MarkupItem {
    MarkupKind kind = MarkupKind::none;
    int length = 0;  // bytes the item takes
    int value = 0;   // the byte of &=XY;
};

// The markup item at text[pos] (which must be "&").
MarkupItem match_markup(std::string_view text, std::size_t pos);

// A numeric character reference: "&#" and decimal digits, or "&#x" / "&#X" and hex digits of either case,
// with or without the closing ";" (the digits end at the first non-digit, as a browser reads them). It
// stands for one character. Code point 0, a surrogate or one above U+10FFFF is no reference: its bytes
// stay ordinary text.
struct CharReference {
    // The character a browser shows: the number written, except that 128-159 are read as Windows-1252
    // ("&#150;" is U+2013), as browsers do.
    char32_t code_point = 0;
    int length = 0;           // bytes the reference takes, the ";" included; 0 when there is none at pos
    bool terminated = false;  // written with its ";"
};

// The reference at text[pos] (which must be "&"), or one of length 0.
CharReference match_reference(std::string_view text, std::size_t pos);

// The Unicode spaces modern AA places characters with: U+00A0, U+2000 to U+200A, U+202F and U+205F. Written
// as references they are blanks, like the space entities.
constexpr bool is_unicode_space(char32_t code_point) {
    return code_point == 0xA0 || (code_point >= 0x2000 && code_point <= 0x200A) || code_point == 0x202F ||
           code_point == 0x205F;
}

// One item of a part's text after its declarations.
enum class TextItemKind {
    markup,      // an entity (see markup)
    line_break,  // CR, or CR LF
    character,   // one character (see code)
    reference,   // one character written as a numeric reference (see reference)
};

struct TextItem {
    TextItemKind kind = TextItemKind::character;
    MarkupItem markup;
    CharReference reference;
    int code = 0;  // the character's code (lead * 256 + trail for a double-byte character)
};

// Reads the item at text[pos] and moves pos past it. The renderer, the measurement and the canvas all read
// a part's text through this, so they agree on what is markup, a line break or a character.
TextItem next_text_item(std::string_view text, std::size_t& pos);

constexpr int kEnspWidth = 8;
constexpr int kNbspWidth = 5;
constexpr int kThinspWidth = 2;
constexpr int kLineBreakByte = 0x0D;  // &=0d; breaks the line

}  // namespace glyphora
