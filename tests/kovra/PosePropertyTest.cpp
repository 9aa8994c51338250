// Seeded random trials with hostile values everywhere a value can come from
// outside: the per-vehicle file behind the model's templates, the live
// handles the menu edits, the global settings, and the game's own inputs
// (time step, steering, pedals, gear, speed, lean, wheels). Whatever the
// values, the pose the plugin leaves must be one the game can draw.
//
// KOVRA_POSE_TRIALS sets the number of trials (default 3000) and
// KOVRA_POSE_SEED the first trial's seed, so a failing trial is run again
// alone with KOVRA_POSE_SEED=<its seed> KOVRA_POSE_TRIALS=1.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "PoseCheck.h"
#include "SimTestSupport.h"
#include "kovra/config/ConfigSchema.h"
#include "kovra/config/ConfigTestSupport.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/config/VehicleConfigFile.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SceneFile.h"

namespace kovra {
namespace {

constexpr int kDefaultTrials = 3000;
constexpr int kFramesPerTrial = 40;

int EnvironmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

// The game's time step is whatever the trial says, not only what SimHost
// accepts from a well-behaved caller.
class HostileHost : public sim::SimHost {
public:
    float TimeStep() const override { return step; }
    float step = 1.0f;
};

class Hostile {
public:
    explicit Hostile(std::uint32_t seed) : random_(seed) {}

    bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p; }
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    // The usual value about a third of the time, else anything a float holds.
    float Number(float usual, bool finiteOnly = false) {
        constexpr float kMax = std::numeric_limits<float>::max();
        const float picks[] = {0.0f,   -0.0f,  -1.0f,   -usual, usual * 1000.0f, 1e30f,
                               -1e30f, kMax,   -kMax,   1e-30f, std::numeric_limits<float>::denorm_min(),
                               Uniform(-10.0f, 10.0f), Uniform(-1000.0f, 1000.0f),
                               std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()};
        if (Chance(0.35)) return usual;
        const int count = static_cast<int>(std::size(picks)) - (finiteOnly ? 3 : 0);
        return picks[Below(count)];
    }
    Vector3 Vector(const Vector3& usual, bool finiteOnly = false) {
        return {Number(usual.x, finiteOnly), Number(usual.y, finiteOnly), Number(usual.z, finiteOnly)};
    }
    std::int32_t Integer(std::int32_t usual) {
        const std::int32_t picks[] = {usual,
                                      -1,
                                      Below(10),
                                      1000,
                                      -1000,
                                      std::numeric_limits<std::int32_t>::max(),
                                      std::numeric_limits<std::int32_t>::min()};
        return Chance(0.4) ? usual : picks[Below(static_cast<int>(std::size(picks)))];
    }

private:
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random_); }
    std::mt19937 random_;
};

// A per-vehicle file giving every key the reader knows a hostile value the
// reader accepts (numbers it refuses never reach a template from a file).
std::string HostileVehicleFile(Hostile& hostile, int modelId) {
    std::string text = "[Kovra_Vehicle]\nFileVer = 1\nModelID = " + formatInteger(modelId) + "\n";
    for (const ConfigSectionSpec& section : ConfigSections(ConfigFileKind::Vehicle)) {
        if (section.name == "Kovra_Vehicle" || hostile.Chance(0.2)) continue;
        text += "[" + std::string(section.name) + "]\n";
        for (const ConfigKeySpec& key : section.keys) {
            if (hostile.Chance(0.2)) continue;
            std::string value;
            switch (key.kind) {
                case ConfigValueKind::Vector: {
                    const Vector3 v = hostile.Vector({0.1f, 0.2f, 0.3f}, true);
                    value = formatNumber(v.x) + ", " + formatNumber(v.y) + ", " + formatNumber(v.z);
                    break;
                }
                case ConfigValueKind::Flag: value = hostile.Chance(0.5) ? "1" : "0"; break;
                case ConfigValueKind::Integer: value = formatInteger(hostile.Integer(2)); break;
                default: value = formatNumber(hostile.Number(0.5f, true)); break;
            }
            text += std::string(key.name) + " = " + value + "\n";
        }
    }
    return text;
}

