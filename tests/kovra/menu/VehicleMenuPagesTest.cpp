#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kovra/config/PathText.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/menu/MenuTestSupport.h"

namespace kovra::test {
namespace {

namespace fs = std::filesystem;

class VehicleMenuTest : public MenuTest {
protected:
    // A per-vehicle file of the sedan, under the game's mod folder, spelt
    // with the platform's separators as the plugin shows paths.
    fs::path WriteSedanFile(const std::string& relative, const std::string& body = "") {
        const fs::path path = (game.path() / "modloader" / relative).make_preferred();
        fs::create_directories(path.parent_path());
        writeFile(path, "[Kovra_Vehicle]\nFileVer = 1\nModelID = 400\n\n" + body);
        return path;
    }
    // On the vehicle menu's steering page, Right held on GrabOffset X.
    void WidenGrip(int frames) {
        OpenVehicleMenu();
        Open("SteerWheel...");
        Hold(kRight, frames);
    }
    // From a page of the vehicle menu: back to its root, on to the
    // save-load page and "Export Config!".
    void ExportFromPage() {
        Press(kBackspace);
        Press(kUp);
        Press(kSpace);
        SelectItem("Export Config!");
        Press(kSpace);
    }
    void OpenSaveLoad() {
        OpenVehicleMenu();
        Press(kUp);  // past the first item to the last
        ASSERT_EQ(SelectedLine(), "Save-Load...");
        Press(kSpace);
    }
    // On the save-load page, "Save As Copy" on and "Export Config!".
    void ExportACopy() {
        OpenSaveLoad();
        SelectItem("Save As Copy: ");
        Press(kSpace);
        SelectItem("Export Config!");
        Press(kSpace);
    }
    // The selectable lines of the focused menu, without the selection mark.
    std::vector<std::string> Items() const {
        std::vector<std::string> out;
        for (const std::string& line : FocusedLines()) {
            if (line.rfind("~w~~g~~h~", 0) == 0) {
                out.push_back(line.substr(9));
            } else if (line.rfind("~w~", 0) == 0) {
                out.push_back(line.substr(3));
            }
        }
        return out;
    }
    bool HasItem(const std::string& prefix) const {
        const auto items = Items();
        return std::any_of(items.begin(), items.end(),
                           [&](const std::string& i) { return i.rfind(prefix, 0) == 0; });
    }
    // The save-load page's label of a file: "..." and its folder and name.
    static std::string FileLabel(const std::string& folder, const std::string& file) {
        return "..." + TextFromPath(fs::path(folder) / file);
    }
    std::string LastMessage() const {
        return host.MessageOnScreen() ? host.MessageOnScreen()->text : "";
    }
};

TEST_F(VehicleMenuTest, TheRootListsTheHandlesTheRigBuilt) {
    sim::VehicleModel noClutch = sim::MakeSedanModel(401);
    noClutch.frames.erase(noClutch.frames.begin() + noClutch.FindFrame("ik_clutch"));
    host.AddVehicleModel(noClutch);
    Start(401);
    OpenVehicleMenu();
    EXPECT_TRUE(Shows("~y~~h~401 - sedan"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"Gear...", "SteerWheel...", "HandBrake...", "GasPedal...",
                                                 "UpdateAllVehs", "Save-Load..."}));
    EnterNew(kMotorbike);
    Frame();
    EXPECT_TRUE(Shows("~y~~h~461 - motorbike"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"HandBrake...", "GasPedal...", "ClutchPedal...", "Handlebar...",
                                                 "Pegs...", "BikeShift...", "SeatJiggle...", "UpdateAllVehs",
                                                 "Save-Load..."}));
}

TEST_F(VehicleMenuTest, TheHandBrakePageOfABikeShowsTheFootAndOfACarTheHand) {
    Start();
    OpenVehicleMenu();
    Open("HandBrake...");
    EXPECT_EQ(Items(), (std::vector<std::string>{"X: ~y~~h~0.00", "Y: ~y~~h~0.21", "Z: ~y~~h~0.03",
                                                 "Max: ~y~~h~30.00", "Min: ~y~~h~0.00", "X: ~y~~h~90.00",
                                                 "Y: ~y~~h~30.00", "Z: ~y~~h~0.00", "RateArm: ~y~~h~0.075",
                                                 "GoBack..."}));
    EXPECT_TRUE(Shows("HandAngle:"));
    EnterNew(kMotorbike);
    Frame();
    Open("HandBrake...");
    EXPECT_TRUE(HasItem("FootHeight: "));
    EXPECT_TRUE(HasItem("FootTurn: "));
    EXPECT_TRUE(HasItem("Ratelimb: "));
    EXPECT_FALSE(HasItem("Min: "));
    EXPECT_FALSE(Shows("HandAngle:"));
}

