#pragma once
// glyphora-cli: renders, converts and inspects Glyphora files without a window. run() picks the command;
// each command lives in its own cmd_*.cpp, and the parsing and reporting they share is declared here.

#include <string>
#include <string_view>

namespace glyphora::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,   // bad command line
    kExitInput = 2,   // an input cannot be read
    kExitOutput = 3,  // an output cannot be written
};

int run(int argc, char** argv);

// The commands: argv[1] is the command's name, its options and arguments follow.
int cmd_render(int argc, char** argv);
int cmd_convert(int argc, char** argv);
int cmd_info(int argc, char** argv);
int cmd_width(int argc, char** argv);

// "glyphora-cli: MESSAGE" on standard error.
void print_error(const std::string& message);
// The message and then the usage text on standard error; returns kExitUsage.
int usage_error(const std::string& message, const char* usage);
// A decimal number from low to high, nothing else.
bool parse_int(std::string_view text, long low, long high, long& out);
// True when --help or -h follows the command.
bool wants_help(int argc, char** argv);
// kExitOutput (reported) when standard output cannot take the bytes.
int write_stdout(std::string_view bytes);

}  // namespace glyphora::cli
