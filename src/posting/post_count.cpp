#include "posting/post_count.h"

#include <algorithm>

#include "model/sjis.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora::posting {

namespace {

constexpr int kFullSpace = 0x8140;

// A named HTML entity ("&nbsp;"), which the board passes as written.
std::size_t named_entity_length(std::string_view text, std::size_t pos) {
    std::size_t i = pos + 1;
    const auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (i >= text.size() || !alpha(text[i])) return 0;
    while (i < text.size() && i - pos <= 32 && (alpha(text[i]) || (text[i] >= '0' && text[i] <= '9'))) ++i;
    return i < text.size() && text[i] == ';' && i - pos >= 3 ? i + 1 - pos : 0;
}

int utf8_length(int code_point) {
    return code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
}

// What one item of the text costs: a line break, an escaped ASCII character, a reference or entity as its
// ASCII bytes, or a character in the board's encoding.
struct Item {
    std::size_t length = 1;  // bytes of the text it takes
    int bytes = 0;           // bytes the server counts
    bool line_break = false;
    bool reference = false;
    CharReference ref;
    int code = 0;  // the Shift_JIS code of a character
};

Item next_item(std::string_view text, std::size_t pos, const BoardProfile& p) {
    Item it;
    const char c = text[pos];
    switch (c) {
        case '\r':
            it.line_break = true;
            it.length = pos + 1 < text.size() && text[pos + 1] == '\n' ? 2 : 1;
            it.bytes = p.rules.line_break;
            return it;
        case '\n':
            it.line_break = true;
            it.bytes = p.rules.line_break;
            return it;
        case '"':
            it.bytes = p.rules.quote;
            return it;
        case '<':
            it.bytes = p.rules.less;
            return it;
        case '>':
            it.bytes = p.rules.greater;
            return it;
        case '&': {
            // References are counted as written; where the board garbles them, check_page says so.
            if (const CharReference ref = match_reference(text, pos); ref.length > 0) {
                it.reference = true;
                it.ref = ref;
                it.length = static_cast<std::size_t>(ref.length);
                it.bytes = ref.length;
                return it;
            }
            if (const std::size_t n = named_entity_length(text, pos); n > 0) {
                it.length = n;
                it.bytes = static_cast<int>(n);
                return it;
            }
            it.bytes = p.rules.amp;
            return it;
        }
        default:
            break;
    }
    const SjisChar ch = char_at(text, pos);
    it.length = static_cast<std::size_t>(ch.length);
    it.code = ch.code;
    if (p.encoding == BoardProfile::utf8 && ch.code >= 0x80) {
        const int u = sjis_code_to_unicode(ch.code);
        it.bytes = u < 0 ? ch.length : utf8_length(u);
    } else {
        it.bytes = ch.length;
    }
    return it;
}

struct LineSpan {
    std::size_t begin = 0, end = 0;  // the line's own bytes
    bool has_break = false;          // a line break follows it
    int bytes = 0;                   // its bytes as counted, the break not included
};

std::vector<LineSpan> line_spans(std::string_view text, const BoardProfile& p) {
    std::vector<LineSpan> lines;
    LineSpan cur;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Item it = next_item(text, pos, p);
        if (it.line_break) {
            cur.end = pos;
            cur.has_break = true;
            lines.push_back(cur);
            cur = LineSpan{};
            cur.begin = pos + it.length;
        } else {
            cur.bytes += it.bytes;
        }
        pos += it.length;
    }
    if (cur.begin < text.size()) {
        cur.end = text.size();
        lines.push_back(cur);
    }
    return lines;
}

PostCount finish_count(int bytes, int lines, int references, const BoardProfile& p) {
    PostCount c;
    c.bytes = bytes;
    c.lines = lines;
    c.references = references;
    c.over_bytes = bytes > p.bytes_per_post;
    c.over_lines = lines > p.lines_per_post;
    return c;
}

std::string with_commas(int n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return n < 0 ? "-" + out : out;
}

bool is_blank_line(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const SjisChar c = char_at(line, i);
        if (c.code != ' ' && c.code != '\t' && c.code != kFullSpace) return false;
        i += static_cast<std::size_t>(c.length);
    }
    return true;
}

std::string code_point_text(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

}  // namespace

PostCount count_post(std::string_view text, const BoardProfile& profile) {
    int bytes = 0, lines = 0, references = 0;
    bool open_line = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const Item it = next_item(text, pos, profile);
        bytes += it.bytes;
        if (it.line_break) {
            ++lines;
            open_line = false;
        } else {
            open_line = true;
        }
        if (it.reference) ++references;
        pos += it.length;
    }
    return finish_count(bytes, lines + (open_line ? 1 : 0), references, profile);
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> out;
    for (const LineSpan& s : line_spans(text, builtin_profile()))
        out.push_back(text.substr(s.begin, s.end - s.begin));
    return out;
}

