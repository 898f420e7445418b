#include "posting/page_image.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "model/sjis.h"
#include "render/part_markup.h"
#include "system/encoding.h"
#include "system/font_metrics.h"

namespace glyphora::posting {

namespace {

struct Face {
    FT_Face at_one = nullptr;    // 1x: advances, as the width table measures them
    FT_Face at_scale = nullptr;  // the drawing size
};

void done(Face& f) {
    if (f.at_one) FT_Done_Face(f.at_one);
    if (f.at_scale && f.at_scale != f.at_one) FT_Done_Face(f.at_scale);
    f = {};
}

}  // namespace

struct ImageFont::Impl {
    FT_Library library = nullptr;
    ResolvedFont resolved;
    int pixel_size = 0;
    int scale = 1;
    int ascent = 0;
    int text_height = 0;
    Face main;
    std::map<std::string, Face> fallbacks;  // by file; an empty Face when the file cannot be opened
    // The face and glyph of each code point the rendering font lacks, looked up once: asking fontconfig
    // is far dearer than drawing.
    std::map<char32_t, std::pair<const Face*, FT_UInt>> fallback_glyphs;

    ~Impl() {
        done(main);
        for (auto& [file, face] : fallbacks) done(face);
        if (library) FT_Done_FreeType(library);
    }

    bool open_face(const std::string& file, int index, Face& out) {
        if (FT_New_Face(library, file.c_str(), index, &out.at_one) != 0) return false;
        if (FT_Set_Pixel_Sizes(out.at_one, 0, static_cast<FT_UInt>(pixel_size)) != 0) {
            done(out);
            return false;
        }
        if (scale == 1) {
            out.at_scale = out.at_one;
            return true;
        }
        // The outline at 1x, scaled up by a transform: a face set to the larger size rounds its outline
        // differently, and the canvas, drawn at a device pixel ratio, scales the 1x outline.
        if (FT_New_Face(library, file.c_str(), index, &out.at_scale) != 0 ||
            FT_Set_Pixel_Sizes(out.at_scale, 0, static_cast<FT_UInt>(pixel_size)) != 0) {
            done(out);
            return false;
        }
        FT_Matrix enlarge{scale * 0x10000L, 0, 0, scale * 0x10000L};
        FT_Set_Transform(out.at_scale, &enlarge, nullptr);
        return true;
    }

