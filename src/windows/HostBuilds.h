#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "windows/BuildDescription.h"

namespace kovra::windows {

// The build descriptions of a folder: every "*.ini" in it, in name order,
// read whole or refused whole.
struct BuildCatalogue {
    std::vector<std::unique_ptr<BuildDescription>> read;
    std::vector<std::string> refused;  // "FILE:LINE: why", one per file refused
    int files = 0;
};

// Reads the descriptions in `folder` (ending in a separator); each is named
// in messages as `shownAs` followed by its file name.
BuildCatalogue ReadBuildDescriptions(const std::wstring& folder, const std::string& shownAs);

// The size of the image loaded at `base`, from its headers; 0 when `base`
// holds no image.
std::uintptr_t ImageSize(std::uintptr_t base);

// The description whose identifying bytes the executable loaded at `base`
// holds, or null; then `tried`, when given, says for each description why
// it is not this one. Reads nothing outside the executable's image.
const BuildDescription* IdentifyBuild(std::uintptr_t base, const BuildCatalogue& catalogue,
                                      std::string* tried = nullptr);

}  // namespace kovra::windows
