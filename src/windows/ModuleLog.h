#pragma once

#include <string>

namespace kovra::windows {

// "kovra.log" beside the module: what the last start-up did, one line. The
// module writes it once at load and never reads it.
void WriteModuleLog(const void* addressInModule, const std::string& line);

}  // namespace kovra::windows
