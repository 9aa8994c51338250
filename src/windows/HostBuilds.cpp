#include "windows/HostBuilds.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kovra::windows {

namespace {

// No description comes near this; a bigger file is not one.
constexpr DWORD kLargestDescription = 1 << 20;

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr,
                            nullptr);
    }
    return out;
}

// The whole file, or false when it cannot be read or is too big to be a description.
bool ReadWhole(const std::wstring& path, std::string& text, std::string& why) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return (why = "cannot be opened", false);
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok && size.QuadPart > kLargestDescription) {
        why = "is larger than any description (1 MiB)";
        ok = false;
    }
    if (ok) {
        text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        ok = text.empty() || (ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) != 0 &&
                              read == text.size());
        if (!ok) why = "cannot be read";
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

std::uintptr_t ImageSize(std::uintptr_t base) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<std::uintptr_t>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    return nt->OptionalHeader.SizeOfImage;
}

BuildCatalogue ReadBuildDescriptions(const std::wstring& folder, const std::string& shownAs) {
    BuildCatalogue catalogue;
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"*.ini").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        ++catalogue.files;
        const std::string shown = shownAs + Utf8(name);
        std::string text, why;
        if (!ReadWhole(folder + name, text, why)) {
            catalogue.refused.push_back(shown + ": " + why);
            continue;
        }
        std::unique_ptr<BuildDescription> description = BuildDescription::Read(text, shown, why);
        if (description) {
            catalogue.read.push_back(std::move(description));
        } else {
            catalogue.refused.push_back(why);
        }
    }
    return catalogue;
}

const BuildDescription* IdentifyBuild(std::uintptr_t base, const BuildCatalogue& catalogue, std::string* tried) {
    const std::uintptr_t size = base != 0 ? ImageSize(base) : 0;
    for (const auto& description : catalogue.read) {
        const HostBuild& build = description->build();
        const std::uintptr_t rva = build.identity - build.preferredBase;
        const std::size_t length = build.identityBytes.size();
        char why[160];
        if (rva + length > size) {
            std::snprintf(why, sizeof why, "its identifying bytes at 0x%08X lie outside the image",
                          static_cast<unsigned>(build.identity));
        } else {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(base + rva);
            const auto* differs = std::mismatch(bytes, bytes + length, build.identityBytes.begin()).first;
            if (differs == bytes + length) return description.get();
            const auto at = static_cast<std::size_t>(differs - bytes);
            std::snprintf(why, sizeof why, "byte %u of its identity at 0x%08X is 0x%02X, not 0x%02X",
                          static_cast<unsigned>(at), static_cast<unsigned>(build.identity), *differs,
                          build.identityBytes[at]);
        }
        if (tried != nullptr) {
            *tried += std::string(tried->empty() ? "" : "; ") + description->Where("Build.IdentityBytes") + " (" +
                      build.name + "): " + why;
        }
    }
    return nullptr;
}

}  // namespace kovra::windows
