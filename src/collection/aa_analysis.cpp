#include "collection/aa_analysis.h"

#include <algorithm>
#include <cstring>

#include "collection/search_text.h"
#include "exchange/library_import.h"
#include "model/part.h"
#include "model/sjis.h"
#include "render/measure_part.h"
#include "system/encoding.h"

namespace glyphora::collection {

namespace {

constexpr int kFullWidthSpace = 0x8140;

bool is_space_code(int code) {
    return code == ' ' || code == '\t' || code == kFullWidthSpace;
}

// Text without its leading and trailing spaces (half- and full-width).
std::string_view trim_spaces(std::string_view text) {
    while (!text.empty()) {
        const SjisChar c = char_at(text, 0);
        if (!is_space_code(c.code)) break;
        text.remove_prefix(static_cast<std::size_t>(c.length));
    }
    while (!text.empty()) {
        const int code = last_char(text).code;
        if (!is_space_code(code)) break;
        text.remove_suffix(code >= 256 ? 2 : 1);
    }
    return text;
}

int closing_bracket(int open) {
    switch (open) {
        case 0x8179:
            return 0x817A;  // 【】
        case 0x816D:
            return 0x816E;  // ［］
        case '[':
            return ']';
        case 0x816B:
            return 0x816C;  // 〔〕
        case 0x8173:
            return 0x8174;  // 《》
        case 0x81E1:
            return 0x81E2;  // ≪≫
        case 0x8171:
            return 0x8172;  // 〈〉
        case 0x8177:
            return 0x8178;  // 『』
        default:
            return 0;
    }
}

bool is_heading_mark(int code) {
    // ■ □ ◆ ◇ ● ○ ★ ☆ ▼ ▽ ▲ △ ◎ ※
    return code >= 0x8199 && code <= 0x81A6;
}

std::uint64_t read64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

}  // namespace

bool is_heading(std::string_view text, std::string& heading_utf8) {
    // Blank lines around it do not count.
    while (text.starts_with("\r\n")) text.remove_prefix(2);
    while (text.ends_with("\r\n")) text.remove_suffix(2);
    if (text.find_first_of("\r\n") != std::string_view::npos) return false;
    text = trim_spaces(text);
    if (text.empty() || text.size() > kMaxHeadingBytes || splits_double_byte(text, text.size())) return false;
    const int first = char_at(text, 0).code;
    const int close = closing_bracket(first);
    const bool bracketed = close != 0 && text.size() > 2 && last_char(text).code == close;
    if (!bracketed && !is_heading_mark(first)) return false;
    std::string utf8 = sjis_to_utf8_lenient(text);
    if (letter_runs(fold(utf8)).empty()) return false;
    heading_utf8 = std::move(utf8);
    return true;
}

std::uint64_t content_hash(std::string_view text) {
    // Eight bytes at a time, each word mixed in; the length and a final mix make every byte count.
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ (text.size() * 0xC2B2AE3D27D4EB4FULL);
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) h = (h ^ mix(read64(text.data() + i))) * 0x9E3779B97F4A7C15ULL;
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < text.size(); ++k)
        tail |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i + k])) << (8 * k);
    h = (h ^ mix(tail ^ 0xA5)) * 0x9E3779B97F4A7C15ULL;
    return mix(h);
}

AaSize measure_aa(std::string_view text, const CharWidthTable* widths) {
    text = text.substr(0, part_text_length(text));
    const bool built = widths != nullptr && widths->built && widths->line_height > 0;
    if (built && text.find('&') != std::string_view::npos) {
        // Markup and references: the canvas's own measurement.
        thread_local Part part;
        set_string(part.text, text);
        const Box box = measure_part(part, *widths);
        return {box.right - box.left, (box.bottom - box.top) / widths->line_height};
    }
    // Without markup every item is a character, which is drawn, or a line break: the same measure, faster.
    std::int64_t pen = 0, widest = 0;
    int line = 0, lowest = 0;  // the canvas gives even an empty part one line
    for (std::size_t pos = 0; pos < text.size();) {
        if (text[pos] == '\r') {
            ++pos;
            if (pos < text.size() && text[pos] == '\n') ++pos;
            pen = 0;
            ++line;
            continue;
        }
        const SjisChar c = char_at(text, pos);
        pos += static_cast<std::size_t>(c.length);
        if (built) pen += widths->width(c.code);
        widest = std::max(widest, pen);
        lowest = line;
    }
    return {static_cast<int>(std::min<std::int64_t>(widest, INT32_MAX)), lowest + 1};
}

std::string decode_aa_bytes(std::string_view text_bytes, AaFormat format, TextEncoding encoding) {
    std::string out;
    DecodeReport unused;
    decode_aa_piece(text_bytes, encoding, 1, out, unused);
    if (format == AaFormat::txt && out.ends_with("\r\n")) out.resize(out.size() - 2);
    return out;
}

AnalysedFile analyse_file(std::string_view bytes, AaFormat format, const CharWidthTable* widths) {
    AnalysedFile file;
    AaSplitter splitter(bytes, format);
    file.encoding = splitter.encoding();
    if (!splitter.ok()) {
        file.error = splitter.error();
        return file;
    }
    AaEntry entry;
    DecodeReport report;
    int ordinal = 0;
    int heading = -1;
    std::string heading_utf8;
    while (splitter.next(entry, report)) {
        ++ordinal;
        // The report would only grow: nothing of it is shown for an index.
        report = DecodeReport{};
        if (is_blank_aa(entry.text) && entry.title.empty()) continue;
        if (entry.title.empty() && is_heading(entry.text, heading_utf8)) {
            heading = static_cast<int>(file.headings.size());
            std::string words;
            append_runs(words, heading_utf8);
            file.headings.push_back(std::move(heading_utf8));
            file.heading_words.push_back(std::move(words));
            continue;
        }
        AnalysedAa aa;
        aa.ordinal = ordinal;
        aa.offset = splitter.text_offset();
        aa.length = splitter.text_length();
        aa.heading = heading;
        if (!entry.title.empty()) {
            aa.title = sjis_to_utf8_lenient(entry.title);
            append_runs(aa.words, aa.title);
        }
        aa.size = measure_aa(entry.text, widths);
        aa.hash = content_hash(entry.text);
        append_aa_words(aa.words, entry.text, kMaxWordBytes);
        file.aas.push_back(std::move(aa));
    }
    file.ok = true;
    return file;
}

}  // namespace glyphora::collection
