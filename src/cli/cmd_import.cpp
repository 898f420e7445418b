// glyphora-cli import: AA collection files (MLT, AST, TXT) into a library file, new or existing.

#include <sys/stat.h>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "exchange/aa_formats.h"
#include "exchange/library_import.h"
#include "storage/library_file.h"
#include "system/encoding.h"

namespace glyphora::cli {

namespace {

constexpr const char* kImportUsage =
    "Usage: glyphora-cli import [OPTIONS] FILE... -o LIBRARY.aal\n"
    "\n"
    "Reads AA collection files (.mlt: AAs separated by [SPLIT] lines; .ast: each AA after an\n"
    "[AA][title] line; .txt: one AA) in Shift_JIS or UTF-8 and adds each AA as a part to LIBRARY,\n"
    "which is created when it does not exist. The parts flow left to right in reading order, a new\n"
    "page begins when a page is full, and pages that already hold parts are left alone. Prints which\n"
    "AAs went to which pages and how many of which FILE did not fit. Nothing is written unless every\n"
    "FILE was read; a FILE over 256 MB is refused.\n"
    "\n"
    "Options:\n"
    "  -o LIBRARY.aal      the library to create or add to (required)\n"
    "  --page N            the first library page to use (0-19, default 0)\n"
    "  --replace           reuse pages that hold parts (clearing them) instead of skipping them\n"
    "  --settings FILE     take the font settings from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable), as for render\n"
    "  --metrics FILE      measure the parts with a metrics file instead of the rendering font\n"
    "  --help              show this help\n";

std::string shown(std::string_view sjis) {
    return sjis_to_utf8_lenient(sjis, Unconvertible::hex_bytes);
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// "AA 3" or "AAs 3-7" of one file, numbered from 1 in file order.
std::string aa_range(int first, int last) {
    return first == last ? "AA " + std::to_string(first + 1)
                         : "AAs " + std::to_string(first + 1) + "-" + std::to_string(last + 1);
}

// One line per filled page: its index and name, and the AAs of each file it took.
std::string describe_plan(const ImportPlan& plan, const std::vector<ImportFile>& files) {
    std::string out;
    for (const ImportPage& page : plan.pages) {
        out += "page " + std::to_string(page.page) + " [" + shown(page.name) + "]";
        if (page.had_content) out += " (replaced)";
        out += ":";
        // The placed AAs of this page, as runs of consecutive entries of one file.
        std::string runs;
        int file = -1, first = -1, last = -1;
        auto flush = [&] {
            if (file < 0) return;
            runs += (runs.empty() ? " " : ", ") + files[static_cast<std::size_t>(file)].name + " " +
                    aa_range(first, last);
        };
        for (const PlacedAa& placed : plan.placed) {
            if (placed.page != page.page) continue;
            if (placed.aa.file == file && placed.aa.entry == last + 1) {
                last = placed.aa.entry;
                continue;
            }
            flush();
            file = placed.aa.file;
            first = last = placed.aa.entry;
        }
        flush();
        out += runs + "\n";
    }
    return out;
}

// Every input whole, or nothing changes.
ExitCode import_files(const std::vector<std::string>& inputs, const std::string& library_path, int page,
                      bool replace, const CliSettings& cli) {
    std::vector<ImportSource> sources;
    for (const std::string& path : inputs) {
        AaFileBytes file = read_aa_file_bytes(path);
        if (!file.ok) {
            print_error(path + ": " + file.error);
            return ExitCode::input;
        }
        sources.push_back({path, *aa_format_of_path(path), std::move(file.bytes)});
    }
    auto docs = make_documents();
    LibraryBook& library = docs->library;
    if (file_exists(library_path)) {
        const FileStatus status = read_library_all_or_nothing(library_path, library);
        if (status != FileStatus::ok) {
            print_error(library_path + ": " + status_message(status));
            return ExitCode::input;
        }
    }
    auto widths = std::make_unique<CharWidthTable>();
    if (const ExitCode rc = build_widths(cli, *widths); rc != ExitCode::ok) return rc;

    ImportOptions options;
    options.start_page = page;
    options.replace = replace;
    // The AAs past the library's last free slot are only counted, never decoded.
    const SourceImport import = plan_source_import(library, sources, *widths, options);
    sources.clear();
    const ImportPlan& plan = import.plan;
    if (!plan.ok) {
        print_error(plan.error);
        return ExitCode::input;
    }
    const std::vector<ImportFile>& files = import.files;
    if (!apply_import(library, plan, files)) {
        print_error(library_path + ": the import could not be applied");
        return ExitCode::input;
    }
    if (const FileStatus status = write_library(library_path, library); status != FileStatus::ok) {
        print_error(library_path + ": " + status_message(status));
        return ExitCode::output;
    }

    for (std::size_t f = 0; f < files.size(); ++f)
        if (const std::string said = describe_decode_report(import.reports[f]); !said.empty())
            std::fprintf(stderr, "%s: %s%s", files[f].name.c_str(), said.c_str(),
                         said.back() == '\n' ? "" : "\n");
    for (const CutAa& cut : plan.cut)
        std::fprintf(stderr, "glyphora-cli: %s %s: cut to %zu of its %zu bytes (a part holds %zu)\n",
                     files[static_cast<std::size_t>(cut.aa.file)].name.c_str(),
                     aa_range(cut.aa.entry, cut.aa.entry).c_str(), cut.kept_bytes, cut.original_bytes,
                     kTextCapacity - 1);
    for (const UnplacedAas& rest : plan.not_placed)
        std::fprintf(stderr, "glyphora-cli: %s %s (%zu) did not fit into the library's free pages\n",
                     files[static_cast<std::size_t>(rest.file)].name.c_str(),
                     aa_range(rest.first, rest.first + static_cast<int>(rest.count) - 1).c_str(), rest.count);
    std::string out = describe_plan(plan, files);
    out += std::to_string(plan.placed.size()) + " AAs imported into " + library_path + "\n";
    return write_stdout(out);
}

}  // namespace

ExitCode cmd_import(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kImportUsage, stdout);
        return ExitCode::ok;
    }
    CliSettings cli;
    std::vector<std::string> inputs;
    std::string library_path;
    long page = 0;
    bool replace = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, cli, taken, kImportUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "-o") {
            if (i + 1 >= argc) return usage_error("-o needs a library file", kImportUsage);
            if (!library_path.empty()) return usage_error("more than one -o", kImportUsage);
            library_path = argv[++i];
        } else if (arg == "--page") {
            if (i + 1 >= argc || !parse_int(argv[i + 1], 0, kLibraryPages - 1, page))
                return usage_error("--page needs a library page from 0 to 19", kImportUsage);
            ++i;
        } else if (arg == "--replace") {
            replace = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kImportUsage);
        } else {
            inputs.emplace_back(arg);
        }
    }
    if (inputs.empty()) return usage_error("no FILE given", kImportUsage);
    if (library_path.empty()) return usage_error("-o LIBRARY.aal is required", kImportUsage);
    if (file_kind_by_extension(library_path) != FileKind::library)
        return usage_error(library_path + ": the library must end in .aal", kImportUsage);
    for (const std::string& path : inputs)
        if (!aa_format_of_path(path))
            return usage_error(path + ": expected a .mlt, .ast or .txt file", kImportUsage);
    if (const ExitCode rc = load_settings(cli); rc != ExitCode::ok) return rc;

    try {
        return import_files(inputs, library_path, static_cast<int>(page), replace, cli);
    } catch (const std::bad_alloc&) {
        print_error("not enough memory to import the files; " + library_path + " is unchanged");
        return ExitCode::input;
    }
}

}  // namespace glyphora::cli
