#include <gtest/gtest.h>

#include <filesystem>

#include "kovra/menu/MenuTestSupport.h"

namespace kovra::test {
namespace {

namespace fs = std::filesystem;

using ConfigMenuTest = MenuTest;

TEST_F(ConfigMenuTest, ClosingWithoutASettingsFileWritesOneWithItsFourSections) {
    Start();
    Type("kovra");
    Open("Multipliers...");
    SelectItem("muSpinePush: ");
    Hold(kRight, 25);
    Type("kovra");
    EXPECT_EQ(readFile(game / "Kovra_Config.ini"),
              "[Config]\nVanilla_Sound_Gearing = 1\n\n"
              "[Defaults]\nuseCarSpinePush = 1\nuseSeatJiggle = 1\n\n"
              "[Multipliers]\nmuPedalSwitch = 1\nmuThrottle = 1\nmuSpinePush = 1.25\nmuDamping = 1\n"
              "muStiffness = 1\ngWristOffsetY = -0.1\n\n"
              "[Menu]\nScale = 0.6\nPosition = 100 100 0\n\n");
    // Every close saves, also one with nothing changed.
    fs::remove(game / "Kovra_Config.ini");
    Type("kovra");
    Type("kovra");
    EXPECT_TRUE(fs::exists(game / "Kovra_Config.ini"));
}

TEST_F(ConfigMenuTest, SettingsThatCannotBeSavedAreNotWrittenElsewhereAndSaySo) {
    host.SetPluginDirectory("");  // the plugin's folder is not known
    const bool there = fs::exists("Kovra_Config.ini");
    Start();
    Type("kovra");
    Type("kovra");
    EXPECT_EQ(fs::exists("Kovra_Config.ini"), there);  // not in the working folder
    ASSERT_NE(host.MessageOnScreen(), nullptr);
    EXPECT_EQ(host.MessageOnScreen()->text, "~r~~h~Settings not saved:~n~~r~~h~Kovra_Config.ini");
}

TEST_F(ConfigMenuTest, ClosingKeepsEveryLineOfTheUsersSettingsFile) {
    writeFile(game / "Kovra_Config.ini",
              "; my settings\n[Menu]\nCheatCode = tune\nScale = 1 ; big\nPosition = 200 150 0\nUp = 87\n"
              "\n[Config]\nAllow_NPCs = 1\n");
    Start();
    Type("kovra");
    EXPECT_FALSE(Menu().menuOpen());
    Type("TUNE");
    ASSERT_TRUE(Menu().menuOpen());
    // The file's scale and place, for both menus.
    EXPECT_FLOAT_EQ(host.drawnTexts.front().x, 200.0f);
    EXPECT_FLOAT_EQ(host.drawnTexts.front().y, 150.0f);
    for (const auto& t : host.drawnTexts) EXPECT_FLOAT_EQ(t.style.scaleX, 1.0f) << t.text;
    // The keys of the file move the selection.
    Press(kDown);
    Press('W');
    EXPECT_EQ(SelectedLine(), "Multipliers...");
    Open("Globals...");
    SelectItem("VanillaSoundGearing: ");
    Press(kSpace);
    Type("tune");
    EXPECT_EQ(readFile(game / "Kovra_Config.ini"),
              "; my settings\n[Menu]\nCheatCode = tune\nScale = 1 ; big\nPosition = 200 150 0\nUp = 87\n"
              "\n[Config]\nAllow_NPCs = 1\nVanilla_Sound_Gearing = 0\n\n"
              "[Defaults]\nuseCarSpinePush = 1\nuseSeatJiggle = 1\n\n"
              "[Multipliers]\nmuPedalSwitch = 1\nmuThrottle = 1\nmuSpinePush = 1\nmuDamping = 1\n"
              "muStiffness = 1\ngWristOffsetY = -0.1\n\n");
}

TEST_F(ConfigMenuTest, TheGlobalsPageSwitchesWhatItNames) {
    Start();
    Type("kovra");
    Open("Globals...");
    EXPECT_TRUE(Shows("~y~~h~Defaults:"));
    EXPECT_FALSE(runtime->debug().enabled);
    Press(kSpace);
    EXPECT_TRUE(runtime->debug().enabled);
    EXPECT_EQ(SelectedLine(), "DebugLines: ~g~~h~~h~ON");
    SelectItem("useCarSpinePush: ");
    Press(kLeft);
    EXPECT_FALSE(runtime->settings().useCarSpinePush);
    SelectItem("useSeatJiggle: ");
    Press(kRight);
    EXPECT_FALSE(runtime->settings().useSeatJiggle);
    EXPECT_TRUE(runtime->settings().Vanilla_Sound_Gearing);
}

TEST_F(ConfigMenuTest, TheAboutPageOpensTheDocumentsBesideThePlugin) {
    Start();
    Type("kovra");
    Open("About...");
    EXPECT_TRUE(Shows("Version: v1.1"));
    EXPECT_TRUE(Shows("~y~~h~- My Socials! -"));
    std::vector<std::string> opened;
    for (int i = 0; i < 3; ++i) {
        host.SetKeyDown(kSpace, true);
        Frame();
        opened.insert(opened.end(), host.openedUrls.begin(), host.openedUrls.end());
        host.SetKeyDown(kSpace, false);
        Frame();
        Press(kDown);
    }
    const fs::path docs = game.path() / "docs";
    EXPECT_EQ(opened, (std::vector<std::string>{(docs / "menu.md").string(), (docs / "configuration.md").string(),
                                                (docs / "scenes.md").string()}));
    EXPECT_EQ(SelectedLine(), "GoBack...");
}

}  // namespace
}  // namespace kovra::test
