#include "cli/Lint.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra::cli {
namespace {

// "line: message" per finding, so a failure shows the whole report.
std::vector<std::string> Report(const std::string& text) {
    std::vector<std::string> out;
    for (const LintFinding& f : LintConfigText(text)) {
        out.push_back(std::to_string(f.line) + ": " + f.message);
    }
    return out;
}

bool Has(const std::vector<std::string>& report, const std::string& prefix) {
    for (const std::string& line : report) {
        if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

TEST(Lint, ACleanVehicleFileHasNoFindings) {
    const std::string text =
        "; exported\n"
        "[Kovra_Vehicle]\nFileVer = 1\nModelID = 500\n\n"
        "[SteerIK]\nGrabOffset = 0.19, 0, 0.19 ; rim\nSwitchHands = 1\nRestAngle = 45\n\n"
        "[GearIK]\nGrabOffset = 0 -0.05 0.1\nShiftPattern = 4\n\n"
        "[GearPattern]\nPreStg_0 = 0, 0, 0\nFinStg_6 = 1,2,3\n";
    EXPECT_TRUE(Report(text).empty()) << ::testing::PrintToString(Report(text));
}

TEST(Lint, EveryLineTheReaderWouldSkipOrMisread) {
    const std::string text =
        "Orphan = 1\n"                                  // 1
        "[Kovra_Vehicle]\n"                             // 2
        "ModelID = 0\n"                                 // 3
        "[SteerIK]\n"                                   // 4
        "RestAngle=45\n"                                // 5
        "CycleAngle =100\n"                             // 6
        "SpinRate= 1\n"                                 // 7
        "GrabOffset = 0.1,0.2\n"                        // 8
        "Foo = 1\n"                                     // 9
        "RestAngle = 1\n"                               // 10
        "RestAngle = 2\n"                               // 11
        "SwitchHands = yes\n"                           // 12
        "PutAwayMult = 0.100000000000000000000000000001\n"  // 13
        "[GearIK]\n"                                    // 14
        "ShiftPattern = 7\n"                            // 15
        "[SteerIK]\n"                                   // 16
        "[Bogus]\n";                                    // 17
    const auto report = Report(text);
    EXPECT_TRUE(Has(report, "1: text before the first section")) << ::testing::PrintToString(report);
    EXPECT_TRUE(Has(report, "5: key line without blanks around \"=\""));
    EXPECT_TRUE(Has(report, "6: value glued to \"=\""));
    EXPECT_TRUE(Has(report, "7: no blank before \"=\""));
    EXPECT_TRUE(Has(report, "8: GrabOffset should be three numbers"));
    EXPECT_TRUE(Has(report, "9: unknown key Foo in [SteerIK]"));
    EXPECT_TRUE(Has(report, "11: key RestAngle repeats"));
    EXPECT_TRUE(Has(report, "12: SwitchHands should be 0 or 1"));
    EXPECT_TRUE(Has(report, "13: a token is longer than 31 characters"));
    EXPECT_TRUE(Has(report, "15: ShiftPattern 7 is outside 0 to 4"));
    EXPECT_TRUE(Has(report, "16: section [SteerIK] repeats"));
    EXPECT_TRUE(Has(report, "17: unknown section [Bogus]"));
    EXPECT_TRUE(Has(report, "2: ModelID is 0"));
    EXPECT_FALSE(Has(report, "10:"));
}

TEST(Lint, SettingsAndPriorityFilesAreToldApart) {
    EXPECT_TRUE(Report("[Config]\nAllow_NPCs = 1\n[Menu]\nCheatCode = kovra ik\nUp = 38\n").empty());
    const auto settings = Report("[Menu]\nUp = 300\nScale = big\n[SteerIK]\n");
    EXPECT_TRUE(Has(settings, "2: Up should be a key code")) << ::testing::PrintToString(settings);
    EXPECT_TRUE(Has(settings, "3: Scale should be a number"));
    EXPECT_TRUE(Has(settings, "4: unknown section [SteerIK]"));

    EXPECT_TRUE(Report("[PriorityAnims]\nCAR_SIT = 1\nanything_goes = 0\n").empty());
    EXPECT_TRUE(Has(Report("[PriorityAnims]\nCAR_SIT = -1\n"), "2: CAR_SIT should be an unsigned"));
    EXPECT_TRUE(Has(Report("[Kovra_Vehicle]\nFileVer = 1\n"), "1: no ModelID"));
    EXPECT_TRUE(Has(Report("just text\n"), "0: no section"));
}

// In the priority list the last line of an animation wins, and names that
// differ only in case are one animation.
TEST(Lint, RepeatedPriorityAnimationsNameTheLineThatCounts) {
    const auto report = Report("[PriorityAnims]\ncar_sit = 1\nCAR_SIT = 2\nother = 3\n");
    ASSERT_EQ(report.size(), 1u) << ::testing::PrintToString(report);
    EXPECT_EQ(report[0], "2: animation car_sit repeats on line 3, which counts instead");
    // Vehicle and settings keys keep the first.
    EXPECT_TRUE(Has(Report("[Menu]\nUp = 38\nUp = 39\n"), "3: key Up repeats in [Menu]; only the first counts"));
    EXPECT_TRUE(Report("[Menu]\nUp = 38\nup = 39\n").size() == 1u);  // "up" is unknown, not a repeat
}

// Names and values with bytes a terminal would swallow are shown escaped, in
// full.
TEST(Lint, UnprintableBytesAreShownEscaped) {
    const auto report = Report(std::string("[PriorityAnims]\nab\0cd = x\x01y\n", 28));
    ASSERT_EQ(report.size(), 1u) << ::testing::PrintToString(report);
    EXPECT_EQ(report[0], "2: ab\\x00cd should be an unsigned integer, not \"x\\x01y\"");
}

TEST(Lint, HelpAnywhereOnlyPrintsTheUsage) {
    test::TempDir dir;
    const auto dirty = dir / "dirty.ini";
    test::writeFile(dirty, "[Kovra_Vehicle]\nModelID=400\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{dirty.string(), "--help"},
          std::vector<std::string>{(dir / "missing.ini").string(), "-h"}}) {
        ::testing::internal::CaptureStdout();
        const int status = LintCommand(args);
        std::fflush(stdout);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out.rfind("usage: kovra lint", 0), 0u) << out;
        EXPECT_EQ(out.find("dirty.ini:"), std::string::npos) << out;
    }
}

TEST(Lint, ExitStatusTellsCleanFindingsAndUnreadable) {
    const auto dir = std::filesystem::temp_directory_path() / "kovra-lint-test";
    std::filesystem::create_directories(dir);
    const auto clean = dir / "clean.ini";
    const auto dirty = dir / "dirty.ini";
    std::ofstream(clean) << "[Kovra_Vehicle]\nModelID = 400\n";
    std::ofstream(dirty) << "[Kovra_Vehicle]\nModelID=400\n";
    EXPECT_EQ(LintCommand({clean.string()}), 0);
    EXPECT_EQ(LintCommand({clean.string(), dirty.string()}), 1);
    EXPECT_EQ(LintCommand({dirty.string(), (dir / "missing.ini").string()}), 2);
    EXPECT_EQ(LintCommand({dir.string()}), 2);  // a folder is no file
    EXPECT_EQ(LintCommand({}), 2);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kovra::cli
