#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "AllocationCounter.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/menu/MenuTestSupport.h"

namespace kovra::test {
namespace {

using TextMenuTest = MenuTest;

TEST_F(TextMenuTest, TheCheatCodeOpensAndClosesTheMenuInAnyLetterCase) {
    Start();
    Frame();
    EXPECT_TRUE(Lines().empty());
    Type("kov");
    Type("r");
    EXPECT_TRUE(Lines().empty());  // not yet the whole code
    Type("xKoVRA");
    EXPECT_TRUE(Menu().menuOpen());
    EXPECT_TRUE(Shows("~y~~h~- Kovra Config -"));
    EXPECT_EQ(host.TypedCharCount(), 0);  // the buffer starts afresh
    Frame();
    EXPECT_TRUE(Shows("~y~~h~- Kovra Config -"));  // stays open
    Type("KOVRA");
    EXPECT_FALSE(Menu().menuOpen());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(TextMenuTest, AClosedMenuOnlyLooksAtTheTypedCharacters) {
    Start();
    host.TypeText("kovr");
    AllocationCounter allocations;
    for (int i = 0; i < 10; ++i) Menu().OnFrame();
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_TRUE(host.drawnTexts.empty());
}

TEST_F(TextMenuTest, SelectionWrapsPastEitherEnd) {
    Start();
    Type("kovra");
    EXPECT_EQ(SelectedLine(), "Multipliers...");
    Press(kDown, 3);
    EXPECT_EQ(SelectedLine(), "Multipliers...");
    Press(kUp);
    EXPECT_EQ(SelectedLine(), "About...");
    Press(kDown);
    EXPECT_EQ(SelectedLine(), "Multipliers...");
}

TEST_F(TextMenuTest, AHeldKeyChangesANumberEveryFrameWithinItsRange) {
    Start();
    Type("kovra");
    Open("Multipliers...");
    SelectItem("muThrottle: ");
    float& throttle = runtime->settings().muThrottle;
    ASSERT_FLOAT_EQ(throttle, 1.0f);
    Hold(kRight, 10);
    EXPECT_NEAR(throttle, 1.1f, 1e-5f);
    EXPECT_EQ(SelectedLine(), "muThrottle: ~y~~h~1.10");
    HoldWith(kShift, kRight, 10);
    EXPECT_NEAR(throttle, 1.4f, 1e-5f);
    HoldWith(kControl, kLeft, 4);
    EXPECT_NEAR(throttle, 1.39f, 1e-5f);
    Hold(kLeft, 200);
    EXPECT_EQ(throttle, 0.0f);  // its range is 0 and up
    EXPECT_EQ(SelectedLine(), "muThrottle: ~y~~h~0.00");
    // Only the selected item moves.
    EXPECT_FLOAT_EQ(runtime->settings().muSpinePush, 1.0f);
}

TEST_F(TextMenuTest, AnIntegerStepsOncePerPressAndStaysWithinItsRange) {
    Start();
    OpenVehicleMenu();
    Open("Gear...");
    Open("Gear Pattern...");
    SelectItem("Gear: ");
    Hold(kRight, 10);
    EXPECT_EQ(SelectedLine(), "Gear: ~y~~h~1");
    Press(kRight, 9);
    EXPECT_EQ(SelectedLine(), "Gear: ~y~~h~6");
    Press(kLeft, 9);
    EXPECT_EQ(SelectedLine(), "Gear: ~y~~h~0");
}

// A hand-edited file may hold values beyond the menu's ranges: passing over
// them keeps them (an export would write them back as read); an edit clamps.
TEST_F(TextMenuTest, OnlyAnEditBringsAValueFromAFileIntoTheRange) {
    Start();
    GearIk& gear = *Rig().gearIk;
    gear.rateArm = 0.8f;     // the page's range is 0 to 0.5
    gear.shiftPattern = 40;  // and 0 to the last pattern
    OpenVehicleMenu();
    Open("Gear...");
    SelectItem("RateArm: ");
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_FLOAT_EQ(gear.rateArm, 0.8f);
    Hold(kLeft, 1);
    EXPECT_FLOAT_EQ(gear.rateArm, 0.5f);
    Open("Gear Pattern...");
    SelectItem("ShiftPattern: ");
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(gear.shiftPattern, 40);
    Press(kLeft);
    EXPECT_EQ(gear.shiftPattern, GearIk::kPatternCount - 1);
}

TEST_F(TextMenuTest, APageOpenedWithRightIgnoresRightUntilItIsReleased) {
    Start();
    Type("kovra");
    float& wrist = runtime->settings().gWristOffsetY;
    host.SetKeyDown(kRight, true);
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_TRUE(Shows("Main >> Multipliers"));
    EXPECT_EQ(SelectedLine(), "gWristOffsetY: ~y~~h~-0.10");
    EXPECT_FLOAT_EQ(wrist, -0.1f);
    host.SetKeyDown(kRight, false);
    Frame();
    Hold(kRight, 1);
    EXPECT_NEAR(wrist, -0.09f, 1e-6f);
}

TEST_F(TextMenuTest, BackLeavesAPageButDoesNothingOnTheRoot) {
    Start();
    Type("kovra");
    Press(kDown);
    Press(kBackspace);
    EXPECT_EQ(SelectedLine(), "Globals...");
    EXPECT_TRUE(Shows("Multipliers..."));
    Open("Globals...");
    EXPECT_TRUE(Shows("Main >> Globals"));
    // The breadcrumb is drawn smaller than the lines.
    const auto crumb = std::find_if(host.drawnTexts.begin(), host.drawnTexts.end(),
                                    [](const auto& t) { return t.text == "Main >> Globals"; });
    EXPECT_FLOAT_EQ(crumb->style.scaleX, 0.45f);
    Press(kBackspace);
    EXPECT_TRUE(Shows("Globals..."));
    EXPECT_FALSE(Shows("Main >> Globals"));
    EXPECT_EQ(SelectedLine(), "Multipliers...");  // a page change selects the first item
    // "GoBack..." does the same as the Back key.
    Open("About...");
    Open("GoBack...");
    EXPECT_TRUE(Shows("Globals..."));
}

TEST_F(TextMenuTest, TabMovesTheKeysBetweenTheMenus) {
    Start();
    Type("kovra");
    // The configuration menu has the keys and is drawn opaque, the vehicle
    // menu below it faintly.
    EXPECT_EQ(SelectedLine(), "Multipliers...");
    const auto title = std::find_if(host.drawnTexts.begin(), host.drawnTexts.end(),
                                    [](const auto& t) { return t.text == "~y~~h~400 - sedan"; });
    ASSERT_NE(title, host.drawnTexts.end());
    EXPECT_EQ(title->style.colour >> 24, 100u);
    Press(kTab);
    EXPECT_EQ(SelectedLine(), "Gear...");
    Press(kDown);
    EXPECT_EQ(SelectedLine(), "SteerWheel...");
    Press(kTab);
    EXPECT_EQ(SelectedLine(), "Multipliers...");
}

TEST_F(TextMenuTest, LeavingTheVehicleGivesTheKeysBackAndTheVehicleMenuStartsAtItsRoot) {
    Start();
    OpenVehicleMenu();
    Open("SteerWheel...");
    EXPECT_TRUE(Shows("Main >> SteerWheel"));
    host.UnseatPed(player);
    Frame();
    EXPECT_FALSE(Shows("~y~~h~400 - sedan"));
    Frame();  // the keys came back at the end of the last frame
    EXPECT_EQ(SelectedLine(), "Multipliers...");
    Press(kDown);
    EXPECT_EQ(SelectedLine(), "Globals...");
    ASSERT_TRUE(host.SeatPed(player, vehicle, true));
    Frame();
    EXPECT_TRUE(Shows("~y~~h~400 - sedan"));
    EXPECT_FALSE(Shows("Main >> SteerWheel"));
    EXPECT_TRUE(Shows("SteerWheel..."));
    EXPECT_EQ(SelectedLine(), "Globals...");  // still the configuration menu's keys
}

TEST_F(TextMenuTest, WithMoveMenuOnTheMouseMovesBothMenus) {
    Start();
    Type("kovra");
    Open("Globals...");
    SelectItem("MoveMenu: ");
    Press(kSpace);
    EXPECT_EQ(SelectedLine(), "MoveMenu: ~g~~h~~h~ON");
    host.SetMouseMovement(30.0f, -20.0f);  // right and down the screen
    Frame();
    host.SetMouseMovement(0.0f, 0.0f);
    Frame();
    const auto& config = Menu().configMenu();
    EXPECT_FLOAT_EQ(config.position.x, 130.0f);
    EXPECT_FLOAT_EQ(config.position.y, 120.0f);
    for (const auto& t : host.drawnTexts) EXPECT_FLOAT_EQ(t.x, 130.0f) << t.text;
    // Kept on the screen whatever the mouse does.
    host.SetMouseMovement(-5000.0f, 5000.0f);
    Frame();
    host.SetMouseMovement(0.0f, 0.0f);
    Frame();
    EXPECT_FLOAT_EQ(host.drawnTexts.front().x, 5.0f);
    EXPECT_FLOAT_EQ(host.drawnTexts.front().y, 5.0f);
}

TEST_F(TextMenuTest, ChangingTheScaleResizesTheLinesAndTheSeparators) {
    Start();
    Type("kovra");
    Open("Globals...");
    SelectItem("MenuScale: ");
    const float wideBar = host.drawnRects.front().right - host.drawnRects.front().left;
    Hold(kLeft, 20);
    Frame();
    EXPECT_EQ(SelectedLine(), "MenuScale: ~y~~h~0.40");
    for (const auto& t : host.drawnTexts) {
        if (t.text != "Main >> Globals") {
            EXPECT_NEAR(t.style.scaleX, 0.4f, 1e-5f) << t.text;
        }
    }
    // Both menus measure their widest line again at the new size.
    const auto& config = Menu().configMenu();
    const auto& car = Menu().vehicleMenu();
    EXPECT_LT(config.maxLineWidth, wideBar);
    EXPECT_FLOAT_EQ(host.drawnRects.front().right - host.drawnRects.front().left, config.maxLineWidth + 5.0f);
    EXPECT_NEAR(car.scale, 0.4f, 1e-5f);
    EXPECT_GT(car.maxLineWidth, 0.0f);
    // Never down to nothing.
    Hold(kLeft, 100);
    EXPECT_EQ(SelectedLine(), "MenuScale: ~y~~h~0.10");
}

TEST_F(TextMenuTest, AnEditNeverLeavesANumberThatIsNone) {
    Start();
    Rig().steerIk->restAngle = std::numeric_limits<float>::quiet_NaN();
    Rig().steerIk->grabOffset.x = std::numeric_limits<float>::infinity();
    OpenVehicleMenu();
    Open("SteerWheel...");
    Hold(kRight, 1);
    SelectItem("RestAngle: ");
    Hold(kRight, 1);
    EXPECT_FLOAT_EQ(Rig().steerIk->grabOffset.x, 0.005f);
    EXPECT_FLOAT_EQ(Rig().steerIk->restAngle, 1.0f);
}

}  // namespace
}  // namespace kovra::test
