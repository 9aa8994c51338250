#pragma once

#include <cstdint>

#include "kovra/host/injector/CodeAccess.h"

namespace kovra::injector {

enum class HookError {
    None,
    NotABranch,        // the site does not hold the expected E8 or E9
    UnexpectedTarget,  // it does, but its rel32 leads somewhere else
    OutOfReach,        // the new target is more than a rel32 away
    Unprotectable,     // the code could not be made writable
    SlotInUse,         // the wrapper this hook needs serves another site
};

const char* HookErrorText(HookError error);

// One rewritten relative branch: the rel32 of a 5-byte E8 (call) or E9
// (jmp) instruction points at a new target for as long as this object
// lives. Move-only. A failed installation is an object holding only its
// error, and nothing was written.
class BranchPatch {
public:
    static constexpr std::uint8_t kCall = 0xE8;
    static constexpr std::uint8_t kJmp = 0xE9;
    static constexpr std::uintptr_t kLength = 5;

    BranchPatch() = default;
    // Checks that `site` holds `opcode` with a rel32 that reaches
    // `expectedTarget`, then points it at `newTarget`.
    static BranchPatch Install(CodeAccess& code, std::uintptr_t site, std::uint8_t opcode,
                               std::uintptr_t expectedTarget, std::uintptr_t newTarget);
    static BranchPatch Failed(HookError error);
    BranchPatch(BranchPatch&& other) noexcept;
    BranchPatch& operator=(BranchPatch&& other) noexcept;
    BranchPatch(const BranchPatch&) = delete;
    BranchPatch& operator=(const BranchPatch&) = delete;
    ~BranchPatch();

    bool installed() const { return code_ != nullptr; }
    HookError error() const { return error_; }
    // Puts the original rel32 back and says so; false when another patch
    // has since taken the site over (then the site is left to it, and it may
    // still pass calls on to our target).
    bool Restore();

    // The absolute target of the rel32 branch at `site`.
    static std::uintptr_t TargetOf(std::uintptr_t site);

private:
    CodeAccess* code_ = nullptr;
    std::uintptr_t site_ = 0;
    std::uintptr_t original_ = 0;
    std::uintptr_t replacement_ = 0;
    HookError error_ = HookError::None;
};

}  // namespace kovra::injector
