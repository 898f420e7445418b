#include "cli/board_options.h"

#include <sys/stat.h>

#include <cstdio>

#include "io/file_io.h"
#include "posting/page_image.h"
#include "posting/post_count.h"
#include "render/output.h"
#include "settings/settings.h"
#include "settings/settings_location.h"
#include "system/encoding.h"

namespace glyphora::cli {

ExitCode take_board_option(int argc, char** argv, int& i, BoardChoice& choice, bool& taken,
                           const char* usage) {
    const std::string_view arg = argv[i];
    taken = arg == "--board" || arg == "--setting-txt";
    if (!taken) return ExitCode::ok;
    if (i + 1 >= argc) return usage_error(std::string(arg) + " needs a value", usage);
    (arg == "--board" ? choice.board : choice.setting_txt) = argv[++i];
    if (!choice.board.empty() && !choice.setting_txt.empty())
        return usage_error("--board and --setting-txt name the board twice; give one", usage);
    return ExitCode::ok;
}

ExitCode resolve_board(const BoardChoice& choice, const CliSettings& cli, posting::BoardProfile& out) {
    if (!choice.setting_txt.empty()) {
        std::string bytes, error;
        if (const IoResult r = read_whole_file(choice.setting_txt, bytes); !r.ok) {
            print_error(r.error);
            return ExitCode::input;
        }
        if (!posting::parse_setting_txt(bytes, out, error)) {
            print_error(choice.setting_txt + ": " + error);
            return ExitCode::input;
        }
        return ExitCode::ok;
    }
    const PathResult dir =
        settings_directory(running_executable_path(), LocationEnvironment::current(), FolderCreation::never);
    posting::ProfileList list;
    if (dir.ok) {
        if (const IoResult r = posting::load_profiles(posting::profiles_file_path(dir.path), list); !r.ok) {
            print_error(r.error);
            return ExitCode::input;
        }
    } else {
        list.profiles.push_back(posting::builtin_profile());
    }
    if (!choice.board.empty()) {
        const posting::BoardProfile* p = list.find(choice.board);
        if (!p) {
            std::string known;
            for (const posting::BoardProfile& q : list.profiles) known += "\n  " + q.name;
            print_error("no board profile named '" + choice.board + "'; the profiles are:" + known);
            return ExitCode::usage;
        }
        out = *p;
        return ExitCode::ok;
    }
    std::string current;
    const std::string settings_path =
        !cli.settings_file.empty() ? cli.settings_file : (dir.ok ? dir.path + "glyphora.ini" : std::string());
    if (!settings_path.empty())
        current = read_setting(SettingsFile(settings_path), settings_keys::boardprofile);
    out = posting::current_profile(list, current);
    return ExitCode::ok;
}

ExitCode take_post_output_option(int argc, char** argv, int& i, PostOutputOptions& options, bool& taken,
                                 const char* usage) {
    if (const ExitCode rc = take_board_option(argc, argv, i, options.board, taken, usage);
        rc != ExitCode::ok || taken)
        return rc;
    const std::string_view arg = argv[i];
    taken = true;
    if (arg == "--posts") {
        options.posts = true;
    } else if (arg == "--png") {
        if (i + 1 >= argc) return usage_error("--png needs a file", usage);
        options.png = argv[++i];
    } else if (arg == "--scale") {
        if (i + 1 >= argc || !parse_int(argv[i + 1], 1, 2, options.scale))
            return usage_error("--scale needs 1 or 2", usage);
        ++i;
    } else {
        taken = false;
    }
    return ExitCode::ok;
}

ExitCode check_post_output_options(const PostOutputOptions& o, bool html, bool utf8, const char* usage) {
    const bool board = !o.board.board.empty() || !o.board.setting_txt.empty();
    if (o.posts && !o.png.empty())
        return usage_error("--posts and --png write different things; give one", usage);
    if (o.active() && html) return usage_error("--posts and --png write no HTML", usage);
    if (!o.png.empty() && utf8) return usage_error("--utf8 applies to text, not to --png", usage);
    if (board && !o.posts) return usage_error("--board and --setting-txt go with --posts", usage);
    if (o.scale != 1 && o.png.empty()) return usage_error("--scale goes with --png", usage);
    return ExitCode::ok;
}

namespace {

bool is_folder(const std::string& path) {
    if (!path.empty() && path.back() == '/') return true;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<RenderedPage> render_pages(Input& input, RenderInputs& rendering, long page) {
    std::vector<RenderedPage> pages;
    auto workspace = std::make_unique<RenderWorkspace>();
    const int first = page < 0 ? 0 : static_cast<int>(page);
    const int last = page < 0 ? kPreviewPages - 1 : static_cast<int>(page);
    for (int p = first; p <= last; ++p) {
        RenderedPage r;
        r.page = p;
        render_preview_page(input.docs->preview, p, rendering.context, *workspace, *r.out);
        if (r.out->has_content) pages.push_back(std::move(r));
    }
    return pages;
}

ExitCode write_picture(const PostOutputOptions& o, const CliSettings& cli,
                       const std::vector<RenderedPage>& pages) {
    if (pages.size() != 1) {
        print_error(pages.empty() ? std::string("no page has content; there is nothing to draw")
                                  : "--png draws one page and INPUT has " + std::to_string(pages.size()) +
                                        " with content; name one with --page N");
        return pages.empty() ? ExitCode::input : ExitCode::usage;
    }
    std::string error;
    auto font = posting::ImageFont::open(cli.settings.fontface, cli.settings.fontpoint,
                                         static_cast<int>(o.scale), error);
    if (!font) {
        print_error(error);
        return ExitCode::input;
    }
    const posting::Gray8Image image = posting::draw_page_image(pages.front().text(), *font);
    if (const IoResult r = posting::write_png(o.png, image); !r.ok) {
        print_error(r.error);
        return ExitCode::output;
    }
    return ExitCode::ok;
}

}  // namespace

ExitCode write_post_output(const PostOutputOptions& o, const CliSettings& cli, Input& input,
                           RenderInputs& rendering, long page, const std::string& output_path, bool utf8) {
    const std::vector<RenderedPage> pages = render_pages(input, rendering, page);
    if (!o.png.empty()) return write_picture(o, cli, pages);

    posting::BoardProfile profile;
    if (const ExitCode rc = resolve_board(o.board, cli, profile); rc != ExitCode::ok) return rc;
    const bool to_folder = !output_path.empty();
    if (to_folder && !is_folder(output_path)) {
        print_error("-o " + output_path + " with --posts names a folder: end it with '/'");
        return ExitCode::usage;
    }
    std::string folder = output_path;
    if (to_folder && folder.back() != '/') folder += '/';
    std::string joined;
    bool first = true;
    for (const RenderedPage& rp : pages) {
        const std::vector<posting::Post> posts = posting::split_posts(rp.text(), profile);
        for (std::size_t k = 0; k < posts.size(); ++k) {
            std::string text(posts[k].text);
            if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
            if (utf8) {
                const Conversion c = sjis_to_utf8(text);
                if (!c.ok) {
                    print_error("page " + std::to_string(rp.page) + " post " + std::to_string(k + 1) +
                                " holds bytes that are no Shift_JIS text and cannot be shown as UTF-8");
                    return ExitCode::output;
                }
                text = c.text;
            }
            if (to_folder) {
                const std::string path =
                    folder + "page-" + std::to_string(rp.page) + "-post-" + std::to_string(k + 1) + ".txt";
                if (const IoResult r = write_file_atomically(path, text); !r.ok) {
                    print_error(r.error);
                    return ExitCode::output;
                }
            } else {
                if (!first) joined += "----\r\n";
                joined += text;
                first = false;
            }
        }
    }
    return to_folder ? ExitCode::ok : write_stdout(joined);
}

}  // namespace glyphora::cli
