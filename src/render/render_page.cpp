#include "render/render_page.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "model/sjis.h"
#include "render/exact_fill.h"
#include "render/gap_fill.h"
#include "render/part_markup.h"

namespace glyphora {

namespace {

constexpr int32_t kHalfSpace = 0x20;
constexpr int32_t kFullSpace = 0x8140;
constexpr int32_t kAmpersand = 0x26;

// Lays out one part onto the workspace. Only a part whose text holds "&#" is laid out with kReferences,
// so that the other parts take exactly the way they always took.
template <bool kReferences>
class PartLayout {
  public:
    PartLayout(RenderWorkspace& ws, const CharWidthTable& widths, const MirrorTable* mirror_h,
               const MirrorTable* mirror_v, const RenderSettings& settings, ErrorReport& report,
               const Part& part)
        : ws_(ws),
          widths_(widths),
          mirror_h_(part.flip_h && !part.no_mirror_table ? mirror_h : nullptr),
          mirror_v_(part.flip_v && !part.no_mirror_table ? mirror_v : nullptr),
          settings_(settings),
          report_(report),
          part_(part),
          flip_h_(part.flip_h),
          flip_v_(part.flip_v),
          opaque_(part.always_opaque) {
        if (mirror_h_ || mirror_v_) std::fill(std::begin(single_byte_map_), std::end(single_byte_map_), -1);
    }

    // text: the part's text.
    void run(std::string_view text) {
        const int32_t lh = widths_.line_height;
        pen_ = start_pen();
        line_ = flip_v_ ? part_.box.bottom / lh - 1 : part_.y / lh;
        std::size_t pos = read_blank_declarations(text, blanks_);
        transparent_ = false;
        has_content_ = false;
        start_pending_ = true;
        while (pos < text.size()) {
            const std::size_t start = pos;
            const TextItem item = next_text_item(text, pos);
            if (item.kind == TextItemKind::markup) {
                if (!markup(item.markup)) break;
            } else if (item.kind == TextItemKind::line_break) {
                if (!line_break()) break;
            } else if (kReferences && item.kind == TextItemKind::reference) {
                reference(text.substr(start, pos - start), item.reference);
            } else {
                const int32_t w0 = widths_.width(item.code);
                const int32_t mapped = map(item.code);
                character(mapped, w0, widths_.width(mapped));
            }
        }
        if constexpr (kReferences) drop_held_references();
        if (opaque_ && has_content_) fill_and_right_margin();
    }

  private:
    int64_t start_pen() const { return flip_h_ ? part_.box.right : part_.x; }

    int32_t map(int32_t code) {
        if (!mirror_h_ && !mirror_v_) return code;
        // Single-byte codes are the bulk of most texts: each is looked up once per part.
        if (code >= 0 && code < 256) {
            int32_t& known = single_byte_map_[code];
            if (known < 0) known = map_through_tables(code);
            return known;
        }
        return map_through_tables(code);
    }

    int32_t map_through_tables(int32_t code) const {
        if (mirror_h_) code = lookup(*mirror_h_, code);
        if (mirror_v_) code = lookup(*mirror_v_, code);
        return code;
    }

    // False when the part's layout ends.
    bool markup(const MarkupItem& m) {
        switch (m.kind) {
            case MarkupKind::transparent:
                transparent_ = true;
                return true;
            case MarkupKind::ensp:
                item(code_of(BlankCode::wide), kEnspWidth, kEnspWidth);
                return true;
            case MarkupKind::nbsp:
                item(code_of(BlankCode::nbsp), kNbspWidth, kNbspWidth);
                return true;
            case MarkupKind::thinsp:
                item(code_of(BlankCode::thin), kThinspWidth, kThinspWidth);
                return true;
            case MarkupKind::byte:
                if (m.value == kLineBreakByte) return line_break();
                byte_item(m.value);
                return true;
            default:
                return true;  // &www;
        }
    }

    // &=XY; stands for the single byte XY, so that "&=26;" writes an "&" that no entity swallows. It is
    // mapped and looked up in the blank table like any one-byte character, but advances by the width of
    // "&", as the canvas draws it, so the picture keeps the spacing the user sees there. A NUL cannot be
    // written into the text (it would end it), so &=00; becomes a half-width-space blank of that width.
    void byte_item(int value) {
        const int32_t amp = widths_.width(kAmpersand);
        const int32_t mapped = map(value);
        character(mapped, amp, amp);
    }