std::vector<Post> split_posts(std::string_view text, const BoardProfile& profile) {
    const std::vector<LineSpan> lines = line_spans(text, profile);
    std::vector<Post> posts;
    const int brk = profile.rules.line_break;
    // The count of lines [first, last]: their bytes, the breaks between them, and the page's final break
    // when the post ends the page.
    const auto count_of = [&](std::size_t first, std::size_t last, int bytes) {
        const bool trailing = last + 1 == lines.size() && lines[last].has_break;
        return finish_count(bytes + static_cast<int>(last - first) * brk + (trailing ? brk : 0),
                            static_cast<int>(last - first + 1), 0, profile);
    };
    std::size_t first = 0;
    while (first < lines.size()) {
        // The longest run of lines from `first` that fits, and the last blank line within it.
        std::size_t fit_end = first;  // one past the last line that fits
        std::size_t blank_end = 0;    // one past the blank line to break after; 0: none
        int bytes = 0;
        for (std::size_t j = first; j < lines.size(); ++j) {
            const int with = bytes + lines[j].bytes;
            if (count_of(first, j, with).over()) break;
            bytes = with;
            fit_end = j + 1;
            if (j > first && j + 1 < lines.size() &&
                is_blank_line(text.substr(lines[j].begin, lines[j].end - lines[j].begin)))
                blank_end = j + 1;
        }
        std::size_t end =
            fit_end == first ? first + 1 : (fit_end < lines.size() && blank_end ? blank_end : fit_end);
        const std::size_t last = end - 1;
        const std::size_t stop = last + 1 == lines.size() ? text.size() : lines[last].end;
        Post post;
        post.text = text.substr(lines[first].begin, stop - lines[first].begin);
        post.first_line = static_cast<int>(first) + 1;
        post.count = count_post(post.text, profile);
        posts.push_back(post);
        first = end;
    }
    if (posts.empty()) posts.push_back(Post{text, 1, count_post(text, profile)});
    return posts;
}

std::optional<std::string> fix_part_text(std::string_view text, const RenderSettings& settings) {
    std::string_view replacement;
    if (!settings.rendernotsp) {
        replacement = "&nbsp;";
    } else if (settings.renderdotflag) {
        replacement = ".";
    } else {
        return std::nullopt;
    }
    BlankTable blanks;
    const std::size_t body = read_blank_declarations(text, blanks);
    std::string out(text.substr(0, body));
    bool line_start = true, after_space = false, changed = false;
    for (std::size_t pos = body; pos < text.size();) {
        const std::size_t at = pos;
        const TextItem item = next_text_item(text, pos);
        const std::string_view bytes = text.substr(at, pos - at);
        const bool space = item.kind == TextItemKind::character && bytes == " ";
        if (space && (line_start || after_space)) {
            out += replacement;
            changed = true;
            after_space = false;
        } else {
            out += bytes;
            after_space = space;
        }
        line_start = item.kind == TextItemKind::line_break;
    }
    if (!changed) return std::nullopt;
    return out;
}

namespace {

struct PartSpaces {
    int part_line = 0;  // 0-based line of the part's text
    bool leading = false;
    bool doubled = false;
};

std::vector<PartSpaces> part_spaces(std::string_view text) {
    std::vector<PartSpaces> out;
    BlankTable blanks;
    std::size_t pos = read_blank_declarations(text, blanks);
    PartSpaces cur;
    bool line_start = true, after_space = false;
    while (pos < text.size()) {
        const std::size_t at = pos;
        const TextItem item = next_text_item(text, pos);
        if (item.kind == TextItemKind::line_break) {
            if (cur.leading || cur.doubled) out.push_back(cur);
            cur = PartSpaces{cur.part_line + 1};
            line_start = true;
            after_space = false;
            continue;
        }
        const bool space = item.kind == TextItemKind::character && text.substr(at, pos - at) == " ";
        if (space && line_start) cur.leading = true;
        if (space && after_space) cur.doubled = true;
        after_space = space;
        line_start = false;
    }
    if (cur.leading || cur.doubled) out.push_back(cur);
    return out;
}

void check_parts(const PageSource& source, int rendered_lines, std::vector<Finding>& out) {
    if (!source.page || source.line_height <= 0) return;
    const std::optional<std::string> probe = fix_part_text(" ", source.settings);
    for (int slot = 0; slot < kPartsPerPage; ++slot) {
        const Part& part = source.page->slots[slot];
        if (!part.in_use) continue;
        const std::string_view text = get_string(part.text);
        const std::string name(get_string(part.name));
        for (const PartSpaces& s : part_spaces(text)) {
            const int line = part.flip_v ? part.box.bottom / source.line_height - s.part_line
                                         : part.y / source.line_height + s.part_line + 1;
            if (line < 1 || line > rendered_lines) continue;
            const auto add = [&](FindingKind kind, const char* what) {
                Finding f;
                f.kind = kind;
                f.line = line;
                f.slot = slot;
                f.part_name = name;
                f.fixable = probe.has_value();
                f.message = "part " + std::to_string(slot + 1) + " (" + sjis_to_utf8_lenient(name) +
                            "), its line " + std::to_string(s.part_line + 1) + ": " + what;
                out.push_back(std::move(f));
            };
            if (s.leading)
                add(FindingKind::leading_space, "a half-width space at the line start, which HTML drops");
            if (s.doubled)
                add(FindingKind::double_space, "two half-width spaces in a row, which HTML shows as one");
        }
    }
}

}  // namespace

