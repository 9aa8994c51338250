#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/MotionCheck.h"

namespace kovra::cli {

// How one kind of handle did on one vehicle over a run.
struct HandleReport {
    std::string kind;          // "Steer", "Gear", ...
    int framesEngaged = 0;     // frames in which a hand or foot solve of the handle had weight 1
    int framesOutOfReach = 0;  // of those, frames with a target the limb could not reach
    float maxReachError = 0.0f;  // metres, over the engaged frames with reachable targets
};

struct VehicleReport {
    std::string model;
    int modelId = 0;
    std::vector<HandleReport> handles;  // the kinds the rig built, in kind order
    // The positions the gear stick arrived at, in order (0 neutral, 1-5,
    // 6 reverse), and the gear the hands were told to act out each time it
    // changed.
    std::vector<int> stickPositions;
    std::vector<int> actedGears;
    int clutchStrokes = 0;  // times the clutch went down from fully up
    // The foot-shift strokes in the order they finished, each "up" or "down".
    std::vector<std::string> shiftStrokes;
    // The largest |x|, |y| and |z| of the seat-motion offset over the run,
    // metres (sideways, forwards, up in the bike's axes).
    std::array<float, 3> seatOffsetMax{};
    // The steering wheel's turn against the road wheels' at the last frame
    // (degrees each), when the vehicle has a steering handle.
    float wheelAngle = 0.0f;
    float roadWheelAngle = 0.0f;
    // How the driver moved between frames: the largest turn per bone group,
    // the largest slide of each hand and foot over the control it held, and
    // the turns that stood out from both neighbours.
    MotionReport motion;
};

struct RunReport {
    std::string scenario;
    int frames = 0;
    // The per-vehicle files the plugin read when the engine was ready, and
    // every file it wrote during the run; paths relative to the game folder.
    std::vector<std::string> configFiles;
    std::vector<std::string> filesWritten;
    std::vector<VehicleReport> vehicles;
    std::vector<std::filesystem::path> pictures;
    std::vector<std::filesystem::path> gltfFiles;  // with RunOptions::gltf, one per vehicle
    std::filesystem::path page;                     // with RunOptions::html
};

struct RunOptions {
    std::filesystem::path scenarioFile;  // empty: the built-in default car run
    std::filesystem::path outDir = "out";
    // The simulated game's folder: its "modloader" tree is read, the
    // settings files sit in it and the menu writes into it. Empty: outDir /
    // "game", made afresh for every run with an empty "modloader" folder.
    std::filesystem::path gameDir;
    bool pictures = true;
    // Also writes each vehicle's run as an animated glTF 2.0 binary,
    // outDir / "<model>.glb" ("<model>-<vehicle index>.glb" when vehicles
    // share a model); see cli/GltfExport.h.
    bool gltf = false;
    // Also writes outDir / "index.html", the run as a page that opens
    // offline (cli/RunPage.h); the glTF files come with it.
    bool html = false;
    // The page template the build made; empty: RunPageTemplate().
    std::filesystem::path pageTemplate;
    // Called after each frame with (frame, frameCount); may be empty.
    std::function<void(int, int)> progress;
};

// Plays a scenario on the simulated game with the plugin hooked in, measures
// every handle's reach, draws the chosen frames (and the screen, when
// anything is on it) and writes report.json, the pictures and the glTF files
// into outDir. Empty, with the reason in *error, when the scenario cannot be
// read or the output cannot be written.
std::optional<RunReport> RunScenario(const RunOptions& options, std::string* error);

std::string ReportJson(const RunReport& report);

// A figure rounded to 6 significant digits, as report.json writes figures.
double ReportRounded(float value);

// "Gear", "Steer", ... for a HandleKind code; "Unknown" for any other.
const char* HandleKindName(int kind);

// How far, in metres, an engaged hand or foot may end up from its target.
inline constexpr float kReachTolerance = 0.002f;

// Whether every hand and foot of every handle stayed within the tolerance of
// its target over the frames it was engaged with a reachable target.
bool EveryLimbReached(const RunReport& report, float tolerance = kReachTolerance);

std::filesystem::path DefaultScenarioFile();

}  // namespace kovra::cli
