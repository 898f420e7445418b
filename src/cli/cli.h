#pragma once
// glyphora-cli: renders, converts and inspects Glyphora files without a window. run() picks the command;
// each command lives in its own cmd_*.cpp, and the parsing and reporting they share is declared here.

#include <string>
#include <string_view>

namespace glyphora::cli {

enum class ExitCode : int {
    ok = 0,
    usage = 1,   // bad command line
    input = 2,   // an input cannot be read
    output = 3,  // an output cannot be written
    lossy = 4,   // the output was written without something it should hold (export: a page's blank run)
};

// The process's exit status for the code.
constexpr int exit_status(ExitCode code) {
    return static_cast<int>(code);
}

ExitCode run(int argc, char** argv);

// The commands: argv[1] is the command's name, its options and arguments follow.
ExitCode cmd_render(int argc, char** argv);
ExitCode cmd_convert(int argc, char** argv);
ExitCode cmd_info(int argc, char** argv);
ExitCode cmd_width(int argc, char** argv);
ExitCode cmd_import(int argc, char** argv);
ExitCode cmd_export(int argc, char** argv);
ExitCode cmd_collection(int argc, char** argv);
ExitCode cmd_check(int argc, char** argv);

// "glyphora-cli: MESSAGE" on standard error.
void print_error(const std::string& message);
// The message and then the usage text on standard error; returns ExitCode::usage.
ExitCode usage_error(const std::string& message, const char* usage);
// A decimal number from low to high, nothing else.
bool parse_int(std::string_view text, long low, long high, long& out);
// True when --help or -h follows the command.
bool wants_help(int argc, char** argv);
// ExitCode::output (reported) when standard output cannot take the bytes.
ExitCode write_stdout(std::string_view bytes);

}  // namespace glyphora::cli
