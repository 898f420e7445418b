// glyphora-cli render: the pages of a file as the program's render commands write them.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli/board_options.h"
#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/shown_text.h"
#include "io/file_io.h"
#include "render/error_report.h"
#include "render/output.h"
#include "render/render_page.h"
#include "system/encoding.h"

namespace glyphora::cli {

namespace {

constexpr const char* kRenderUsage =
    "Usage: glyphora-cli render [OPTIONS] INPUT\n"
    "\n"
    "Renders INPUT (.aap, .aat read into page 0, or .aal with its 20 pages as pages 0-19) as the\n"
    "program's render commands do: every page with content, or with --page one page.\n"
    "\n"
    "Options:\n"
    "  --page N            render only page N (0-29; 0 for .aat, 0-19 for .aal), as the one-page\n"
    "                      command does\n"
    "  -o FILE             write FILE (HTML when its extension is html, text otherwise)\n"
    "  --html              without -o: write HTML to standard output instead of text\n"
    "  --settings FILE     take the settings from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable): render_linenumber, renderdotflag,\n"
    "                      rendernotsp, renderspbar, renderhancode, renderhantenzmode, rendersetsize,\n"
    "                      rendernotrenspace, render_pageflag, renderexactfill, renderunicodefill\n"
    "                      (0 or 1), fontface (UTF-8), fontpoint (tenths of a point),\n"
    "                      hanten_filename, hanten_filename2\n"
    "  --metrics FILE      take character widths and the line height from a metrics file\n"
    "  --report            write the rendering report to standard error afterwards: the problems\n"
    "                      met, the lines holding a character of fractional width, and the\n"
    "                      number of numeric character references in the output with their bytes\n"
    "  --utf8              convert text output (to standard output or -o) to UTF-8, numeric\n"
    "                      references (&#x2005;) written as their characters; NUL separators are kept\n"
    "  --posts             write each page split into the posts a board takes: to standard\n"
    "                      output split by a line '----', or with -o DIR/ as page-P-post-K.txt\n"
    "  --board NAME        with --posts: the board profile NAME of the settings folder (default:\n"
    "                      the current profile, or the built-in one)\n"
    "  --setting-txt FILE  with --posts: the board whose SETTING.TXT is FILE\n"
    "  --png FILE          draw the page as a PNG picture (black on white, 8 px margin) instead;\n"
    "                      INPUT must have one page with content, or name it with --page N\n"
    "  --scale N           with --png: 1 (default) or 2\n"
    "  --help              show this help\n"
    "\n"
    "Refused as conflicting: --html with -o FILE whose extension is not html (the extension decides),\n"
    "--utf8 with HTML output (HTML is always Shift_JIS), and --page N beyond the pages INPUT holds\n"
    "(a .aat holds page 0 only, a .aal pages 0-19).\n";

// Text output for a terminal: each page text converted to UTF-8, its numeric references written as their
// characters, the NUL separators kept. Rendered text is written whole or not at all, so a byte that is no
// Shift_JIS is an error here, not a replacement.
bool text_to_utf8(std::string_view sjis, std::string& out, std::string& error) {
    std::size_t start = 0;
    while (start <= sjis.size()) {
        std::size_t nul = sjis.find('\0', start);
        if (nul == std::string_view::npos) nul = sjis.size();
        const std::string_view piece = sjis.substr(start, nul - start);
        const Conversion c = sjis_to_utf8_showing_references(piece);
        if (!c.ok) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(piece[c.error_offset]));
            error = std::string("byte ") + hex + " at offset " + std::to_string(start + c.error_offset) +
                    " of the output is not Shift_JIS text and cannot be shown as UTF-8";
            return false;
        }
        out += c.text;
        if (nul < sjis.size()) out += '\0';
        start = nul + 1;
    }
    return true;
}

// The report as a terminal wants it: LF line ends and a final line end.
void print_report(const ErrorReport& errors) {
    const std::string text = render_result_text(errors);
    std::string lf;
    for (std::size_t k = 0; k < text.size(); ++k)
        if (!(text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')) lf += text[k];
    if (lf.empty() || lf.back() != '\n') lf += '\n';
    std::fputs(lf.c_str(), stderr);
}

}  // namespace

ExitCode cmd_render(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kRenderUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::string input_path, output_path;
    long page = -1;
    bool html = false, report = false, utf8 = false;
    PostOutputOptions post_output;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kRenderUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (const ExitCode rc = take_post_output_option(argc, argv, i, post_output, taken, kRenderUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "--page") {
            if (i + 1 >= argc || !parse_int(argv[i + 1], 0, kPreviewPages - 1, page))
                return usage_error("--page needs a page number from 0 to 29", kRenderUsage);
            ++i;
        } else if (arg == "-o") {
            if (i + 1 >= argc) return usage_error("-o needs a file", kRenderUsage);
            output_path = argv[++i];
        } else if (arg == "--html") {
            html = true;
        } else if (arg == "--report") {
            report = true;
        } else if (arg == "--utf8") {
            utf8 = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kRenderUsage);
        } else if (input_path.empty()) {
            input_path = arg;
        } else {
            return usage_error("more than one INPUT", kRenderUsage);
        }
    }
    if (input_path.empty()) return usage_error("no INPUT given", kRenderUsage);
    if (const ExitCode rc = check_post_output_options(post_output, html, utf8, kRenderUsage);
        rc != ExitCode::ok)
        return rc;
    if (!output_path.empty() && !post_output.active()) {
        if (html && !is_html_output(output_path))
            return usage_error("--html conflicts with -o " + output_path +
                                   ": the extension decides, name the file .html or drop --html",
                               kRenderUsage);
        html = is_html_output(output_path);
    }
    if (html && utf8)
        return usage_error("--utf8 applies to text output only; HTML is Shift_JIS", kRenderUsage);
    if (page >= 0)
        if (const ExitCode rc = check_input_page(input_path, page, kRenderUsage); rc != ExitCode::ok)
            return rc;

    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;
    Input input;
    if (const ExitCode rc = read_input(input_path, cli.settings.render, input); rc != ExitCode::ok) return rc;
    RenderInputs rendering;
    if (const ExitCode rc = prepare_rendering(cli, rendering); rc != ExitCode::ok) return rc;
    if (post_output.active())
        return write_post_output(post_output, cli, input, rendering, page, output_path, utf8);
    const RenderContext& ctx = rendering.context;

    auto workspace = std::make_unique<RenderWorkspace>();
    ErrorReport errors;
    PreviewBook& book = input.docs->preview;
    std::string bytes =
        page < 0 ? render_all_pages_to_bytes(book, ctx, html, *workspace, errors)
                 : render_page_to_bytes(book, static_cast<int>(page), ctx, html, *workspace, errors);
    if (utf8) {
        std::string converted, error;
        if (!text_to_utf8(bytes, converted, error)) {
            print_error(error);
            return ExitCode::output;
        }
        bytes.swap(converted);
    }
    ExitCode rc = ExitCode::ok;
    if (!output_path.empty()) {
        const IoResult io = write_file_atomically(output_path, bytes);
        if (!io.ok) {
            print_error(io.error);
            rc = ExitCode::output;
        }
    } else {
        rc = write_stdout(bytes);
    }
    if (report) print_report(errors);
    return rc;
}

}  // namespace glyphora::cli
