#include "exchange/aa_formats.h"

#include <cstdio>

#include "io/file_io.h"
#include "system/encoding.h"

namespace glyphora {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kSplitLine = "[SPLIT]";
constexpr std::string_view kAstHeader = "[AA][";
constexpr std::size_t kNamedProblems = 5;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// text without its final line end.
std::string_view without_final_line_end(std::string_view text) {
    if (text.ends_with(kCrLf)) text.remove_suffix(kCrLf.size());
    return text;
}

// Calls f(line_start, line_end) for every line of a CR LF text; line_end is where the line's CR LF begins
// (or the end of the text). A text that ends in CR LF has no further empty line after it.
template <typename F>
void for_each_line(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(kCrLf, start);
        if (end == std::string_view::npos) end = text.size();
        if (!f(start, end)) return;
        start = end + kCrLf.size();
    }
}

// Lone CR and LF become CR LF.
std::string with_crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += kCrLf;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += kCrLf;
        } else {
            out += c;
        }
    }
    return out;
}

// Collects what stops a file from being written, naming the first few.
struct Problems {
    std::size_t count = 0;
    std::string named;

    void add(std::size_t entry, const std::string& what) {
        if (count++ < kNamedProblems) named += "\nAA " + std::to_string(entry + 1) + ": " + what;
    }
    std::string message() const {
        std::string out =
            std::to_string(count) + " AA(s) cannot be written so that they read back as they are:";
        out += named;
        if (count > kNamedProblems) out += "\n...";
        return out;
    }
};

// The first line of text that a reader would take for a separator, 1-based; 0 when there is none.
int separator_line(std::string_view text, AaFormat format) {
    int line = 0, found = 0;
    for_each_line(text, [&](std::size_t start, std::size_t end) {
        ++line;
        const std::string_view content = text.substr(start, end - start);
        if ((format == AaFormat::mlt && content == kSplitLine) ||
            (format == AaFormat::ast && content.starts_with(kAstHeader))) {
            found = line;
            return false;
        }
        return true;
    });
    return found;
}

// A Shift_JIS string as UTF-8, or a description of its first byte that is no character.
bool to_utf8(std::string_view sjis, std::string& out, std::string& why) {
    const Conversion c = sjis_to_utf8(sjis);
    if (c.ok) {
        out += c.text;
        return true;
    }
    int line = 1;
    for (std::size_t i = 0; i < c.error_offset && i < sjis.size(); ++i)
        if (sjis[i] == '\n') ++line;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(sjis[c.error_offset]));
    why = std::string("byte ") + hex + " on line " + std::to_string(line) +
          " is no Shift_JIS character and has no UTF-8 form";
    return false;
}

}  // namespace

std::optional<AaFormat> aa_format_of_path(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    std::string ext;
    for (const char c : path.substr(dot + 1)) ext += lower(c);
    if (ext == "txt") return AaFormat::txt;
    if (ext == "mlt") return AaFormat::mlt;
    if (ext == "ast") return AaFormat::ast;
    return std::nullopt;
}

bool is_blank_aa(std::string_view text) {
    return text.find_first_not_of(kCrLf) == std::string_view::npos;
}

std::vector<AaEntry> split_mlt(std::string_view text) {
    std::vector<AaEntry> entries;
    std::size_t block = 0;  // where the current AA starts
    for_each_line(text, [&](std::size_t start, std::size_t end) {
        if (text.substr(start, end - start) == kSplitLine) {
            // The AA ends before the separator's line end... unless it has no line at all.
            const std::size_t stop = start > block ? start - kCrLf.size() : block;
            entries.push_back({{}, std::string(text.substr(block, stop - block))});
            block = std::min(end + kCrLf.size(), text.size());
        }
        return true;
    });
    entries.push_back({{}, std::string(without_final_line_end(text.substr(block)))});
    if (is_blank_aa(entries.back().text)) entries.pop_back();
    if (!entries.empty() && is_blank_aa(entries.front().text)) entries.erase(entries.begin());
    return entries;
}

