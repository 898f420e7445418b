// glyphora-cli width: pixel widths of texts in the rendering font, as rendering measures them.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "model/sjis.h"
#include "render/part_markup.h"
#include "system/encoding.h"

namespace glyphora::cli {

namespace {

constexpr const char* kWidthUsage =
    "Usage: glyphora-cli width [--metrics FILE] [--settings FILE] [--set fontface=F] [--set fontpoint=N] "
    "TEXT...\n"
    "\n"
    "Prints 'line_height: N', then for each TEXT (UTF-8) its total width in pixels, a tab, and the\n"
    "width of each of its characters, as the rendering font measures them. A numeric reference\n"
    "(&#x2005; &#9825; or without the ';') is one character, measured as a browser shows it; one\n"
    "whose width is not a whole pixel shows it after the rounded one, e.g. 3(2.672). A TEXT of '-'\n"
    "reads standard input and measures each of its lines; after '--' every argument is a TEXT.\n";

// Each line of standard input (LF or CR LF ends) as one text.
bool read_stdin_lines(std::vector<std::string>& texts) {
    std::string all;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) all.append(buffer, n);
    if (std::ferror(stdin)) return false;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        texts.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

// A width of 1/64 pixels to three decimals: 171 -> "2.672".
std::string exact_pixels(CodePointWidth w) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", w.sixty_fourths / 64.0);
    return text;
}

// How to measure a character the text cannot hold: as the reference a part keeps it as. Nothing for bytes
// that are no UTF-8 character, or for a control.
std::string reference_hint(std::string_view bad_char) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bad_char[i]); };
    const std::size_t n = bad_char.empty()  ? 0
                          : byte(0) >= 0xF5 ? 0
                          : byte(0) >= 0xF0 ? 4
                          : byte(0) >= 0xE0 ? 3
                          : byte(0) >= 0xC0 ? 2
                                            : 0;
    if (n == 0 || bad_char.size() != n) return {};
    uint32_t cp = byte(0) & (0x7Fu >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (byte(i) & 0x3Fu);
    }
    const uint32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};  // shorter forms are no UTF-8
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    return "; measure it as the reference &#" + std::to_string(cp) + ";";
}

}  // namespace

ExitCode cmd_width(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kWidthUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::vector<std::string> texts;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kWidthUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "--") {
            for (++i; i < argc; ++i) texts.emplace_back(argv[i]);
        } else if (arg == "-") {
            if (!read_stdin_lines(texts)) {
                print_error("cannot read standard input");
                return ExitCode::input;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kWidthUsage);
        } else {
            texts.emplace_back(arg);
        }
    }
    if (texts.empty()) return usage_error("no TEXT given", kWidthUsage);
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;
    std::vector<std::string> sjis;
    for (const std::string& t : texts) {
        const Conversion c = utf8_to_sjis(t);
        if (!c.ok) {
            print_error(describe_unmappable(t, c) + reference_hint(c.bad_char));
            return ExitCode::usage;
        }
        sjis.push_back(c.text);
    }
    auto widths = std::make_unique<CharWidthTable>();
    if (const ExitCode rc = build_widths(cli, *widths); rc != ExitCode::ok) return rc;
    std::string out = "line_height: " + std::to_string(widths->line_height) + "\n";
    for (const std::string& s : sjis) {
        long total = 0;
        std::string each;
        for (std::size_t pos = 0; pos < s.size();) {
            if (!each.empty()) each += ' ';
            // Only references are read as the renderer reads them; an entity is measured as its characters.
            if (const CharReference ref = s[pos] == '&' ? match_reference(s, pos) : CharReference{};
                ref.length > 0) {
                const CodePointWidth w = widths->code_point_width(ref.code_point);
                total += w.pixels();
                each += std::to_string(w.pixels());
                if (w.fractional()) each += "(" + exact_pixels(w) + ")";
                pos += static_cast<std::size_t>(ref.length);
                continue;
            }
            const SjisChar ch = char_at(s, pos);
            const int w = widths->width(ch.code);
            total += w;
            each += std::to_string(w);
            pos += static_cast<std::size_t>(ch.length);
        }
        out += std::to_string(total) + "\t" + each + "\n";
    }
    return write_stdout(out);
}

}  // namespace glyphora::cli
