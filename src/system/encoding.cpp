#include "system/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "model/sjis.h"
#include "render/part_markup.h"

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

// The length of the well-formed UTF-8 sequence at s[pos] (no overlong forms, surrogates or values past
// U+10FFFF), else 0.
std::size_t strict_utf8_length(std::string_view s, std::size_t pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (pos + n > s.size()) return 0;
    const auto b1 = static_cast<unsigned char>(s[pos + 1]);
    if (b1 < lo || b1 > hi) return 0;
    for (std::size_t i = 2; i < n; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return n;
}

// One character of a UTF-8 text: its code point, or for a byte that starts no character a value above
// every code point, so that it only ever equals the same byte.
struct Token {
    uint32_t value = 0;
    std::size_t begin = 0;  // its first byte
};

std::vector<Token> tokens_of(std::string_view utf8) {
    std::vector<Token> out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t n = strict_utf8_length(utf8, pos);
        out.push_back(
            {n == 0 ? 0x110000 + static_cast<unsigned char>(utf8[pos]) : decode_utf8(utf8.substr(pos, n)),
             pos});
        pos += n == 0 ? 1 : n;
    }
    return out;
}

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);
// Beyond this many insertions and deletions between the first and the last change, the stretch between
// them counts as changed as a whole: the search costs time and memory with the square of it.
constexpr std::size_t kMaxEdits = 1000;

// For each element of b, the element of a it is the same as in a shortest edit script from a to b (Myers'
// algorithm), or kNoMatch where it is new.
std::vector<std::size_t> common_tokens(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    std::vector<std::size_t> match(b.size(), kNoMatch);
    // What the ends have in common is matched directly.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) {
        match[head] = head;
        ++head;
    }
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
        match[b.size() - 1 - tail] = a.size() - 1 - tail;
        ++tail;
    }
    const auto n = static_cast<std::ptrdiff_t>(a.size() - head - tail);
    const auto m = static_cast<std::ptrdiff_t>(b.size() - head - tail);
    if (n == 0 || m == 0) return match;
    const auto max_d =
        static_cast<std::ptrdiff_t>(std::min<std::size_t>(kMaxEdits, static_cast<std::size_t>(n + m)));
    // v[k] is the furthest x on diagonal k = x - y; trace[d] keeps v[-d-1 .. d+1] as round d found it.
    std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * max_d + 3), 0);
    const std::ptrdiff_t offset = max_d + 1;
    std::vector<std::vector<std::ptrdiff_t>> trace;
    auto at = [&](std::ptrdiff_t k) -> std::ptrdiff_t& { return v[static_cast<std::size_t>(k + offset)]; };
    bool reached = false;
    for (std::ptrdiff_t d = 0; d <= max_d && !reached; ++d) {
        trace.emplace_back(v.begin() + (offset - d - 1), v.begin() + (offset + d + 2));
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = k == -d || (k != d && at(k - 1) < at(k + 1)) ? at(k + 1) : at(k - 1) + 1;
            std::ptrdiff_t y = x - k;
            while (x < n && y < m &&
                   a[head + static_cast<std::size_t>(x)] == b[head + static_cast<std::size_t>(y)]) {
                ++x;
                ++y;
            }
            at(k) = x;
            if (x >= n && y >= m) {
                reached = true;
                break;
            }
        }
    }
    if (!reached) return match;  // too far apart: all of the middle is new
    std::ptrdiff_t x = n, y = m;
    for (auto d = static_cast<std::ptrdiff_t>(trace.size()) - 1; d >= 0; --d) {
        const std::vector<std::ptrdiff_t>& before = trace[static_cast<std::size_t>(d)];
        auto old = [&](std::ptrdiff_t k) { return before[static_cast<std::size_t>(k + d + 1)]; };
        const std::ptrdiff_t k = x - y;
        const std::ptrdiff_t prev_k = k == -d || (k != d && old(k - 1) < old(k + 1)) ? k + 1 : k - 1;
        const std::ptrdiff_t prev_x = d == 0 ? 0 : old(prev_k);
        const std::ptrdiff_t prev_y = d == 0 ? 0 : prev_x - prev_k;
        while (x > prev_x && y > prev_y) {
            --x;
            --y;
            match[head + static_cast<std::size_t>(y)] = head + static_cast<std::size_t>(x);
        }
        x = prev_x;
        y = prev_y;
    }
    return match;
}

