// The decoding of an AA file on arbitrary bytes (through the TXT reader): it fails only for UTF-16 and for
// a BOM followed by no UTF-8; the text has CR LF line ends only and no NUL; the report lists at most the
// first few unconvertible characters, each kept in the text; and for UTF-8 without markup, line ends or
// references it agrees with utf8_to_part_text, the conversion of text pasted into a part.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/aa_formats.h"
#include "exchange/aa_text.h"
#include "system/encoding.h"

namespace {

using namespace glyphora;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DecodedText decoded = decode_aa_text(bytes);
    const bool utf16 = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    check(decoded.ok == !(utf16 || (bom && !is_strict_utf8(bytes))));
    const AaReadResult read = read_aa_bytes(bytes, AaFormat::txt);
    check(read.ok == decoded.ok && read.entries.size() <= 1);
    if (!decoded.ok) return 0;

    const std::string& text = decoded.text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        check(text[i] != '\0');
        if (text[i] == '\r') check(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n') check(i > 0 && text[i - 1] == '\r');
    }
    const DecodeReport& report = decoded.report;
    check(report.unconvertible.size() == std::min(report.unconvertible_count, kListedUnconvertible));
    int line = 1;
    for (const UnconvertibleChar& c : report.unconvertible) {
        check(c.line >= line && text.find(c.kept) != std::string::npos);
        check(unicode_to_sjis_code(c.code_point) < 0);
        line = c.line;
    }
    check(report.encoding == TextEncoding::sjis || is_strict_utf8(bytes));
    if (report.encoding == TextEncoding::sjis && !bom) {
        // Shift_JIS bytes are kept: without the bytes that need a look of their own the text is the input.
        if (bytes.find_first_of(std::string_view("&\r\n\0", 4)) == std::string_view::npos)
            check(text == bytes);
    }
    if (report.encoding == TextEncoding::utf8 &&
        bytes.find_first_of(std::string_view("&\r\n\0", 4)) == std::string_view::npos) {
        const Conversion pasted = utf8_to_part_text(bytes);
        // Both take what code page 932 lacks as references; pasting refuses only what no part can hold,
        // which the import keeps as a reference and counts.
        check(!pasted.ok || pasted.text == text);
        check(pasted.ok || report.unconvertible_count > 0);
    }
    return 0;
}
