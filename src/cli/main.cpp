#include "cli/Cli.h"

int main(int argc, char** argv) { return kovra::cli::Main(argc, argv); }
