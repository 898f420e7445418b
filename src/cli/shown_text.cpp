#include "cli/shown_text.h"

#include "render/part_markup.h"

namespace glyphora::cli {

namespace {

bool is_control(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Converts the runs between references with convert_run(run, run_offset, out), which returns false to stop;
// the references are read by the same walk as the renderer's, so the output shows what was rendered.
template <typename ConvertRun>
bool show_references(std::string_view sjis, std::string& out, ConvertRun convert_run) {
    std::size_t run = 0;
    for (std::size_t pos = 0; pos < sjis.size();) {
        const std::size_t start = pos;
        const TextItem item = next_text_item(sjis, pos);
        if (item.kind != TextItemKind::reference || is_control(item.reference.code_point)) continue;
        if (!convert_run(sjis.substr(run, start - run), run, out)) return false;
        out += encode_utf8(item.reference.code_point);
        run = pos;
    }
    return convert_run(sjis.substr(run), run, out);
}

}  // namespace

Conversion sjis_to_utf8_showing_references(std::string_view sjis) {
    Conversion result;
    result.ok =
        show_references(sjis, result.text, [&](std::string_view run, std::size_t offset, std::string& out) {
            Conversion c = sjis_to_utf8(run);
            if (!c.ok) {
                result.error_offset = offset + c.error_offset;
                result.bad_char = std::move(c.bad_char);
                return false;
            }
            out += c.text;
            return true;
        });
    return result;
}

std::string sjis_to_utf8_lenient_showing_references(std::string_view sjis) {
    std::string out;
    show_references(sjis, out, [](std::string_view run, std::size_t, std::string& shown) {
        shown += sjis_to_utf8_lenient(run, Unconvertible::hex_bytes);
        return true;
    });
    return out;
}

}  // namespace glyphora::cli
