#include "exchange/aa_text.h"

#include <array>
#include <cstdio>

#include "model/sjis.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kMaxDecimalDigits = 7;  // 1114111 = U+10FFFF
constexpr std::size_t kMaxHexDigits = 6;      // 10FFFF

// The length of the UTF-8 sequence at bytes[pos] when it is well-formed, else 0.
std::size_t utf8_sequence(std::string_view bytes, std::size_t pos) {
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    if (b0 < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;  // no overlong forms
        if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (pos + n > bytes.size()) return 0;
    const auto b1 = static_cast<unsigned char>(bytes[pos + 1]);
    if (b1 < lo || b1 > hi) return 0;
    for (std::size_t i = 2; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[pos + i]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return n;
}

uint32_t utf8_code_point(std::string_view bytes, std::size_t pos, std::size_t n) {
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    if (n == 1) return b0;
    uint32_t cp = b0 & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<unsigned char>(bytes[pos + i]) & 0x3F);
    return cp;
}

// Control characters are kept as references: written out they would break lines or vanish.
bool is_control(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

struct Reference {
    std::size_t length = 0;  // bytes from "&" to ";"; 0 when there is no well-formed reference
    uint32_t code_point = 0;
};

// The reference at text[pos] (which is "&").
Reference match_reference(std::string_view text, std::size_t pos) {
    std::size_t p = pos + 1;
    if (p >= text.size() || text[p] != '#') return {};
    ++p;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    const std::size_t digits_start = p;
    uint32_t value = 0;
    while (p < text.size()) {
        const char c = text[p];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) break;
        if (p - digits_start == (hex ? kMaxHexDigits : kMaxDecimalDigits)) return {};
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        ++p;
    }
    if (p == digits_start || p >= text.size() || text[p] != ';') return {};
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) || is_control(value))
        return {};
    return {p + 1 - pos, value};
}

// The bytes that need a look of their own; every other byte is copied as it is.
std::array<bool, 256> special_bytes(bool utf8) {
    std::array<bool, 256> special{};
    special['\r'] = special['\n'] = special['\0'] = special['&'] = true;
    if (utf8)
        for (int b = 0x80; b < 0x100; ++b) special[static_cast<std::size_t>(b)] = true;
    return special;
}

class Decoder {
  public:
    Decoder(std::string_view in, bool utf8, int first_line, std::string& out, DecodeReport& report)
        : in_(in), utf8_(utf8), out_(out), report_(report), line_(first_line) {}

    void run() {
        static const std::array<bool, 256> kSjisSpecial = special_bytes(false);
        static const std::array<bool, 256> kUtf8Special = special_bytes(true);
        const std::array<bool, 256>& special = utf8_ ? kUtf8Special : kSjisSpecial;
        out_.reserve(out_.size() + in_.size() + in_.size() / 16);
        std::size_t pos = 0;
        while (pos < in_.size()) {
            // A run of ordinary bytes in one piece. Shift_JIS trail bytes are 0x40 and above, so they are
            // never one of the special bytes and the run needs no lead-byte bookkeeping.
            std::size_t end = pos;
            while (end < in_.size() && !special[static_cast<unsigned char>(in_[end])]) ++end;
            out_.append(in_.data() + pos, end - pos);
            pos = end;
            if (pos < in_.size()) pos = special_item(pos);
        }
    }

  private:
    std::size_t special_item(std::size_t pos) {
        const char c = in_[pos];
        if (c == '\r' || c == '\n') {
            out_ += "\r\n";
            ++line_;
            return pos + (c == '\r' && pos + 1 < in_.size() && in_[pos + 1] == '\n' ? 2 : 1);
        }
        if (c == '\0') {
            ++report_.nul_bytes_dropped;
            return pos + 1;
        }
        if (c == '&') return reference(pos);
        // A UTF-8 character; the text was checked to be well-formed.
        const std::size_t n = utf8_sequence(in_, pos);
        const uint32_t cp = utf8_code_point(in_, pos, n);
        if (const std::string_view markup = web_space_markup(cp); !markup.empty()) {
            out_ += markup;
            ++report_.web_space_characters;
        } else if (const int code = unicode_to_sjis_code(cp); code >= 0) {
            append_code(out_, code);
        } else {
            const std::string kept = "&#" + std::to_string(cp) + ";";
            out_ += kept;
            unconvertible(cp, kept, false);
        }
        return pos + n;
    }

    std::size_t reference(std::size_t pos) {
        const Reference ref = match_reference(in_, pos);
        if (ref.length == 0) {
            out_ += '&';
            return pos + 1;
        }
        const std::size_t next = pos + ref.length;
        if (const std::string_view markup = web_space_markup(ref.code_point); !markup.empty()) {
            out_ += markup;
        } else if (const int code = unicode_to_sjis_code(ref.code_point); code >= 0) {
            if (code == '&' && makes_markup(next)) {
                out_ += "&=26;";  // the byte "&" itself, so that it does not start markup with what follows
            } else {
                append_code(out_, code);
            }
        } else {
            const std::string_view kept = in_.substr(pos, ref.length);
            out_ += kept;
            unconvertible(ref.code_point, std::string(kept), true);
            return next;
        }
        ++report_.references_converted;
        return next;
    }

