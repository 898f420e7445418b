// The AST reader on arbitrary bytes: it reads or refuses with a message (nothing read then); what it reads
// has CR LF line ends only, titles without line breaks; written back as AST (Shift_JIS and UTF-8) the
// entries split into the same titles and texts again, or the writer names why it cannot.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aa_fuzz_checks.h"
#include "exchange/aa_formats.h"

namespace {

using namespace glyphora;

using fuzz::check;
using fuzz::clean_text;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const AaReadResult read = read_aa_bytes(bytes, AaFormat::ast);
    check(read.ok != !read.error.empty());
    if (!read.ok) {
        check(read.entries.empty());
        return 0;
    }
    for (const AaEntry& entry : read.entries) {
        check(clean_text(entry.text));
        check(entry.title.find_first_of("\r\n") == std::string::npos);
    }
    const AaWriteResult written = write_aa_bytes(read.entries, AaFormat::ast);
    check(written.skipped_blank.empty());
    if (written.ok) {
        check(split_ast(written.bytes) == read.entries);
    } else {
        // A header line made by a decoded reference ("&#91;AA][" at a line start), or a title that ends in
        // a lead byte whose trail byte was a NUL.
        check(!written.error.empty() && written.bytes.empty());
    }
    const AaWriteResult utf8 = write_aa_bytes(read.entries, AaFormat::ast, OutputEncoding::utf8);
    check(utf8.ok ? is_strict_utf8(utf8.bytes) : !utf8.error.empty());
    return 0;
}