    // A character after mapping, with the width of the unmapped one (w0) and of the mapped one (w).
    void character(int32_t mapped, int32_t w0, int32_t w) {
        int64_t width = w;
        int32_t code = mapped == 0 ? kHalfSpace : mapped;  // only &=00; gives 0
        bool declared = false;
        if (!blanks_.empty()) {
            const int i = blanks_.find(mapped);
            if (i >= 0) {
                declared = true;
                code = kHalfSpace;
                if (blanks_.entries[i].width != 0) width = blanks_.entries[i].width;
            }
        }
        if (mapped != kHalfSpace && mapped != kFullSpace && !declared) transparent_ = false;
        item(code, w0, width);
    }

    // A numeric reference: one cell of its character's width, written as the part wrote it. It is no
    // mirror image of anything and never a declared blank; a Unicode space is a blank in that it does not
    // end a transparent run, but its cell keeps it as written, so that what follows lands where the
    // browser puts it in the part's own text, and a width no space item can write (1 pixel) is kept.
    void reference(std::string_view spelling, const CharReference& ref) {
        const CodePointWidth w = code_point_width(ref.code_point);
        const int64_t width = w.pixels();
        if (!is_unicode_space(ref.code_point)) transparent_ = false;
        if (width == 0) {
            zero_width(spelling, ref.terminated, w.sixty_fourths);
            return;
        }
        ReferenceSpellings& refs = ws_.references;
        int32_t fraction = w.sixty_fourths - static_cast<int32_t>(width * 64);
        int32_t code = 0;
        if (holding_) {
            refs.append_reference(spelling, ref.terminated);
            code = refs.close();
            fraction += held_fraction_;
            holding_ = false;
            held_fraction_ = 0;
        } else {
            code = refs.add(spelling, ref.terminated);
        }
        item(code, width, width, fraction);
    }

    // The table's width of a code point, through the rendering's own small cache: a page holds few
    // distinct ones, most of them many times.
    CodePointWidth code_point_width(char32_t code_point) {
        RenderWorkspace::CachedWidth& slot =
            ws_.code_point_widths[code_point % std::size(ws_.code_point_widths)];
        if (slot.code_point != code_point) slot = {code_point, widths_.code_point_width(code_point)};
        return slot.width;
    }

    // A reference of no width (a combining mark, a variation selector) takes no cell of its own: it joins
    // the character cell this part has just placed, or else waits for the next one on the line; a line
    // that has none loses it with nothing to see.
    [[gnu::noinline]] void zero_width(std::string_view spelling, bool terminated, int32_t sixty_fourths) {
        ReferenceSpellings& refs = ws_.references;
        LineCell* cell = joinable_ && !holding_ ? ws_.lines[line_].cell_at(joined_x_) : nullptr;
        if (!cell || cell->code != joined_code_) {
            refs.append_reference(spelling, terminated);
            holding_ = true;
            held_fraction_ += sixty_fourths;
            return;
        }
        if (is_reference_code(cell->code)) {
            refs.append_cell(cell->code);
        } else {
            char bytes[2];
            refs.append(std::string_view(bytes, static_cast<std::size_t>(put_code(bytes, cell->code))));
        }
        refs.append_reference(spelling, terminated);
        cell->code = joined_code_ = refs.close();
        cell->fraction64 += sixty_fourths;
    }

    void drop_held_references() {
        if (!holding_) return;
        ws_.references.discard();
        holding_ = false;
        held_fraction_ = 0;
    }

    void item(int32_t code, int64_t w0, int64_t w, int32_t fraction64 = 0) {
        if (start_pending_) {
            left_margin();
            start_pending_ = false;
        }
        if constexpr (kReferences) joinable_ = false;
        // A flipped line steps left by the unmapped character's width, so the flipped text keeps the
        // original's spacing; only outside the drift-reducing mode does a much wider mirror image get its
        // own width.
        if (flip_h_) pen_ -= (w0 < w - 1 && !settings_.renderhantenzmode) ? w : w0;
        if (!transparent_ || opaque_) {
            // References of no width held for the next character go into its cell.
            if (kReferences && holding_ && !is_blank_code(code))
                code = take_held_references(code, fraction64);
            place(code, pen_, w, fraction64);
            has_content_ = true;
        }
        if (!flip_h_) pen_ += w;
    }

    void place(int32_t code, int64_t x, int64_t w, int32_t fraction64 = 0) {
        if (line_ < 0 || line_ >= kRenderLines) return;
        RenderLine& line = ws_.lines[line_];
        if (line.place_cell(code, x, w)) record_error(report_, ErrorKind::line_full, line.number);
        if constexpr (kReferences) {
            if (fraction64 != 0) set_fraction(line, x, fraction64);
            joinable_ = !is_blank_code(code);
            joined_x_ = x;
            joined_code_ = code;
        }
    }