    // Whether "&" followed by the input from pos on would be read as part markup.
    bool makes_markup(std::size_t pos) const {
        std::string probe(1, '&');
        probe += in_.substr(pos, 8);
        return match_markup(probe, 0).kind != MarkupKind::none;
    }

    void unconvertible(uint32_t cp, std::string kept, bool from_reference) {
        ++report_.unconvertible_count;
        if (report_.unconvertible.size() < kListedUnconvertible)
            report_.unconvertible.push_back({line_, cp, std::move(kept), from_reference});
    }

    std::string_view in_;
    bool utf8_;
    std::string& out_;
    DecodeReport& report_;
    int line_;
};

// The offset of the first byte that starts no well-formed UTF-8 sequence, or npos.
std::size_t first_malformed_utf8(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t n = utf8_sequence(bytes, pos);
        if (n == 0) return pos;
        pos += n;
    }
    return std::string_view::npos;
}

bool starts_with_utf16_bom(std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

}  // namespace

const char* encoding_name(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::utf8:
            return "UTF-8";
        case TextEncoding::utf8_bom:
            return "UTF-8 with BOM";
        case TextEncoding::sjis:
            break;
    }
    return "Shift_JIS";
}

bool is_strict_utf8(std::string_view bytes) {
    return first_malformed_utf8(bytes) == std::string_view::npos;
}

TextEncoding detect_encoding(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return TextEncoding::utf8_bom;
    bool non_ascii = false;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            non_ascii = true;
            break;
        }
    }
    return non_ascii && is_strict_utf8(bytes) ? TextEncoding::utf8 : TextEncoding::sjis;
}

AaSource open_aa_bytes(std::string_view bytes) {
    AaSource source;
    if (starts_with_utf16_bom(bytes)) {
        source.error = "the file is UTF-16; save it as Shift_JIS or UTF-8 and import it again";
        return source;
    }
    source.encoding = detect_encoding(bytes);
    if (source.encoding == TextEncoding::utf8_bom) {
        bytes.remove_prefix(kUtf8Bom.size());
        // A file that says it is UTF-8 but is not, after its BOM: a malformed sequence could only be
        // dropped or replaced, so it is refused with its place.
        const std::size_t bad = first_malformed_utf8(bytes);
        if (bad != std::string_view::npos) {
            int line = 1;
            for (std::size_t i = 0; i < bad; ++i)
                if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
                    ++line;
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bytes[bad]));
            source.error = std::string("the file starts with a UTF-8 byte order mark, but byte ") + hex +
                           " on line " + std::to_string(line) + " is not UTF-8";
            return source;
        }
    }
    source.ok = true;
    source.bytes = bytes;
    return source;
}

void decode_aa_piece(std::string_view piece, TextEncoding encoding, int first_line, std::string& out,
                     DecodeReport& report) {
    Decoder(piece, encoding != TextEncoding::sjis, first_line, out, report).run();
}

DecodedText decode_aa_text(std::string_view bytes) {
    DecodedText result;
    const AaSource source = open_aa_bytes(bytes);
    result.report.encoding = source.encoding;
    if (!source.ok) {
        result.error = source.error;
        return result;
    }
    decode_aa_piece(source.bytes, source.encoding, 1, result.text, result.report);
    result.ok = true;
    return result;
}

std::string describe_decode_report(const DecodeReport& report) {
    std::string out;
    if (report.encoding != TextEncoding::sjis)
        out += std::string("Read as ") + encoding_name(report.encoding) + " and converted to Shift_JIS.\n";
    if (report.references_converted > 0)
        out += std::to_string(report.references_converted) + " character reference(s) converted.\n";
    if (report.web_space_characters > 0)
        out += std::to_string(report.web_space_characters) +
               " web space character(s) written as &nbsp; &ensp; &thinsp;.\n";
    if (report.unconvertible_count > 0) {
        out += std::to_string(report.unconvertible_count) +
               " character(s) beyond Shift_JIS kept as numeric references:";
        for (const UnconvertibleChar& c : report.unconvertible) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c.code_point));
            out += std::string(" ") + code + " " + c.kept + " on line " + std::to_string(c.line) + ",";
        }
        out.pop_back();
        if (report.unconvertible_count > report.unconvertible.size()) out += " ...";
        out += ".\n";
    }
    if (report.nul_bytes_dropped > 0)
        out += std::to_string(report.nul_bytes_dropped) + " NUL byte(s) left out.\n";
    return out;
}

}  // namespace glyphora
