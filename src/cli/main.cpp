#include "cli/cli.h"

int main(int argc, char** argv) { return glyphora::cli::run(argc, argv); }
