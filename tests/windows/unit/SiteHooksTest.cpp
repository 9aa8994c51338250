// The module's hooks over a stand-in for the game's code: what the plugin
// throws at a hook stays there and is written to "kovra.log", a few lines a
// second at most.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kovra/host/injector/BranchPatch.h"
#include "windows/SiteHooks.h"
#include "windows/WindowsCode.h"

namespace kovra::windows {
namespace {

namespace fs = std::filesystem;

alignas(16) std::uint8_t gameCode[32];
int calleeRuns = 0;

std::uint32_t FrameRoutine(std::uint32_t) {
    ++calleeRuns;
    return 0;
}

class ThrowingSink : public HookSink {
public:
    void Before(HostEvent, const HostEventArgs& args) override {
        throw std::runtime_error("frame " + std::to_string(args.frame));
    }
    void After(HostEvent, const HostEventArgs&) override {}
};

fs::path LogPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path() / "kovra.log";
}

std::vector<std::string> LogLines() {
    std::ifstream in(LogPath(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::uintptr_t Site() { return reinterpret_cast<std::uintptr_t>(gameCode); }

void PutBranch(std::uint8_t opcode, std::uintptr_t target) {
    gameCode[0] = opcode;
    const auto rel = static_cast<std::int32_t>(target - (Site() + 5));
    std::memcpy(gameCode + 1, &rel, sizeof rel);
}

std::string Hex(std::uintptr_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// A description of one frame site, the call at gameCode to FrameRoutine.
struct FrameSite {
    HookSite sites[1] = {{HostEvent::Frame, 0xE8, injector::Convention::Cdecl, Site(),
                          reinterpret_cast<std::uintptr_t>(&FrameRoutine)}};
    HostBuild build{};
    FrameSite() { build.sites = sites; }
};

class CountingSink : public HookSink {
public:
    int calls = 0;
    void Before(HostEvent, const HostEventArgs&) override { ++calls; }
    void After(HostEvent, const HostEventArgs&) override {}
};

TEST(SiteHooksFaults, ACallbackThatThrowsLeavesOneLineAFewTimesASecondAndTheGameGoesOn) {
    FrameSite described;
    PutBranch(0xE8, reinterpret_cast<std::uintptr_t>(&FrameRoutine));
    std::error_code ignored;
    fs::remove(LogPath(), ignored);

    WindowsCode code;
    ThrowingSink sink;
    SiteHooks::Outcome outcome;
    const auto hooks = SiteHooks::Install(code, described.build, 0, HostEvent::Frame, sink, outcome);
    ASSERT_TRUE(hooks) << outcome.refusal;
    EXPECT_EQ(outcome.lines, std::vector<std::string>{"Frame@" + Hex(Site())});
    const auto run = reinterpret_cast<std::uint32_t (*)(std::uint32_t)>(injector::BranchPatch::TargetOf(Site()));
    calleeRuns = 0;
    for (std::uint32_t frame = 1; frame <= 5; ++frame) run(frame);
    EXPECT_EQ(calleeRuns, 5) << "the game's routine ran every time";
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Kovra: fault at the Frame hook (before): frame 1\r",
                                                    "Kovra: fault at the Frame hook (before): frame 2\r",
                                                    "Kovra: fault at the Frame hook (before): frame 3\r"}));
    Sleep(1100);
    run(6);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "Kovra: fault at the Frame hook (before): frame 6 (and 2 more left out)\r");
    fs::remove(LogPath(), ignored);
}

// Another module's hook at the site, in its own image or in memory it
// allocated: the wrapper calls on to it. The game's own code elsewhere, or
// no branch at all: the event is refused, with the reason, and nothing is
// written.
TEST(SiteHooksChains, ASiteAnotherModuleHookedIsChainedAndOneNotAsDescribedIsRefused) {
    FrameSite described;
    WindowsCode code;
    CountingSink sink;
    SiteHooks::Outcome outcome;

    const auto theirs = reinterpret_cast<std::uintptr_t>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
    PutBranch(0xE8, theirs);
    {
        const auto hooks = SiteHooks::Install(code, described.build, 0, HostEvent::Frame, sink, outcome);
        ASSERT_TRUE(hooks) << outcome.refusal;
        EXPECT_EQ(outcome.lines, std::vector<std::string>{"Frame@" + Hex(Site()) + " chained after kernel32.dll"});
    }
    EXPECT_EQ(injector::BranchPatch::TargetOf(Site()), theirs) << "put back to the other module's hook";

    void* allocated = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    ASSERT_NE(allocated, nullptr);
    *static_cast<std::uint8_t*>(allocated) = 0xC3;  // ret
    PutBranch(0xE8, reinterpret_cast<std::uintptr_t>(allocated));
    {
        const auto hooks = SiteHooks::Install(code, described.build, 0, HostEvent::Frame, sink, outcome);
        ASSERT_TRUE(hooks) << outcome.refusal;
        EXPECT_EQ(outcome.lines, std::vector<std::string>{"Frame@" + Hex(Site()) + " chained after " +
                                                          Hex(reinterpret_cast<std::uintptr_t>(allocated))});
        reinterpret_cast<std::uint32_t (*)(std::uint32_t)>(injector::BranchPatch::TargetOf(Site()))(1);
        EXPECT_EQ(sink.calls, 1);
    }
    VirtualFree(allocated, 0, MEM_RELEASE);

    const auto elsewhere = reinterpret_cast<std::uintptr_t>(&LogLines);  // the game's own code
    PutBranch(0xE8, elsewhere);
    std::uint8_t before[sizeof gameCode];
    std::memcpy(before, gameCode, sizeof gameCode);
    EXPECT_FALSE(SiteHooks::Install(code, described.build, 0, HostEvent::Frame, sink, outcome));
    EXPECT_EQ(outcome.refusal, "the site at " + Hex(Site()) + " leads to " + Hex(elsewhere) + ", not to the described " +
                                   Hex(reinterpret_cast<std::uintptr_t>(&FrameRoutine)));
    gameCode[0] = 0x90;
    std::memcpy(before, gameCode, sizeof gameCode);
    EXPECT_FALSE(SiteHooks::Install(code, described.build, 0, HostEvent::Frame, sink, outcome));
    EXPECT_EQ(outcome.refusal, "the site at " + Hex(Site()) + " holds no call or jump (byte 0x90)");
    EXPECT_EQ(std::memcmp(before, gameCode, sizeof gameCode), 0);
    EXPECT_TRUE(outcome.lines.empty());
}

}  // namespace
}  // namespace kovra::windows