bool is_c1_control(uint32_t cp) {
    return cp >= 0x80 && cp <= 0x9F;
}

// What a part's text can take from outside: see utf8_to_part_text.
bool part_can_hold(uint32_t cp) {
    return cp != 0 && cp != 0xFFFD && !is_c1_control(cp);
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

std::string encode_utf8(uint32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return out;
}

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
    const std::string at = " at character " + std::to_string(index);
    char code[32];
    const std::string_view bad = failed.bad_char;
    if (bad.empty() || strict_utf8_length(bad, 0) != bad.size()) {
        std::snprintf(code, sizeof code, "0x%02X", bad.empty() ? 0u : static_cast<unsigned char>(bad[0]));
        return std::string("byte ") + code + at + " is not UTF-8";
    }
    const uint32_t cp = decode_utf8(bad);
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
    if (cp < 0x20 || cp == 0x7F || is_c1_control(cp))
        return std::string("the control character ") + code + at + " cannot be stored";
    if (cp == 0xFFFD)
        return "'" + failed.bad_char + "' (" + code + ")" + at +
               " stands for bytes that are no character and cannot be stored";
    return "'" + failed.bad_char + "' (" + code + ")" + at + " cannot be written in Shift_JIS";
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
    result.text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b != 0 && b < 0x80) {  // code page 932 holds ASCII as it is
            result.text.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        const std::size_t n = strict_utf8_length(utf8, i);
        const uint32_t cp = n == 0 ? 0 : decode_utf8(utf8.substr(i, n));
        if (n == 0 || !part_can_hold(cp)) {
            result.error_offset = i;
            result.bad_char = std::string(utf8.substr(i, std::max<std::size_t>(n, 1)));
            result.text.clear();
            return result;
        }
        if (const std::string_view markup = web_space_markup(cp); !markup.empty()) {
            result.text += markup;
        } else if (const int code = unicode_to_sjis_code(cp); code >= 0) {
            append_code(result.text, code);
        } else {
            result.text += "&#" + std::to_string(cp) + ";";
        }
        i += n;
    }
    result.ok = true;
    return result;
}

bool shows_as_itself(char32_t cp) {
    if (cp < 0x20 || cp == 0x7F || is_c1_control(cp) || cp == 0x2028 || cp == 0x2029) return false;
    if ((cp >= 0xFDD0 && cp <= 0xFDEF) || cp == 0xFFFC || cp == 0xFFFD) return false;
    return (cp & 0xFFFE) != 0xFFFE;
}

std::string_view part_text_prefix(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t end = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        next_text_item(text, pos);
        if (pos > max_bytes) break;
        end = pos;
    }
    return text.substr(0, end);
}

ShownPartText::ShownPartText(std::string_view stored) : stored_(stored) {
    shown_.reserve(stored.size() + stored.size() / 2);
    BlankTable declared;
    const std::size_t ordinary = read_blank_declarations(stored, declared);
    for (std::size_t pos = 0; pos < stored.size();) {
        const std::size_t begin = pos;
        const char c = stored[pos];
        if (c == '\r') {
            ++pos;
            const bool lf = pos < stored.size() && stored[pos] == '\n';
            if (lf) ++pos;
            add(begin, pos, "\n", Piece{.lone_cr = !lf});
            continue;
        }
        if (c == '\n') {
            add(begin, ++pos, "\n", Piece{});
            continue;
        }
        // The declaration lines are read character by character, references and entities included.
        const TextItem item = begin < ordinary ? TextItem{} : next_text_item(stored, pos);
        if (begin < ordinary) pos += static_cast<std::size_t>(char_at(stored, pos).length);
        if (item.kind == TextItemKind::reference && shows_as_itself(item.reference.code_point)) {
            Piece piece;
            if (!item.reference.terminated)
                piece.open_reference_base = (stored[begin + 2] | 0x20) == 'x' ? 16 : 10;
            add(begin, pos, encode_utf8(item.reference.code_point), piece);
            continue;
        }
        const std::string_view bytes = stored.substr(begin, pos - begin);
        const SjisChar ch = char_at(bytes, 0);
        const int unicode =
            bytes.size() == static_cast<std::size_t>(ch.length) ? sjis_code_to_unicode(ch.code) : -1;
        Piece piece;
        piece.lone_lead_byte = bytes.size() == 1 && is_lead_byte(static_cast<unsigned char>(bytes[0]));
        add(begin, pos,
            unicode > 0 ? encode_utf8(static_cast<uint32_t>(unicode)) : sjis_to_utf8_lenient(bytes), piece);
    }
}

