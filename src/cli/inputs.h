#pragma once
// What several commands read besides their arguments: the input file, the settings and the character
// widths. Each function reports its own failure on standard error and returns the exit code for it.

#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "model/books.h"
#include "model/mirror_table.h"
#include "render/char_width_table.h"
#include "render/output.h"
#include "settings/settings.h"
#include "storage/file_kind.h"

namespace glyphora::cli {

struct Input {
    FileKind kind = FileKind::collection;
    std::unique_ptr<Documents> docs = make_documents();
};

// Reads INPUT as the program would, by its extension: a collection into the preview, a single page into
// preview page 0, a library into the library and its pages into preview pages 0-19. ExitCode::input on
// failure.
ExitCode read_input(const std::string& path, const RenderSettings& global, Input& input);

// The pages a file of this kind holds (a single page is page 0 only).
int pages_held(FileKind kind);
// ExitCode::usage (reported) when `page` is not a page that INPUT, known by its extension, holds; a file
// of unknown kind passes (reading it fails later).
ExitCode check_input_page(const std::string& path, long page, const char* usage);

struct CliSettings {
    Settings settings;
    std::string settings_file;           // empty: the program's own
    std::vector<std::string> overrides;  // --set KEY=VALUE, applied in order
    std::string metrics_file;
};

// Takes argv[i] (and its value) when it is --settings, --metrics or --set, and says so in `taken`;
// ExitCode::usage when the value is missing.
ExitCode take_settings_option(int argc, char** argv, int& i, CliSettings& cli, bool& taken,
                              const char* usage);
// The settings file (never creating a folder), then the --set overrides on top.
ExitCode load_settings(CliSettings& cli);
// For the commands that take no character widths: ExitCode::usage (reported) when --metrics was given.
ExitCode refuse_metrics(const CliSettings& cli, const char* usage);
// From the metrics file when one was named, otherwise from the rendering font.
ExitCode build_widths(const CliSettings& cli, CharWidthTable& table);

// What rendering reads besides the book, as the program's render commands set it up from the settings.
struct RenderInputs {
    std::unique_ptr<CharWidthTable> widths = std::make_unique<CharWidthTable>();
    std::unique_ptr<MirrorTables> mirrors = std::make_unique<MirrorTables>();
    RenderContext context;
};
// The widths (build_widths), the mirror tables and the context; the settings must be loaded.
ExitCode prepare_rendering(const CliSettings& cli, RenderInputs& out);

}  // namespace glyphora::cli
