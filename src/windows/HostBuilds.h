#pragma once

#include <cstdint>
#include <span>

#include "windows/HostBuild.h"

namespace kovra::windows {

// Every build the module supports. Supporting another is adding its
// description here (docs/windows.md).
std::span<const HostBuild* const> SupportedBuilds();

// The build whose identifying bytes the executable loaded at `base` holds,
// or null. Reads nothing outside the executable's image.
const HostBuild* IdentifyBuild(std::uintptr_t base);

}  // namespace kovra::windows
