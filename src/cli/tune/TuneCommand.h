#pragma once

#include <string>
#include <vector>

namespace kovra::cli {

// `kovra tune [--scenario FILE] [--game DIR] [--port N]`: plays a scenario in
// a loop at the game's speed and serves it as a live page (cli/tune/
// TuneServer.h) until Ctrl-C; returns the process exit status.
int TuneCommand(const std::vector<std::string>& args);

}  // namespace kovra::cli