// Values no file can hold (NaN, infinity) reach a handle only through code;
// the fields every handle shares are hit with them, and the car handles'
// own tunables.
void MakeHostile(Hostile& hostile, IkHandle& h) {
    h.grabOffset = hostile.Vector(h.grabOffset);
    h.secondOffset = hostile.Vector(h.secondOffset);
    h.endAngles = hostile.Vector(h.endAngles);
    for (float* value : {&h.heightFactor, &h.armFactor, &h.maxAngle, &h.minAngle, &h.footTurn,
                         &h.bendAngle, &h.rateArm}) {
        *value = hostile.Number(*value);
    }
    h.doSpinePush = hostile.Chance(0.5);
    if (auto* steer = dynamic_cast<SteerIk*>(&h)) {
        for (float* value : {&steer->restAngle, &steer->cycleAngle, &steer->grabFwAngle,
                             &steer->grabBwAngle, &steer->putAwayMult, &steer->spinMult,
                             &steer->spinRate}) {
            *value = hostile.Number(*value);
        }
        steer->switchHands = hostile.Chance(0.5);
    }
    if (auto* gear = dynamic_cast<GearIk*>(&h)) {
        gear->shiftPattern = hostile.Integer(gear->shiftPattern);
        for (GearPatternEntry& slot : gear->pattern) {
            slot.preStage = hostile.Vector(slot.preStage);
            slot.finalStage = hostile.Vector(slot.finalStage);
        }
    }
}

void MakeHostile(Hostile& hostile, GlobalSettings& s) {
    for (float* value : {&s.muPedalSwitch, &s.muThrottle, &s.muSpinePush, &s.muDamping,
                         &s.muStiffness, &s.gWristOffsetY, &s.Scale}) {
        *value = hostile.Number(*value);
    }
    for (bool* flag : {&s.Vanilla_Sound_Gearing, &s.SuddenBar_Rotation_Fix, &s.useCarSpinePush,
                       &s.useSeatJiggle}) {
        *flag = hostile.Chance(0.5);
    }
    // Switched-off handles pose nothing; most trials keep them on.
    for (bool* allow : {&s.Allow_Steer, &s.Allow_Gear, &s.Allow_Bar, &s.Allow_Handbrake,
                        &s.Allow_Gas, &s.Allow_Clutch, &s.Allow_Peg, &s.Allow_BikeShift}) {
        *allow = !hostile.Chance(0.1);
    }
    for (std::int32_t* key : {&s.HoldHandKey, &s.Up, &s.Down, &s.Left, &s.Right, &s.Select, &s.Back}) {
        *key = hostile.Integer(*key);
    }
}

void DriveHostile(Hostile& hostile, HostileHost& host, CVehicle& vehicle) {
    host.step = hostile.Number(1.0f);
    VehicleState& s = vehicle.state;
    s.steerAngle = hostile.Number(0.4f);
    s.gasPedal = hostile.Number(0.6f);
    s.brakePedal = hostile.Number(0.3f);
    s.handBrake = hostile.Chance(0.2);
    s.gear = hostile.Integer(1 + hostile.Below(5));
    s.speed = hostile.Number(0.5f);
    s.moveSpeed = hostile.Vector({0.0f, 0.5f, 0.0f});
    s.lean = hostile.Number(0.3f);
    s.wheelsOnGround = hostile.Integer(2);
    s.barAngle = hostile.Number(0.2f);
    // Now and then the game presses a key the menu or the gear stick reads.
    host.SetKeyDown(51, hostile.Chance(0.1));
}

struct Model {
    const char* scene;
    int id;
};
constexpr Model kModels[] = {{"sedan.vehicle", 400}, {"motorbike.vehicle", 461}, {"bicycle.vehicle", 481}};

// How much of the plugin the trials reached, so that a run that poses
// nothing cannot pass unnoticed.
struct Coverage {
    int builtRigs = 0;
    int engagedFrames = 0;  // frames with some handle's weight above 0
};

