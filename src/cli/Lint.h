#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kovra::cli {

// One line of a configuration file that the system's reader would skip or
// misread.
struct LintFinding {
    std::size_t line = 0;  // 1-based; 0 when it concerns the whole file
    std::string message;
};

// Checks the text of a per-vehicle, global-settings or priority-animation
// file, or of a build description (told apart by their sections), against
// the reader's grammar and the keys each section knows.
std::vector<LintFinding> LintConfigText(std::string_view text);

// `kovra lint FILE...`: prints FILE:LINE: message per finding. Returns 0
// when every file is clean, 1 with findings, 2 when a file cannot be read.
int LintCommand(const std::vector<std::string>& args);

}  // namespace kovra::cli
