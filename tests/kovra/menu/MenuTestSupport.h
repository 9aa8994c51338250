#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kovra/config/ConfigTestSupport.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra::test {

// Windows virtual-key codes of the menu's default keys.
inline constexpr int kBackspace = 8;
inline constexpr int kTab = 9;
inline constexpr int kShift = 16;
inline constexpr int kControl = 17;
inline constexpr int kSpace = 32;
inline constexpr int kLeft = 37;
inline constexpr int kUp = 38;
inline constexpr int kRight = 39;
inline constexpr int kDown = 40;

// The simulated game with the plugin, its folder a fresh temporary one with
// an empty "modloader", and the player at the wheel of a built sedan (or of
// the vehicle a test seats him in). The menu is driven only as a player
// does: typed characters, keys and the mouse, one frame at a time.
class MenuTest : public ::testing::Test {
protected:
    static constexpr int kSedan = 400;
    static constexpr int kMotorbike = 461;

    void SetUp() override {
        std::filesystem::create_directories(game.path() / "modloader");
        host.SetGameDirectory(game.path().string());
        host.SetPluginDirectory(game.path().string());
        host.AddVehicleModel(sim::MakeSedanModel(kSedan));
        host.AddVehicleModel(sim::MakeMotorbikeModel(kMotorbike));
        runtime = std::make_unique<Runtime>(host);
    }

    // The engine gets ready (the files under the game's folder are read),
    // then the player gets into a new vehicle of the model, built after its
    // first updates.
    void Start(int modelId = kSedan) {
        host.StartGame();
        player = host.CreatePed();
        host.SetPlayer(player);
        EnterNew(modelId);
    }

    void EnterNew(int modelId) {
        vehicle = host.CreateVehicle(modelId);
        ASSERT_NE(vehicle, nullptr);
        ASSERT_TRUE(host.SeatPed(player, vehicle, true));
        for (int i = 0; i < 12; ++i) Frame();
        ASSERT_TRUE(Rig().built);
    }

    CabinIk& Rig() { return *runtime->rigs().RigOf(vehicle); }
    // After a reset of the player's rig: the driver fades out of the pose,
    // the handles go, and the rig builds again 21 updates later.
    void RebuildAfterFade() {
        for (int i = 0; i < 25 && Rig().built; ++i) Frame();
        ASSERT_FALSE(Rig().built) << "the handles go once the driver has faded out";
        for (int i = 0; i < 21; ++i) Frame();
        ASSERT_TRUE(Rig().built);
    }
    InGameMenu& Menu() { return runtime->menu(); }

    // One frame of the game, with only its own drawing on record.
    void Frame() {
        host.ClearRecords();
        host.RunFrame();
    }
    void Type(const std::string& text) {
        host.TypeText(text);
        Frame();
    }
    // Down for `frames` frames, then up again for one.
    void Hold(int vk, int frames) {
        host.SetKeyDown(vk, true);
        for (int i = 0; i < frames; ++i) Frame();
        host.SetKeyDown(vk, false);
        Frame();
    }
    void Press(int vk) { Hold(vk, 1); }
    void Press(int vk, int times) {
        for (int i = 0; i < times; ++i) Press(vk);
    }
    // With `modifier` held around the key.
    void HoldWith(int modifier, int vk, int frames) {
        host.SetKeyDown(modifier, true);
        Hold(vk, frames);
        host.SetKeyDown(modifier, false);
    }

    // Opens the menu and moves the keys to the vehicle menu.
    void OpenVehicleMenu() {
        Type("kovra");
        Press(kTab);
    }
    // From the root of the focused menu, selects the item of that label
    // (counting the selectable lines) and opens it with Select.
    void Open(const std::string& label) {
        SelectItem(label);
        Press(kSpace);
    }
    // Moves the focused menu's selection down to the item of that label.
    void SelectItem(const std::string& label) {
        for (int i = 0; i < 40 && SelectedLine().find(label) == std::string::npos; ++i) Press(kDown);
        ASSERT_NE(SelectedLine().find(label), std::string::npos) << label << " not found";
    }

    // The texts drawn in the last frame, in order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        for (const auto& t : host.drawnTexts) out.push_back(t.text);
        return out;
    }
    // The lines of the focused menu (drawn opaque), after its title.
    std::vector<std::string> FocusedLines() const {
        std::vector<std::string> out;
        for (const auto& t : host.drawnTexts) {
            if ((t.style.colour >> 24) == 255) out.push_back(t.text);
        }
        return out;
    }
    // The focused menu's selected line, or empty.
    std::string SelectedLine() const {
        for (const std::string& line : FocusedLines()) {
            if (line.rfind("~w~~g~~h~", 0) == 0) return line.substr(9);
        }
        return "";
    }
    bool Shows(const std::string& text) const {
        for (const std::string& line : Lines()) {
            if (line == text || line == "~w~" + text || line == "~w~~g~~h~" + text) return true;
        }
        return false;
    }

    TempDir game;
    sim::SimHost host;
    std::unique_ptr<Runtime> runtime;
    CPed* player = nullptr;
    CVehicle* vehicle = nullptr;
};

}  // namespace kovra::test
