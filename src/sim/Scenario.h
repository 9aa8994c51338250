#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Vector3.h"
#include "sim/CVehicle.h"
#include "sim/SceneFile.h"
#include "sim/VehicleModel.h"

// Scenario files: a scripted run of the simulated game (which vehicles, who
// drives them, how the inputs move over the frames, when pictures are
// taken). The format is documented in docs/scenes.md.
namespace kovra::sim {

inline constexpr std::string_view kScenarioHeader = "kovra-scenario";
inline constexpr int kScenarioVersion = 1;
inline constexpr int kMaxScenarioFrames = 1000000;
inline constexpr std::size_t kMaxScenarioVehicles = 64;

// The inputs a scenario drives, in the order of ScenarioVehicle::tracks.
enum class ScenarioInput : int { Steer, Gas, Brake, HandBrake, Gear, Speed, Lean, Wheels, Climb };
inline constexpr int kScenarioInputCount = 9;

enum class ScenarioDriver : int { None, Ped, Player };

struct ScenarioKey {
    int frame = 0;
    float value = 0.0f;  // as written: the steer angle in degrees
};

// What the player does with the keyboard and mouse, by frame.
struct ScenarioTyping {
    int frame = 0;
    std::string text;  // enters the typed-character buffer in order
};
struct ScenarioKeyPress {
    int frame = 0;   // the first frame the key is down
    int key = 0;     // Windows virtual-key code
    int frames = 1;  // how many frames it stays down
};
struct ScenarioMouseMove {
    int frame = 0;
    float dx = 0.0f;  // pixels
    float dy = 0.0f;
};
inline constexpr float kMaxMouseMove = 10000.0f;  // pixels per statement

struct ScenarioVehicle {
    std::filesystem::path sceneFile;  // the file that was read
    VehicleModel model;
    Vector3 position;      // world metres
    float heading = 0.0f;  // degrees about world z; 0 faces +y, positive turns left
    ScenarioDriver driver = ScenarioDriver::None;
    // The frame the driver gets in; before it the seat is empty (a driver
    // who gets in while the vehicle moves).
    int driverEnters = 0;
    // A per-vehicle configuration file read for the model before the run;
    // empty for the model's defaults.
    std::filesystem::path configFile;
    // Keyframes per input, in ScenarioInput order, ascending by frame.
    std::array<std::vector<ScenarioKey>, kScenarioInputCount> tracks;

    FrameMatrix WorldMatrix() const;
    // Its matrix while leaning: turned by the heading, then for a
    // two-wheeler rolled about its own forward axis by the lean (radians,
    // positive to the right); its origin at `at`.
    FrameMatrix PoseAt(float lean, const Vector3& at) const;
};

class Scenario {
public:
    // Reads a scenario and every vehicle scene it names. A scene path is
    // tried relative to the scenario's directory, then relative to
    // scenesDir. On failure the result is empty and *error holds
    // "FILE:LINE[:COLUMN]: what is wrong".
    static std::optional<Scenario> Load(
        const std::filesystem::path& path, std::string* error = nullptr,
        const std::filesystem::path& scenesDir = BuiltInScenesDirectory());
    // The same for text in memory; baseDir stands for the scenario's
    // directory.
    static std::optional<Scenario> Parse(
        std::string_view text, const std::string& sourceName, const std::filesystem::path& baseDir,
        std::string* error = nullptr,
        const std::filesystem::path& scenesDir = BuiltInScenesDirectory());

    // The inputs of a vehicle at a frame; only the input fields (steer
    // angle in radians, gas, brake, hand brake, gear, speed, lean, wheels on
    // ground) and what follows from them are set: the bar angle is the steer
    // angle, the move speed the speed along the heading plus the climb
    // straight up. The rest keep VehicleState's defaults. Numbers are
    // interpolated linearly between keyframes; the gear, the hand brake and
    // the wheel count hold until the next keyframe. Before the first
    // keyframe an input has the first keyframe's value, after the last the
    // last's; an input without keyframes is 0. A bad vehicle index gives
    // all defaults.
    VehicleState InputsAt(int vehicleIndex, int frame) const;
    // Copies the input fields of `inputs` into a vehicle's state.
    static void CopyInputs(const VehicleState& inputs, VehicleState& state);
    // One frame of the script on a vehicle of the run: its inputs, and its
    // axes turned by the heading and rolled by a two-wheeler's lean. Its
    // position is the game's, which moves it by the move speed.
    void Drive(int vehicleIndex, int frame, CVehicle& vehicle) const;
    // One track's value at a frame, held or interpolated as above.
    static float TrackValue(const std::vector<ScenarioKey>& keys, int frame, bool held);
    static bool IsHeld(ScenarioInput input);
    static std::string_view InputName(ScenarioInput input);  // as in the file
    // The virtual-key code of a key as a "press" names it: a code of two or
    // more digits, up, down, left, right, space, backspace, tab, shift,
    // control, or one letter (either case) or digit; -1 for none.
    static int KeyCode(std::string_view name);

    // The player's hands at a frame: the characters typed in it (in file
    // order), the keys down (bit 7 set, as the keyboard state has it) and
    // the mouse movement (all moves of the frame added up).
    std::string TypedAt(int frame) const;
    std::array<std::uint8_t, 256> KeyboardAt(int frame) const;
    void MouseAt(int frame, float& dx, float& dy) const;

    std::string name;
    int frameCount = 0;
    float timeStep = 1.0f;
    std::vector<ScenarioVehicle> vehicles;
    std::vector<int> pictureFrames;  // ascending, each within 0..frameCount-1
    std::vector<ScenarioTyping> typing;      // in file order
    std::vector<ScenarioKeyPress> presses;   // in file order
    std::vector<ScenarioMouseMove> mouseMoves;  // in file order
};

}  // namespace kovra::sim