    // The rare ways of references are kept out of line, so that the way of every character stays short
    // enough to be inlined.
    //
    // The cell of a character that references of no width were held for: it writes them, then itself.
    [[gnu::noinline]] int32_t take_held_references(int32_t code, int32_t& fraction64) {
        char bytes[2];
        ws_.references.append(std::string_view(bytes, static_cast<std::size_t>(put_code(bytes, code))));
        fraction64 += held_fraction_;
        holding_ = false;
        held_fraction_ = 0;
        return ws_.references.close();
    }

    [[gnu::noinline]] void set_fraction(RenderLine& line, int64_t x, int32_t fraction64) {
        if (LineCell* cell = line.cell_at(x)) cell->fraction64 = fraction64;
        ws_.fractional = true;
    }

    void left_margin() {
        if (!opaque_ || part_.border_left == 0) return;
        const int64_t b = part_.border_left;
        place(code_of(BlankCode::wide), flip_h_ ? pen_ : pen_ - b, b);
    }

    void right_margin() {
        if (!opaque_ || part_.border_right == 0) return;
        const int64_t b = part_.border_right;
        place(code_of(BlankCode::wide), flip_h_ ? pen_ - b : pen_, b);
    }

    void fill_and_right_margin() {
        if (opaque_) {
            if (flip_h_) {
                place(code_of(BlankCode::fill), part_.x, pen_ - part_.x);
                pen_ = part_.x;
            } else {
                place(code_of(BlankCode::fill), pen_, part_.box.right - pen_);
                pen_ = part_.box.right;
            }
        }
        right_margin();
    }

    // False when the next line lies outside the page.
    bool line_break() {
        if constexpr (kReferences) drop_held_references();
        if (start_pending_) left_margin();
        fill_and_right_margin();
        if constexpr (kReferences) joinable_ = false;
        has_content_ = false;
        start_pending_ = true;
        pen_ = start_pen();
        line_ += flip_v_ ? -1 : 1;
        if (line_ < 0 || line_ >= kRenderLines) {
            record_error(report_, ErrorKind::too_many_lines, kNoLine);
            return false;
        }
        return true;
    }

    RenderWorkspace& ws_;
    const CharWidthTable& widths_;
    const MirrorTable* mirror_h_;
    const MirrorTable* mirror_v_;
    const RenderSettings& settings_;
    ErrorReport& report_;
    const Part& part_;
    const bool flip_h_;
    const bool flip_v_;
    const bool opaque_;

