#include "system/font_metrics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <strings.h>
#include <cmath>
#include <map>

#include "system/encoding.h"

namespace glyphora {

namespace {

bool match_face(const char* face, ResolvedFont& out) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    // fontconfig always proposes something; accept it only when one of its family names is the one asked for.
    bool same = false;
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        if (strcasecmp(reinterpret_cast<const char*>(family), face) == 0) {
            same = true;
            out.family = reinterpret_cast<const char*>(family);
            break;
        }
    }
    FcChar8* file = nullptr;
    int index = 0;
    if (same && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        out.file = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) out.index = index;
    } else {
        same = false;
    }
    FcPatternDestroy(match);
    return same;
}

}  // namespace

ResolvedFont resolve_font(const std::string& face_utf8) {
    ResolvedFont font;
    if (!face_utf8.empty() && match_face(face_utf8.c_str(), font)) return font;
    font = ResolvedFont{};
    if (match_face(kFallbackFace, font)) font.fell_back = true;
    return font;
}

int pixel_size_for(int point_tenths) {
    const long px = std::lround(point_tenths * 96.0 / 720.0);
    return px < 1 ? 1 : static_cast<int>(px);
}

struct FontMetrics::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int pixel_size = 0;
    ResolvedFont font;
    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

namespace {

// Characters written as references, measured as a browser on this machine lays them out: the advance of
// the rendering font without hinting, or, where that font has no glyph, of the font fontconfig puts first
// for that character (a Unicode space excepted, see fallback_space).
class FontCodePoints : public CodePointMetricsSource {
  public:
    FontCodePoints(ResolvedFont font, int pixel_size) : font_(std::move(font)), pixel_size_(pixel_size) {}
    ~FontCodePoints() override {
        for (auto& [key, face] : faces_)
            if (face) FT_Done_Face(face);
        if (library_) FT_Done_FreeType(library_);
    }

    // Only a code point that is the table's character both ways: U+00A5 is written as 0x5C, but 0x5C is
    // the backslash, whose glyph may be another width.
    int sjis_code(char32_t code_point) override {
        const int code = unicode_to_sjis_code(code_point);
        return code >= 0 && sjis_code_to_unicode(code) == static_cast<int>(code_point) ? code : -1;
    }

    int32_t advance_64ths(char32_t code_point) override {
        FT_Face primary = face(font_.file, font_.index);
        if (!primary) return 0;
        if (FT_Get_Char_Index(primary, code_point) != 0) return advance(primary, code_point);
        if (const int32_t space = fallback_space(primary, code_point); space >= 0) return space;
        if (FT_Face other = fallback_face(code_point)) return advance(other, code_point);
        return advance(primary, code_point);  // the missing-glyph box
    }

    std::string fallback_file(char32_t code_point, int& index) const {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font_.family.c_str()));
        FcCharSet* wanted = FcCharSetCreate();
        FcCharSetAddChar(wanted, code_point);
        FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
        FcCharSetDestroy(wanted);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
        FcPatternDestroy(pattern);
        std::string file;
        for (int i = 0; fonts && i < fonts->nfont && file.empty(); ++i) {
            FcCharSet* charset = nullptr;
            FcChar8* path = nullptr;
            if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch ||
                !FcCharSetHasChar(charset, code_point) ||
                FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &path) != FcResultMatch)
                continue;
            file = reinterpret_cast<const char*>(path);
            if (FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        }
        if (fonts) FcFontSetDestroy(fonts);
        return file;
    }

  private:
    FT_Face face(const std::string& file, int index) {
        const std::string key = file + '\n' + std::to_string(index);
        const auto found = faces_.find(key);
        if (found != faces_.end()) return found->second;
        FT_Face opened = nullptr;
        if ((library_ || FT_Init_FreeType(&library_) == 0) &&
            FT_New_Face(library_, file.c_str(), index, &opened) == 0 &&
            FT_Set_Pixel_Sizes(opened, 0, static_cast<FT_UInt>(pixel_size_)) != 0) {
            FT_Done_Face(opened);
            opened = nullptr;
        }
        faces_.emplace(key, opened);
        return opened;
    }

    FT_Face fallback_face(char32_t code_point) {
        int index = 0;
        const std::string file = fallback_file(code_point, index);
        if (file.empty()) return nullptr;
        FT_Face other = face(file, index);
        return other && FT_Get_Char_Index(other, code_point) != 0 ? other : nullptr;
    }

    // A space the font lacks is not taken from another font: the browser's shaper (HarfBuzz) sets it with
    // the font's own space glyph at a width of its kind: a fraction of the em, the width of a digit or of
    // ".", half the space. -1 for any other character.
    int32_t fallback_space(FT_Face primary, char32_t code_point) {
        const int32_t em = pixel_size_ * 64;
        auto of_char = [&](char32_t c) {
            return FT_Get_Char_Index(primary, c) != 0 ? advance(primary, c) : int32_t{-1};
        };
        auto part_of_em = [&](int32_t n) { return (em + n / 2) / n; };
        switch (code_point) {
            case 0x2000:  // EN QUAD is the same as EN SPACE
                return of_char(0x2002) >= 0 ? of_char(0x2002) : part_of_em(2);
            case 0x2001:  // EM QUAD is the same as EM SPACE
                return of_char(0x2003) >= 0 ? of_char(0x2003) : em;
            case 0x2002:
                return part_of_em(2);
            case 0x2003:
                return em;
            case 0x2004:
                return part_of_em(3);
            case 0x2005:
                return part_of_em(4);
            case 0x2006:
                return part_of_em(6);
            case 0x2009:
                return part_of_em(5);
            case 0x200A:
                return part_of_em(16);
            case 0x205F:
                return (em * 4 + 9) / 18;
            case 0x2007:
                for (char32_t digit = '0'; digit <= '9'; ++digit)
                    if (const int32_t w = of_char(digit); w >= 0) return w;
                return space_advance(primary);
            case 0x2008:
                if (const int32_t w = of_char('.'); w >= 0) return w;
                if (const int32_t w = of_char(','); w >= 0) return w;
                return space_advance(primary);
            case 0x00A0:
                return space_advance(primary);
            case 0x202F:
                return space_advance(primary) / 2;
            default:
                return -1;
        }
    }

    static int32_t space_advance(FT_Face face) {
        return FT_Get_Char_Index(face, ' ') != 0 ? advance(face, ' ') : 0;
    }

    static int32_t advance(FT_Face face, char32_t code_point) {
        const FT_UInt glyph = FT_Get_Char_Index(face, code_point);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return 0;
        return static_cast<int32_t>(face->glyph->advance.x);
    }

    ResolvedFont font_;
    int pixel_size_;
    FT_Library library_ = nullptr;
    std::map<std::string, FT_Face> faces_;
};

}  // namespace

