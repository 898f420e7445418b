#include "cli/cli.h"

int main(int argc, char** argv) {
    return glyphora::cli::exit_status(glyphora::cli::run(argc, argv));
}
