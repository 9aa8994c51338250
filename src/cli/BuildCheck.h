#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/PeImage.h"
#include "windows/BuildDescription.h"

namespace kovra::cli {

// What `kovra build-check` finds about a game executable and the build
// descriptions offered for it: which description is the executable's, and
// every address of that description checked against the image.
struct BuildCheck {
    struct Row {
        std::string what;
        std::uint32_t address = 0;
        std::string outcome;
    };
    struct Finding {
        std::string where;  // FILE:LINE
        std::string message;
    };
    const windows::BuildDescription* matched = nullptr;
    std::vector<Row> rows;
    std::vector<Finding> findings;
};

BuildCheck CheckBuild(const PeImage& image,
                      const std::vector<std::unique_ptr<windows::BuildDescription>>& descriptions);

// `kovra build-check GAME.exe [DESCRIPTION.ini...]`: without descriptions,
// those in "kovra-builds/" beside the executable. Prints the table and
// FILE:LINE: message per finding; 0 when one description matches and all
// its addresses hold, 1 with findings, 2 when a file cannot be read.
int BuildCheckCommand(const std::vector<std::string>& args);

}  // namespace kovra::cli
