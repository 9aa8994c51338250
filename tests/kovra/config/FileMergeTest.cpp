#include "kovra/config/FileMerge.h"

#include <gtest/gtest.h>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra {
namespace {

using test::TempDir;

const std::string kWritten =
    "[Kovra_Vehicle]\nFileVer = 1\nModelID = 400\n\n"
    "[SteerIK]\nGrabOffset = 0.2, 0, 0.19\nRestAngle = 45\n\n"
    "[GearIK]\nRateArm = 0.075\n\n";

TEST(FileMerge, WithoutAFileTheTextIsWrittenAsItIs) {
    TempDir dir;
    EXPECT_EQ(mergedFileText(dir / "new.ini", kWritten), kWritten);
}

TEST(FileMerge, AFileThereKeepsEveryLineAndOnlyItsValuesChange) {
    TempDir dir;
    test::writeFile(dir / "user.ini",
                    "; my sedan\r\n[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n"
                    "[SteerIK]\r\n# wider rim\r\nGrabOffset = 0.2 0 0.19 ; blanks, as I like them\r\n"
                    "RestAngle = 40\r\nRestAngle = 99\r\nNotMine = 7\r\n\r\n[Other]\r\nX = 1\r\n");
    const std::optional<std::string> merged = mergedFileText(dir / "user.ini", kWritten);
    ASSERT_TRUE(merged);
    // The vector reads the same and keeps the user's way of writing it; the
    // first of two keys (the one read) changes; what the text lacks stays;
    // new sections go at the end; the file's line ends are kept.
    EXPECT_EQ(*merged,
              "; my sedan\r\n[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n"
              "[SteerIK]\r\n# wider rim\r\nGrabOffset = 0.2 0 0.19 ; blanks, as I like them\r\n"
              "RestAngle = 45\r\nRestAngle = 99\r\nNotMine = 7\r\n\r\n[Other]\r\nX = 1\r\n\r\n"
              "[GearIK]\r\nRateArm = 0.075\r\n\r\n");
}

TEST(FileMerge, AChangedVectorIsWrittenWithItsCommas) {
    TempDir dir;
    test::writeFile(dir / "user.ini", "[SteerIK]\nGrabOffset = 0.1, 0, 0.19 ; mine\n");
    EXPECT_EQ(mergedFileText(dir / "user.ini", "[SteerIK]\nGrabOffset = 0.2, 0, 0.19\n"),
              "[SteerIK]\nGrabOffset = 0.2, 0, 0.19 ; mine\n");
}

// A value the user wrote in another spelling of the same number keeps his
// spelling; only a value that really changed is written anew.
TEST(FileMerge, AnUnchangedNumberKeepsTheUsersSpelling) {
    TempDir dir;
    const std::string user =
        "[SteerIK]\nGrabOffset = 0.050, 0, -0.020 ; mine\nRestAngle = 33.0\nSpinRate = 2.5e-2\n"
        "PutAwayMult = .1\nCycleAngle = +5\nSwitchHands = 01\nSpinMult = 0.1234567\nMyWord = abc\n";
    test::writeFile(dir / "user.ini", user);
    const std::string written =
        "[SteerIK]\nGrabOffset = 0.05, 0, -0.02\nRestAngle = 33\nSpinRate = 0.025\n"
        "PutAwayMult = 0.1\nCycleAngle = 5\nSwitchHands = 1\nSpinMult = 0.123457\nMyWord = abc\n";
    EXPECT_EQ(mergedFileText(dir / "user.ini", written), user);
    // A changed value is written as the writer spells it; the rest stay.
    std::string changed = written;
    changed.replace(changed.find("RestAngle = 33"), 14, "RestAngle = 34");
    std::string expected = user;
    expected.replace(expected.find("RestAngle = 33.0"), 16, "RestAngle = 34");
    EXPECT_EQ(mergedFileText(dir / "user.ini", changed), expected);
    // Whole numbers compare exactly, however large.
    test::writeFile(dir / "ids.ini", "[Kovra_Vehicle]\nModelID = 16777217\n");
    EXPECT_EQ(mergedFileText(dir / "ids.ini", "[Kovra_Vehicle]\nModelID = 16777216\n"),
              "[Kovra_Vehicle]\nModelID = 16777216\n");
}

// Keys the writer owns and no longer writes go; the user's own lines in
// their section stay, and a section they leave empty goes with them.
TEST(FileMerge, WithdrawnKeysGoAndTheUsersOwnLinesStay) {
    TempDir dir;
    test::writeFile(dir / "user.ini",
                    "[GearIK]\nShiftPattern = 0\n\n[GearPattern]\nPreStg_0 = 1, 2, 3\nFinStg_0 = 4, 5, 6\n\n"
                    "[SteerIK]\nRestAngle = 45\n\n[Mine]\n; keep me\nPreStg_0 = 1\n");
    const std::vector<IniKeyName> withdrawn = {{"GearPattern", "PreStg_0"}, {"GearPattern", "FinStg_0"},
                                               {"Mine", "PreStg_0"}, {"Missing", "X"}};
    EXPECT_EQ(mergedFileText(dir / "user.ini", "[GearIK]\nShiftPattern = 2\n", withdrawn),
              "[GearIK]\nShiftPattern = 2\n\n[SteerIK]\nRestAngle = 45\n\n[Mine]\n; keep me\n");
}

TEST(FileMerge, AFileThatCannotBeReadIsNotWrittenOver) {
    TempDir dir;
    std::filesystem::create_directories(dir / "folder.ini");
    EXPECT_FALSE(mergedFileText(dir / "folder.ini", kWritten));
}

}  // namespace
}  // namespace kovra
