// glyphora-cli info: the kind and version of a file and the rows of its pages, as the program lists them.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/shown_text.h"
#include "io/file_io.h"
#include "system/encoding.h"

namespace glyphora::cli {

namespace {

constexpr const char* kInfoUsage =
    "Usage: glyphora-cli info [OPTIONS] INPUT\n"
    "\n"
    "Prints the kind and version of INPUT and, for each page that holds parts, its index (and name\n"
    "for a library) and one row per used slot, as the program's lists show them.\n"
    "\n"
    "Options:\n"
    "  --settings FILE     take the global rendering flags (which a version 1 .aap reads its pages\n"
    "                      with) from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable), as for render\n"
    "  --utf8              show numeric references in names and comments (&#9825;) as the\n"
    "                      characters they stand for\n"
    "  --help              show this help\n";

const char* kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::collection:
            return "page collection (.aap)";
        case FileKind::single_page:
            return "single page (.aat)";
        case FileKind::library:
            return "library (.aal)";
    }
    return "unknown";
}

}  // namespace

ExitCode cmd_info(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kInfoUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::string path;
    bool utf8 = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kInfoUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "--utf8") {
            utf8 = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-')
            return usage_error("unknown option " + std::string(arg), kInfoUsage);
        if (!path.empty()) return usage_error("info needs exactly one INPUT", kInfoUsage);
        path = arg;
    }
    if (path.empty()) return usage_error("info needs exactly one INPUT", kInfoUsage);
    if (const ExitCode rc = refuse_metrics(cli, kInfoUsage); rc != ExitCode::ok) return rc;
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;
    std::string bytes;
    const IoResult io = read_whole_file(path, bytes);
    if (!io.ok) {
        print_error(io.error);
        return ExitCode::input;
    }
    const std::optional<FileMagic> magic = file_kind_by_magic(bytes);
    Input input;
    if (const ExitCode rc = read_input(path, cli.settings.render, input); rc != ExitCode::ok) return rc;
    std::string out = "file: " + sjis_to_utf8_lenient(path, Unconvertible::hex_bytes) + "\n";
    out += "kind: " +
           (magic ? std::string(kind_name(magic->kind)) + ", version " + std::to_string(magic->version)
                  : "unknown") +
           "\n";
    // Names and comments with their references as written, or with --utf8 as their characters.
    const auto shown = [utf8](std::string_view sjis) {
        return utf8 ? sjis_to_utf8_lenient_showing_references(sjis)
                    : sjis_to_utf8_lenient(sjis, Unconvertible::hex_bytes);
    };
    const Documents& docs = *input.docs;
    const bool library = input.kind == FileKind::library;
    const int pages = library ? kLibraryPages : input.kind == FileKind::single_page ? 1 : kPreviewPages;
    for (int p = 0; p < pages; ++p) {
        const Page& page = library ? docs.library.pages[p] : docs.preview.pages[p];
        if (is_page_empty(page)) continue;
        out += "page " + std::to_string(p);
        if (library) out += " [" + shown(get_string(docs.library.page_names[p])) + "]";
        out += "\n";
        for (int s = 0; s < kPartsPerPage; ++s) {
            if (!page.slots[s].in_use) continue;
            char slot[16];
            std::snprintf(slot, sizeof slot, "  %2d ", s);
            out += slot + shown(list_label(page.slots[s])) + "\n";
        }
    }
    return write_stdout(out);
}

}  // namespace glyphora::cli
