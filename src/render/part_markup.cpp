#include "render/part_markup.h"

#include <array>

#include "model/sjis.h"

namespace glyphora {

namespace {

// Only lower-case hex digits count; anything else is 0, as part texts have always been read.
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// What a browser shows for a reference to U+0080-U+009F: the character Windows-1252 has at that byte (0 where
// it has none, and the control itself stays).
constexpr char32_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The value of each byte as a hex digit of either case; 255 for a byte that is none.
constexpr auto kHexDigitValue = [] {
    std::array<uint8_t, 256> table{};
    table.fill(255);
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
    return table;
}();

}  // namespace

std::size_t read_blank_declarations(std::string_view text, BlankTable& table) {
    table = BlankTable{};
    std::size_t pos = 0;
    while (text.substr(pos).starts_with("&space")) {
        std::size_t p = pos + 6;
        int32_t width = 0;
        if (p < text.size() && text[p] == '=') {
            p += 1;
        } else if (p + 1 < text.size() && text[p] >= '0' && text[p] <= '9' && text[p + 1] == '=') {
            width = text[p] - '0';
            p += 2;
        } else {
            break;  // not a declaration: this line is ordinary text
        }
        int index = 0;
        while (true) {
            if (p >= text.size()) return p;  // the text ends inside the declarations
            if (text[p] == '\r') {
                ++p;
                if (p < text.size() && text[p] == '\n') ++p;
                break;
            }
            const SjisChar c = char_at(text, p);
            if (index < BlankTable::kCapacity) table.entries[index] = BlankEntry{c.code, width};
            ++index;
            p += static_cast<std::size_t>(c.length);
        }
        pos = p;
    }
    return pos;
}

MarkupItem match_markup(std::string_view text, std::size_t pos) {
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("&ttt;")) return {MarkupKind::transparent, 5, 0};
    if (rest.starts_with("&www;")) return {MarkupKind::skip, 5, 0};
    if (rest.starts_with("&ensp;")) return {MarkupKind::ensp, 6, 0};
    if (rest.starts_with("&nbsp;")) return {MarkupKind::nbsp, 6, 0};
    if (rest.starts_with("&thinsp;")) return {MarkupKind::thinsp, 8, 0};
    if (rest.size() >= 5 && rest[1] == '=' && rest[4] == ';')
        return {MarkupKind::byte, 5, hex_digit(rest[2]) * 16 + hex_digit(rest[3])};
    return {};
}

CharReference match_reference(std::string_view text, std::size_t pos) {
    CharReference ref;
    std::size_t p = pos + 2;
    if (p > text.size() || text[pos + 1] != '#') return ref;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    const std::size_t digits_start = p;
    const char* const bytes = text.data();
    const std::size_t size = text.size();
    // Past the last code point the value only has to stay out of range, not exact. References are read
    // for every part on every rendering, so the digits take a table and no branch of their own.
    uint32_t value = 0;
    if (hex) {
        for (; p < size; ++p) {
            const uint32_t digit = kHexDigitValue[static_cast<unsigned char>(bytes[p])];
            if (digit > 15) break;
            value = value > 0x10FFFF ? 0x110000 : (value << 4) | digit;
        }
    } else {
        for (; p < size; ++p) {
            const uint32_t digit = static_cast<uint32_t>(static_cast<unsigned char>(bytes[p])) - '0';
            if (digit > 9) break;
            value = value > 0x10FFFF ? 0x110000 : value * 10 + digit;
        }
    }
    if (p == digits_start || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return ref;
    ref.terminated = p < text.size() && text[p] == ';';
    if (ref.terminated) ++p;
    ref.code_point = value >= 0x80 && value <= 0x9F && kWindows1252[value - 0x80] != 0
                         ? kWindows1252[value - 0x80]
                         : static_cast<char32_t>(value);
    ref.length = static_cast<int>(p - pos);
    return ref;
}

TextItem next_text_item(std::string_view text, std::size_t& pos) {
    TextItem item;
    if (text[pos] == '&') {
        // No markup item starts with "&#", and only there can a reference start.
        if (pos + 1 < text.size() && text[pos + 1] == '#') {
            item.reference = match_reference(text, pos);
            if (item.reference.length > 0) {
                item.kind = TextItemKind::reference;
                pos += static_cast<std::size_t>(item.reference.length);
                return item;
            }
        } else {
            item.markup = match_markup(text, pos);
            if (item.markup.kind != MarkupKind::none) {
                item.kind = TextItemKind::markup;
                pos += static_cast<std::size_t>(item.markup.length);
                return item;
            }
        }
    }
    if (text[pos] == '\r') {
        item.kind = TextItemKind::line_break;
        ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        return item;
    }
    const SjisChar c = char_at(text, pos);
    pos += static_cast<std::size_t>(c.length);
    item.code = c.code;
    return item;
}

}  // namespace glyphora
