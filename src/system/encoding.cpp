#include "system/encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "model/sjis.h"

namespace glyphora {

namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in; on failure returns the input offset of the first byte that could not be converted.
    bool run(std::string_view in, std::string& out, std::size_t& fail_at) {
        out.clear();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t src_left = in.size();
        char buf[4096];
        while (src_left > 0) {
            char* dst = buf;
            std::size_t dst_left = sizeof buf;
            const std::size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                fail_at = static_cast<std::size_t>(src - in.data());
                return false;
            }
        }
        char* dst = buf;
        std::size_t dst_left = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &dst_left);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return true;
    }

  private:
    iconv_t cd_;
};

std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

uint32_t decode_utf8(std::string_view s) {
    if (s.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    const std::size_t n = utf8_length(b0);
    if (n == 1 || s.size() < n) return b0;
    uint32_t cp = b0 & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

// The bytes one unconvertible character takes: a lead byte with a valid trail byte is one (unmapped)
// character; anything else is a stray byte, so the byte after it is read afresh.
std::size_t unconvertible_length(std::string_view sjis, std::size_t pos) {
    if (pos + 1 >= sjis.size() || !is_lead_byte(static_cast<unsigned char>(sjis[pos]))) return 1;
    const auto trail = static_cast<unsigned char>(sjis[pos + 1]);
    return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC) ? 2 : 1;
}

Conversion convert(const char* to, const char* from, std::string_view in, bool input_is_utf8) {
    Conversion result;
    Converter conv(to, from);
    if (!conv.valid()) {
        result.bad_char = "";
        return result;
    }
    std::size_t fail_at = 0;
    if (conv.run(in, result.text, fail_at)) {
        result.ok = true;
        return result;
    }
    result.error_offset = fail_at;
    std::size_t len = 1;
    if (fail_at < in.size()) {
        const auto b = static_cast<unsigned char>(in[fail_at]);
        if (input_is_utf8) {
            len = utf8_length(b);
        } else {
            len = static_cast<std::size_t>(char_at(in, fail_at).length);
        }
        if (fail_at + len > in.size()) len = in.size() - fail_at;
    }
    result.bad_char = std::string(in.substr(fail_at, len));
    return result;
}

}  // namespace

Conversion utf8_to_sjis(std::string_view utf8) {
    return convert("CP932", "UTF-8", utf8, true);
}

Conversion sjis_to_utf8(std::string_view sjis) {
    return convert("UTF-8", "CP932", sjis, false);
}

std::string sjis_to_utf8_lenient(std::string_view sjis, Unconvertible shown_as) {
    Converter conv("UTF-8", "CP932");
    std::string out, piece;
    std::size_t pos = 0;
    while (pos < sjis.size()) {
        std::size_t fail_at = 0;  // without a converter every character fails
        const bool ok = conv.valid() && conv.run(sjis.substr(pos), piece, fail_at);
        out += piece;  // on a failure, what converted before it
        if (ok) break;
        pos += fail_at;
        const std::size_t length = unconvertible_length(sjis, pos);
        if (shown_as == Unconvertible::hex_bytes) {
            for (std::size_t i = 0; i < length; ++i) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(sjis[pos + i]));
                out += hex;
            }
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD
        }
        pos += length;
    }
    return out;
}

std::string describe_unmappable(std::string_view utf8_input, const Conversion& failed) {
    // Count characters (not bytes) up to the failure, one-based, as a user would.
    std::size_t index = 1;
    for (std::size_t pos = 0; pos < failed.error_offset && pos < utf8_input.size();) {
        pos += utf8_length(static_cast<unsigned char>(utf8_input[pos]));
        ++index;
    }
    char code[32];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(decode_utf8(failed.bad_char)));
    return "'" + failed.bad_char + "' (" + code + ") at character " + std::to_string(index) +
           " cannot be written in Shift_JIS";
}

int sjis_code_to_unicode(int code) {
    static std::mutex mutex;
    static Converter conv("UTF-32LE", "CP932");
    std::lock_guard<std::mutex> lock(mutex);
    char in[2];
    const int n = put_code(in, code);
    std::string out;
    std::size_t fail_at = 0;
    if (!conv.valid() || !conv.run(std::string_view(in, static_cast<std::size_t>(n)), out, fail_at))
        return -1;
    if (out.size() != 4) return -1;
    return static_cast<int>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8) |
                            (static_cast<unsigned char>(out[2]) << 16) |
                            (static_cast<unsigned char>(out[3]) << 24));
}

int unicode_to_sjis_code(uint32_t code_point) {
    // Code page 932 holds nothing beyond the Basic Multilingual Plane. Each entry is the code iconv writes
    // for that code point, so the table agrees with utf8_to_sjis (U+00A5 is 0x5C, for one).
    static constexpr uint16_t kNone = 0xFFFF;  // no Shift_JIS code is 0xFFFF
    static const std::array<uint16_t, 0x10000> table = [] {
        std::array<uint16_t, 0x10000> t;
        t.fill(kNone);
        Converter conv("CP932", "UTF-32LE");
        if (!conv.valid()) return t;
        std::string out;
        for (uint32_t cp = 0; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            const char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF), 0, 0};
            std::size_t fail_at = 0;
            if (!conv.run(std::string_view(in, 4), out, fail_at)) continue;
            if (out.size() == 1) {
                t[cp] = static_cast<unsigned char>(out[0]);
            } else if (out.size() == 2) {
                t[cp] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) * 256 +
                                              static_cast<unsigned char>(out[1]));
            }
        }
        return t;
    }();
    if (code_point >= table.size() || table[code_point] == kNone) return -1;
    return table[code_point];
}

Conversion utf8_to_part_text(std::string_view utf8) {
    Conversion result;
    std::size_t start = 0;  // the first byte not converted yet
    auto convert_up_to = [&](std::size_t end) {
        if (end == start) return true;
        Conversion piece = utf8_to_sjis(utf8.substr(start, end - start));
        if (!piece.ok) {
            piece.error_offset += start;
            result.error_offset = piece.error_offset;
            result.bad_char = std::move(piece.bad_char);
            return false;
        }
        result.text += piece.text;
        return true;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        // In UTF-8 these byte sequences are exactly the three characters: their first byte starts a
        // character.
        const std::string_view rest = utf8.substr(i);
        uint32_t code_point = 0;
        std::size_t length = 0;
        if (rest.starts_with("\xC2\xA0")) {
            code_point = 0xA0;
            length = 2;
        } else if (rest.starts_with("\xE2\x80\x82")) {
            code_point = 0x2002;
            length = 3;
        } else if (rest.starts_with("\xE2\x80\x89")) {
            code_point = 0x2009;
            length = 3;
        }
        if (length == 0) {
            ++i;
            continue;
        }
        if (!convert_up_to(i)) return result;
        result.text += web_space_markup(code_point);
        i += length;
        start = i;
    }
    if (!convert_up_to(utf8.size())) return result;
    result.ok = true;
    return result;
}

std::string_view web_space_markup(uint32_t code_point) {
    switch (code_point) {
        case 0xA0:
            return "&nbsp;";
        case 0x2002:
            return "&ensp;";
        case 0x2009:
            return "&thinsp;";
        default:
            return {};
    }
}

}  // namespace glyphora
