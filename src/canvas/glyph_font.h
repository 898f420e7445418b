#pragma once
// The drawing font of a canvas: the font file the width table was measured from (found the same way, by
// face name with the Monapo fallback), at the pixel size of the settings, with the cell metrics a Windows
// text metric would give (ascent and descent from the OS/2 table), so glyphs sit where the widths say.

#include <QRawFont>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "system/font_metrics.h"

namespace glyphora {

class GlyphFont {
  public:
    // face in Shift_JIS, size in tenths of a point. A face that cannot be loaded gives an invalid font,
    // which draws nothing.
    GlyphFont(const std::string& face_sjis, int point_tenths);
    // The glyphs found for code points point into this object.
    GlyphFont(const GlyphFont&) = delete;
    GlyphFont& operator=(const GlyphFont&) = delete;

    bool matches(const std::string& face_sjis, int point_tenths) const {
        return face_sjis == face_ && point_tenths == point_tenths_;
    }
    bool valid() const { return raw_.isValid(); }
    const QRawFont& raw() const { return raw_; }
    int ascent() const { return ascent_; }
    int text_height() const { return text_height_; }

    static constexpr quint32 kNoGlyph = 0xFFFFFFFF;
    // The glyph of a Shift_JIS code; kNoGlyph (draw nothing) for a code that names no character. A
    // character the font lacks gets the missing-glyph box, as its width was measured from that box.
    quint32 glyph(int code) const;
    // The font's own advance of a code, in whole pixels.
    int advance(int code) const;

    // A character written as a numeric reference: its glyph and the font it is drawn from. That is this
    // font where it has the character, else the font fontconfig falls back to for it, as the width was
    // measured; where no font has it, this font's missing-glyph box. No glyph (index kNoGlyph) when this
    // font is invalid.
    struct CodePointGlyph {
        const QRawFont* font = nullptr;
        quint32 index = kNoGlyph;
    };
    CodePointGlyph code_point_glyph(char32_t code_point) const;

  private:
    std::string face_;
    int point_tenths_ = 0;
    ResolvedFont resolved_;
    int pixel_size_ = 0;
    QRawFont raw_;
    int ascent_ = 0;
    int text_height_ = 0;
    mutable std::unordered_map<int, quint32> glyphs_;
    mutable std::unordered_map<char32_t, CodePointGlyph> code_point_glyphs_;
    mutable std::map<std::string, QRawFont> fallback_fonts_;  // by file; a map keeps them in place
};

}  // namespace glyphora
