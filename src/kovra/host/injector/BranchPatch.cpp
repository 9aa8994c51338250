#include "kovra/host/injector/BranchPatch.h"

#include <cstring>
#include <utility>

namespace kovra::injector {

namespace {

std::uint8_t* Bytes(std::uintptr_t address) { return reinterpret_cast<std::uint8_t*>(address); }

// The rel32 that makes a branch at `site` land on `target`, when it can.
bool Displacement(std::uintptr_t site, std::uintptr_t target, std::int32_t& out) {
    const std::int64_t delta = static_cast<std::int64_t>(target) -
                               static_cast<std::int64_t>(site + BranchPatch::kLength);
    if (delta < INT32_MIN || delta > INT32_MAX) return false;
    out = static_cast<std::int32_t>(delta);
    return true;
}

// Writes the rel32 behind the opcode; false when the page stayed read-only.
bool WriteDisplacement(CodeAccess& code, std::uintptr_t site, std::int32_t rel) {
    std::uint32_t previous = 0;
    if (!code.Unprotect(site, BranchPatch::kLength, previous)) return false;
    std::memcpy(Bytes(site + 1), &rel, sizeof rel);
    code.Reprotect(site, BranchPatch::kLength, previous);
    code.FlushCode(site, BranchPatch::kLength);
    return true;
}

}  // namespace

const char* HookErrorText(HookError error) {
    switch (error) {
        case HookError::None: return "none";
        case HookError::NotABranch: return "the site holds no call or jump of the expected kind";
        case HookError::UnexpectedTarget: return "the site's branch leads somewhere unexpected";
        case HookError::OutOfReach: return "the wrapper is out of a branch's reach";
        case HookError::Unprotectable: return "the code could not be made writable";
        case HookError::SlotInUse: return "the wrapper already serves another site";
    }
    return "unknown";
}

std::uintptr_t BranchPatch::TargetOf(std::uintptr_t site) {
    std::int32_t rel = 0;
    std::memcpy(&rel, Bytes(site + 1), sizeof rel);
    return site + kLength + static_cast<std::uintptr_t>(static_cast<std::intptr_t>(rel));
}

BranchPatch BranchPatch::Failed(HookError error) {
    BranchPatch patch;
    patch.error_ = error;
    return patch;
}

BranchPatch BranchPatch::Install(CodeAccess& code, std::uintptr_t site, std::uint8_t opcode,
                                 std::uintptr_t expectedTarget, std::uintptr_t newTarget) {
    if (*Bytes(site) != opcode) return Failed(HookError::NotABranch);
    if (TargetOf(site) != expectedTarget) return Failed(HookError::UnexpectedTarget);
    std::int32_t rel = 0;
    if (!Displacement(site, newTarget, rel)) return Failed(HookError::OutOfReach);
    if (!WriteDisplacement(code, site, rel)) return Failed(HookError::Unprotectable);
    BranchPatch patch;
    patch.code_ = &code;
    patch.site_ = site;
    patch.original_ = expectedTarget;
    patch.replacement_ = newTarget;
    return patch;
}

BranchPatch::BranchPatch(BranchPatch&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)),
      site_(other.site_),
      original_(other.original_),
      replacement_(other.replacement_),
      error_(other.error_) {}

BranchPatch& BranchPatch::operator=(BranchPatch&& other) noexcept {
    if (this != &other) {
        Restore();
        code_ = std::exchange(other.code_, nullptr);
        site_ = other.site_;
        original_ = other.original_;
        replacement_ = other.replacement_;
        error_ = other.error_;
    }
    return *this;
}

BranchPatch::~BranchPatch() { Restore(); }

bool BranchPatch::Restore() {
    CodeAccess* code = std::exchange(code_, nullptr);
    if (code == nullptr) return true;
    if (TargetOf(site_) != replacement_) return false;
    std::int32_t rel = 0;
    return Displacement(site_, original_, rel) && WriteDisplacement(*code, site_, rel);
}

}  // namespace kovra::injector
