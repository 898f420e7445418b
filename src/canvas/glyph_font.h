#pragma once
// The drawing font of a canvas: the font file the width table was measured from (found the same way, by
// face name with the Monapo fallback), at the pixel size of the settings, with the cell metrics a Windows
// text metric would give (ascent and descent from the OS/2 table), so glyphs sit where the widths say.

#include <QRawFont>

#include <memory>
#include <string>
#include <unordered_map>

namespace glyphora {

class GlyphFont {
  public:
    // face in Shift_JIS, size in tenths of a point. A face that cannot be loaded gives an invalid font,
    // which draws nothing.
    GlyphFont(const std::string& face_sjis, int point_tenths);

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

  private:
    std::string face_;
    int point_tenths_ = 0;
    QRawFont raw_;
    int ascent_ = 0;
    int text_height_ = 0;
    mutable std::unordered_map<int, quint32> glyphs_;
};

}  // namespace glyphora
