#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "kovra/host/injector/scoped_call.h"
#include "kovra/host/injector/scoped_jmp.h"

namespace kovra::injector {
namespace {

// A stand-in for the game's code: static storage, so that it lies within a
// rel32 of the wrappers, as the game's code does of the module's.
alignas(16) std::uint8_t gameCode[64];
constexpr std::uintptr_t kSiteOffset = 16;

std::vector<std::string> calls;

std::uint32_t GameCallee(std::uintptr_t value) {
    calls.push_back("callee " + std::to_string(value));
    return 7;
}
std::uint32_t OtherCallee(std::uintptr_t) { return 0; }

std::uintptr_t Site() { return reinterpret_cast<std::uintptr_t>(gameCode) + kSiteOffset; }
std::uintptr_t Address(std::uint32_t (*f)(std::uintptr_t)) { return reinterpret_cast<std::uintptr_t>(f); }

void PutBranch(std::uint8_t opcode, std::uintptr_t target) {
    std::memset(gameCode, 0xCC, sizeof gameCode);
    const auto rel = static_cast<std::int32_t>(static_cast<std::int64_t>(target) -
                                               static_cast<std::int64_t>(Site() + 5));
    gameCode[kSiteOffset] = opcode;
    std::memcpy(gameCode + kSiteOffset + 1, &rel, sizeof rel);
}

// The game running the instruction: it reaches whatever the rel32 says.
std::uint32_t RunSite(std::uintptr_t value) {
    return reinterpret_cast<std::uint32_t (*)(std::uintptr_t)>(BranchPatch::TargetOf(Site()))(value);
}

class FakeCode : public CodeAccess {
public:
    bool refuse = false;
    std::uint32_t protection = 0x20;  // execute, read
    std::vector<std::string> log;

    bool Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) override {
        log.push_back("unprotect " + Span(address, size));
        if (refuse) return false;
        previous = protection;
        protection = 0x40;
        return true;
    }
    void Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) override {
        log.push_back("reprotect " + Span(address, size));
        protection = previous;
    }
    void FlushCode(std::uintptr_t address, std::size_t size) override {
        log.push_back("flush " + Span(address, size));
    }

private:
    static std::string Span(std::uintptr_t address, std::size_t size) {
        return std::to_string(address - Site()) + "+" + std::to_string(size);
    }
};

void Before(void* context, std::uintptr_t value) {
    calls.push_back(*static_cast<std::string*>(context) + " before " + std::to_string(value));
}
void After(void* context, std::uintptr_t value) {
    calls.push_back(*static_cast<std::string*>(context) + " after " + std::to_string(value));
}
void Throws(void*, std::uintptr_t) { throw std::runtime_error("plugin fault"); }

using CallHook = scoped_call<0, Convention::Cdecl, std::uintptr_t>;
using JmpHook = scoped_jmp<1, Convention::Cdecl, std::uintptr_t>;

TEST(ScopedBranch, CallRunsBeforeCalleeAfterAndIsUndoneWithTheObject) {
    PutBranch(BranchPatch::kCall, Address(GameCallee));
    std::uint8_t original[sizeof gameCode];
    std::memcpy(original, gameCode, sizeof gameCode);
    FakeCode code;
    std::string name = "hook";
    calls.clear();
    {
        CallHook hook = CallHook::Install(code, Site(), Address(GameCallee), Before, After, &name);
        ASSERT_TRUE(hook.installed()) << HookErrorText(hook.error());
        EXPECT_EQ(BranchPatch::TargetOf(Site()), CallHook::Wrapper());
        EXPECT_EQ(gameCode[kSiteOffset], BranchPatch::kCall);  // only the rel32 changes
        EXPECT_EQ(std::memcmp(gameCode, original, kSiteOffset + 1), 0);
        EXPECT_EQ(code.protection, 0x20u) << "the old protection is back";
        EXPECT_EQ(code.log, (std::vector<std::string>{"unprotect 0+5", "reprotect 0+5", "flush 0+5"}));

        EXPECT_EQ(RunSite(42), 7u) << "the callee's result reaches the game";
        EXPECT_EQ(calls, (std::vector<std::string>{"hook before 42", "callee 42", "hook after 42"}));

        CallHook moved = std::move(hook);
        EXPECT_FALSE(hook.installed());
        EXPECT_TRUE(moved.installed());
        EXPECT_EQ(BranchPatch::TargetOf(Site()), CallHook::Wrapper());
    }
    EXPECT_EQ(std::memcmp(gameCode, original, sizeof gameCode), 0) << "the game's bytes are back";
}

