#include "canvas/draw_part.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "render/measure_part.h"
#include "render/part_markup.h"

namespace glyphora {

namespace {

constexpr int kHalfWidthSpace = 0x20;
constexpr int kFullWidthSpace = 0x8140;

struct PartColours {
    Rgb space;   // cell of a half-width space
    Rgb entity;  // the fixed-width blank entities
    Rgb cell;    // every other cell, the always-opaque fill and declared blanks
};

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

PartColours colours_for(bool temporary, bool blank_colouring) {
    using namespace canvas_colours;
    if (!temporary) return {kBackground, kBackground, kBackground};
    if (!blank_colouring) return {kTempBackground, kTempBackground, kTempBackground};
    return {kTempSpace, kTempEntity, kTempBackground};
}

// Walks the text as the canvas lays it out and draws what is visible.
class TextWalk {
  public:
    TextWalk(const Part& part, CanvasSurface& surface, const CharWidthTable& widths,
             const PartColours& colours, int64_t y0, bool measured, bool temporary)
        : part_(part),
          surface_(surface),
          widths_(widths),
          colours_(colours),
          line_height_(widths.line_height),
          pen_(part.x),
          top_(y0),
          measured_(measured),
          temporary_(temporary) {}

    void run() {
        const std::string_view text = get_string(part_.text);
        std::size_t pos = read_blank_declarations(text, blanks_);
        while (pos < text.size()) {
            const TextItem item = next_text_item(text, pos);
            if (item.kind == TextItemKind::markup) {
                markup(item.markup);
            } else if (item.kind == TextItemKind::line_break) {
                line_break();
            } else if (item.kind == TextItemKind::reference) {
                reference(item.reference.code_point);
            } else {
                character(item.code, item.code);
            }
        }
    }

  private:
    // Inside a transparent run only an always-opaque part paints.
    bool hidden() const { return transparent_ && !part_.always_opaque; }

    void line_break() {
        pen_ = part_.x;
        top_ += line_height_;
    }

    void entity_blank(int width) {
        if (!hidden()) surface_.fill(pen_, top_, pen_ + width, top_ + line_height_, colours_.entity);
        pen_ += width;
    }

    void markup(const MarkupItem& m) {
        switch (m.kind) {
            case MarkupKind::transparent:
                transparent_ = true;
                break;
            case MarkupKind::skip:
                break;
            case MarkupKind::ensp:
                entity_blank(kEnspWidth);
                break;
            case MarkupKind::nbsp:
                entity_blank(kNbspWidth);
                break;
            case MarkupKind::thinsp:
                entity_blank(kThinspWidth);
                break;
            case MarkupKind::byte:
                if (m.value == kLineBreakByte) {
                    line_break();
                } else {
                    character(m.value, '&');  // drawn as the byte, measured and looked up as "&"
                }
                break;
            case MarkupKind::none:
                break;
        }
    }

    // glyph_code is drawn; width and blank declaration are those of measure_code.
    void character(int glyph_code, int measure_code) {
        int64_t width = widths_.width(measure_code);
        bool declared = false;
        if (!temporary_) {
            const int i = blanks_.find(measure_code);
            if (i >= 0) {
                declared = true;
                if (blanks_.entries[i].width != 0) width = blanks_.entries[i].width;
            }
        }
        if (glyph_code != kHalfWidthSpace && glyph_code != kFullWidthSpace && !declared) transparent_ = false;
        if (measured_ && !hidden()) {
            if (declared) {
                surface_.fill(pen_, top_, pen_ + width, top_ + line_height_, colours_.cell);
            } else {
                const Rgb background = glyph_code == kHalfWidthSpace ? colours_.space : colours_.cell;
                surface_.glyph(glyph_code, pen_, top_, width, canvas_colours::kText, background);
            }
        }
        pen_ += width;
    }

    // A character written as a reference: the character itself at its measured width. A Unicode space is a
    // blank like the space entities.
    void reference(char32_t code_point) {
        const int64_t width = widths_.code_point_width(code_point).pixels();
        if (is_unicode_space(code_point)) {
            entity_blank(width);
            return;
        }
        transparent_ = false;
        if (measured_ && !hidden())
            surface_.code_point_glyph(code_point, pen_, top_, width, canvas_colours::kText, colours_.cell);
        pen_ += width;
    }

    const Part& part_;
    CanvasSurface& surface_;
    const CharWidthTable& widths_;
    const PartColours& colours_;
    const int64_t line_height_;
    int64_t pen_;
    int64_t top_;
    const bool measured_;
    const bool temporary_;
    bool transparent_ = false;
    BlankTable blanks_;
};

}  // namespace

void draw_part(Part& part, CanvasSurface& surface, const CharWidthTable& widths, bool show_frames,
               bool library, bool temporary, bool blank_colouring) {
    const int64_t line_height = widths.line_height;
    if (part.is_label || line_height <= 0) return;
    const PartColours colours = colours_for(temporary, blank_colouring);
    const int64_t y0 = static_cast<int64_t>(part.y / widths.line_height) * line_height;

    if (part.icon && library) {
        const int64_t bottom = y0 + line_height + kIconExtraHeight;
        surface.fill(part.x, y0, int64_t{part.x} + kIconWidth, bottom, canvas_colours::kIconFill);
        std::string_view label = get_string(part.comment);
        if (label.size() > kIconLabelBytes) label = label.substr(0, kIconLabelBytes);
        surface.text(label, int64_t{part.x} + kIconLabelInset, y0 + kIconLabelInset,
                     canvas_colours::kIconText, colours.cell);
        part.box = Box{part.x, clamp32(y0), clamp32(int64_t{part.x} + kIconWidth), clamp32(bottom)};
    } else {
        const bool measured = part.box.right != 0 || part.box.bottom != 0;
        if (measured && part.always_opaque)
            surface.fill(part.x, y0, int64_t{part.box.right} - 1, int64_t{part.box.bottom} - 1, colours.cell);
        TextWalk(part, surface, widths, colours, y0, measured, temporary).run();
        part.box = measure_part(part, widths);
    }

    if (part.selected) {
        surface.frame(part.box, canvas_colours::kSelectedFrame, 2);
    } else if (show_frames) {
        surface.frame(part.box, canvas_colours::kFrame, 1);
    }
}

}  // namespace glyphora
