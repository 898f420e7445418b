#include "cli/inputs.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "cli/cli.h"
#include "settings/render_setup.h"
#include "settings/settings_location.h"
#include "storage/library_file.h"
#include "storage/page_file.h"
#include "system/encoding.h"
#include "system/font_metrics.h"

namespace glyphora::cli {

namespace {

// One --set item; the keys are those of the settings file.
ExitCode apply_override(const std::string& item, Settings& settings) {
    namespace keys = settings_keys;
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) {
        print_error("--set " + item + ": expected KEY=VALUE");
        return ExitCode::usage;
    }
    const std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    long number = 0;
    for (int i = 0; i < RenderSettings::kCount; ++i) {
        if (key != keys::render_flag(i).key) continue;
        if (!parse_int(value, 0, 1, number)) {
            print_error("--set " + key + ": expected 0 or 1, not '" + value + "'");
            return ExitCode::usage;
        }
        settings.render.flag(i) = number != 0;
        return ExitCode::ok;
    }
    if (key == keys::render_pageflag.key || key == keys::renderexactfill.key ||
        key == keys::renderunicodefill.key) {
        if (!parse_int(value, 0, 1, number)) {
            print_error("--set " + key + ": expected 0 or 1, not '" + value + "'");
            return ExitCode::usage;
        }
        (key == keys::render_pageflag.key   ? settings.render_pageflag
         : key == keys::renderexactfill.key ? settings.renderexactfill
                                            : settings.renderunicodefill) = number != 0;
    } else if (key == keys::fontpoint.key) {
        if (!parse_int(value, 10, 720, number)) {
            print_error("--set " + key + ": expected tenths of a point from 10 to 720, not '" + value + "'");
            return ExitCode::usage;
        }
        settings.fontpoint = static_cast<int>(number);
    } else if (key == keys::fontface.key) {
        const Conversion face = utf8_to_sjis(value);
        if (!face.ok) {
            print_error("--set " + key + ": " + describe_unmappable(value, face));
            return ExitCode::usage;
        }
        if (face.text.size() >= keys::fontface.capacity) {
            print_error("--set " + key + ": a face name holds at most " +
                        std::to_string(keys::fontface.capacity - 1) + " bytes of Shift_JIS");
            return ExitCode::usage;
        }
        settings.fontface = face.text;
    } else if (key == keys::hanten_filename.key) {
        settings.hanten_filename = value;
    } else if (key == keys::hanten_filename2.key) {
        settings.hanten_filename2 = value;
    } else {
        print_error("--set: unknown key '" + key + "'");
        return ExitCode::usage;
    }
    return ExitCode::ok;
}

}  // namespace

ExitCode read_input(const std::string& path, const RenderSettings& global, Input& input) {
    const std::optional<FileKind> kind = file_kind_by_extension(path);
    if (!kind) {
        print_error(path + ": unknown kind of file (expected .aap, .aat or .aal)");
        return ExitCode::input;
    }
    input.kind = *kind;
    FileStatus status = FileStatus::ok;
    Documents& docs = *input.docs;
    switch (*kind) {
        case FileKind::collection:
            status = read_collection_all_or_nothing(path, docs.preview, global);
            if (status == FileStatus::ok) set_string(docs.preview.collection_name, path);
            break;
        case FileKind::single_page:
            status = read_single_page_all_or_nothing(path, docs.preview.pages[0]);
            break;
        case FileKind::library:
            status = read_library_all_or_nothing(path, docs.library);
            if (status == FileStatus::ok)
                status = read_library_into_preview_all_or_nothing(path, docs.preview);
            break;
    }
    if (status != FileStatus::ok) {
        print_error(path + ": " + status_message(status));
        return ExitCode::input;
    }
    return ExitCode::ok;
}

int pages_held(FileKind kind) {
    switch (kind) {
        case FileKind::collection:
            return kPreviewPages;
        case FileKind::single_page:
            return 1;
        case FileKind::library:
            return kLibraryPages;
    }
    return kPreviewPages;
}

ExitCode check_input_page(const std::string& path, long page, const char* usage) {
    const std::optional<FileKind> kind = file_kind_by_extension(path);
    if (!kind || page < pages_held(*kind)) return ExitCode::ok;
    if (*kind == FileKind::single_page)
        return usage_error("--page " + std::to_string(page) + ": " + path + " is a single page (page 0 only)",
                           usage);
    return usage_error("--page " + std::to_string(page) + ": " + path + " holds pages 0-" +
                           std::to_string(pages_held(*kind) - 1),
                       usage);
}

ExitCode refuse_metrics(const CliSettings& cli, const char* usage) {
    if (cli.metrics_file.empty()) return ExitCode::ok;
    return usage_error("--metrics applies to render and width only", usage);
}

ExitCode take_settings_option(int argc, char** argv, int& i, CliSettings& cli, bool& taken,
                              const char* usage) {
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
    return ExitCode::ok;
}

ExitCode load_settings(CliSettings& cli) {
    std::string path = cli.settings_file;
    if (path.empty()) {
        // The desktop program's settings file, wherever it lives for this installation.
        const PathResult dir = settings_directory(running_executable_path(), LocationEnvironment::current(),
                                                  FolderCreation::never);
        if (dir.ok) path = dir.path + "glyphora.ini";
    } else if (::access(path.c_str(), R_OK) != 0) {
        print_error(path + ": cannot read the settings file: " + std::strerror(errno));
        return ExitCode::input;
    }
    if (!path.empty()) {
        SettingsFile file(path);
        IniDocument doc;
        const IoResult loaded = file.load(doc);
        if (!loaded.ok) {
            print_error(loaded.error);
            return ExitCode::input;
        }
        read_startup_settings(file, cli.settings);
    }
    for (const std::string& item : cli.overrides)
        if (const ExitCode rc = apply_override(item, cli.settings); rc != ExitCode::ok) return rc;
    return ExitCode::ok;
}

ExitCode build_widths(const CliSettings& cli, CharWidthTable& table) {
    if (!cli.metrics_file.empty()) {
        auto file = std::make_unique<MetricsFile>();
        const MetricsParseResult r = load_metrics_file(cli.metrics_file, *file);
        if (!r.ok) {
            print_error(cli.metrics_file + (r.line > 0 ? ":" + std::to_string(r.line) : std::string()) +
                        ": " + r.message);
            return ExitCode::input;
        }
        MetricsFileSource source(*file);
        table.build(source);
        return ExitCode::ok;
    }
    std::string error;
    if (!build_width_table_from_font(table, cli.settings.fontface, cli.settings.fontpoint, error)) {
        print_error(error);
        return ExitCode::input;
    }
    return ExitCode::ok;
}

ExitCode prepare_rendering(const CliSettings& cli, RenderInputs& out) {
    if (const ExitCode rc = build_widths(cli, *out.widths); rc != ExitCode::ok) return rc;
    load_mirror_tables(*out.mirrors, cli.settings.hanten_filename, cli.settings.hanten_filename2);
    out.context = make_render_context(cli.settings, *out.widths, *out.mirrors);
    return ExitCode::ok;
}

}  // namespace glyphora::cli