TEST_F(VehicleMenuTest, SwitchingHandsOffTakesThreeRowsOffTheSteeringPage) {
    Start();
    OpenVehicleMenu();
    Open("SteerWheel...");
    const std::size_t rows = Items().size();
    SelectItem("SwitchHands: ");
    Press(kSpace);
    EXPECT_FALSE(Rig().steerIk->switchHands);
    EXPECT_EQ(Items().size(), rows - 3);
    EXPECT_FALSE(HasItem("CycleAng: "));
    EXPECT_FALSE(HasItem("grabFwAng: "));
    EXPECT_FALSE(HasItem("grabBwAng: "));
    EXPECT_EQ(SelectedLine(), "SwitchHands: ~r~~h~OFF");
    // The height factor goes with the spine push.
    SelectItem("DoSpinePush: ");
    Press(kRight);
    EXPECT_FALSE(HasItem("HeightFactor: "));
}

TEST_F(VehicleMenuTest, TheGearPatternPageEditsTheChosenPositionAndResetsThePattern) {
    Start();
    OpenVehicleMenu();
    Open("Gear...");
    Open("Gear Pattern...");
    EXPECT_TRUE(Shows("VW"));
    GearIk& gear = *Rig().gearIk;
    const Vector3 firstGear = gear.pattern[1].finalStage;
    SelectItem("Gear: ");
    Press(kRight);
    SelectItem("Fin Y: ");
    Hold(kRight, 2);
    EXPECT_FLOAT_EQ(gear.pattern[1].finalStage.y, firstGear.y + 1.0f);
    SelectItem("ShiftPattern: ");
    Press(kRight, 2);
    EXPECT_TRUE(Shows("BMW"));
    EXPECT_EQ(gear.shiftPattern, 2);
    EXPECT_FLOAT_EQ(gear.pattern[1].finalStage.y, firstGear.y + 1.0f);  // the number alone
    SelectItem("Set Default Gears");
    Press(kSpace);
    GearIk bmw(*runtime);
    bmw.SetPattern(2);
    EXPECT_EQ(gear.pattern[1].finalStage, bmw.pattern[1].finalStage);
    SelectItem("ShiftPattern: ");
    Press(kRight, 5);
    EXPECT_EQ(gear.shiftPattern, 4);
    EXPECT_TRUE(Shows("SEQUENTIAL"));
}

TEST_F(VehicleMenuTest, AModelWithoutFilesShowsOnlyTheSaveRows) {
    Start();
    OpenSaveLoad();
    EXPECT_TRUE(Shows("Main >> Save-Load"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"Export Gears: ~r~~h~OFF", "Export Config!", "GoBack..."}));
    EXPECT_TRUE(Shows("~y~~h~Save:"));
    EXPECT_FALSE(Shows("~y~~h~Load:"));
}

TEST_F(VehicleMenuTest, TheSelectedFileWrapsRoundTheModelsFiles) {
    WriteSedanFile("a/Kovra_one.ini");
    WriteSedanFile("b/Kovra_two.ini");
    WriteSedanFile("c/Kovra_three.ini");
    Start();
    OpenSaveLoad();
    EXPECT_EQ(SelectedLine(), "1/3 - " + FileLabel("a", "Kovra_one.ini"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"1/3 - " + FileLabel("a", "Kovra_one.ini"),
                                                 "Only Current Vehicle: ~g~~h~~h~ON", "Load File",
                                                 "Save As Copy: ~r~~h~OFF", "Export Gears: ~r~~h~OFF",
                                                 "Export Config!", "GoBack..."}));
    Press(kLeft);
    EXPECT_EQ(SelectedLine(), "3/3 - " + FileLabel("c", "Kovra_three.ini"));
    Press(kRight);
    EXPECT_EQ(SelectedLine(), "1/3 - " + FileLabel("a", "Kovra_one.ini"));
    Press(kRight);
    EXPECT_EQ(SelectedLine(), "2/3 - " + FileLabel("b", "Kovra_two.ini"));
}

