// glyphora-cli check: each page counted as the board's server counts it, with what would go wrong there.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/board_options.h"
#include "cli/cli.h"
#include "cli/inputs.h"
#include "posting/post_count.h"
#include "render/output.h"

namespace glyphora::cli {

namespace {

constexpr const char* kCheckUsage =
    "Usage: glyphora-cli check [OPTIONS] INPUT\n"
    "\n"
    "Renders each page of INPUT with content and counts it as the board's server counts a post:\n"
    "bytes after escaping (a line break 6, '\"' 6, '<' and '>' 4, a bare '&' 5, a numeric reference\n"
    "its ASCII bytes, every other character its bytes in the board's encoding) and lines. Prints\n"
    "one line per post, 'page P post K: B/LIMIT bytes, L/LIMIT lines', then one line per finding,\n"
    "'page P line N: error|warning: ...': a half-width space at a line start or two in a row (with\n"
    "the part whose text holds them), a reference on a board that garbles them, a character the\n"
    "encoding cannot carry, a post over its budget. Pages are numbered as --page takes them.\n"
    "\n"
    "Options:\n"
    "  --board NAME        count for the board profile NAME of the settings folder (default: the\n"
    "                      current profile, or the built-in one)\n"
    "  --setting-txt FILE  count for the board whose SETTING.TXT is FILE\n"
    "  --page N            check only page N (0-29; 0 for .aat, 0-19 for .aal)\n"
    "  --posts             split each page over budget into the posts it takes, and check each\n"
    "  --settings FILE     take the settings from FILE instead of the program's own settings file\n"
    "  --set KEY=VALUE     override one setting (repeatable), as for render\n"
    "  --metrics FILE      take character widths and the line height from a metrics file\n"
    "  --help              show this help\n"
    "\n"
    "Exit status: 0 every post fits and no finding is an error, 4 a post is over budget or a\n"
    "finding is an error, 1 usage error, 2 an input cannot be read.\n";

struct CheckOptions {
    CliSettings cli;
    BoardChoice board;
    std::string input;
    long page = -1;
    bool posts = false;
};

ExitCode parse_check(int argc, char** argv, CheckOptions& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        if (const ExitCode rc = take_settings_option(argc, argv, i, o.cli, taken, kCheckUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (const ExitCode rc = take_board_option(argc, argv, i, o.board, taken, kCheckUsage);
            rc != ExitCode::ok)
            return rc;
        if (taken) continue;
        if (arg == "--page") {
            if (i + 1 >= argc || !parse_int(argv[i + 1], 0, kPreviewPages - 1, o.page))
                return usage_error("--page needs a page number from 0 to 29", kCheckUsage);
            ++i;
        } else if (arg == "--posts") {
            o.posts = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + std::string(arg), kCheckUsage);
        } else if (o.input.empty()) {
            o.input = arg;
        } else {
            return usage_error("more than one INPUT", kCheckUsage);
        }
    }
    if (o.input.empty()) return usage_error("no INPUT given", kCheckUsage);
    if (o.page >= 0) return check_input_page(o.input, o.page, kCheckUsage);
    return ExitCode::ok;
}

std::string post_line(int page, std::size_t k, const posting::PostCount& c, const posting::BoardProfile& p) {
    return "page " + std::to_string(page) + " post " + std::to_string(k) + ": " + std::to_string(c.bytes) +
           "/" + std::to_string(p.bytes_per_post) + " bytes, " + std::to_string(c.lines) + "/" +
           std::to_string(p.lines_per_post) + " lines\n";
}

// Checks one rendered page; true when something would go wrong on the board.
bool check_one(int page, std::string_view text, const posting::PageSource& source,
               const posting::BoardProfile& profile, bool split, std::string& out) {
    std::vector<posting::Post> posts;
    if (split) {
        posts = posting::split_posts(text, profile);
    } else {
        posts.push_back({text, 1, posting::count_post(text, profile)});
    }
    bool bad = false;
    std::vector<posting::Finding> findings;
    for (std::size_t k = 0; k < posts.size(); ++k) {
        out += post_line(page, k + 1, posts[k].count, profile);
        bad = bad || posts[k].count.over();
        for (posting::Finding f : posting::check_page(posts[k].text, profile)) {
            f.line += posts[k].first_line - 1;
            findings.push_back(std::move(f));
        }
    }
    // The parts' own spaces, found against the whole page.
    for (posting::Finding& f : posting::check_page(text, profile, &source))
        if (f.slot >= 0) findings.push_back(std::move(f));
    std::stable_sort(findings.begin(), findings.end(),
                     [](const posting::Finding& a, const posting::Finding& b) { return a.line < b.line; });
    for (const posting::Finding& f : findings) {
        const bool error = f.severity == posting::Severity::error;
        bad = bad || error;
        out += "page " + std::to_string(page) + " line " + std::to_string(f.line) + ": " +
               (error ? "error: " : "warning: ") + f.message + (f.fixable ? " (can be mended)" : "") + "\n";
    }
    return bad;
}

}  // namespace

ExitCode cmd_check(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kCheckUsage, stdout);
        return ExitCode::ok;
    }
    CheckOptions o;
    if (const ExitCode rc = parse_check(argc, argv, o); rc != ExitCode::ok) return rc;
    if (const ExitCode rc = load_settings(o.cli); rc != ExitCode::ok) return rc;
    posting::BoardProfile profile;
    if (const ExitCode rc = resolve_board(o.board, o.cli, profile); rc != ExitCode::ok) return rc;
    Input input;
    if (const ExitCode rc = read_input(o.input, o.cli.settings.render, input); rc != ExitCode::ok) return rc;
    RenderInputs rendering;
    if (const ExitCode rc = prepare_rendering(o.cli, rendering); rc != ExitCode::ok) return rc;

    auto workspace = std::make_unique<RenderWorkspace>();
    auto rendered = std::make_unique<RenderOutput>();
    PreviewBook& book = input.docs->preview;
    const RenderContext& ctx = rendering.context;
    std::string out;
    bool bad = false;
    const int first = o.page < 0 ? 0 : static_cast<int>(o.page);
    const int last = o.page < 0 ? kPreviewPages - 1 : static_cast<int>(o.page);
    for (int p = first; p <= last; ++p) {
        render_preview_page(book, p, ctx, *workspace, *rendered);
        if (!rendered->has_content) continue;
        posting::PageSource source;
        source.page = &book.pages[p];
        source.line_height = ctx.widths->line_height;
        source.settings = active_render_settings(book, p, ctx.render_pageflag, ctx.global_settings);
        source.line_numbers = source.settings.render_linenumber;
        bad =
            check_one(p, std::string_view(rendered->text, rendered->length), source, profile, o.posts, out) ||
            bad;
    }
    if (const ExitCode rc = write_stdout(out); rc != ExitCode::ok) return rc;
    // The same status export gives for a written file that will not come out whole.
    return bad ? ExitCode::lossy : ExitCode::ok;
}

}  // namespace glyphora::cli
