#include "exchange/aa_formats.h"

#include <algorithm>
#include <cstdio>

#include "io/file_io.h"
#include "model/sjis.h"
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

// True when the last character of s is a lead byte without its trail byte.
bool ends_in_lead_byte(std::string_view s) {
    std::size_t pos = 0;
    SjisChar c{0, 0};
    while (pos < s.size()) {
        c = char_at(s, pos);
        pos += static_cast<std::size_t>(c.length);
    }
    return c.length == 1 && is_lead_byte(static_cast<unsigned char>(c.code));
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

namespace {

// One AA of a file before decoding: where its text and (AST) its title lie, and their lines.
struct Piece {
    std::string_view title;
    std::string_view text;
    int title_line = 0;
    int first_line = 1;
};

// Calls f(start, end, number) for every line of bytes, whatever its line ends (CR LF, LF or a lone CR):
// [start, end) is its content, number counts from 1. Bytes that end in a line end have no further empty
// line after it.
template <typename F>
void for_each_raw_line(std::string_view bytes, F&& f) {
    std::size_t start = 0;
    int number = 1;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        f(start, end, number++);
        start = end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n'
                    ? end + 2
                    : end + 1;
    }
}

std::vector<Piece> mlt_pieces(std::string_view bytes) {
    std::vector<Piece> pieces;
    std::size_t block = 0, last_end = 0;  // where the current AA starts; the content end of the last line
    int block_line = 1;
    bool block_has_lines = false;
    for_each_raw_line(bytes, [&](std::size_t start, std::size_t end, int number) {
        if (bytes.substr(start, end - start) == kSplitLine) {
            pieces.push_back({{},
                              block_has_lines ? bytes.substr(block, last_end - block) : std::string_view(),
                              0,
                              block_line});
            block = std::min(end + 1, bytes.size());
            if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
                ++block;
            block_line = number + 1;
            block_has_lines = false;
        } else {
            block_has_lines = true;
            last_end = end;
        }
    });
    pieces.push_back(
        {{}, block_has_lines ? bytes.substr(block, last_end - block) : std::string_view(), 0, block_line});
    return pieces;
}

// A header's title: the rest of the line without one closing "]" (a whole character of its own: in
// Shift_JIS a "]" byte may be the second half of a double-byte character).
std::string_view header_title(std::string_view line, bool sjis) {
    std::string_view title = line.substr(kAstHeader.size());
    if (title.ends_with(']') && !(sjis && splits_double_byte(title, title.size() - 1)))
        title.remove_suffix(1);
    return title;
}

std::vector<Piece> ast_pieces(std::string_view bytes, bool sjis) {
    std::vector<Piece> pieces;
    std::size_t body = 0, last_end = 0;
    bool body_has_lines = false;
    auto close = [&] {
        if (!pieces.empty() && body_has_lines) pieces.back().text = bytes.substr(body, last_end - body);
    };
    for_each_raw_line(bytes, [&](std::size_t start, std::size_t end, int number) {
        const std::string_view line = bytes.substr(start, end - start);
        if (!line.starts_with(kAstHeader)) {
            body_has_lines = true;
            last_end = end;
            return;
        }
        close();
        pieces.push_back({header_title(line, sjis), {}, number, number + 1});
        body = std::min(end + 1, bytes.size());
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++body;
        body_has_lines = false;
    });
    close();
    return pieces;
}

// MLT cannot carry a blank AA at its ends: one there is no AA.
void drop_blank_ends(std::vector<AaEntry>& entries) {
    if (!entries.empty() && is_blank_aa(entries.back().text)) entries.pop_back();
    if (!entries.empty() && is_blank_aa(entries.front().text)) entries.erase(entries.begin());
}

std::vector<AaEntry> copied(const std::vector<Piece>& pieces) {
    std::vector<AaEntry> entries;
    entries.reserve(pieces.size());
    for (const Piece& p : pieces) entries.push_back({std::string(p.title), std::string(p.text)});
    return entries;
}

}  // namespace

std::vector<AaEntry> split_mlt(std::string_view text) {
    std::vector<AaEntry> entries = copied(mlt_pieces(text));
    drop_blank_ends(entries);
    return entries;
}

std::vector<AaEntry> split_ast(std::string_view text) {
    return copied(ast_pieces(text, true));
}

AaReadResult read_aa_bytes(std::string_view bytes, AaFormat format) {
    AaReadResult result;
    const AaSource source = open_aa_bytes(bytes);
    result.report.encoding = source.encoding;
    if (!source.ok) {
        result.error = source.error;
        return result;
    }
    // Split first, then decode each AA into its entry: a large file is not held a second time.
    std::vector<Piece> pieces;
    switch (format) {
        case AaFormat::txt:
            pieces.push_back({{}, source.bytes, 0, 1});
            break;
        case AaFormat::mlt:
            pieces = mlt_pieces(source.bytes);
            break;
        case AaFormat::ast:
            pieces = ast_pieces(source.bytes, source.encoding == TextEncoding::sjis);
            if (pieces.empty() && !is_blank_aa(source.bytes)) {
                result.error = "no line begins with [AA][, so this is no AST file";
                return result;
            }
            break;
    }
    result.entries.resize(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        AaEntry& entry = result.entries[i];
        const Piece& piece = pieces[i];
        decode_aa_piece(piece.title, source.encoding, piece.title_line, entry.title, result.report);
        decode_aa_piece(piece.text, source.encoding, piece.first_line, entry.text, result.report);
    }
    if (format == AaFormat::txt) {
        // The whole file: its final line end is not part of the AA.
        std::string& text = result.entries.front().text;
        if (text.ends_with(kCrLf)) text.resize(text.size() - kCrLf.size());
    }
    if (format != AaFormat::ast) drop_blank_ends(result.entries);
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
        if (format == AaFormat::ast && ends_in_lead_byte(title)) {
            problems.add(i,
                         "its title ends in the first byte of a double-byte character, which would take the "
                         "closing ] as its second");
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
