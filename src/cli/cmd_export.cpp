// glyphora-cli export: the rendered pages of a collection, or the parts of a library, as an MLT or AST file.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "exchange/aa_export.h"
#include "exchange/aa_formats.h"

namespace glyphora::cli {

namespace {

constexpr const char* kExportUsage =
    "Usage: glyphora-cli export [OPTIONS] INPUT -o OUTPUT.mlt|OUTPUT.ast\n"
    "\n"
    "Writes an AA collection file by OUTPUT's extension: .mlt (AAs separated by [SPLIT] lines) or\n"
    ".ast (each AA after an [AA][title] line). A .aap or .aat INPUT gives its pages with content,\n"
    "rendered as the render command renders them (titled \"page N\"); a .aal INPUT gives its parts,\n"
    "one AA each with its stored text and its name as title.\n"
    "\n"
    "Options:\n"
    "  -o FILE             the file to write (required)\n"
    "  --utf8              write UTF-8 instead of Shift_JIS\n"
    "  --settings FILE     take the settings from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable), as for render\n"
    "  --metrics FILE      take character widths and the line height from a metrics file\n"
    "  --help              show this help\n"
    "\n"
    "A rendered page can lose a blank run: one that needs more than 300 space characters is not\n"
    "written (the render report calls it too many blanks), and the rest of its line moves left. The\n"
    "file is written all the same; the pages are named on standard error and the exit status is 4.\n";

}  // namespace

ExitCode cmd_export(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kExportUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::string input_path, output_path;
    bool utf8 = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kExportUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "-o") {
            if (i + 1 >= argc) return usage_error("-o needs a file", kExportUsage);
            output_path = argv[++i];
        } else if (arg == "--utf8") {
            utf8 = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kExportUsage);
        } else if (input_path.empty()) {
            input_path = arg;
        } else {
            return usage_error("more than one INPUT", kExportUsage);
        }
    }
    if (input_path.empty()) return usage_error("no INPUT given", kExportUsage);
    if (output_path.empty()) return usage_error("-o OUTPUT.mlt|OUTPUT.ast is required", kExportUsage);
    const std::optional<AaFormat> format = aa_format_of_path(output_path);
    if (!format || *format == AaFormat::txt)
        return usage_error(output_path + ": OUTPUT must end in .mlt or .ast", kExportUsage);
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;

    Input input;
    if (const ExitCode rc = read_input(input_path, cli.settings.render, input); rc != ExitCode::ok) return rc;
    std::vector<AaEntry> entries;
    std::vector<int> lost_blank_pages;
    if (input.kind == FileKind::library) {
        entries = library_entries(input.docs->library);
    } else {
        RenderInputs rendering;
        if (const ExitCode rc = prepare_rendering(cli, rendering); rc != ExitCode::ok) return rc;
        // A single page was read into page 0, and the other pages are empty.
        PreviewExport exported = preview_entries(input.docs->preview, rendering.context);
        entries = std::move(exported.entries);
        lost_blank_pages = std::move(exported.lost_blank_pages);
    }
    const AaWriteResult written =
        write_aa_file(output_path, entries, *format, utf8 ? OutputEncoding::utf8 : OutputEncoding::sjis);
    if (!written.ok) {
        print_error(output_path + ": " + written.error);
        return ExitCode::output;
    }
    for (std::size_t skipped : written.skipped_blank)
        std::fprintf(stderr, "glyphora-cli: AA %zu is blank and is left out (an MLT file cannot hold it)\n",
                     skipped + 1);
    for (const int page : lost_blank_pages)
        std::fprintf(stderr,
                     "glyphora-cli: page %d (the AA \"page %d\"): a blank run needed more than 300 space "
                     "characters and is missing\n",
                     page, page + 1);
    const ExitCode rc = write_stdout(std::to_string(entries.size() - written.skipped_blank.size()) +
                                     " AAs written to " + output_path + "\n");
    return rc == ExitCode::ok && !lost_blank_pages.empty() ? ExitCode::lossy : rc;
}

}  // namespace glyphora::cli
