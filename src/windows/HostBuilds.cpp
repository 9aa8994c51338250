#include "windows/HostBuilds.h"

#include <windows.h>

#include <array>
#include <cstring>

#include "windows/TestHostBuilds.h"

namespace kovra::windows {

namespace {

constexpr std::array<const HostBuild*, 2> kSupported{&kTestHostBuild10, &kTestHostBuild11};

// The size of the image loaded at `base`, from its headers; 0 when `base`
// holds no image.
std::uintptr_t ImageSize(std::uintptr_t base) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<std::uintptr_t>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return nt->OptionalHeader.SizeOfImage;
}

}  // namespace

std::span<const HostBuild* const> SupportedBuilds() { return kSupported; }

const HostBuild* IdentifyBuild(std::uintptr_t base) {
    const std::uintptr_t size = base != 0 ? ImageSize(base) : 0;
    for (const HostBuild* build : kSupported) {
        const std::uintptr_t rva = build->identity - build->preferredBase;
        const std::size_t length = build->identityBytes.size();
        if (rva + length > size) continue;
        if (std::memcmp(reinterpret_cast<const void*>(base + rva), build->identityBytes.data(), length) == 0) {
            return build;
        }
    }
    return nullptr;
}

}  // namespace kovra::windows
