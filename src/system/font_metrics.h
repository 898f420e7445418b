#pragma once
// The rendering font, found by face name through fontconfig and measured with FreeType. A face that is
// not installed falls back to Monapo, whose widths are the ones AA is drawn for.

#include <memory>
#include <string>

#include "render/char_width_table.h"

namespace glyphora {

constexpr const char* kFallbackFace = "Monapo";

struct ResolvedFont {
    std::string file;    // font file path
    int index = 0;       // face index within the file
    std::string family;  // the family actually used (UTF-8)
    bool fell_back = false;
};

// Looks the face up by name (UTF-8); falls back to Monapo when fontconfig has no face of that name.
// Returns an empty file name when not even the fallback is installed.
ResolvedFont resolve_font(const std::string& face_utf8);

// Pixel size of a font of `point_tenths` tenths of a point on a 96 dpi surface (120 -> 16).
int pixel_size_for(int point_tenths);

class FontMetrics : public GlyphMetricsSource {
  public:
    // Opens the face at the given pixel size; nullptr (with a message in error) when it cannot.
    static std::unique_ptr<FontMetrics> open(const ResolvedFont& font, int pixel_size, std::string& error);
    ~FontMetrics() override;

    // ABC widths of a Shift_JIS code; all zero for a code that code page 932 maps to no character.
    AbcWidth measure(int code) override;
    // Ascent plus descent in whole pixels, as a Windows text metric gives it.
    int text_height() override;
    // Characters written as references: this font's unhinted advance, or that of the font fontconfig falls
    // back to for the character.
    std::shared_ptr<CodePointMetricsSource> code_points() override;

  private:
    FontMetrics() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The font file fontconfig falls back to for a character the given font lacks ("" when none has it): the
// face the canvases draw that character with.
std::string fallback_font_file(const ResolvedFont& font, char32_t code_point);

// Builds the table from the font named by the settings (face in Shift_JIS, size in tenths of a point).
// Returns false (with a message) when no usable font was found; the table is left unbuilt then.
bool build_width_table_from_font(CharWidthTable& table, const std::string& face_sjis, int point_tenths,
                                 std::string& error);

}  // namespace glyphora
