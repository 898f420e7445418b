#include "cli/cli.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/books.h"
#include "model/mirror_table.h"
#include "model/sjis.h"
#include "platform/encoding.h"
#include "platform/font_metrics.h"
#include "render/char_width_table.h"
#include "render/error_report.h"
#include "render/output.h"
#include "render/render_page.h"
#include "settings/settings.h"
#include "settings/settings_location.h"
#include "storage/file_io.h"
#include "storage/library_file.h"
#include "storage/page_file.h"

#ifndef GLYPHORA_VERSION
#define GLYPHORA_VERSION "0"
#endif

namespace glyphora::cli {

namespace {

constexpr const char* kUsage =
    "Usage: glyphora-cli COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Renders, converts and inspects Glyphora files (.aap page collections, .aat single pages,\n"
    ".aal libraries) without a window.\n"
    "\n"
    "Commands:\n"
    "  render [OPTIONS] INPUT          render the pages of INPUT into text or HTML\n"
    "  convert [--page N] INPUT OUTPUT write INPUT as another kind of file (always version 3)\n"
    "  info INPUT                      list the kind, version, pages and parts of INPUT\n"
    "  width [OPTIONS] TEXT...         print the pixel width of each TEXT and of its characters\n"
    "\n"
    "Run 'glyphora-cli COMMAND --help' for the options of a command.\n"
    "  --help       show this help\n"
    "  --version    show the version\n"
    "\n"
    "Exit status: 0 success, 1 usage error, 2 an input cannot be read, 3 an output cannot be written.\n";

constexpr const char* kRenderUsage =
    "Usage: glyphora-cli render [OPTIONS] INPUT\n"
    "\n"
    "Renders INPUT (.aap, .aat read into page 0, or .aal with its 20 pages as pages 0-19) as the\n"
    "program's render commands do: every page with content, or with --page one page.\n"
    "\n"
    "Options:\n"
    "  --page N            render only page N (0-29), as the one-page command does\n"
    "  -o FILE             write FILE (HTML when its extension is html, text otherwise)\n"
    "  --html              without -o: write HTML to standard output instead of text\n"
    "  --settings FILE     take the settings from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable): render_linenumber, renderdotflag,\n"
    "                      rendernotsp, renderspbar, renderhancode, renderhantenzmode, rendersetsize,\n"
    "                      rendernotrenspace, render_pageflag (0 or 1), fontface (UTF-8),\n"
    "                      fontpoint (tenths of a point), hanten_filename, hanten_filename2\n"
    "  --metrics FILE      take character widths and the line height from a metrics file\n"
    "  --report            write the rendering report to standard error afterwards\n"
    "  --utf8              convert text output to UTF-8 (NUL separators are kept)\n"
    "  --help              show this help\n";

constexpr const char* kConvertUsage =
    "Usage: glyphora-cli convert [--page N] INPUT OUTPUT\n"
    "\n"
    "Reads INPUT (.aap, .aat, .aal) and writes OUTPUT by its extension: .aap (the whole collection;\n"
    "a library becomes pages 0-19), .aat (page N, default 0), .aal (a library of pages 0-19; a\n"
    "library input keeps its page names). Older versions come out as version 3.\n";

constexpr const char* kInfoUsage =
    "Usage: glyphora-cli info INPUT\n"
    "\n"
    "Prints the kind and version of INPUT and, for each page that holds parts, its index (and name\n"
    "for a library) and one row per used slot, as the program's lists show them.\n";

constexpr const char* kWidthUsage =
    "Usage: glyphora-cli width [--metrics FILE] [--settings FILE] [--set fontface=F] [--set fontpoint=N] TEXT...\n"
    "\n"
    "Prints 'line_height: N', then for each TEXT (UTF-8) its total width in pixels, a tab, and the\n"
    "width of each of its characters, as the rendering font measures them.\n";

void print_error(const std::string& message) { std::fprintf(stderr, "glyphora-cli: %s\n", message.c_str()); }

int usage_error(const std::string& message, const char* usage) {
    print_error(message);
    std::fputs("\n", stderr);
    std::fputs(usage, stderr);
    return kExitUsage;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool parse_int(std::string_view text, long low, long high, long& out) {
    if (text.empty() || text.size() > 12) return false;
    const std::string s(text);
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0' || v < low || v > high) return false;
    out = v;
    return true;
}

// Shift_JIS text for the terminal; bytes that are no Shift_JIS character are shown as \xNN, never dropped.
std::string to_display(std::string_view sjis) {
    std::string out;
    std::size_t pos = 0;
    while (pos < sjis.size()) {
        const Conversion c = sjis_to_utf8(sjis.substr(pos));
        if (c.ok) {
            out += c.text;
            break;
        }
        out += sjis_to_utf8(sjis.substr(pos, c.error_offset)).text;
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(sjis[pos + c.error_offset]));
        out += hex;
        pos += c.error_offset + 1;
    }
    return out;
}

// ---- Inputs

enum class InputKind { collection, single_page, library };

struct Input {
    InputKind kind = InputKind::collection;
    std::unique_ptr<Documents> docs = make_documents();
};

std::optional<InputKind> kind_by_extension(std::string_view path) {
    const std::string ext = lower(extension_of(path));
    if (ext == "aap") return InputKind::collection;
    if (ext == "aat") return InputKind::single_page;
    if (ext == "aal") return InputKind::library;
    return std::nullopt;
}

// Reads INPUT as the program would; returns kExitOk or prints why not.
int read_input(const std::string& path, const RenderSettings& global, Input& input) {
    const auto kind = kind_by_extension(path);
    if (!kind) {
        print_error(path + ": unknown kind of file (expected .aap, .aat or .aal)");
        return kExitInput;
    }
    input.kind = *kind;
    FileStatus status = FileStatus::kOk;
    Documents& docs = *input.docs;
    switch (*kind) {
        case InputKind::collection:
            status = read_collection_all_or_nothing(path, docs.preview, global);
            if (status == FileStatus::kOk) set_string(docs.preview.collection_name, path);
            break;
        case InputKind::single_page:
            status = read_single_page_all_or_nothing(path, docs.preview.pages[0]);
            break;
        case InputKind::library:
            status = read_library_all_or_nothing(path, docs.library);
            if (status == FileStatus::kOk) status = read_library_into_preview_all_or_nothing(path, docs.preview);
            break;
    }
    if (status != FileStatus::kOk) {
        print_error(path + ": " + status_message(status));
        return kExitInput;
    }
    return kExitOk;
}

// ---- Settings

struct CliSettings {
    Settings settings;
    std::string settings_file;  // empty: the program's own
    std::vector<std::string> overrides;
    std::string metrics_file;
};

int load_settings(CliSettings& cli) {
    std::string path = cli.settings_file;
    if (path.empty()) {
        // The desktop program's settings file, wherever it lives for this installation.
        const PathResult dir = settings_directory(running_executable_path());
        if (dir.ok) path = dir.path + "glyphora.ini";
    } else if (::access(path.c_str(), R_OK) != 0) {
        print_error(path + ": cannot read the settings file: " + std::strerror(errno));
        return kExitInput;
    }
    if (!path.empty()) {
        SettingsFile file(path);
        IniDocument doc;
        const IoResult loaded = file.load(doc);
        if (!loaded.ok) {
            print_error(loaded.error);
            return kExitInput;
        }
        read_startup_settings(file, cli.settings);
    }
    for (const std::string& item : cli.overrides) {
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) {
            print_error("--set " + item + ": expected KEY=VALUE");
            return kExitUsage;
        }
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        long number = 0;
        bool done = false;
        for (int i = 0; i < RenderSettings::kCount; ++i) {
            if (key == kRenderFlagKeys[static_cast<std::size_t>(i)]) {
                if (!parse_int(value, 0, 1, number)) {
                    print_error("--set " + key + ": expected 0 or 1, not '" + value + "'");
                    return kExitUsage;
                }
                cli.settings.render.flag(i) = number != 0;
                done = true;
            }
        }
        if (done) continue;
        if (key == "render_pageflag") {
            if (!parse_int(value, 0, 1, number)) {
                print_error("--set render_pageflag: expected 0 or 1, not '" + value + "'");
                return kExitUsage;
            }
            cli.settings.render_pageflag = number != 0;
        } else if (key == "fontpoint") {
            if (!parse_int(value, 10, 720, number)) {
                print_error("--set fontpoint: expected tenths of a point from 10 to 720, not '" + value + "'");
                return kExitUsage;
            }
            cli.settings.fontpoint = static_cast<int>(number);
        } else if (key == "fontface") {
            const Conversion face = utf8_to_sjis(value);
            if (!face.ok) {
                print_error("--set fontface: " + describe_unmappable(value, face));
                return kExitUsage;
            }
            if (face.text.size() >= kFontFaceCapacity) {
                print_error("--set fontface: a face name holds at most 63 bytes of Shift_JIS");
                return kExitUsage;
            }
            cli.settings.fontface = face.text;
        } else if (key == "hanten_filename") {
            cli.settings.hanten_filename = value;
        } else if (key == "hanten_filename2") {
            cli.settings.hanten_filename2 = value;
        } else {
            print_error("--set: unknown key '" + key + "'");
            return kExitUsage;
        }
    }
    return kExitOk;
}

int build_widths(const CliSettings& cli, CharWidthTable& table) {
    if (!cli.metrics_file.empty()) {
        auto file = std::make_unique<MetricsFile>();
        const MetricsParseResult r = load_metrics_file(cli.metrics_file, *file);
        if (!r.ok) {
            print_error(cli.metrics_file + (r.line > 0 ? ":" + std::to_string(r.line) : std::string()) + ": " +
                        r.message);
            return kExitInput;
        }
        MetricsFileSource source(*file);
        table.build(source);
        return kExitOk;
    }
    std::string error;
    if (!build_width_table_from_font(table, cli.settings.fontface, cli.settings.fontpoint, error)) {
        print_error(error);
        return kExitInput;
    }
    return kExitOk;
}

// Common option parsing: returns true when argv[i] was a settings option (and consumes its value).
int take_settings_option(int argc, char** argv, int& i, CliSettings& cli, bool& taken, const char* usage) {
    const std::string_view arg = argv[i];
    taken = false;
    auto value = [&](std::string& out) -> bool {
        if (i + 1 >= argc) return false;
        out = argv[++i];
        return true;
    };
    if (arg == "--settings" || arg == "--metrics") {
        taken = true;
        if (!value(arg == "--settings" ? cli.settings_file : cli.metrics_file))
            return usage_error(std::string(arg) + " needs a file", usage);
    } else if (arg == "--set") {
        taken = true;
        std::string v;
        if (!value(v)) return usage_error("--set needs KEY=VALUE", usage);
        cli.overrides.push_back(v);
    }
    return kExitOk;
}

bool wants_help(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") return true;
    return false;
}

int write_stdout(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        print_error(std::string("cannot write to standard output: ") + std::strerror(errno));
        return kExitOutput;
    }
    return kExitOk;
}