TEST_F(VehicleMenuTest, TheDefaultExportWritesTheLiveValuesAndSaysWhere) {
    Start();
    WidenGrip(4);
    Press(kBackspace);
    Press(kUp);
    Press(kSpace);
    SelectItem("Export Gears: ");
    Press(kSpace);
    SelectItem("Export Config!");
    Press(kSpace);
    const fs::path file = game.path() / "modloader" / "Kovra-Output" / "Kovra_sedan.ini";
    ASSERT_TRUE(fs::exists(file));
    const std::string text = readFileLf(file);
    EXPECT_EQ(text.rfind("[Kovra_Vehicle]\nFileVer = 1\nModelID = 400\n\n[SteerIK]\nGrabOffset = 0.21, ", 0), 0u)
        << text;
    EXPECT_NE(text.find("[GearPattern]\nPreStg_0 = "), std::string::npos);
    EXPECT_EQ(LastMessage(), "~g~~h~~h~Config exported!~n~~g~~h~~h~" + TextFromPath(file));
    // The new file is listed from the next start on, not now.
    EXPECT_FALSE(Shows("~y~~h~Load:"));
}

TEST_F(VehicleMenuTest, ExportingOverTheSelectedFileKeepsEveryLineOfTheUsers) {
    const fs::path file = WriteSedanFile("Cars/Kovra_sedan.ini",
                                         "; tuned by hand\n[SteerIK]\nGrabOffset = 0.2, 0.01, 0.18 ; the rim\n"
                                         "MyNote = 3\n\n[Extra]\nKept = yes\n");
    Start();
    EXPECT_FLOAT_EQ(Rig().steerIk->grabOffset.x, 0.2f);
    WidenGrip(2);
    ExportFromPage();
    const std::string text = readFile(file);
    EXPECT_NE(text.find("; tuned by hand\n[SteerIK]\nGrabOffset = 0.21, 0.01, 0.18 ; the rim\nMyNote = 3\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Extra]\nKept = yes\n"), std::string::npos) << text;
    EXPECT_NE(text.find("RestAngle = 45\n"), std::string::npos);
    EXPECT_NE(text.find("[GasPedalIK]\n"), std::string::npos);
    EXPECT_EQ(LastMessage(), "~g~~h~~h~Config exported!~n~~g~~h~~h~" + TextFromPath(file));
}

TEST_F(VehicleMenuTest, SaveAsCopyWritesACopyBesideTheFileAndListsIt) {
    const fs::path file = WriteSedanFile("Cars/Kovra_truck.ini");
    const std::string original = readFile(file);
    Start();
    ExportACopy();
    const fs::path copy = game.path() / "modloader" / "Cars" / "Kovra_truck_C.ini";
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(readFile(file), original);
    SelectItem("1/2 - ");
    EXPECT_EQ(SelectedLine(), "1/2 - " + FileLabel("Cars", "Kovra_truck.ini"));
    Press(kRight);
    EXPECT_EQ(SelectedLine(), "2/2 - " + FileLabel("Cars", "Kovra_truck_C.ini"));
    SelectItem("Export Config!");
    Press(kSpace);
    EXPECT_TRUE(fs::exists(game.path() / "modloader" / "Cars" / "Kovra_truck_C_C.ini"));
    // The same copy again is written over, not listed twice.
    Press(kSpace);
    EXPECT_EQ(runtime->store().find(kSedan)->filePaths.size(), 3u);
}

// The copy's name belongs to another model's file: that file is left as it
// was and the copy takes the next free name, listed for the model.
TEST_F(VehicleMenuTest, SaveAsCopyNeverTakesAnotherModelsFile) {
    WriteSedanFile("Cars/Kovra_sedan.ini", "[SteerIK]\nRestAngle = 50\n");
    const fs::path other = game.path() / "modloader" / "Cars" / "Kovra_sedan_C.ini";
    writeFile(other, "[Kovra_Vehicle]\nFileVer = 1\nModelID = 999\n\n[SteerIK]\nRestAngle = 12 ; the van's\n");
    const std::string before = readFile(other);
    Start();
    ExportACopy();
    EXPECT_EQ(readFile(other), before);
    const fs::path copy = game.path() / "modloader" / "Cars" / "Kovra_sedan_C_2.ini";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_NE(readFileLf(copy).find("ModelID = 400\n"), std::string::npos);
    EXPECT_EQ(runtime->store().find(kSedan)->filePaths.back(), TextFromPath(copy));
    EXPECT_EQ(LastMessage(), "~g~~h~~h~Config exported!~n~~g~~h~~h~" + TextFromPath(copy));
}

