#include "windows/WindowsCode.h"

#include <windows.h>

namespace kovra::windows {

bool WindowsCode::Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) {
    DWORD old = 0;
    if (!VirtualProtect(reinterpret_cast<void*>(address), size, PAGE_EXECUTE_READWRITE, &old)) return false;
    previous = old;
    return true;
}

void WindowsCode::Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) {
    DWORD ignored = 0;
    VirtualProtect(reinterpret_cast<void*>(address), size, previous, &ignored);
}

void WindowsCode::FlushCode(std::uintptr_t address, std::size_t size) {
    FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(address), size);
}

}  // namespace kovra::windows