    int64_t pen_ = 0;
    int line_ = 0;
    bool transparent_ = false;
    bool has_content_ = false;
    bool start_pending_ = true;
    // The character cell a reference of no width joins: placed last by this part, on the current line.
    bool joinable_ = false;
    int64_t joined_x_ = 0;
    int32_t joined_code_ = 0;
    bool holding_ = false;       // references of no width wait for the next character
    int32_t held_fraction_ = 0;  // their advance
    BlankTable blanks_;
    int32_t single_byte_map_[256];
};

void write_size_line(TextBuffer& out) {
    // "　サイズ目安＝" (size estimate) in Shift_JIS.
    static constexpr char kLabel[] = "\x81\x40\x83\x54\x83\x43\x83\x59\x96\xDA\x88\xC0\x81\x81";
    char line[48];
    const int n = std::snprintf(line, sizeof line, "%s%zu", kLabel, out.length);
    // Character by character, so that a cut never leaves half of a double-byte character behind.
    const std::string_view s(line, static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = static_cast<std::size_t>(char_at(s, i).length);
        out.put(s.data() + i, len, kNoLine);
        i += len;
    }
    out.put("\r\n", 2, kNoLine);
}

// The classic fill of a line of a page with references (the other pages keep the plain loop below).
// LineWriter writes Shift_JIS codes; a reference cell is written here and the writer started afresh past
// it, which is what writing a character does to it: the pixels written go on from the cell's end, and no
// half-width space stands just before what follows.
void write_line_classic(TextBuffer& text, const LineCell* cells, int count, const RenderSettings& settings,
                        int32_t number) {
    std::optional<LineWriter> writer(std::in_place, text, settings, number);
    int64_t origin = 0;  // the pixels written before the current writer started
    for (int c = 0; c < count; ++c) {
        const LineCell& cell = cells[c];
        if (is_blank_code(cell.code)) {
            writer->write_blank(cell.x - origin, cell.width);
        } else if (is_reference_code(cell.code)) {
            text.put_char(cell.code, number);
            origin += writer->written() + cell.width;
            writer.emplace(text, settings, number);
        } else {
            writer->write_char(cell.code, cell.width);
        }
    }
}

// Every second half-width space of a run becomes "_", so that no two spaces stand side by side.
void bar_pass(TextBuffer& out) {
    for (std::size_t i = 0; i + 1 < out.length; ++i) {
        if (out.data[i] == ' ' && out.data[i + 1] == ' ') {
            out.data[i + 1] = '_';
            ++i;
        }
    }
}

}  // namespace

void render_page(RenderWorkspace& ws, const CharWidthTable& widths, const PreviewBook& book,
                 const MirrorTable* mirror_h, const MirrorTable* mirror_v, int page,
                 const RenderSettings& settings, RenderOutput& out, BlankFill fill) {
    for (int i = 0; i < kRenderLines; ++i) ws.lines[i].clear(i + 1);
    ws.references.clear();
    ws.fractional = false;
    std::fill(std::begin(ws.code_point_widths), std::end(ws.code_point_widths),
              RenderWorkspace::CachedWidth{});
    clear_report(out.report);
    out.has_content = false;
    out.length = 0;
    out.text[0] = '\0';
    // Positions are divided by the line height; without a measured font there is nothing to lay out.
    if (!widths.built || widths.line_height <= 0 || page < 0 || page >= kPreviewPages) return;
    if (settings.renderhancode) mirror_h = mirror_v = nullptr;

    for (const Part& part : book.pages[page].slots) {
        if (!part.in_use) continue;
        const std::string_view text = get_string(part.text);
        if (text.find("&#") == std::string_view::npos) {
            PartLayout<false>(ws, widths, mirror_h, mirror_v, settings, out.report, part).run(text);
        } else {
            PartLayout<true>(ws, widths, mirror_h, mirror_v, settings, out.report, part).run(text);
        }
    }

    int lines = 0;
    for (int i = 0; i < kRenderLines; ++i)
        if (ws.lines[i].size() > 0) lines = i + 1;
    if (lines == 0) return;
    out.has_content = true;

    const bool exact = fill != BlankFill::classic && !settings.rendernotsp;
    const std::shared_ptr<const FillItems> unicode_fill =
        exact && fill == BlankFill::exact_unicode ? FillItems::with_unicode_spaces(widths) : nullptr;
    const bool references = !ws.references.empty();
    TextBuffer text{out.text, 0, out.report, &ws.references};
    for (int i = 0; i < lines; ++i) {
        RenderLine& line = ws.lines[i];
        bool no_room = false;
        int count = fill_gaps(line.cells(), line.size(), ws.scratch, no_room);
        if (no_room) record_error(out.report, ErrorKind::gap_no_room, line.number);
        count = merge_blanks(ws.scratch, count);
        if (ws.fractional) {
            for (int c = 0; c < count; ++c) {
                if (ws.scratch[c].fraction64 != 0) {
                    record_fractional_line(out.report, line.number);
                    break;
                }
            }
        }
        if (settings.render_linenumber) {
            char prefix[16];
            const int n = std::snprintf(prefix, sizeof prefix, "%02d : ", static_cast<int>(line.number));
            text.put_prefix(prefix, static_cast<std::size_t>(n), line.number);
        }
        text.put("\x81\x40", 2,
                 line.number);  // the leading full-width space, not counted in the written width
        if (exact) {
            write_line_exact(text, ws.scratch, count, settings.renderdotflag, line.number,
                             unicode_fill ? *unicode_fill : FillItems::classic());
        } else if (references) {
            write_line_classic(text, ws.scratch, count, settings, line.number);
        } else {
            LineWriter writer(text, settings, line.number);
            for (int c = 0; c < count; ++c) {
                const LineCell& cell = ws.scratch[c];
                if (is_blank_code(cell.code)) {
                    writer.write_blank(cell.x, cell.width);
                } else {
                    writer.write_char(cell.code, cell.width);
                }
            }
        }
        text.put("\r\n", 2, line.number);
    }
    if (settings.rendersetsize) write_size_line(text);
    if (settings.renderspbar) bar_pass(text);
    // The reference cells were counted as they were written; the Unicode fill writes references of its own.
    if (unicode_fill) {
        out.report.references = out.report.reference_bytes = 0;
        count_references(std::string_view(text.data, text.length), out.report);
    }
    text.terminate();
    out.length = text.length;
}

}  // namespace glyphora
