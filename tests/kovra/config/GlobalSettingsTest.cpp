#include "kovra/config/GlobalSettings.h"

#include <gtest/gtest.h>

#include <limits>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(GlobalSettings, MissingFileOrKeysKeepDefaults) {
    TempDir dir;
    GlobalSettings settings;
    EXPECT_FALSE(loadGlobalSettings(dir / kGlobalSettingsFileName, settings));
    EXPECT_EQ(settings.CheatCode, "kovra");

    // A cheat code without a word could never be typed: the old one stays.
    writeFile(dir / kGlobalSettingsFileName, "[Menu]\nScale = 1\nCheatCode = ,,\n");
    ASSERT_TRUE(loadGlobalSettings(dir / kGlobalSettingsFileName, settings));
    EXPECT_EQ(settings.Scale, 1.0f);
    EXPECT_EQ(settings.CheatCode, "kovra");
    const GlobalSettings defaults;
    EXPECT_EQ(settings.Position, defaults.Position);
    EXPECT_EQ(settings.gWristOffsetY, -0.1f);
    EXPECT_EQ(settings.HoldHandKey, 51);
    EXPECT_EQ(settings.Up, 38);
    EXPECT_EQ(settings.Back, 8);
    EXPECT_TRUE(settings.Allow_Steer);
    EXPECT_FALSE(settings.Allow_NPCs);
}

TEST(GlobalSettings, ReadsEveryKind) {
    TempDir dir;
    writeFile(dir / kGlobalSettingsFileName,
              "[Config]\nHoldHandKey = 52\nAllow_NPCs = 1\nAllow_Peg = 0\nSuddenBar_Rotation_Fix = 0\n"
              "[Defaults]\nuseSeatJiggle = 0\n"
              "[Multipliers]\nmuThrottle = 1.25\ngWristOffsetY = -0.2 ; lower\n"
              "[Menu]\nCheatCode = drive fast\nPosition = 50, 60, 0\nScale = 0.8\n"
              "Up = 87\nDown = 300\nLeft = -1\nSelect = x\n");
    GlobalSettings s;
    ASSERT_TRUE(loadGlobalSettings(dir / kGlobalSettingsFileName, s));
    EXPECT_EQ(s.HoldHandKey, 52);
    EXPECT_TRUE(s.Allow_NPCs);
    EXPECT_FALSE(s.Allow_Peg);
    EXPECT_FALSE(s.SuddenBar_Rotation_Fix);
    EXPECT_FALSE(s.useSeatJiggle);
    EXPECT_TRUE(s.useCarSpinePush);
    EXPECT_EQ(s.muThrottle, 1.25f);
    EXPECT_EQ(s.gWristOffsetY, -0.2f);
    EXPECT_EQ(s.CheatCode, "drive");  // the first word of a two-word value
    EXPECT_EQ(s.Position, Vector3(50.0f, 60.0f, 0.0f));
    EXPECT_EQ(s.Scale, 0.8f);
    EXPECT_EQ(s.Up, 87);
    // Codes outside the keyboard and malformed values keep their defaults.
    EXPECT_EQ(s.Down, 40);
    EXPECT_EQ(s.Left, 37);
    EXPECT_EQ(s.Select, 32);
}

TEST(GlobalSettings, SaveCreatesTheFileWithTheMenuSubset) {
    TempDir dir;
    GlobalSettings s;
    s.muThrottle = 1.5f;
    s.Position = Vector3(120.0f, 80.5f, 0.0f);
    s.Allow_NPCs = true;  // not saved
    ASSERT_TRUE(saveGlobalSettings(dir / kGlobalSettingsFileName, s));
    EXPECT_EQ(readFile(dir / kGlobalSettingsFileName),
              "[Config]\nVanilla_Sound_Gearing = 1\n\n"
              "[Defaults]\nuseCarSpinePush = 1\nuseSeatJiggle = 1\n\n"
              "[Multipliers]\nmuPedalSwitch = 1\nmuThrottle = 1.5\nmuSpinePush = 1\nmuDamping = 1\n"
              "muStiffness = 1\ngWristOffsetY = -0.1\n\n"
              "[Menu]\nScale = 0.6\nPosition = 120 80.5 0\n\n");
    GlobalSettings back;
    ASSERT_TRUE(loadGlobalSettings(dir / kGlobalSettingsFileName, back));
    EXPECT_EQ(back.muThrottle, 1.5f);
    EXPECT_EQ(back.Position, s.Position);

    EXPECT_FALSE(saveGlobalSettings(dir / "gone" / kGlobalSettingsFileName, s));
}

// A number no reader takes back is not written, and the save says so; the
// other settings still reach the file.
TEST(GlobalSettings, ASettingThatCannotBeWrittenIsReported) {
    TempDir dir;
    GlobalSettings s;
    s.muThrottle = std::numeric_limits<float>::quiet_NaN();
    s.Scale = 0.75f;
    EXPECT_FALSE(saveGlobalSettings(dir / kGlobalSettingsFileName, s));
    GlobalSettings back;
    ASSERT_TRUE(loadGlobalSettings(dir / kGlobalSettingsFileName, back));
    EXPECT_EQ(back.muThrottle, 1.0f);
    EXPECT_EQ(back.Scale, 0.75f);
}

TEST(GlobalSettings, SaveKeepsTheUsersFile) {
    TempDir dir;
    const auto path = dir / kGlobalSettingsFileName;
    writeFile(path,
              "; Kovra settings\n"
              "[Config]\n"
              "Allow_NPCs = 1 ; drivers of traffic too\n"
              "Vanilla_Sound_Gearing = 1\n"
              "\n"
              "[Menu]\n"
              "CheatCode = drive\n"
              "Scale = 0.6 ; size\n");
    GlobalSettings s;
    ASSERT_TRUE(loadGlobalSettings(path, s));
    s.Vanilla_Sound_Gearing = false;
    s.Scale = 0.75f;
    ASSERT_TRUE(saveGlobalSettings(path, s));
    EXPECT_EQ(readFile(path),
              "; Kovra settings\n"
              "[Config]\n"
              "Allow_NPCs = 1 ; drivers of traffic too\n"
              "Vanilla_Sound_Gearing = 0\n"
              "\n"
              "[Menu]\n"
              "CheatCode = drive\n"
              "Scale = 0.75 ; size\n"
              "Position = 100 100 0\n"
              "\n"
              "[Defaults]\nuseCarSpinePush = 1\nuseSeatJiggle = 1\n\n"
              "[Multipliers]\nmuPedalSwitch = 1\nmuThrottle = 1\nmuSpinePush = 1\nmuDamping = 1\n"
              "muStiffness = 1\ngWristOffsetY = -0.1\n\n");
}

// A settings file the user made read-only stays as it is.
TEST(GlobalSettings, AReadOnlyFileIsNotReplaced) {
    TempDir dir;
    const auto path = dir / kGlobalSettingsFileName;
    writeFile(path, "[Menu]\nScale = 0.6 ; mine, fixed\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                           std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    GlobalSettings s;
    s.Scale = 0.75f;
    EXPECT_FALSE(saveGlobalSettings(path, s));
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(readFile(path), "[Menu]\nScale = 0.6 ; mine, fixed\n");
}

}  // namespace
}  // namespace kovra
