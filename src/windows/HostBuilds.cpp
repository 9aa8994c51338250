#include "windows/HostBuilds.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
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

const HostBuild* IdentifyBuild(std::uintptr_t base, std::string* tried) {
    const std::uintptr_t size = base != 0 ? ImageSize(base) : 0;
    for (const HostBuild* build : kSupported) {
        const std::uintptr_t rva = build->identity - build->preferredBase;
        const std::size_t length = build->identityBytes.size();
        char why[160];
        if (rva + length > size) {
            std::snprintf(why, sizeof why, "its identifying bytes at 0x%08X lie outside the image",
                          static_cast<unsigned>(build->identity));
        } else {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(base + rva);
            const auto* differs = std::mismatch(bytes, bytes + length, build->identityBytes.begin()).first;
            if (differs == bytes + length) return build;
            const auto at = static_cast<std::size_t>(differs - bytes);
            std::snprintf(why, sizeof why, "byte %u of its identity at 0x%08X is 0x%02X, not 0x%02X",
                          static_cast<unsigned>(at), static_cast<unsigned>(build->identity), *differs,
                          build->identityBytes[at]);
        }
        if (tried != nullptr) *tried += std::string(tried->empty() ? "" : "; ") + build->name + ": " + why;
    }
    return nullptr;
}

}  // namespace kovra::windows
