#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "windows/HostBuild.h"

namespace kovra::windows {

// Every build the module supports. Supporting another is adding its
// description here (docs/windows.md).
std::span<const HostBuild* const> SupportedBuilds();

// The build whose identifying bytes the executable loaded at `base` holds,
// or null; then `tried`, when given, says for each build why it is not
// this one. Reads nothing outside the executable's image.
const HostBuild* IdentifyBuild(std::uintptr_t base, std::string* tried = nullptr);

}  // namespace kovra::windows