// Text output for a terminal: each page text converted to UTF-8, the NUL separators kept.
bool text_to_utf8(std::string_view sjis, std::string& out, std::string& error) {
    std::size_t start = 0;
    while (start <= sjis.size()) {
        std::size_t nul = sjis.find('\0', start);
        if (nul == std::string_view::npos) nul = sjis.size();
        const std::string_view piece = sjis.substr(start, nul - start);
        const Conversion c = sjis_to_utf8(piece);
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

// ---- Commands

int cmd_render(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kRenderUsage, stdout);
        return kExitOk;
    }
    CliSettings cli;
    std::string input_path, output_path;
    long page = -1;
    bool html = false, report = false, utf8 = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const int rc = take_settings_option(argc, argv, i, cli, taken, kRenderUsage); rc != kExitOk) return rc;
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
    if (!output_path.empty()) html = is_html_output(output_path);
    if (html && utf8) return usage_error("--utf8 applies to text output only", kRenderUsage);

    if (const int rc = load_settings(cli); rc != kExitOk) return rc;
    Input input;
    if (const int rc = read_input(input_path, cli.settings.render, input); rc != kExitOk) return rc;
    auto widths = std::make_unique<CharWidthTable>();
    if (const int rc = build_widths(cli, *widths); rc != kExitOk) return rc;
    auto mirrors = std::make_unique<MirrorTables>();
    load_mirror_tables(*mirrors, cli.settings.hanten_filename, cli.settings.hanten_filename2);

    RenderContext ctx;
    ctx.widths = widths.get();
    ctx.mirror_h = &mirrors->horizontal;
    ctx.mirror_v = &mirrors->vertical;
    ctx.global_settings = cli.settings.render;
    ctx.render_pageflag = cli.settings.render_pageflag;
    ctx.fontface = cli.settings.fontface;

    auto workspace = std::make_unique<RenderWorkspace>();
    ErrorReport errors;
    PreviewBook& book = input.docs->preview;
    std::string bytes = page < 0 ? render_all_pages_to_bytes(book, ctx, html, *workspace, errors)
                                 : render_page_to_bytes(book, static_cast<int>(page), ctx, html, *workspace, errors);
    int rc = kExitOk;
    if (!output_path.empty()) {
        const IoResult io = write_file_atomically(output_path, bytes);
        if (!io.ok) {
            print_error(io.error);
            rc = kExitOutput;
        }
    } else {
        if (utf8) {
            std::string converted, error;
            if (!text_to_utf8(bytes, converted, error)) {
                print_error(error);
                return kExitOutput;
            }
            bytes.swap(converted);
        }
        rc = write_stdout(bytes);
    }
    if (report) {
        std::string text = render_result_text(errors);
        std::string lf;
        for (std::size_t k = 0; k < text.size(); ++k)
            if (!(text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')) lf += text[k];
        if (lf.empty() || lf.back() != '\n') lf += '\n';
        std::fputs(lf.c_str(), stderr);
    }
    return rc;
}

int cmd_convert(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kConvertUsage, stdout);
        return kExitOk;
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
    const auto out_kind = kind_by_extension(paths[1]);
    if (!out_kind) return usage_error(paths[1] + ": OUTPUT must end in .aap, .aat or .aal", kConvertUsage);

    // The program's default global settings: a version 1 collection has none of its own.
    const RenderSettings global = default_global_render_settings();
    Input input;
    if (const int rc = read_input(paths[0], global, input); rc != kExitOk) return rc;
    const Documents& docs = *input.docs;
    FileStatus status = FileStatus::kOk;
    switch (*out_kind) {
        case InputKind::collection:
            status = input.kind == InputKind::library
                         ? write_collection_from_library(paths[1], docs.library, global)
                         : write_collection(paths[1], docs.preview);
            break;
        case InputKind::single_page:
            status = write_single_page(paths[1], docs.preview.pages[page]);
            break;
        case InputKind::library:
            // A library stays a library with its page names; anything else takes pages 0-19.
            status = input.kind == InputKind::library ? write_library(paths[1], docs.library)
                                                      : write_library_from_preview(paths[1], docs.preview);
            break;
    }
    if (status != FileStatus::kOk) {
        print_error(paths[1] + ": " + status_message(status));
        return kExitOutput;
    }
    return kExitOk;
}

