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

TEST(FileMerge, AFileThatCannotBeReadIsNotWrittenOver) {
    TempDir dir;
    std::filesystem::create_directories(dir / "folder.ini");
    EXPECT_FALSE(mergedFileText(dir / "folder.ini", kWritten));
}

}  // namespace
}  // namespace kovra
