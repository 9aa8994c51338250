#pragma once

#include "kovra/host/injector/CodeAccess.h"

namespace kovra::windows {

// The game's code as this process sees it: VirtualProtect and
// FlushInstructionCache.
class WindowsCode : public injector::CodeAccess {
public:
    bool Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) override;
    void Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) override;
    void FlushCode(std::uintptr_t address, std::size_t size) override;
};

}  // namespace kovra::windows
