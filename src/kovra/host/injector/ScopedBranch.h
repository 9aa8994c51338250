#pragma once

#include <cstdint>
#include <utility>

#include "kovra/host/injector/BranchPatch.h"
#include "kovra/host/injector/CallingConvention.h"

namespace kovra::injector {

// A hook at one branch of the game's code (see scoped_call and scoped_jmp):
// the branch is pointed at a wrapper that runs `before` with the call's
// arguments, calls the game's own callee, runs `after`, and returns the
// callee's result. Move-only; the hook is in place for as long as the
// object lives, and a failed installation holds only its error.
//
// Each instantiation has one wrapper function and so serves one site at a
// time: `Slot` tells sites apart. Arguments are the callee's 32-bit words;
// the callee returns in EAX or returns nothing. Nothing a callback throws
// leaves the wrapper: the game's code has no unwind information, and the
// game's step must run whatever the plugin does.
// GCC takes thiscall on a dependent function type for a plain function's
// and warns; the attribute applies all the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
template <std::uint8_t Opcode, std::size_t Slot, Convention C, class... Args>
class ScopedBranch {
public:
    using Callback = void (*)(void* context, Args... args);

    ScopedBranch() = default;
    static ScopedBranch Install(CodeAccess& code, std::uintptr_t site,
                                std::uintptr_t expectedCallee, Callback before, Callback after,
                                void* context) {
        if (state_.callee != 0) return ScopedBranch(BranchPatch::Failed(HookError::SlotInUse));
        state_ = {expectedCallee, before, after, context};
        BranchPatch patch = BranchPatch::Install(code, site, Opcode, expectedCallee, Wrapper());
        if (!patch.installed()) state_ = {};
        return ScopedBranch(std::move(patch));
    }

    ScopedBranch(ScopedBranch&& other) noexcept = default;
    ScopedBranch& operator=(ScopedBranch&& other) noexcept {
        if (this != &other) {
            Release();
            patch_ = std::move(other.patch_);
        }
        return *this;
    }
    ScopedBranch(const ScopedBranch&) = delete;
    ScopedBranch& operator=(const ScopedBranch&) = delete;
    ~ScopedBranch() { Release(); }

    bool installed() const { return patch_.installed(); }
    HookError error() const { return patch_.error(); }

    // The function the patched branch reaches.
    static std::uintptr_t Wrapper() {
        if constexpr (C == Convention::Thiscall) {
            return reinterpret_cast<std::uintptr_t>(&ThiscallEntry);
        } else {
            return reinterpret_cast<std::uintptr_t>(&CdeclEntry);
        }
    }

private:
    struct State {
        std::uintptr_t callee = 0;
        Callback before = nullptr;
        Callback after = nullptr;
        void* context = nullptr;
    };

    explicit ScopedBranch(BranchPatch patch) : patch_(std::move(patch)) {}

    void Release() {
        if (!patch_.installed()) return;
        // A hook laid over ours may still call our wrapper: it then keeps
        // passing calls on, and the slot stays taken.
        if (patch_.Restore()) state_ = {};
    }

    static void Guarded(Callback callback, void* context, Args... args) noexcept {
        if (callback == nullptr) return;
        try {
            callback(context, args...);
        } catch (...) {
            // Swallowed: the plugin's step is lost for this call, the game's is not.
        }
    }

    static std::uint32_t Run(Args... args) {
        const State state = state_;  // a callback may take the hook out
        Guarded(state.before, state.context, args...);
        std::uint32_t result = 0;
        if constexpr (C == Convention::Thiscall) {
            using Callee = std::uint32_t(KOVRA_THISCALL*)(Args...);
            result = reinterpret_cast<Callee>(state.callee)(args...);
        } else {
            using Callee = std::uint32_t (*)(Args...);
            result = reinterpret_cast<Callee>(state.callee)(args...);
        }
        Guarded(state.after, state.context, args...);
        return result;
    }

    static std::uint32_t CdeclEntry(Args... args) { return Run(args...); }
    static std::uint32_t KOVRA_THISCALL ThiscallEntry(Args... args) { return Run(args...); }

    static inline State state_{};
    BranchPatch patch_;
};
#pragma GCC diagnostic pop

}  // namespace kovra::injector