// For the updates after "UpdateAllVehs" the rig is rebuilt and has no
// handles: an export or another push then does nothing and says so, and a
// motorbike's fitted values are never replaced by a header-only file.
TEST_F(VehicleMenuTest, NothingIsExportedOrPushedWhileTheRigIsRebuilt) {
    Start(kMotorbike);
    OpenVehicleMenu();
    SelectItem("UpdateAllVehs");
    Press(kSpace);
    for (int i = 0; i < 25 && !Rig().handles.empty(); ++i) Frame();  // the rider lets go first
    ASSERT_TRUE(Rig().handles.empty());
    const float leanSway = runtime->store().find(kMotorbike)->seatJiggle.LeanSway;
    Press(kSpace);  // "UpdateAllVehs" again
    EXPECT_EQ(LastMessage().rfind("~r~~h~Update failed!~n~~r~~h~", 0), 0u) << LastMessage();
    EXPECT_EQ(runtime->store().find(kMotorbike)->seatJiggle.LeanSway, leanSway);
    SelectItem("Save-Load...");
    Press(kSpace);
    SelectItem("Export Config!");
    Press(kSpace);
    ASSERT_TRUE(Rig().handles.empty());
    EXPECT_FALSE(fs::exists(game.path() / "modloader" / "Kovra-Output"));
    EXPECT_EQ(LastMessage().rfind("~r~~h~Export failed!~n~~r~~h~", 0), 0u) << LastMessage();
    // Once built again, the export writes the fitted values.
    for (int i = 0; i < 21; ++i) Frame();
    ASSERT_FALSE(Rig().handles.empty());
    Press(kSpace);
    const std::string text = readFileLf(game.path() / "modloader" / "Kovra-Output" / "Kovra_motorbike.ini");
    EXPECT_NE(text.find("[SeatJiggle]\n"), std::string::npos) << text;
}

TEST_F(VehicleMenuTest, AFailedExportLeavesTheFileAsItWasAndSaysSo) {
    const fs::path file = WriteSedanFile("Cars/Kovra_sedan.ini", "[SteerIK]\nRestAngle = 50\n");
    const std::string original = readFile(file);
    // The new text cannot be put in place: every temporary name is taken.
    fs::create_directories(fs::path(file.string() + ".tmp"));
    for (int i = 1; i < 16; ++i) fs::create_directories(fs::path(file.string() + ".tmp" + std::to_string(i)));
    Start();
    WidenGrip(2);
    ExportFromPage();
    EXPECT_EQ(readFile(file), original);
    EXPECT_EQ(LastMessage(), "~r~~h~Export failed!~n~~r~~h~cannot write " + TextFromPath(file));
    for (const auto& m : host.timedMessages) EXPECT_EQ(m.text.find("Config exported!"), std::string::npos);
}

TEST_F(VehicleMenuTest, AnExportWithoutAModFolderWritesNothingAndSaysSo) {
    fs::remove_all(game.path() / "modloader");
    Start();
    OpenSaveLoad();
    SelectItem("Export Config!");
    Press(kSpace);
    EXPECT_FALSE(fs::exists(game.path() / "modloader"));
    EXPECT_EQ(LastMessage().rfind("~r~~h~Export failed!~n~~r~~h~", 0), 0u) << LastMessage();
}

TEST_F(VehicleMenuTest, UpdateAllVehsRebuildsEveryVehicleOfTheModelWithTheEdits) {
    Start();
    CVehicle* other = host.CreateVehicle(kSedan);
    for (int i = 0; i < 12; ++i) Frame();
    WidenGrip(6);
    const float edited = Rig().steerIk->grabOffset.x;
    Press(kBackspace);
    SelectItem("UpdateAllVehs");
    Press(kSpace);
    EXPECT_FLOAT_EQ(runtime->store().find(kSedan)->steer.grabOffset.x, edited);
    CabinIk& otherRig = *runtime->rigs().RigOf(other);
    EXPECT_FALSE(otherRig.built) << "nobody to let go: dropped at once";
    EXPECT_TRUE(Rig().resetPending) << "the driver lets go of the controls first";
    for (int i = 0; i < 21; ++i) Frame();
    ASSERT_TRUE(otherRig.built);
    EXPECT_FLOAT_EQ(otherRig.steerIk->grabOffset.x, edited);
    RebuildAfterFade();
    EXPECT_FLOAT_EQ(Rig().steerIk->grabOffset.x, edited);
}

