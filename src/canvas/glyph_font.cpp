#include "canvas/glyph_font.h"

#include <QFile>
#include <QFontDatabase>

#include <cmath>

#include "system/encoding.h"
#include "system/font_metrics.h"

namespace glyphora {

namespace {

int read_u16(const QByteArray& table, int offset) {
    if (offset + 2 > table.size()) return -1;
    return (static_cast<unsigned char>(table[offset]) << 8) | static_cast<unsigned char>(table[offset + 1]);
}

// A face inside a font collection cannot be opened by file name alone; Qt's font database can.
QRawFont load_face(const ResolvedFont& font, int pixel_size) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(font.file));
    if (font.index == 0) return QRawFont(file, pixel_size, QFont::PreferNoHinting);
    const int id = QFontDatabase::addApplicationFont(file);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    const QString wanted = QString::fromStdString(font.family);
    for (const QString& family : families) {
        if (family.compare(wanted, Qt::CaseInsensitive) != 0) continue;
        QFont qfont(family);
        qfont.setPixelSize(pixel_size);
        qfont.setHintingPreference(QFont::PreferNoHinting);
        return QRawFont::fromFont(qfont);
    }
    return QRawFont(file, pixel_size, QFont::PreferNoHinting);
}

}  // namespace

GlyphFont::GlyphFont(const std::string& face_sjis, int point_tenths)
    : face_(face_sjis), point_tenths_(point_tenths) {
    const Conversion face = sjis_to_utf8(face_sjis);
    const ResolvedFont font = resolve_font(face.ok ? face.text : std::string());
    if (font.file.empty()) return;
    const int pixel_size = pixel_size_for(point_tenths);
    resolved_ = font;
    pixel_size_ = pixel_size;
    raw_ = load_face(font, pixel_size);
    if (!raw_.isValid()) return;

    // The cell is ascent + descent as the width table's text height counts them (OS/2 win metrics).
    const QByteArray os2 = raw_.fontTable("OS/2");
    const QByteArray head = raw_.fontTable("head");
    const int win_ascent = read_u16(os2, 74);
    const int win_descent = read_u16(os2, 76);
    const int units_per_em = read_u16(head, 18);
    if (win_ascent > 0 && win_descent >= 0 && units_per_em > 0) {
        const double scale = static_cast<double>(pixel_size) / units_per_em;
        ascent_ = static_cast<int>(std::lround(win_ascent * scale));
        text_height_ = ascent_ + static_cast<int>(std::lround(win_descent * scale));
    } else {
        ascent_ = static_cast<int>(std::ceil(raw_.ascent()));
        text_height_ = ascent_ + static_cast<int>(std::ceil(raw_.descent()));
    }
}

quint32 GlyphFont::glyph(int code) const {
    if (!raw_.isValid()) return kNoGlyph;
    if (const auto it = glyphs_.find(code); it != glyphs_.end()) return it->second;
    quint32 index = kNoGlyph;
    const int unicode = sjis_code_to_unicode(code);
    if (unicode > 0) {
        const char32_t ch = static_cast<char32_t>(unicode);
        const QList<quint32> indexes = raw_.glyphIndexesForString(QString::fromUcs4(&ch, 1));
        index = indexes.size() == 1 ? indexes.front() : 0;
    }
    glyphs_.emplace(code, index);
    return index;
}

int GlyphFont::advance(int code) const {
    const quint32 g = glyph(code);
    if (g == kNoGlyph) return 0;
    const QList<QPointF> advances = raw_.advancesForGlyphIndexes(QList<quint32>{g});
    return advances.isEmpty() ? 0 : static_cast<int>(std::lround(advances.front().x()));
}

GlyphFont::CodePointGlyph GlyphFont::code_point_glyph(char32_t code_point) const {
    if (!raw_.isValid()) return {};
    if (const auto it = code_point_glyphs_.find(code_point); it != code_point_glyphs_.end())
        return it->second;
    auto index_in = [code_point](const QRawFont& font) -> quint32 {
        const QList<quint32> indexes = font.glyphIndexesForString(QString::fromUcs4(&code_point, 1));
        return indexes.size() == 1 ? indexes.front() : 0;
    };
    CodePointGlyph found{&raw_, index_in(raw_)};
    if (found.index == 0) {
        const std::string file = fallback_font_file(resolved_, code_point);
        if (!file.empty()) {
            auto it = fallback_fonts_.find(file);
            if (it == fallback_fonts_.end())
                it = fallback_fonts_
                         .emplace(file, QRawFont(QFile::decodeName(QByteArray::fromStdString(file)),
                                                 pixel_size_, QFont::PreferNoHinting))
                         .first;
            if (it->second.isValid())
                if (const quint32 index = index_in(it->second); index != 0) found = {&it->second, index};
        }
    }
    code_point_glyphs_.emplace(code_point, found);
    return found;
}

}  // namespace glyphora