std::vector<Finding> check_page(std::string_view text, const BoardProfile& profile,
                                const PageSource* source) {
    std::vector<Finding> out;
    const std::vector<LineSpan> lines = line_spans(text, profile);
    int bytes = 0;
    bool reported_bytes = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const LineSpan& span = lines[n];
        const int number = static_cast<int>(n) + 1;
        const std::string_view line = text.substr(span.begin, span.end - span.begin);
        const auto add = [&](FindingKind kind, Severity severity, std::string message) {
            Finding f;
            f.kind = kind;
            f.severity = severity;
            f.line = number;
            f.message = std::move(message);
            out.push_back(std::move(f));
        };
        if (!line.empty() && line.front() == ' ')
            add(FindingKind::leading_space, Severity::warning,
                "a half-width space at the line start, which HTML drops");
        if (line.find("  ") != std::string_view::npos)
            add(FindingKind::double_space, Severity::warning,
                "two half-width spaces in a row, which HTML shows as one");
        bool garbled = false, unencodable = false;
        for (std::size_t pos = 0; pos < line.size();) {
            const Item it = next_item(line, pos, profile);
            if (it.reference && !profile.references_pass && !garbled) {
                garbled = true;
                const bool carried = unicode_to_sjis_code(it.ref.code_point) >= 0;
                add(FindingKind::garbled_reference, Severity::error,
                    "the reference \"" + std::string(line.substr(pos, it.length)) + "\" (" +
                        code_point_text(it.ref.code_point) + ") is garbled by this board" +
                        (carried ? "; write the character itself" : ""));
            }
            if (!it.reference && it.code >= 0x80 && !unencodable && sjis_code_to_unicode(it.code) < 0) {
                unencodable = true;
                char code[16];
                std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(it.code));
                add(FindingKind::unencodable, Severity::error,
                    "the bytes " + std::string(code) + " are no character " +
                        (profile.encoding == BoardProfile::utf8 ? "UTF-8 can carry" : "in Shift_JIS"));
            }
            pos += it.length;
        }
        bytes += span.bytes + (n > 0 ? profile.rules.line_break : 0);
        const int counted = bytes + (span.has_break && n + 1 == lines.size() ? profile.rules.line_break : 0);
        if (!reported_bytes && counted > profile.bytes_per_post) {
            reported_bytes = true;
            add(FindingKind::over_bytes, Severity::error,
                "the post passes its budget of " + with_commas(profile.bytes_per_post) + " bytes here");
        }
        if (number == profile.lines_per_post + 1)
            add(FindingKind::over_lines, Severity::error,
                "the post passes its budget of " + with_commas(profile.lines_per_post) + " lines here");
    }
    if (source) check_parts(*source, static_cast<int>(lines.size()), out);
    std::stable_sort(out.begin(), out.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return out;
}

std::optional<std::string> post_clipboard_text(std::string_view post, const BoardProfile&) {
    // References stay as written in either encoding: that is what was counted.
    Conversion c = sjis_to_utf8(post);
    if (!c.ok) return std::nullopt;
    return std::move(c.text);
}

std::string format_count(const PostCount& c, const BoardProfile& p) {
    // "バイト" and "行"
    return with_commas(c.bytes) + " / " + with_commas(p.bytes_per_post) +
           " \xE3\x83\x90\xE3\x82\xA4\xE3\x83\x88 \xC2\xB7 " + with_commas(c.lines) + " / " +
           with_commas(p.lines_per_post) + " \xE8\xA1\x8C";
}

}  // namespace glyphora::posting