struct Magic {
    std::string kind;
    int version = 0;
};

std::optional<Magic> read_magic(const std::string& bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string::npos || nul > 63) return std::nullopt;
    const std::string text = bytes.substr(0, nul);
    static const struct {
        const char* prefix;
        const char* kind;
    } kinds[] = {
        {"Glyphora-DatL V00", "page collection (.aap)"},
        {"Glyphora-Data V00", "single page (.aat)"},
        {"Glyphora-Libr V00", "library (.aal)"},
    };
    for (const auto& k : kinds) {
        const std::size_t n = std::strlen(k.prefix);
        if (text.size() == n + 1 && text.compare(0, n, k.prefix) == 0 && text[n] >= '1' && text[n] <= '3')
            return Magic{k.kind, text[n] - '0'};
    }
    return std::nullopt;
}

int cmd_info(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kInfoUsage, stdout);
        return kExitOk;
    }
    if (argc != 3 || argv[2][0] == '-') return usage_error("info needs exactly one INPUT", kInfoUsage);
    const std::string path = argv[2];
    std::string bytes;
    const IoResult io = read_whole_file(path, bytes);
    if (!io.ok) {
        print_error(io.error);
        return kExitInput;
    }
    const auto magic = read_magic(bytes);
    Input input;
    if (const int rc = read_input(path, default_global_render_settings(), input); rc != kExitOk) return rc;
    std::string out = "file: " + to_display(path) + "\n";
    out += "kind: " + (magic ? magic->kind + ", version " + std::to_string(magic->version) : "unknown") + "\n";
    const Documents& docs = *input.docs;
    const int pages = input.kind == InputKind::library ? kLibraryPages
                      : input.kind == InputKind::single_page ? 1
                                                              : kPreviewPages;
    for (int p = 0; p < pages; ++p) {
        const Page& page = input.kind == InputKind::library ? docs.library.pages[p] : docs.preview.pages[p];
        if (is_page_empty(page)) continue;
        out += "page " + std::to_string(p);
        if (input.kind == InputKind::library) out += " [" + to_display(get_string(docs.library.page_names[p])) + "]";
        out += "\n";
        for (int s = 0; s < kPartsPerPage; ++s) {
            if (!page.slots[s].in_use) continue;
            char slot[16];
            std::snprintf(slot, sizeof slot, "  %2d ", s);
            out += slot + to_display(list_label(page.slots[s])) + "\n";
        }
    }
    return write_stdout(out);
}