TEST(ScopedBranch, AJumpAtARoutineEndIsHookedTheSameWay) {
    PutBranch(BranchPatch::kJmp, Address(GameCallee));
    FakeCode code;
    std::string name = "jmp";
    calls.clear();
    {
        const CallHook wrongKind = CallHook::Install(code, Site(), Address(GameCallee), Before, After, &name);
        EXPECT_EQ(wrongKind.error(), HookError::NotABranch);
        JmpHook hook = JmpHook::Install(code, Site(), Address(GameCallee), Before, After, &name);
        ASSERT_TRUE(hook.installed());
        EXPECT_EQ(RunSite(3), 7u);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"jmp before 3", "callee 3", "jmp after 3"}));
    EXPECT_EQ(BranchPatch::TargetOf(Site()), Address(GameCallee));
}

TEST(ScopedBranch, RefusedInstallationsWriteNothingAndFreeTheirSlot) {
    FakeCode code;
    std::string name = "x";
    PutBranch(BranchPatch::kCall, Address(OtherCallee));
    std::uint8_t before[sizeof gameCode];
    std::memcpy(before, gameCode, sizeof gameCode);

    const CallHook unexpected = CallHook::Install(code, Site(), Address(GameCallee), Before, After, &name);
    EXPECT_EQ(unexpected.error(), HookError::UnexpectedTarget);
    gameCode[kSiteOffset] = 0x90;
    const CallHook notBranch = CallHook::Install(code, Site(), Address(OtherCallee), Before, After, &name);
    EXPECT_EQ(notBranch.error(), HookError::NotABranch);
    gameCode[kSiteOffset] = BranchPatch::kCall;
    code.refuse = true;
    const CallHook locked = CallHook::Install(code, Site(), Address(OtherCallee), Before, After, &name);
    EXPECT_EQ(locked.error(), HookError::Unprotectable);
    EXPECT_EQ(std::memcmp(gameCode, before, sizeof gameCode), 0);

    code.refuse = false;
    const CallHook works = CallHook::Install(code, Site(), Address(OtherCallee), Before, After, &name);
    EXPECT_TRUE(works.installed()) << "the slot was free again";
    const CallHook second = CallHook::Install(code, Site(), Address(OtherCallee), Before, After, &name);
    EXPECT_EQ(second.error(), HookError::SlotInUse);
}

TEST(ScopedBranch, AThrowingCallbackLosesItsStepButNotTheGames) {
    PutBranch(BranchPatch::kCall, Address(GameCallee));
    FakeCode code;
    std::string name = "after";
    calls.clear();
    const CallHook hook = CallHook::Install(code, Site(), Address(GameCallee), Throws, After, &name);
    ASSERT_TRUE(hook.installed());
    EXPECT_NO_THROW(EXPECT_EQ(RunSite(5), 7u));
    EXPECT_EQ(calls, (std::vector<std::string>{"callee 5", "after after 5"}));
}

TEST(ScopedBranch, ASiteAnotherHookTookOverIsLeftToItAndStillPassedOn) {
    using Hook = scoped_call<2, Convention::Cdecl, std::uintptr_t>;
    PutBranch(BranchPatch::kCall, Address(GameCallee));
    FakeCode code;
    std::string name = "ours";
    {
        const Hook hook = Hook::Install(code, Site(), Address(GameCallee), Before, After, &name);
        ASSERT_TRUE(hook.installed());
        PutBranch(BranchPatch::kCall, Address(OtherCallee));  // another module hooks over us
    }
    EXPECT_EQ(BranchPatch::TargetOf(Site()), Address(OtherCallee));
    // That module's wrapper passes calls on to ours, which still reaches the game.
    calls.clear();
    EXPECT_EQ(reinterpret_cast<std::uint32_t (*)(std::uintptr_t)>(Hook::Wrapper())(9), 7u);
    EXPECT_EQ(calls, (std::vector<std::string>{"ours before 9", "callee 9", "ours after 9"}));
    const Hook again = Hook::Install(code, Site(), Address(OtherCallee), Before, After, &name);
    EXPECT_EQ(again.error(), HookError::SlotInUse);
}

}  // namespace
}  // namespace kovra::injector
