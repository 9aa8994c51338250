// The module's hooks over a stand-in for the game's code: what the plugin
// throws at a hook stays there and is written to "kovra.log", a few lines a
// second at most.
#include <gtest/gtest.h>

#include <windows.h>

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

TEST(SiteHooksFaults, ACallbackThatThrowsLeavesOneLineAFewTimesASecondAndTheGameGoesOn) {
    const auto site = reinterpret_cast<std::uintptr_t>(gameCode);
    const auto callee = reinterpret_cast<std::uintptr_t>(&FrameRoutine);
    gameCode[0] = injector::BranchPatch::kCall;
    const auto rel = static_cast<std::int32_t>(callee - (site + 5));
    std::memcpy(gameCode + 1, &rel, sizeof rel);
    const HookSite sites[] = {{HostEvent::Frame, 0xE8, injector::Convention::Cdecl, site, callee}};
    HostBuild build{};
    build.sites = sites;
    std::error_code ignored;
    fs::remove(LogPath(), ignored);

    WindowsCode code;
    ThrowingSink sink;
    const auto hooks = SiteHooks::Install(code, build, 0, HostEvent::Frame, sink);
    ASSERT_TRUE(hooks);
    const auto run = reinterpret_cast<std::uint32_t (*)(std::uint32_t)>(injector::BranchPatch::TargetOf(site));
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

}  // namespace
}  // namespace kovra::windows
