#pragma once
// glyphora-cli: renders, converts and inspects Glyphora files without a window.

namespace glyphora::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,        // bad command line
    kExitInput = 2,        // an input cannot be read
    kExitOutput = 3,       // an output cannot be written
};

int run(int argc, char** argv);

}  // namespace glyphora::cli
