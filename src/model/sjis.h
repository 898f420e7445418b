#pragma once
// Shift_JIS (code page 932) character codes as the whole program sees them: a byte 0x81-0x9F or
// 0xE0-0xFB is a lead byte and forms, with the byte after it, the code lead * 256 + trail; every other
// byte is a code of its own. Nothing here checks that a trail byte is a valid one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glyphora {

constexpr bool is_lead_byte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFB);
}

struct SjisChar {
    int code;    // lead * 256 + trail, or the single byte
    int length;  // 1 or 2 bytes taken from the input
};

// The character starting at text[pos]. A lead byte that is the last byte of the text forms a code of its
// own (length 1), since there is no trail byte to pair it with.
inline SjisChar char_at(std::string_view text, std::size_t pos) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (is_lead_byte(b) && pos + 1 < text.size())
        return {b * 256 + static_cast<unsigned char>(text[pos + 1]), 2};
    return {b, 1};
}

// The last character of text, read from its start (a trail byte can also be a lead byte, so the text cannot
// be read backwards); {0, 0} for an empty text.
inline SjisChar last_char(std::string_view text) {
    SjisChar c{0, 0};
    for (std::size_t pos = 0; pos < text.size(); pos += static_cast<std::size_t>(c.length))
        c = char_at(text, pos);
    return c;
}

// Appends a code as one byte (codes below 256) or two bytes (lead, trail).
inline void append_code(std::string& out, int code) {
    if (code >= 256) out.push_back(static_cast<char>((code >> 8) & 0xFF));
    out.push_back(static_cast<char>(code & 0xFF));
}

// Writes a code into buf (at least 2 bytes); returns the number of bytes written.
inline int put_code(char* buf, int code) {
    if (code >= 256) {
        buf[0] = static_cast<char>((code >> 8) & 0xFF);
        buf[1] = static_cast<char>(code & 0xFF);
        return 2;
    }
    buf[0] = static_cast<char>(code & 0xFF);
    return 1;
}

// True when cutting text after `bytes` bytes would split a double-byte character.
bool splits_double_byte(std::string_view text, std::size_t bytes);

// The longest start of text with at most max_bytes bytes that ends on a whole character: a double-byte
// character that does not fit is left out whole, and so is a lead byte without its trail byte at the end.
std::string_view whole_chars_prefix(std::string_view text, std::size_t max_bytes);

}  // namespace glyphora
