#include "exchange/aa_formats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    const SjisChar c = last_char(s);
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

// One line of bytes, whatever its line end (CR LF, LF or a lone CR): [start, end) is its content, next where
// the following line starts. Bytes that end in a line end have no further empty line after it.
struct RawLine {
    std::size_t start, end, next;
};

RawLine line_at(std::string_view bytes, std::size_t pos) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    std::size_t next = end;
    if (end < bytes.size())
        next = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    return {pos, end, next};
}

// A header's title: the rest of the line without one closing "]" (a whole character of its own: in
// Shift_JIS a "]" byte may be the second half of a double-byte character).
std::string_view header_title(std::string_view line, bool sjis) {
    std::string_view title = line.substr(kAstHeader.size());
    if (title.ends_with(']') && !(sjis && splits_double_byte(title, title.size() - 1)))
        title.remove_suffix(1);
    return title;
}

// Bytes that decode to nothing but line ends: the decoder drops NUL bytes.
bool decodes_blank(std::string_view bytes) {
    return bytes.find_first_not_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// "300 MB" (rounded up), or "1000 bytes" below a megabyte.
std::string amount_of_bytes(std::uint64_t n) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    return n < kMiB ? std::to_string(n) + " bytes" : std::to_string((n + kMiB - 1) / kMiB) + " MB";
}

}  // namespace

AaSplitter::AaSplitter(std::string_view bytes, AaFormat format) : format_(format) {
    const AaSource source = open_aa_bytes(bytes);
    encoding_ = source.encoding;
    if (!source.ok) {
        error_ = source.error;
        done_ = true;
        return;
    }
    bytes_ = source.bytes;
    offset_ = bytes.size() - source.bytes.size();
    start();
    // Text without any header is most likely no AST file at all: an error, not an empty import.
    if (format_ == AaFormat::ast && done_ && !is_blank_aa(bytes_))
        error_ = "no line begins with [AA][, so this is no AST file";
}

AaSplitter::AaSplitter(std::string_view text, AaFormat format, DecodedText)
    : bytes_(text), format_(format), decode_(false) {
    start();
}

void AaSplitter::start() {
    if (format_ != AaFormat::ast) return;
    // Text before the first header is no AA.
    while (pos_ < bytes_.size()) {
        const RawLine line = line_at(bytes_, pos_);
        if (bytes_.substr(line.start, line.end - line.start).starts_with(kAstHeader)) return;
        pos_ = line.next;
        ++line_;
    }
    done_ = true;
}

bool AaSplitter::blank(std::string_view text) const {
    return decode_ ? decodes_blank(text) : is_blank_aa(text);
}

bool AaSplitter::raw_piece(Piece& piece) {
    if (done_) return false;
    piece = Piece{};
    if (format_ == AaFormat::txt) {
        piece.text = bytes_;
        pos_ = bytes_.size();
        done_ = piece.last = true;
        return true;
    }
    if (format_ == AaFormat::ast) {
        const RawLine header = line_at(bytes_, pos_);
        piece.title = header_title(bytes_.substr(header.start, header.end - header.start),
                                   !decode_ || encoding_ == TextEncoding::sjis);
        piece.title_line = line_++;
        pos_ = header.next;
    }
    piece.first_line = line_;
    // The AA's lines, up to the next separator (MLT, taken) or header (AST, left for the next AA); its final
    // line end is not part of it.
    const std::size_t begin = pos_;
    std::size_t last_end = begin;
    bool has_lines = false;
    while (pos_ < bytes_.size()) {
        const RawLine line = line_at(bytes_, pos_);
        const std::string_view content = bytes_.substr(line.start, line.end - line.start);
        if (format_ == AaFormat::ast && content.starts_with(kAstHeader)) break;
        pos_ = line.next;
        ++line_;
        if (format_ == AaFormat::mlt && content == kSplitLine) {
            if (has_lines) piece.text = bytes_.substr(begin, last_end - begin);
            return true;
        }
        has_lines = true;
        last_end = line.end;
    }
    if (has_lines) piece.text = bytes_.substr(begin, last_end - begin);
    done_ = piece.last = pos_ >= bytes_.size();
    return true;
}