// One trial; empty when every frame left a sound pose, else the first fault.
std::string RunTrial(std::uint32_t seed, const test::TempDir& dir, Coverage& coverage) {
    Hostile hostile(seed);
    const Model& model = kModels[seed % std::size(kModels)];
    HostileHost host;
    // Empty folders: nothing on this machine is read.
    host.SetPluginDirectory(dir.path().string());
    host.SetGameDirectory(dir.path().string());
    host.AddVehicleModel(sim::BuiltInVehicle(model.scene, model.id));
    Runtime runtime(host);
    host.StartGame();

    // The templates, through the reader as a hand-edited file would, then
    // with what only code could put there.
    // A fresh file each time: a file cut short and written again is pushed
    // to the disk at once by some file systems, which is slow.
    const auto file = dir / ("hostile-" + std::to_string(seed) + ".ini");
    test::writeFile(file, HostileVehicleFile(hostile, model.id));
    VehicleConfigRecord* record = ReadVehicleConfig(runtime, file, false);
    std::filesystem::remove(file);
    if (record == nullptr) return "the hostile file did not load";
    for (IkHandle* handle : record->templates) {
        if (hostile.Chance(0.3)) MakeHostile(hostile, *handle);
    }
    if (hostile.Chance(0.3)) VehicleConfigStore::stamp(*record, model.id, true);
    MakeHostile(hostile, runtime.settings());

    CVehicle* vehicle = host.CreateVehicle(model.id, test::TurnedPlacement());
    CPed* driver = host.CreatePed();
    if (vehicle == nullptr || driver == nullptr) return "no vehicle or driver";
    host.SeatPed(driver, vehicle, true);
    host.SetPlayer(driver);
    CabinIk* rig = runtime.rigs().RigOf(vehicle);

    const int resetAt = hostile.Chance(0.2) ? 14 + hostile.Below(10) : -1;
    for (int frame = 0; frame < kFramesPerTrial; ++frame) {
        DriveHostile(hostile, host, *vehicle);
        if (frame == resetAt) rig->Reset();
        host.RunFrame();
        if (rig->built && hostile.Chance(0.15)) {
            for (const auto& handle : rig->handles) {
                if (hostile.Chance(0.5)) MakeHostile(hostile, *handle);
            }
        }
        bool engaged = false;
        for (const auto& handle : rig->handles) engaged = engaged || handle->weight > 0.0f;
        coverage.engagedFrames += engaged ? 1 : 0;
        coverage.builtRigs += rig->built && frame + 1 == kFramesPerTrial ? 1 : 0;
        const std::string fault = test::PoseFault(host, vehicle, driver);
        if (!fault.empty()) {
            return std::string(model.scene) + ", frame " + std::to_string(frame) + ": " + fault;
        }
    }
    return {};
}

TEST(PoseProperty, HostileValuesNeverBreakThePose) {
    const int trials = EnvironmentNumber("KOVRA_POSE_TRIALS", kDefaultTrials);
    const auto firstSeed = static_cast<std::uint32_t>(EnvironmentNumber("KOVRA_POSE_SEED", 1));
    test::TempDir dir;
    std::filesystem::create_directory(dir / "modloader");
    int failures = 0;
    Coverage coverage;
    for (int trial = 0; trial < trials && failures < 5; ++trial) {
        const std::uint32_t seed = firstSeed + static_cast<std::uint32_t>(trial);
        const std::string fault = RunTrial(seed, dir, coverage);
        if (!fault.empty()) {
            ADD_FAILURE() << "seed " << seed << ": " << fault;
            ++failures;
        }
    }
    std::printf("pose property: %d trials of %d frames from seed %u, %d failed; %d rigs built, "
                "%d frames with a handle engaged\n",
                trials, kFramesPerTrial, firstSeed, failures, coverage.builtRigs,
                coverage.engagedFrames);
    // Most trials must have posed something for the result to mean anything.
    EXPECT_GT(coverage.builtRigs, trials / 2);
    EXPECT_GT(coverage.engagedFrames, trials * 5);
}

}  // namespace
}  // namespace kovra
