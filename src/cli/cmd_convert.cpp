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
    "Usage: glyphora-cli convert [--page N] INPUT OUTPUT\n"
    "\n"
    "Reads INPUT (.aap, .aat, .aal) and writes OUTPUT by its extension: .aap (the whole collection;\n"
    "a library becomes pages 0-19), .aat (page N, default 0), .aal (a library of pages 0-19; a\n"
    "library input keeps its page names). Older versions come out as version 3.\n";

}  // namespace

ExitCode cmd_convert(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kConvertUsage, stdout);
        return ExitCode::ok;
    }
    std::vector<std::string> paths;
    long page = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--page") {
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

    // The program's default global settings: a version 1 collection has none of its own.
    const RenderSettings global = default_global_render_settings();
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