void ShownPartText::add(std::size_t stored_begin, std::size_t stored_end, std::string_view shown,
                        Piece piece) {
    piece.stored_begin = stored_begin;
    piece.stored_length = stored_end - stored_begin;
    piece.shown_begin = shown_.size();
    piece.shown_length = shown.size();
    shown_ += shown;
    pieces_.push_back(piece);
}

Conversion ShownPartText::store(std::string_view edited) const {
    Conversion result;
    if (edited == shown_) {
        result.ok = true;
        result.text = stored_;
        return result;
    }
    // The shown characters, each with its piece, and the edited ones; a piece is kept where all of its
    // characters are still there, in a row, in a shortest edit from the one text to the other.
    std::vector<uint32_t> before;
    std::vector<std::size_t> piece_of, first_of(pieces_.size());
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
        first_of[p] = before.size();
        const std::string_view shown =
            std::string_view(shown_).substr(pieces_[p].shown_begin, pieces_[p].shown_length);
        for (const Token& t : tokens_of(shown)) {
            before.push_back(t.value);
            piece_of.push_back(p);
        }
    }
    const std::vector<Token> after_tokens = tokens_of(edited);
    std::vector<uint32_t> after;
    after.reserve(after_tokens.size());
    for (const Token& t : after_tokens) after.push_back(t.value);
    const std::vector<std::size_t> match = common_tokens(before, after);  // per edited character
    std::vector<std::size_t> match_of_before(before.size(), kNoMatch);
    for (std::size_t j = 0; j < match.size(); ++j)
        if (match[j] != kNoMatch) match_of_before[match[j]] = j;
    auto kept = [&](std::size_t p) {
        const std::size_t first = first_of[p];
        const std::size_t end = p + 1 < pieces_.size() ? first_of[p + 1] : before.size();
        for (std::size_t i = first; i < end; ++i)
            if (match_of_before[i] == kNoMatch || match_of_before[i] != match_of_before[first] + (i - first))
                return false;
        // A lead byte that ended the text would pair with whatever followed it now.
        return !pieces_[p].lone_lead_byte || match_of_before[end - 1] + 1 == after.size();
    };

    // Joins the pieces so that each still reads as it did: a reference without ";" gets one where digits
    // (or a ";") follow it, and a lone CR stays a line break of its own before an LF.
    std::string& out = result.text;
    out.reserve(stored_.size() + edited.size());
    const Piece* last = nullptr;
    auto put = [&](std::string_view bytes, const Piece* piece) {
        if (bytes.empty()) return;
        if (last) {
            const auto b = static_cast<unsigned char>(bytes.front());
            const bool digit = last->open_reference_base == 16 ? std::isxdigit(b) != 0 : b >= '0' && b <= '9';
            if (last->open_reference_base != 0 && (digit || b == ';')) out += ';';
            if (last->lone_cr && b == '\n') out += '\n';
        }
        out += bytes;
        last = piece;
    };
    // A stretch of edited characters converts anew, its line breaks as CR LF.
    std::size_t run_begin = std::string_view::npos;
    auto flush = [&](std::size_t run_end) {
        if (run_begin == std::string_view::npos) return true;
        Conversion converted = utf8_to_part_text(edited.substr(run_begin, run_end - run_begin));
        if (!converted.ok) {
            converted.error_offset += run_begin;
            result = std::move(converted);
            return false;
        }
        std::string lines;
        lines.reserve(converted.text.size() + 16);
        for (const char c : converted.text) {
            if (c == '\n') lines.push_back('\r');
            lines.push_back(c);
        }
        put(lines, nullptr);
        run_begin = std::string_view::npos;
        return true;
    };
    for (std::size_t j = 0; j < after.size();) {
        const std::size_t i = match[j];
        if (i != kNoMatch && first_of[piece_of[i]] == i && kept(piece_of[i])) {
            if (!flush(after_tokens[j].begin)) return result;
            const Piece& piece = pieces_[piece_of[i]];
            put(std::string_view(stored_).substr(piece.stored_begin, piece.stored_length), &piece);
            j += (piece_of[i] + 1 < pieces_.size() ? first_of[piece_of[i] + 1] : before.size()) - i;
            continue;
        }
        if (run_begin == std::string_view::npos) run_begin = after_tokens[j].begin;
        ++j;
    }
    if (!flush(edited.size())) return result;
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