TEST_F(VehicleMenuTest, LoadFileRebuildsTheCurrentVehicleOrTheWholeModel) {
    WriteSedanFile("Cars/Kovra_sedan.ini", "[SteerIK]\nRestAngle = 50\n");
    Start();
    CVehicle* other = host.CreateVehicle(kSedan);
    for (int i = 0; i < 12; ++i) Frame();
    Rig().steerIk->restAngle = 10.0f;  // live edits, lost on a load
    runtime->store().find(kSedan)->steer.restAngle = 20.0f;
    runtime->rigs().RigOf(other)->steerIk->restAngle = 30.0f;
    OpenSaveLoad();
    SelectItem("Load File");
    Press(kSpace);
    EXPECT_FLOAT_EQ(runtime->store().find(kSedan)->steer.restAngle, 50.0f);
    RebuildAfterFade();
    EXPECT_FLOAT_EQ(Rig().steerIk->restAngle, 50.0f);
    EXPECT_FLOAT_EQ(runtime->rigs().RigOf(other)->steerIk->restAngle, 30.0f);  // only the current one

    SelectItem("Only Current Vehicle: ");
    Press(kSpace);
    EXPECT_EQ(SelectedLine(), "Only Current Vehicle: ~r~~h~OFF");
    Press(kDown);
    Press(kSpace);
    EXPECT_FALSE(runtime->rigs().RigOf(other)->built);
    for (int i = 0; i < 21; ++i) Frame();
    EXPECT_FLOAT_EQ(runtime->rigs().RigOf(other)->steerIk->restAngle, 50.0f);
}

TEST_F(VehicleMenuTest, ALoadOfAFileThatIsGoneKeepsTheVehicleAsItIs) {
    const fs::path file = WriteSedanFile("Cars/Kovra_sedan.ini");
    Start();
    fs::remove(file);
    OpenSaveLoad();
    SelectItem("Load File");
    Press(kSpace);
    EXPECT_TRUE(Rig().built);
    EXPECT_EQ(LastMessage(), "~r~~h~Load failed!~n~~r~~h~cannot read " + TextFromPath(file));
}

TEST_F(VehicleMenuTest, TheBikePagesEditTheBikeHandles) {
    Start(kMotorbike);
    OpenVehicleMenu();
    Open("BikeShift...");
    SelectItem("UpShiftHeight: ");
    EXPECT_EQ(Menu().vehicleMenu().currentPage, "BikeShift");
    EXPECT_EQ(Menu().vehicleMenu().hoveredLabel, "UpShiftHeight: ");
    Hold(kRight, 2);
    EXPECT_EQ(SelectedLine(), "UpShiftHeight: ~y~~h~-0.135");
    Press(kBackspace);
    Open("SeatJiggle...");
    EXPECT_EQ(SelectedLine(), "ENABLE: ~g~~h~~h~ON");
    SelectItem("Damping: ");
    Hold(kLeft, 100);
    EXPECT_EQ(SelectedLine(), "Damping: ~y~~h~0.000");
    Press(kBackspace);
    Open("GasPedal...");
    EXPECT_EQ(Items(), (std::vector<std::string>{"BikeGasAngle: ~y~~h~45.00", "BikeBrkAngle: ~y~~h~-30.00",
                                                 "RateArm: ~y~~h~0.075", "GoBack..."}));
}

TEST_F(VehicleMenuTest, SelectingAShiftHeightShowsTheFootShiftAidWithDebugLinesOff) {
    Start(kMotorbike);
    ASSERT_FALSE(runtime->debug().enabled);
    OpenVehicleMenu();
    Open("BikeShift...");
    SelectItem("MaxAngle: ");
    Frame();
    EXPECT_TRUE(host.drawnTriangles.empty()) << "no aid for other items";
    for (const char* label : {"UpShiftHeight: ", "DownShiftHeight: "}) {
        SelectItem(label);
        Frame();
        EXPECT_EQ(host.drawnTriangles.size(), 3u * 18u) << label << ": three arrows";
    }
    Type("kovra");  // closed again
    Frame();
    EXPECT_TRUE(host.drawnTriangles.empty());
}

}  // namespace
}  // namespace kovra::test