std::vector<AaEntry> split_ast(std::string_view text) {
    std::vector<AaEntry> entries;
    std::size_t body = 0;  // where the current AA's text starts
    for_each_line(text, [&](std::size_t start, std::size_t end) {
        const std::string_view line = text.substr(start, end - start);
        if (!line.starts_with(kAstHeader)) return true;
        if (!entries.empty()) {
            const std::size_t stop = start > body ? start - kCrLf.size() : body;
            entries.back().text = text.substr(body, stop - body);
        }
        std::string_view title = line.substr(kAstHeader.size());
        if (title.ends_with(']')) title.remove_suffix(1);
        entries.push_back({std::string(title), {}});
        body = std::min(end + kCrLf.size(), text.size());
        return true;
    });
    if (!entries.empty()) entries.back().text = without_final_line_end(text.substr(body));
    return entries;
}

AaReadResult read_aa_bytes(std::string_view bytes, AaFormat format) {
    AaReadResult result;
    DecodedText decoded = decode_aa_text(bytes);
    result.report = decoded.report;
    if (!decoded.ok) {
        result.error = decoded.error;
        return result;
    }
    const std::string_view text = decoded.text;
    switch (format) {
        case AaFormat::txt:
            if (!is_blank_aa(text)) result.entries.push_back({{}, std::string(without_final_line_end(text))});
            break;
        case AaFormat::mlt:
            result.entries = split_mlt(text);
            break;
        case AaFormat::ast:
            result.entries = split_ast(text);
            if (result.entries.empty() && !is_blank_aa(text)) {
                result.error = "no line begins with [AA][, so this is no AST file";
                return result;
            }
            break;
    }
    result.ok = true;
    return result;
}

AaReadResult read_aa_file(const std::string& path, AaFormat format) {
    std::string bytes;
    const IoResult io = read_whole_file(path, bytes);
    if (!io.ok) {
        AaReadResult result;
        result.error = io.error;
        return result;
    }
    return read_aa_bytes(bytes, format);
}

AaWriteResult write_aa_bytes(std::span<const AaEntry> entries, AaFormat format, OutputEncoding encoding) {
    AaWriteResult result;
    if (format == AaFormat::txt && entries.size() != 1) {
        result.error = "a TXT file holds one AA, not " + std::to_string(entries.size()) + "; use MLT or AST";
        return result;
    }
    Problems problems;
    std::string out;
    bool first = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string text = with_crlf(entries[i].text);
        if (format == AaFormat::mlt && is_blank_aa(text)) {
            result.skipped_blank.push_back(i);
            continue;
        }
        if (const int line = separator_line(text, format); line > 0) {
            problems.add(i, "its line " + std::to_string(line) +
                                (format == AaFormat::mlt ? " is [SPLIT]" : " begins with [AA][") +
                                " and would split it");
            continue;
        }
        const std::string_view title = entries[i].title;
        if (format == AaFormat::ast && title.find_first_of(kCrLf) != std::string_view::npos) {
            problems.add(i, "its title has a line break");
            continue;
        }
        std::string title_out, text_out, why;
        if (encoding == OutputEncoding::utf8) {
            if (!to_utf8(title, title_out, why)) {
                problems.add(i, "in its title " + why);
                continue;
            }
            if (!to_utf8(text, text_out, why)) {
                problems.add(i, why);
                continue;
            }
        } else {
            title_out = title;
            text_out = text;
        }
        if (format == AaFormat::mlt && !first) out += "[SPLIT]\r\n";
        if (format == AaFormat::ast) out += std::string(kAstHeader) + title_out + "]\r\n";
        out += text_out;
        out += kCrLf;
        first = false;
    }
    if (problems.count > 0) {
        result.error = problems.message();
        result.skipped_blank.clear();
        return result;
    }
    result.ok = true;
    result.bytes = std::move(out);
    return result;
}

AaWriteResult write_aa_file(const std::string& path, std::span<const AaEntry> entries, AaFormat format,
                            OutputEncoding encoding) {
    AaWriteResult result = write_aa_bytes(entries, format, encoding);
    if (!result.ok) return result;
    const IoResult io = write_file_atomically(path, result.bytes);
    if (!io.ok) {
        result.ok = false;
        result.error = io.error;
    }
    return result;
}

}  // namespace glyphora
