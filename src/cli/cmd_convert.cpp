// glyphora-cli convert: any kind of file to any kind, written as version 3.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "storage/library_file.h"
#include "storage/page_file.h"

namespace glyphora::cli {

namespace {

constexpr const char* kConvertUsage =
    "Usage: glyphora-cli convert [OPTIONS] INPUT OUTPUT\n"
    "\n"
    "Reads INPUT (.aap, .aat, .aal) and writes OUTPUT by its extension: .aap (the whole collection;\n"
    "a library becomes pages 0-19), .aat (page N, default 0), .aal (a library of pages 0-19; a\n"
    "library input keeps its page names). Older versions come out as version 3.\n"
    "\n"
    "Options:\n"
    "  --page N            the page a .aat OUTPUT takes (0-29; 0 for a .aat INPUT, 0-19 for .aal)\n"
    "  --settings FILE     take the global rendering flags from FILE instead of the program's own\n"
    "                      settings file (a version 1 .aap and a .aal written as .aap get them as\n"
    "                      their pages' settings, as in the program)\n"
    "  --set KEY=VALUE     override one setting (repeatable), as for render\n"
    "  --help              show this help\n"
    "\n"
    "Refused as conflicting: --page with an OUTPUT that is not .aat, and --page N beyond the pages\n"
    "INPUT holds.\n";

}  // namespace

ExitCode cmd_convert(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kConvertUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::vector<std::string> paths;
    long page = 0;
    bool page_given = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kConvertUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "--page") {
            page_given = true;
            if (i + 1 >= argc || !parse_int(argv[i + 1], 0, kPreviewPages - 1, page))
                return usage_error("--page needs a page number from 0 to 29", kConvertUsage);
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kConvertUsage);
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.size() != 2) return usage_error("convert needs INPUT and OUTPUT", kConvertUsage);
    const std::optional<FileKind> out_kind = file_kind_by_extension(paths[1]);
    if (!out_kind) return usage_error(paths[1] + ": OUTPUT must end in .aap, .aat or .aal", kConvertUsage);
    if (page_given && *out_kind != FileKind::single_page)
        return usage_error("--page applies to a .aat OUTPUT only", kConvertUsage);
    if (const ExitCode rc = check_input_page(paths[0], page, kConvertUsage); rc != ExitCode::ok) return rc;
    if (const ExitCode rc = refuse_metrics(cli, kConvertUsage); rc != ExitCode::ok) return rc;

    // The user's global flags, as the program takes them: a version 1 collection has no settings of its own.
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;
    const RenderSettings global = cli.settings.render;
    Input input;
    if (const ExitCode rc = read_input(paths[0], global, input); rc != ExitCode::ok) return rc;
    const Documents& docs = *input.docs;
    FileStatus status = FileStatus::ok;
    switch (*out_kind) {
        case FileKind::collection:
            status = input.kind == FileKind::library
                         ? write_collection_from_library(paths[1], docs.library, global)
                         : write_collection(paths[1], docs.preview);
            break;
        case FileKind::single_page:
            status = write_single_page(paths[1], docs.preview.pages[page]);
            break;
        case FileKind::library:
            // A library stays a library with its page names; anything else takes pages 0-19.
            status = input.kind == FileKind::library ? write_library(paths[1], docs.library)
                                                     : write_library_from_preview(paths[1], docs.preview);
            break;
    }
    if (status != FileStatus::ok) {
        print_error(paths[1] + ": " + status_message(status));
        return ExitCode::output;
    }
    return ExitCode::ok;
}

}  // namespace glyphora::cli
