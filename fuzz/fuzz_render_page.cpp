// render_page on pages built from arbitrary bytes: part texts, positions, boxes, flags and settings. Checks
// that the text is always terminated within its buffer, and that it matches the plain reference renderer
// of the tests byte for byte where no part holds a numeric character reference (which only render_page
// lays out).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "../tests/render/literal_render.h"
#include "model/mirror_table.h"
#include "render/gap_fill.h"
#include "render/measure_part.h"
#include "render/part_markup.h"
#include "render/render_page.h"

namespace {

using namespace glyphora;

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int32_t int16() { return static_cast<int16_t>(byte() | (byte() << 8)); }
    int32_t int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return static_cast<int32_t>(v);
    }
    // A position: usually near the page, sometimes anywhere in the int32 range.
    int32_t position() { return byte() < 240 ? int16() : int32(); }
    std::string_view bytes(size_t n) {
        n = n < size_ - pos_ ? n : size_ - pos_;
        const std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return s;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct State {
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
    std::unique_ptr<PreviewBook> book = std::make_unique<PreviewBook>();
    std::unique_ptr<MirrorTables> tables = std::make_unique<MirrorTables>();
    std::unique_ptr<RenderWorkspace> ws = std::make_unique<RenderWorkspace>();
    std::unique_ptr<RenderOutput> out = std::make_unique<RenderOutput>();
    std::unique_ptr<literal::Workspace> lit_ws = std::make_unique<literal::Workspace>();
    std::unique_ptr<literal::Output> lit_out = std::make_unique<literal::Output>();

    State() {
        auto file = std::make_unique<MetricsFile>();
        parse_metrics(
            "line_height 18\ndefault 8\n0x20 5\n0x8140 11\n0x2E 3\n0x69 2\n0x57 13\n0x82A0 16\n"
            "0x26 7\n0x28 4\n0x29 6\n0x8152 9\n",
            *file);
        MetricsFileSource source(*file);
        widths->build(source);
        load_mirror_tables(*tables, "-", "-");
        insert(tables->horizontal, '.', 'W');
        insert(tables->vertical, 'A', 'B');
        insert(tables->vertical, '&', 0x20);
    }
};

bool holds_reference(const Page& page) {
    for (const Part& part : page.slots) {
        if (!part.in_use) continue;
        const std::string_view text = get_string(part.text);
        for (size_t pos = text.find("&#"); pos != std::string_view::npos; pos = text.find("&#", pos + 1))
            if (match_reference(text, pos).length > 0) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static State s;
    Input in(data, size);
    RenderSettings settings;
    const uint8_t flags = in.byte();
    for (int i = 0; i < RenderSettings::kCount; ++i) settings.flag(i) = (flags >> i) & 1;
    const int page = in.byte() % kPreviewPages;
    Page& p = s.book->pages[page];
    clear_page(p);
    const int parts = in.byte() % 8 + 1;
    for (int k = 0; k < parts; ++k) {
        Part& part = p.slots[in.byte() % kPartsPerPage];
        clear_slot(part);
        const uint8_t f = in.byte();
        part.in_use = true;
        part.always_opaque = f & 1;
        part.flip_h = f & 2;
        part.flip_v = f & 4;
        part.no_mirror_table = f & 8;
        part.is_label = f & 16;
        part.border_left = static_cast<int8_t>(in.byte());
        part.border_right = static_cast<int8_t>(in.byte());
        part.x = in.position();
        part.y = in.position();
        const size_t length = in.byte() | (in.byte() << 8);
        set_text(part, in.bytes(length));
        switch (in.byte() % 3) {
            case 0:
                part.box = measure_part(part, *s.widths);
                break;
            case 1:
                part.box = Box{in.position(), in.position(), in.position(), in.position()};
                break;
            default:
                break;  // never measured
        }
    }
    const uint8_t tables = in.byte();
    const MirrorTable* h = tables & 1 ? &s.tables->horizontal : nullptr;
    const MirrorTable* v = tables & 2 ? &s.tables->vertical : nullptr;

    set_dot_random_state(1);
    literal::dot_state = 1;
    render_page(*s.ws, *s.widths, *s.book, h, v, page, settings, *s.out);
    literal::render_page(*s.lit_ws, *s.widths, *s.book, h, v, page, settings, *s.lit_out);

    const RenderOutput& out = *s.out;
    if (out.length >= kOutputCapacity || out.text[out.length] != '\0') __builtin_trap();
    if (std::strlen(out.text) != out.length) __builtin_trap();  // no NUL inside the text
    if (holds_reference(p)) return 0;
    if (out.has_content != s.lit_out->has_content || out.length != s.lit_out->length ||
        std::memcmp(out.text, s.lit_out->text, out.length) != 0 || !(out.report == s.lit_out->report))
        __builtin_trap();
    return 0;
}
