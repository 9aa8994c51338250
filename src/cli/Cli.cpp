#include "cli/Cli.h"

#include <cstdio>

namespace kovra::cli {

int Main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::puts("kovra: nothing to do yet");
    return 0;
}

}  // namespace kovra::cli
