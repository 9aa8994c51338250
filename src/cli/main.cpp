#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/Cli.h"
#ifdef KOVRA_WITH_TUNE
#include "cli/tune/TuneCommand.h"
#endif

int main(int argc, char** argv) {
    try {
#ifdef KOVRA_WITH_TUNE
        // The one command with a server in it; the builds without one (the
        // Windows cross builds) leave it out.
        if (argc > 1 && std::strcmp(argv[1], "tune") == 0) {
            return kovra::cli::TuneCommand(std::vector<std::string>(argv + 2, argv + argc));
        }
#endif
        return kovra::cli::Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovra: %s\n", e.what());
        return 2;
    }
}
