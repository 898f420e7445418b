#include "settings/ini_document.h"

#include <charconv>

#include "model/sjis.h"

namespace glyphora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_blank_line(std::string_view text) {
    return trim_blanks(text).empty();
}

// Where the "]" closing a section header is, walking whole characters: 0x5D is also a trail byte.
std::size_t find_closing_bracket(std::string_view text, std::size_t from) {
    std::size_t pos = from;
    while (pos < text.size()) {
        if (text[pos] == ']') return pos;
        pos += static_cast<std::size_t>(char_at(text, pos).length);
    }
    return std::string_view::npos;
}

// A lead byte at the very end would take the "]" after it as its trail byte.
bool ends_with_lone_lead_byte(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (is_lead_byte(static_cast<unsigned char>(text[pos])) && pos + 1 == text.size()) return true;
        pos += static_cast<std::size_t>(char_at(text, pos).length);
    }
    return false;
}

}  // namespace

bool settings_names_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t i = 0;
    while (i < a.size()) {
        if (is_lead_byte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            // A trail byte may look like an ASCII letter; it must not be folded.
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            i += 2;
        } else {
            if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
            ++i;
        }
    }
    return true;
}

std::optional<int> parse_settings_int(std::string_view text) {
    // Surrounding blanks (a hand-edited "x = 5", a stray CR) do not make a number malformed.
    while (!text.empty() && (is_blank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (is_blank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string check_settings_entry(std::string_view section, std::string_view key, std::string_view value) {
    const auto has_break = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
    };
    if (section.empty() || trim_blanks(section) != section)
        return "the settings section name \"" + std::string(section) +
               "\" is empty or starts or ends with a blank";
    if (has_break(section) || section.find(']') != section.npos || ends_with_lone_lead_byte(section))
        return "the settings section name \"" + std::string(section) +
               "\" holds a line break, NUL or \"]\", or ends in half a character";
    if (key.empty() || trim_blanks(key) != key)
        return "the settings key \"" + std::string(key) + "\" is empty or starts or ends with a blank";
    if (has_break(key) || key.find('=') != key.npos || key.front() == '[' || key.front() == ';' ||
        key.front() == '#')
        return "the settings key \"" + std::string(key) +
               "\" holds a line break, NUL or \"=\", or starts with \"[\", \";\" or \"#\"";
    if (has_break(value))
        return "the value of settings key \"" + std::string(key) + "\" holds a line break or NUL byte";
    return {};
}

IniDocument::Line IniDocument::classify(std::string text, std::string eol, bool first_line) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    std::string_view t = line.text;
    std::size_t p = 0;
    // A file saved by an editor that adds a UTF-8 mark still has its first section.
    if (first_line && t.substr(0, kUtf8Bom.size()) == kUtf8Bom) p = kUtf8Bom.size();
    while (p < t.size() && is_blank(t[p])) ++p;
    if (p == t.size()) return line;
    if (t[p] == '[') {
        const std::size_t close = find_closing_bracket(t, p + 1);
        if (close != t.npos) {
            line.kind = LineKind::section;
            line.name = std::string(trim_blanks(t.substr(p + 1, close - p - 1)));
        }
        return line;
    }
    if (t[p] == ';' || t[p] == '#') return line;
    // '=' is below the trail byte range, so a plain byte search cannot land inside a character.
    const std::size_t eq = t.find('=', p);
    if (eq == t.npos) return line;
    const std::string_view key = trim_blanks(t.substr(p, eq - p));
    if (key.empty()) return line;
    line.kind = LineKind::key;
    line.name = std::string(key);
    line.value_at = eq + 1;
    return line;
}

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    bool eol_seen = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        std::string_view body;
        std::string_view eol;
        if (nl == text.npos) {
            body = text.substr(pos);
            pos = text.size();
            // A CR ending the file ends its last line, as it would with the LF after it.
            if (!body.empty() && body.back() == '\r') {
                body.remove_suffix(1);
                eol = "\r";
            }
        } else {
            body = text.substr(pos, nl - pos);
            eol = "\n";
            if (!body.empty() && body.back() == '\r') {
                body.remove_suffix(1);
                eol = "\r\n";
            }
            pos = nl + 1;
        }
        if (!eol.empty() && eol != "\r" && !eol_seen) {
            doc.eol_ = std::string(eol);
            eol_seen = true;
        }
        doc.lines_.push_back(classify(std::string(body), std::string(eol), doc.lines_.empty()));
    }
    return doc;
}

std::string IniDocument::serialise() const {
    std::size_t size = 0;
    for (const Line& line : lines_) size += line.text.size() + line.eol.size();
    std::string out;
    out.reserve(size);
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

std::optional<std::size_t> IniDocument::find_line(std::string_view section, std::string_view key) const {
    bool in_section = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::section) {
            in_section = settings_names_equal(line.name, section);
        } else if (in_section && line.kind == LineKind::key && settings_names_equal(line.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> IniDocument::find(std::string_view section, std::string_view key) const {
    const auto i = find_line(section, key);
    if (!i) return std::nullopt;
    return std::string_view(lines_[*i].text).substr(lines_[*i].value_at);
}

int IniDocument::read_int(std::string_view section, std::string_view key, int default_value) const {
    const auto value = find(section, key);
    if (!value) return default_value;
    return parse_settings_int(*value).value_or(default_value);
}

std::string IniDocument::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value, std::size_t capacity) const {
    std::string_view value = find(section, key).value_or(default_value);
    // The receiving buffers are NUL-terminated: a stored NUL ends the string there.
    value = value.substr(0, value.find('\0'));
    const std::size_t room = capacity == 0 ? 0 : capacity - 1;
    return std::string(value.substr(0, room));
}

void IniDocument::terminate(Line& line) const {
    // Another line is about to follow the file's last line: complete its line end without changing it.
    if (line.eol.empty()) line.eol = eol_;
    if (line.eol == "\r") line.eol = "\r\n";
}

std::string IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    if (std::string reason = check_settings_entry(section, key, value); !reason.empty()) return reason;

    if (const auto i = find_line(section, key)) {
        Line& line = lines_[*i];
        // Keep the key as the file spells it; only the value changes.
        line.text.resize(line.value_at);
        line.text += value;
        return {};
    }

    std::string key_text = std::string(key) + "=" + std::string(value);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != LineKind::section || !settings_names_equal(lines_[i].name, section)) continue;
        // After the section's last non-blank line, so blank lines before the next section stay there.
        std::size_t last = i;
        for (std::size_t j = i + 1; j < lines_.size() && lines_[j].kind != LineKind::section; ++j)
            if (!is_blank_line(lines_[j].text)) last = j;
        terminate(lines_[last]);
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1),
                      classify(std::move(key_text), eol_, false));
        return {};
    }

    if (!lines_.empty()) terminate(lines_.back());
    lines_.push_back(classify("[" + std::string(section) + "]", eol_, lines_.empty()));
    lines_.push_back(classify(std::move(key_text), eol_, false));
    return {};
}

}  // namespace glyphora
