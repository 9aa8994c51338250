#pragma once

#include <cstddef>
#include <cstdint>

namespace kovra::injector {

// What patching the game's code needs from the platform: making a few bytes
// of code writable and back, and telling the processor that code changed.
// The Windows side implements it with VirtualProtect and
// FlushInstructionCache; tests implement it over a plain buffer.
class CodeAccess {
public:
    virtual ~CodeAccess() = default;
    // Makes [address, address + size) writable; the protection it had goes
    // to `previous`. False when the memory cannot be made writable.
    virtual bool Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) = 0;
    // Puts back a protection Unprotect reported.
    virtual void Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) = 0;
    virtual void FlushCode(std::uintptr_t address, std::size_t size) = 0;
};

}  // namespace kovra::injector