bool AaSplitter::next_piece(Piece& piece) {
    while (raw_piece(piece)) {
        const bool first = pieces_++ == 0;
        // MLT cannot carry a blank AA at its ends (nor TXT an empty file): one there is no AA.
        if (format_ != AaFormat::ast && (first || piece.last) && blank(piece.text)) continue;
        text_offset_ = piece.text.data()
                           ? offset_ + static_cast<std::size_t>(piece.text.data() - bytes_.data())
                           : position();
        text_length_ = piece.text.size();
        return true;
    }
    return false;
}

bool AaSplitter::next(AaEntry& entry, DecodeReport& report) {
    Piece piece;
    if (!next_piece(piece)) return false;
    entry.title.clear();
    entry.text.clear();
    if (!decode_) {
        entry.title = piece.title;
        entry.text = piece.text;
        return true;
    }
    decode_aa_piece(piece.title, encoding_, piece.title_line, entry.title, report);
    decode_aa_piece(piece.text, encoding_, piece.first_line, entry.text, report);
    // The whole file is the AA: its final line end is not part of it.
    if (format_ == AaFormat::txt && entry.text.ends_with(kCrLf)) entry.text.resize(entry.text.size() - 2);
    return true;
}

bool AaSplitter::skip() {
    Piece piece;
    return next_piece(piece);
}

std::vector<AaEntry> split_mlt(std::string_view text) {
    AaSplitter splitter(text, AaFormat::mlt, AaSplitter::DecodedText{});
    std::vector<AaEntry> entries;
    DecodeReport unused;
    for (AaEntry entry; splitter.next(entry, unused);) entries.push_back(std::move(entry));
    return entries;
}

std::vector<AaEntry> split_ast(std::string_view text) {
    AaSplitter splitter(text, AaFormat::ast, AaSplitter::DecodedText{});
    std::vector<AaEntry> entries;
    DecodeReport unused;
    for (AaEntry entry; splitter.next(entry, unused);) entries.push_back(std::move(entry));
    return entries;
}

AaReadResult read_aa_bytes(std::string_view bytes, AaFormat format) {
    AaReadResult result;
    // Split first, then decode each AA into its entry: a large file is not held a second time.
    AaSplitter splitter(bytes, format);
    result.report.encoding = splitter.encoding();
    if (!splitter.ok()) {
        result.error = splitter.error();
        return result;
    }
    for (AaEntry entry; splitter.next(entry, result.report);) result.entries.push_back(std::move(entry));
    result.ok = true;
    return result;
}

AaFileBytes read_aa_file_bytes(const std::string& path, std::uint64_t limit) {
    AaFileBytes result;
    auto refuse = [&](std::uint64_t size) {
        result.too_large = true;
        result.size = size;
        result.bytes = std::string();
        result.error = "the file has " + amount_of_bytes(size) + "; an AA file may have at most " +
                       amount_of_bytes(limit);
        return result;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = "cannot open " + path + ": " + errno_message(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        result.error = "cannot read " + path + ": " + errno_message(err);
        return result;
    }
    if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > limit) {
        ::close(fd);
        return refuse(static_cast<std::uint64_t>(st.st_size));
    }
    if (S_ISREG(st.st_mode)) result.bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            result.bytes = std::string();
            result.error = "cannot read " + path + ": " + errno_message(err);
            return result;
        }
        if (n == 0) break;
        // A file that grew since it was looked at, or one without a size, stops at the limit.
        if (result.bytes.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            return refuse(limit + 1);
        }
        result.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    result.ok = true;
    return result;
}

AaReadResult read_aa_file(const std::string& path, AaFormat format) {
    AaFileBytes file = read_aa_file_bytes(path);
    if (!file.ok) {
        AaReadResult result;
        result.error = file.error;
        return result;
    }
    return read_aa_bytes(file.bytes, format);
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
