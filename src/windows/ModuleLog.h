#pragma once

#include <string>

namespace kovra::windows {

// "kovra.log" beside the module. The module never reads it. Start-up's
// line replaces the last run's, unless another copy of the module in the
// same process wrote first; everything later is added after it.
enum class LogWrite { Replace, Append };
void WriteModuleLog(const std::string& line, LogWrite mode);

// One line for an exception caught where the game called the plugin or
// during start-up: where and what. At most a few such lines a second; the
// ones left out are counted in the next.
void LogFault(const char* where, const char* what) noexcept;

}  // namespace kovra::windows
