// The character set file reader on arbitrary bytes: every palette stays within its capacities, holds whole
// characters only and no line-end bytes, and palettes past the sections the file holds stay built in.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/palettes.h"
#include "model/sjis.h"

namespace {

bool whole_characters(std::string_view s) {
    for (std::size_t pos = 0; pos < s.size(); ++pos) {
        if (s[pos] == '\r' || s[pos] == '\n' || s[pos] == '\0') return false;
        if (glyphora::is_lead_byte(static_cast<unsigned char>(s[pos])) && ++pos >= s.size()) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace glyphora;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const PaletteSet builtin = builtin_palettes();
    PaletteSet p = builtin;
    read_charset_content(p, content);

    // Palette i can only be reached after i "[END]" lines, and only a header can change it.
    const auto occurrences = [&](std::string_view what) {
        int n = 0;
        for (std::size_t pos = content.find(what); pos != std::string_view::npos;
             pos = content.find(what, pos + 1))
            ++n;
        return n;
    };
    const int headers = occurrences("[IndexName=");
    const int ends = occurrences("[END]");
    for (int i = 0; i < kPaletteCount; ++i) {
        if (p[i].name.size() >= kPaletteNameCapacity || p[i].content.size() >= kPaletteContentCapacity)
            __builtin_trap();
        if (!whole_characters(p[i].name) || !whole_characters(p[i].content)) __builtin_trap();
        if ((headers == 0 || i > ends) && !(p[i] == builtin[i])) __builtin_trap();
        std::size_t bytes = 0;
        for (const int code : palette_codes(p[i].content)) bytes += code >= 256 ? 2 : 1;
        if (bytes != p[i].content.size()) __builtin_trap();
    }
    // Reading the same file again from the built-ins gives the same palettes.
    PaletteSet again = builtin;
    read_charset_content(again, content);
    if (!(again == p)) __builtin_trap();
    return 0;
}
