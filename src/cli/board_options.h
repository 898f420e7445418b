#pragma once
// What `check` and `render --posts` / `render --png` share: the board a page is posted to, and the pages
// rendered as the copy puts them on the clipboard.

#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "posting/board_profile.h"
#include "render/render_page.h"

namespace glyphora::cli {

struct BoardChoice {
    std::string board;        // --board NAME: a profile of the settings folder
    std::string setting_txt;  // --setting-txt FILE: a board's SETTING.TXT
};

// Takes argv[i] (and its value) when it is --board or --setting-txt; ExitCode::usage when the value is
// missing or both are given.
ExitCode take_board_option(int argc, char** argv, int& i, BoardChoice& choice, bool& taken,
                           const char* usage);

// The profile chosen: --setting-txt, else --board, else the current profile of the settings (the built-in
// one when none is set). Reports its own failure: ExitCode::input for an unreadable or malformed file,
// ExitCode::usage for an unknown board name.
ExitCode resolve_board(const BoardChoice& choice, const CliSettings& cli, posting::BoardProfile& out);

// One page rendered as the render commands render it.
struct RenderedPage {
    int page = 0;
    std::unique_ptr<RenderOutput> out = std::make_unique<RenderOutput>();
    std::string_view text() const { return {out->text, out->length}; }
};

// Options of `render` that write posts or a picture instead of the rendered file.
struct PostOutputOptions {
    bool posts = false;
    std::string png;  // --png FILE
    long scale = 1;   // --scale 1|2
    BoardChoice board;
    bool active() const { return posts || !png.empty(); }
};

// Takes argv[i] when it is --posts, --png FILE, --scale N, --board NAME or --setting-txt FILE.
ExitCode take_post_output_option(int argc, char** argv, int& i, PostOutputOptions& options, bool& taken,
                                 const char* usage);
// ExitCode::usage (reported) when the options conflict with each other or with the rest of the command.
ExitCode check_post_output_options(const PostOutputOptions& options, bool html, bool utf8, const char* usage);

// Writes the posts of every page with content (or of `page`): to standard output split by "----" lines,
// or, when output_path is a folder ("DIR/"), as the files page-P-post-K.txt. Or writes the picture of the
// page. input and rendering are ready.
ExitCode write_post_output(const PostOutputOptions& options, const CliSettings& cli, Input& input,
                           RenderInputs& rendering, long page, const std::string& output_path, bool utf8);

}  // namespace glyphora::cli
