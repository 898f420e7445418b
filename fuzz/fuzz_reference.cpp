// The text walk of part texts over arbitrary bytes, numeric references above all: every item moves on and
// stays inside the text, and every reference is one a second, plainer reading of the same bytes agrees on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/sjis.h"
#include "render/part_markup.h"

namespace {

using glyphora::CharReference;
using glyphora::TextItem;
using glyphora::TextItemKind;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

int digit_value(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The reference at text[pos] read the slow way: the whole run of digits, its value only when short enough
// to be a code point.
CharReference plain_reading(std::string_view text, std::size_t pos) {
    CharReference ref;
    if (pos + 2 > text.size() || text[pos] != '&' || text[pos + 1] != '#') return ref;
    std::size_t p = pos + 2;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    const std::size_t first = p;
    while (p < text.size() && digit_value(text[p], hex) >= 0) ++p;
    std::string_view digits = text.substr(first, p - first);
    if (digits.empty()) return ref;
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits.size() > 8) return ref;  // beyond U+10FFFF in either base
    uint64_t value = 0;
    for (char c : digits) value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit_value(c, hex));
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return ref;
    ref.terminated = p < text.size() && text[p] == ';';
    ref.length = static_cast<int>(p - pos) + (ref.terminated ? 1 : 0);
    ref.code_point = static_cast<char32_t>(value);
    return ref;
}

void check_reference(std::string_view text, std::size_t start, const CharReference& ref) {
    const CharReference plain = plain_reading(text, start);
    check(ref.length == plain.length && ref.terminated == plain.terminated);
    if (ref.length == 0) {
        check(ref.code_point == 0);
        return;
    }
    check(ref.length >= 3 && static_cast<std::size_t>(ref.length) <= text.size() - start);
    // The number as written, except where a browser reads 128-159 as Windows-1252.
    const char32_t cp = ref.code_point;
    check(cp >= 1 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF));
    if (plain.code_point >= 0x80 && plain.code_point <= 0x9F)
        check(cp == plain.code_point ? (cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D)
                                     : cp > 0xFF);
    else
        check(cp == plain.code_point);
    // Its bytes alone read as the same reference.
    const std::string alone(text.substr(start, static_cast<std::size_t>(ref.length)));
    const CharReference again = glyphora::match_reference(alone, 0);
    check(again.code_point == cp && again.length == ref.length && again.terminated == ref.terminated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Every "&", item start or not.
    for (std::size_t pos = text.find('&'); pos != std::string_view::npos; pos = text.find('&', pos + 1))
        check_reference(text, pos, glyphora::match_reference(text, pos));

    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const TextItem item = glyphora::next_text_item(text, pos);
        check(pos > start && pos <= text.size());
        const std::size_t length = pos - start;
        switch (item.kind) {
            case TextItemKind::reference:
                check(static_cast<std::size_t>(item.reference.length) == length);
                check(glyphora::match_markup(text, start).kind == glyphora::MarkupKind::none);
                check_reference(text, start, item.reference);
                break;
            case TextItemKind::markup:
                check(static_cast<std::size_t>(item.markup.length) == length && text[start] == '&');
                check(length == 5 || length == 6 || length == 8);
                break;
            case TextItemKind::line_break:
                check(text[start] == '\r' && (length == 1 || (length == 2 && text[start + 1] == '\n')));
                break;
            case TextItemKind::character: {
                const glyphora::SjisChar c = glyphora::char_at(text, start);
                check(static_cast<std::size_t>(c.length) == length && c.code == item.code);
                check(text[start] != '\r');
                // An "&" here starts no reference.
                if (text[start] == '&') check(glyphora::match_reference(text, start).length == 0);
                break;
            }
        }
    }
    return 0;
}