std::string fallback_font_file(const ResolvedFont& font, char32_t code_point) {
    int index = 0;
    return FontCodePoints(font, 16).fallback_file(code_point, index);
}

std::shared_ptr<CodePointMetricsSource> FontMetrics::code_points() {
    return std::make_shared<FontCodePoints>(impl_->font, impl_->pixel_size);
}

FontMetrics::~FontMetrics() = default;

std::unique_ptr<FontMetrics> FontMetrics::open(const ResolvedFont& font, int pixel_size, std::string& error) {
    std::unique_ptr<FontMetrics> metrics(new FontMetrics());
    metrics->impl_ = std::make_unique<Impl>();
    Impl& impl = *metrics->impl_;
    impl.pixel_size = pixel_size;
    impl.font = font;
    if (font.file.empty()) {
        error = "no font found (neither the configured face nor Monapo is installed)";
        return nullptr;
    }
    if (FT_Init_FreeType(&impl.library) != 0) {
        error = "cannot initialise FreeType";
        return nullptr;
    }
    if (FT_New_Face(impl.library, font.file.c_str(), font.index, &impl.face) != 0) {
        error = "cannot open font file " + font.file;
        return nullptr;
    }
    if (FT_Set_Pixel_Sizes(impl.face, 0, static_cast<FT_UInt>(pixel_size)) != 0) {
        error = "font " + font.file + " has no size " + std::to_string(pixel_size) + " px";
        return nullptr;
    }
    return metrics;
}

AbcWidth FontMetrics::measure(int code) {
    AbcWidth abc;
    const int unicode = sjis_code_to_unicode(code);
    if (unicode < 0) return abc;
    FT_Face face = impl_->face;
    // A character the font lacks is drawn (and measured) as its missing-glyph box, as a GDI font would.
    const FT_UInt glyph = FT_Get_Char_Index(face, static_cast<FT_ULong>(unicode));
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) return abc;
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    const long advance = (face->glyph->advance.x + 32) >> 6;
    const long a = m.horiBearingX >> 6;  // floor
    const long b = (m.width + 63) >> 6;  // ceil
    abc.a = static_cast<int32_t>(a);
    abc.b = static_cast<uint32_t>(b);
    abc.c = static_cast<int32_t>(advance - a - b);
    return abc;
}

int FontMetrics::text_height() {
    FT_Face face = impl_->face;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && face->units_per_EM > 0 && (os2->usWinAscent + os2->usWinDescent) > 0) {
        const double scale = static_cast<double>(impl_->pixel_size) / face->units_per_EM;
        return static_cast<int>(std::lround(os2->usWinAscent * scale) +
                                std::lround(os2->usWinDescent * scale));
    }
    const FT_Size_Metrics& sm = face->size->metrics;
    return static_cast<int>(((sm.ascender + 63) >> 6) + ((-sm.descender + 63) >> 6));
}

bool build_width_table_from_font(CharWidthTable& table, const std::string& face_sjis, int point_tenths,
                                 std::string& error) {
    const Conversion face = sjis_to_utf8(face_sjis);
    const ResolvedFont font = resolve_font(face.ok ? face.text : std::string());
    auto metrics = FontMetrics::open(font, pixel_size_for(point_tenths), error);
    if (!metrics) return false;
    table.build(*metrics);
    return true;
}

}  // namespace glyphora
