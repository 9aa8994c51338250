#include "windows/ForeignCode.h"

#include <windows.h>

#include <cstdio>

#include "windows/ModuleFolder.h"

namespace kovra::windows {

bool ForeignCodeOwner(std::uintptr_t address, std::string& owner) {
    if (const HMODULE module = ModuleAt(reinterpret_cast<const void*>(address))) {
        if (module == GetModuleHandleA(nullptr)) return false;
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
        const std::string file(path, n);
        const std::size_t cut = file.find_last_of("\\/");
        owner = cut == std::string::npos ? file : file.substr(cut + 1);
        return true;
    }
    MEMORY_BASIC_INFORMATION memory{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &memory, sizeof memory) == 0) return false;
    constexpr DWORD kExecutable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (memory.State != MEM_COMMIT || memory.Type != MEM_PRIVATE || (memory.Protect & kExecutable) == 0) return false;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(address));
    owner = text;
    return true;
}

}  // namespace kovra::windows