int cmd_width(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kWidthUsage, stdout);
        return kExitOk;
    }
    CliSettings cli;
    std::vector<std::string> texts;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const int rc = take_settings_option(argc, argv, i, cli, taken, kWidthUsage); rc != kExitOk) return rc;
        if (taken) continue;
        if (arg == "--") {
            for (++i; i < argc; ++i) texts.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kWidthUsage);
        } else {
            texts.emplace_back(arg);
        }
    }
    if (texts.empty()) return usage_error("no TEXT given", kWidthUsage);
    if (const int rc = load_settings(cli); rc != kExitOk) return rc;
    std::vector<std::string> sjis;
    for (const std::string& t : texts) {
        const Conversion c = utf8_to_sjis(t);
        if (!c.ok) {
            print_error(describe_unmappable(t, c));
            return kExitUsage;
        }
        sjis.push_back(c.text);
    }
    auto widths = std::make_unique<CharWidthTable>();
    if (const int rc = build_widths(cli, *widths); rc != kExitOk) return rc;
    std::string out = "line_height: " + std::to_string(widths->line_height) + "\n";
    for (const std::string& s : sjis) {
        long total = 0;
        std::string each;
        for (std::size_t pos = 0; pos < s.size();) {
            const SjisChar ch = char_at(s, pos);
            const int w = widths->width(ch.code);
            total += w;
            if (!each.empty()) each += ' ';
            each += std::to_string(w);
            pos += static_cast<std::size_t>(ch.length);
        }
        out += std::to_string(total) + "\t" + each + "\n";
    }
    return write_stdout(out);
}

}  // namespace

int run(int argc, char** argv) {
    if (argc < 2) return usage_error("no command given", kUsage);
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("glyphora-cli %s\n", GLYPHORA_VERSION);
        return kExitOk;
    }
    if (command == "render") return cmd_render(argc, argv);
    if (command == "convert") return cmd_convert(argc, argv);
    if (command == "info") return cmd_info(argc, argv);
    if (command == "width") return cmd_width(argc, argv);
    return usage_error("unknown command '" + std::string(command) + "'", kUsage);
}

}  // namespace glyphora::cli
