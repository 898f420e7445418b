#pragma once
// The AA collection files artists keep, read into entries and written from them:
// - TXT: the whole file is one AA.
// - MLT: AAs separated by lines that hold only "[SPLIT]".
// - AST: each AA begins with a line "[AA][title]" and runs up to the next line that begins with "[AA][";
//   text before the first such line is no AA.
// An AA's final line end is not part of it: a writer ends every AA with CR LF before the next separator, and
// a reader takes one line end off again, so a text that ends in CR LF keeps it through a round trip.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/aa_text.h"

namespace glyphora {

enum class AaFormat { txt, mlt, ast };

// By the extension ".txt", ".mlt" or ".ast" in any case; nullopt for any other path.
std::optional<AaFormat> aa_format_of_path(std::string_view path);

// One AA: Shift_JIS, CR LF line ends. The title is the AST header's (empty for TXT and MLT).
struct AaEntry {
    std::string title;
    std::string text;
    friend bool operator==(const AaEntry&, const AaEntry&) = default;
};

// A file's AAs one at a time: split as they are wanted, and decoded only when asked for. An import that runs
// out of room decodes nothing past that point and counts the rest without holding them. The AAs are those
// read_aa_bytes gives (it is this splitter run to the end); the bytes must outlive the splitter.
class AaSplitter {
  public:
    AaSplitter(std::string_view bytes, AaFormat format);

    // False when the bytes cannot be read as the format at all (see read_aa_bytes); there are no AAs then.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }  // UTF-8
    TextEncoding encoding() const { return encoding_; }

    // The next AA, decoded into entry (replacing what it held), its decoding added to report; false after
    // the last one.
    bool next(AaEntry& entry, DecodeReport& report);
    // Passes over the next AA without decoding it; false after the last one.
    bool skip();
    // How many of the bytes the AAs passed so far take up, for a progress display.
    std::size_t position() const { return offset_ + pos_; }
    // Where the text of the AA that next or skip last gave lies in the bytes given to the constructor (its
    // final line end left out), so that it can be read again on its own.
    std::size_t text_offset() const { return text_offset_; }
    std::size_t text_length() const { return text_length_; }

  private:
    struct Piece {
        std::string_view title, text;
        int title_line = 0, first_line = 1;
        bool last = false;  // nothing follows it in the file
    };
    struct DecodedText {};  // the text is Shift_JIS with CR LF already: split, never decoded
    AaSplitter(std::string_view text, AaFormat format, DecodedText);
    friend std::vector<AaEntry> split_mlt(std::string_view text);
    friend std::vector<AaEntry> split_ast(std::string_view text);

    void start();
    bool next_piece(Piece& piece);  // the next AA's bytes, MLT's and TXT's blank ends left out
    bool raw_piece(Piece& piece);
    bool blank(std::string_view text) const;

    std::string_view bytes_;  // after a byte order mark
    std::size_t offset_ = 0;  // the byte order mark's length
    AaFormat format_;
    bool decode_ = true;
    TextEncoding encoding_ = TextEncoding::sjis;
    std::string error_;
    std::size_t pos_ = 0;  // the start of the next line not yet taken
    int line_ = 1;         // its number
    std::size_t pieces_ = 0;
    bool done_ = false;
    std::size_t text_offset_ = 0, text_length_ = 0;
};

struct AaReadResult {
    bool ok = false;
    std::string error;  // UTF-8, when !ok; then entries is empty
    std::vector<AaEntry> entries;
    DecodeReport report;
};

// Decodes the bytes (see decode_aa_text) and splits them into AAs. MLT drops an AA before the first or after
// the last separator when it holds nothing but line ends (as does TXT for an empty file); AAs between two
// separators are kept whatever they hold. Errors: the decoding's, and an AST file that has text but no
// "[AA][" line (most likely not an AST file at all).
AaReadResult read_aa_bytes(std::string_view bytes, AaFormat format);
// The file at path, read whole (see read_aa_file_bytes).
AaReadResult read_aa_file(const std::string& path, AaFormat format);

// The largest AA file read. No collection of text art comes near it, and a file is held whole while its AAs
// are split; a larger one is refused before it is read.
constexpr std::uint64_t kMaxAaFileBytes = std::uint64_t{256} << 20;

struct AaFileBytes {
    bool ok = false;
    std::string error;       // UTF-8, when !ok
    bool too_large = false;  // refused for its size, which the error gives together with the limit
    std::uint64_t size = 0;  // the file's size when it was too large (at least limit + 1)
    std::string bytes;
};

// The bytes of the file at path, unless it holds more than limit bytes: a file's size is looked at before
// anything is read, and one whose size is not known beforehand (a pipe) is read no further than the limit.
AaFileBytes read_aa_file_bytes(const std::string& path, std::uint64_t limit = kMaxAaFileBytes);

// The splitting alone, on text already decoded (Shift_JIS, CR LF).
std::vector<AaEntry> split_mlt(std::string_view text);
std::vector<AaEntry> split_ast(std::string_view text);

// True when text holds nothing but CR and LF (MLT cannot carry such an AA at its ends).
bool is_blank_aa(std::string_view text);

enum class OutputEncoding { sjis, utf8 };

struct AaWriteResult {
    bool ok = false;
    std::string error;  // UTF-8, when !ok: every entry that cannot be written (the first few named)
    std::string bytes;  // the file, when ok
    std::vector<std::size_t> skipped_blank;  // MLT: indexes of entries left out by is_blank_aa
};

// The file for the entries, CR LF line ends throughout (a lone CR or LF of a text becomes CR LF). Refused,
// with nothing written, when a text would not read back as it is:
// - MLT: a text line that is exactly "[SPLIT]"; AST: a text line that begins with "[AA][", or a title with
//   a line break or ending in half a double-byte character; TXT: any number of entries but one;
// - UTF-8 output: a title or text with bytes that are no Shift_JIS character (as UTF-8 they could only be
//   replaced; writing them unchanged would make the file no UTF-8 at all).
// MLT leaves out blank entries (is_blank_aa) and lists them: they would vanish at the ends of the file.
// UTF-8 output has no byte order mark.
AaWriteResult write_aa_bytes(std::span<const AaEntry> entries, AaFormat format,
                             OutputEncoding encoding = OutputEncoding::sjis);
// write_aa_bytes, then the bytes written atomically to path (the previous file stays on any failure).
AaWriteResult write_aa_file(const std::string& path, std::span<const AaEntry> entries, AaFormat format,
                            OutputEncoding encoding = OutputEncoding::sjis);

}  // namespace glyphora