    // The face that draws a code point: the rendering font where it has the character, else the font
    // fontconfig falls back to for it, else the rendering font's missing-glyph box.
    std::pair<const Face*, FT_UInt> face_for(char32_t cp) {
        if (const FT_UInt g = FT_Get_Char_Index(main.at_one, cp); g != 0) return {&main, g};
        if (const auto known = fallback_glyphs.find(cp); known != fallback_glyphs.end()) return known->second;
        std::pair<const Face*, FT_UInt> found{&main, 0};
        const std::string file = fallback_font_file(resolved, cp);
        if (!file.empty()) {
            auto it = fallbacks.find(file);
            if (it == fallbacks.end()) {
                Face f;
                if (!open_face(file, 0, f)) f = {};
                it = fallbacks.emplace(file, f).first;
            }
            if (it->second.at_one)
                if (const FT_UInt g = FT_Get_Char_Index(it->second.at_one, cp); g != 0)
                    found = {&it->second, g};
        }
        fallback_glyphs.emplace(cp, found);
        return found;
    }
};

std::unique_ptr<ImageFont> ImageFont::open(const std::string& face_sjis, int point_tenths, int scale,
                                           std::string& error) {
    if (scale != 1 && scale != 2) {
        error = "the scale must be 1 or 2";
        return nullptr;
    }
    std::unique_ptr<ImageFont> font(new ImageFont);
    font->impl_ = std::make_unique<Impl>();
    Impl& impl = *font->impl_;
    const Conversion face = sjis_to_utf8(face_sjis);
    impl.resolved = resolve_font(face.ok ? face.text : std::string());
    if (impl.resolved.file.empty()) {
        error = "no rendering font is installed (not even Monapo)";
        return nullptr;
    }
    if (FT_Init_FreeType(&impl.library) != 0) {
        error = "cannot initialise FreeType";
        return nullptr;
    }
    impl.pixel_size = pixel_size_for(point_tenths);
    impl.scale = scale;
    if (!impl.open_face(impl.resolved.file, impl.resolved.index, impl.main)) {
        error = "cannot open font file " + impl.resolved.file;
        return nullptr;
    }
    // The cell as the width table has it: ascent and descent from the OS/2 table.
    FT_Face f = impl.main.at_one;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    if (os2 && f->units_per_EM > 0 && os2->usWinAscent + os2->usWinDescent > 0) {
        const double s = static_cast<double>(impl.pixel_size) / f->units_per_EM;
        impl.ascent = static_cast<int>(std::lround(os2->usWinAscent * s));
        impl.text_height = impl.ascent + static_cast<int>(std::lround(os2->usWinDescent * s));
    } else {
        const FT_Size_Metrics& sm = f->size->metrics;
        impl.ascent = static_cast<int>((sm.ascender + 63) >> 6);
        impl.text_height = impl.ascent + static_cast<int>((-sm.descender + 63) >> 6);
    }
    return font;
}

ImageFont::~ImageFont() = default;

int ImageFont::scale() const {
    return impl_->scale;
}
int ImageFont::ascent() const {
    return impl_->ascent;
}
int ImageFont::line_height() const {
    return impl_->text_height + 2;
}

namespace {

// One thing drawn on a line: a glyph of a face, or only an advance (a blank entity).
struct Placed {
    const Face* face = nullptr;
    FT_UInt glyph = 0;
    int x = 0;  // 1x pixels from the line start
};

int advance_of(FT_Face face, FT_UInt glyph, bool hinted) {
    if (FT_Load_Glyph(face, glyph, hinted ? FT_LOAD_DEFAULT : FT_LOAD_NO_HINTING) != 0) return 0;
    return static_cast<int>(hinted ? (face->glyph->advance.x + 32) >> 6
                                   : (face->glyph->linearHoriAdvance + 0x8000) >> 16);
}

// Lays out one line (Shift_JIS, no line break); returns its width in 1x pixels.
int lay_out(std::string_view line, ImageFont::Impl& font, std::vector<Placed>& out) {
    int x = 0;
    for (std::size_t pos = 0; pos < line.size();) {
        if (line[pos] == '&') {
            if (const CharReference ref = match_reference(line, pos); ref.length > 0) {
                // Measured as the width table measures references: unhinted, in the font that has it.
                const auto [face, glyph] = font.face_for(ref.code_point);
                out.push_back({face, glyph, x});
                x += advance_of(face->at_one, glyph, false);
                pos += static_cast<std::size_t>(ref.length);
                continue;
            }
            const MarkupItem m = match_markup(line, pos);
            const int blank = m.kind == MarkupKind::ensp     ? kEnspWidth
                              : m.kind == MarkupKind::nbsp   ? kNbspWidth
                              : m.kind == MarkupKind::thinsp ? kThinspWidth
                                                             : -1;
            if (blank >= 0) {  // a browser shows these as blanks of their widths
                x += blank;
                pos += static_cast<std::size_t>(m.length);
                continue;
            }
        }
        const SjisChar c = char_at(line, pos);
        pos += static_cast<std::size_t>(c.length);
        const int u = sjis_code_to_unicode(c.code);
        if (u < 0) continue;  // no character: nothing drawn, no width, as the width table has it
        const FT_UInt glyph = FT_Get_Char_Index(font.main.at_one, static_cast<FT_ULong>(u));
        out.push_back({&font.main, glyph, x});
        x += advance_of(font.main.at_one, glyph, true);
    }
    return x;
}

void draw_glyph(Gray8Image& image, FT_Face face, FT_UInt glyph, int origin_x, int baseline_y) {
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER) != 0) return;
    const FT_Bitmap& bm = face->glyph->bitmap;
    const int left = origin_x + face->glyph->bitmap_left;
    const int top = baseline_y - face->glyph->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < 0 || y >= image.height) continue;
        const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(row) * bm.pitch;
        for (unsigned col = 0; col < bm.width; ++col) {
            const int x = left + static_cast<int>(col);
            if (x < 0 || x >= image.width) continue;
            int coverage = 0;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                coverage = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
            } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                coverage = bm.num_grays == 256 ? src[col] : src[col] * 255 / std::max(1, bm.num_grays - 1);
            }
            uint8_t& p = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            p = static_cast<uint8_t>(std::min<int>(p, 255 - coverage));  // black ink: overlaps stay dark
        }
    }
}

}  // namespace

Gray8Image draw_page_image(std::string_view text, ImageFont& font) {
    ImageFont::Impl& impl = *font.impl_;
    const int s = impl.scale;
    std::vector<std::vector<Placed>> lines;
    int width = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back();
        width = std::max(width, lay_out(text.substr(pos, end - pos), impl, lines.back()));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    const int pitch = font.line_height();
    Gray8Image image;
    image.width = (2 * kImageMargin + width) * s;
    image.height = (2 * kImageMargin + static_cast<int>(lines.size()) * pitch) * s;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int baseline = (kImageMargin + static_cast<int>(n) * pitch + impl.ascent) * s;
        for (const Placed& p : lines[n])
            draw_glyph(image, p.face->at_scale, p.glyph, (kImageMargin + p.x) * s, baseline);
    }
    return image;
}

namespace {

void append_png(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void flush_png(png_structp) {}

}  // namespace

std::string encode_png(const Gray8Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        return {};
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, append_png, flush_png);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png,
                      const_cast<png_bytep>(image.pixels.data() + static_cast<std::size_t>(y) * image.width));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

IoResult write_png(const std::string& path, const Gray8Image& image) {
    const std::string bytes = encode_png(image);
    if (bytes.empty()) return {false, "cannot encode the picture as PNG"};
    return write_file_atomically(path, bytes);
}

}  // namespace glyphora::posting
