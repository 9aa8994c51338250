#include <cstdio>
#include <exception>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    try {
        return kovra::cli::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovra: %s\n", e.what());
        return 2;
    }
}
