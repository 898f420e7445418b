#include "cli/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef GLYPHORA_VERSION
#define GLYPHORA_VERSION "0"
#endif

namespace glyphora::cli {

namespace {

constexpr const char* kUsage =
    "Usage: glyphora-cli COMMAND [OPTIONS] ARGS...\n"
    "\n"
    "Renders, converts and inspects Glyphora files (.aap page collections, .aat single pages,\n"
    ".aal libraries) without a window, and exchanges AA with MLT, AST and TXT files.\n"
    "\n"
    "Commands:\n"
    "  render [OPTIONS] INPUT          render the pages of INPUT into text or HTML\n"
    "  convert [--page N] INPUT OUTPUT write INPUT as another kind of file (always version 3)\n"
    "  info INPUT                      list the kind, version, pages and parts of INPUT\n"
    "  width [OPTIONS] TEXT...         print the pixel width of each TEXT and of its characters\n"
    "  import FILE... -o LIB.aal       add the AAs of MLT, AST and TXT files to a library\n"
    "  export INPUT -o OUT.mlt|OUT.ast write rendered pages or library parts as an MLT or AST file\n"
    "  collection index|search|show    index folders and ZIP files of AA files, search them, show an AA\n"
    "  check [OPTIONS] INPUT           count each page's bytes and lines as a board counts them\n"
    "\n"
    "Run 'glyphora-cli COMMAND --help' for the options of a command.\n"
    "  --help       show this help\n"
    "  --version    show the version\n"
    "\n"
    "Exit status: 0 success, 1 usage error, 2 an input cannot be read, 3 an output cannot be written,\n"
    "4 (export) written, but a page lost a blank run; (check) a post is over budget or has an error.\n";

}  // namespace

void print_error(const std::string& message) {
    std::fprintf(stderr, "glyphora-cli: %s\n", message.c_str());
}

ExitCode usage_error(const std::string& message, const char* usage) {
    print_error(message);
    std::fputs("\n", stderr);
    std::fputs(usage, stderr);
    return ExitCode::usage;
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

bool wants_help(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") return true;
    return false;
}

ExitCode write_stdout(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        print_error(std::string("cannot write to standard output: ") + std::strerror(errno));
        return ExitCode::output;
    }
    return ExitCode::ok;
}

ExitCode run(int argc, char** argv) {
    if (argc < 2) return usage_error("no command given", kUsage);
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return ExitCode::ok;
    }
    if (command == "--version") {
        std::printf("glyphora-cli %s\n", GLYPHORA_VERSION);
        return ExitCode::ok;
    }
    if (command == "render") return cmd_render(argc, argv);
    if (command == "convert") return cmd_convert(argc, argv);
    if (command == "info") return cmd_info(argc, argv);
    if (command == "width") return cmd_width(argc, argv);
    if (command == "import") return cmd_import(argc, argv);
    if (command == "export") return cmd_export(argc, argv);
    if (command == "collection") return cmd_collection(argc, argv);
    if (command == "check") return cmd_check(argc, argv);
    return usage_error("unknown command '" + std::string(command) + "'", kUsage);
}

}  // namespace glyphora::cli
