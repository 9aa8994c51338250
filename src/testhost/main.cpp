// The test host: a small 32-bit Windows game that stands in for a supported
// build. It loads every "*.asi" in its folder at start-up, as game loaders
// do, then plays a scenario of the simulated game frame by frame and writes
// what happened to a report (docs/windows.md).
#include <windows.h>
#undef DrawText  // a Host operation, not the Windows call

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kovra/config/PathText.h"
#include "kovra/host/injector/BranchPatch.h"
#include "sim/Scenario.h"
#include "testhost/Game.h"
#include "testhost/GameTypes.h"
#include "testhost/ReportLines.h"
#include "windows/TestHostBuilds.h"

namespace {

namespace fs = std::filesystem;
using namespace kovra;
using namespace kovra::testhost;

struct Options {
    fs::path scenario;
    fs::path scenes = sim::BuiltInScenesDirectory();
    fs::path report = "report.txt";
    std::string swapSuffix;  // files named "*.SUFFIX" replace their namesakes before the engine is ready
    int poseEvery = 50;
    std::string animation;  // every driver runs it
    bool others = false;    // a passenger in the first car and a person on foot
    int destroyAt = -1;     // the second vehicle is destroyed before this frame
    bool screen = false;    // every frame's texts go to the report
    std::string cameraOn;   // "driver" or "passenger": the camera sits in that head
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--scenario") o.scenario = value;
        else if (key == "--scenes") o.scenes = value;
        else if (key == "--report") o.report = value;
        else if (key == "--swap") o.swapSuffix = value;
        else if (key == "--pose-every") o.poseEvery = std::max(1, std::atoi(value.c_str()));
        else if (key == "--animation") o.animation = value;
        else if (key == "--others") o.others = value == "1";
        else if (key == "--destroy") o.destroyAt = std::atoi(value.c_str());
        else if (key == "--screen") o.screen = value == "1";
        else if (key == "--camera-on") o.cameraOn = value;
        else return false;
    }
    return !o.scenario.empty();
}

__attribute__((section(".kvars"))) TGlobals theGlobals;

std::uintptr_t Base() { return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)); }

// The code section of this executable, as the loader mapped it.
std::pair<std::uintptr_t, std::size_t> CodeSection() {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base() + static_cast<std::uintptr_t>(dos->e_lfanew));
    // The section table follows the optional header.
    const auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const std::uint8_t*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::memcmp(section->Name, ".text", 6) == 0) {
            return {Base() + section->VirtualAddress, section->Misc.VirtualSize};
        }
    }
    return {0, 0};
}

// Every site where the description puts it, with the branch it names.
bool CodeMatchesDescription(std::string& why) {
    const windows::HostBuild& build = windows::kTestHostBuild10;
    const std::uintptr_t moved = Base() - build.preferredBase;
    for (const windows::HookSite& site : build.sites) {
        const std::uintptr_t at = site.site + moved;
        if (*reinterpret_cast<const std::uint8_t*>(at) != site.opcode ||
            injector::BranchPatch::TargetOf(at) != site.callee + moved) {
            char text[96];
            std::snprintf(text, sizeof text, "site 0x%08X is not as described", static_cast<unsigned>(site.site));
            why = text;
            return false;
        }
    }
    return true;
}

fs::path OwnFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

// As game loaders do: every "*.asi" beside the executable, in name order.
int LoadModules(const fs::path& folder, std::vector<std::string>& names) {
    std::vector<fs::path> modules;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".asi") modules.push_back(entry.path());
    }
    std::sort(modules.begin(), modules.end());
    int loaded = 0;
    for (const fs::path& module : modules) {
        names.push_back(TextFromPath(module.filename()));
        if (LoadLibraryW(module.c_str()) != nullptr) ++loaded;
    }
    return loaded;
}

void SwapStagedFiles(const fs::path& folder, const std::string& suffix) {
    if (suffix.empty()) return;
    std::vector<fs::path> staged;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
        if (entry.path().extension() == "." + suffix) staged.push_back(entry.path());
    }
    for (const fs::path& file : staged) {
        fs::path target = file;
        target.replace_extension();
        fs::rename(file, target, ec);
    }
}

const char* RoutineName(Routine r) {
    static constexpr const char* kNames[] = {
        "VehicleCreated", "VehicleDestroyed", "VehiclePoolCreated", "EngineReady", "PedIkDriver",
        "PedIkPassenger", "PedIkOnFoot", "PedHeadDriver", "PedHeadOther", "VehicleProcessCar",
        "VehicleProcessBike", "VehicleFrameEndCar", "VehicleFrameEndBike", "Frame", "Overlay",
        "SeatPlacement", "BikeProcess", "VehicleAudioCar", "VehicleAudioBike"};
    return kNames[static_cast<int>(r)];
}

// Every input field sim::Scenario::CopyInputs copies, into the game's record.
void CopyInputs(const VehicleState& in, TVehicle& v) {
    v.steerAngle = in.steerAngle;
    v.gasPedal = in.gasPedal;
    v.brakePedal = in.brakePedal;
    v.handBrake = in.handBrake ? 1 : 0;
    v.gear = static_cast<std::uint8_t>(in.gear);
    v.speed = in.speed;
    v.lean = in.lean;
    v.wheelsOnGround = static_cast<std::uint8_t>(in.wheelsOnGround);
    v.barAngle = in.barAngle;
    v.moveSpeed = in.moveSpeed;
}

// Where the head (the neck bone, id 5) of the first character in that seat is.
bool HeadOf(Game& game, Seat seat, Vector3& head) {
    bool found = false;
    game.ForEachPed([&](int, TPed& ped) {
        if (found || ped.seat != seat) return;
        for (int node = 0; node < ped.hierarchyRecord.nodeCount; ++node) {
            if (ped.hierarchyRecord.nodeIds[node] != 5) continue;
            head = ped.hierarchyRecord.matrices[node].pos;
            found = true;
        }
    });
    return found;
}

void WritePoses(std::ofstream& out, Game& game, int frame) {
    game.ForEachPed([&](int slot, TPed& ped) {
        if (ped.vehicle == nullptr) return;
        for (int node = 0; node < kNodeCount; ++node) {
            const BoneFrame& f = ped.frameData[node];
            const Vector3& p = ped.hierarchyRecord.matrices[node].pos;
            char line[256];
            std::snprintf(line, sizeof line, "pose %d %d %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", frame, slot, node,
                          f.rotation.x, f.rotation.y, f.rotation.z, f.rotation.w, p.x, p.y, p.z);
            out << line;
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: testhost --scenario FILE [--scenes DIR] [--report FILE] [--swap SUFFIX] [--pose-every N] [--animation NAME] [--others 1] [--destroy FRAME] [--screen 1] [--camera-on driver|passenger]\n");
        return 2;
    }
    // The game's variables, where the description has them: in a section of
    // their own that the link puts there, inside the image as a game's are.
    void* place = reinterpret_cast<void*>(Base() + (windows::kTestHostGlobals - windows::kTestHostBase));
    TGlobals* globals = &theGlobals;
    std::string why;
    if (globals != place || !CodeMatchesDescription(why)) {
        std::fprintf(stderr, "testhost: %s\n", globals != place ? "the variables are not where the description has them" : why.c_str());
        return 3;
    }
    std::string error;
    const std::optional<sim::Scenario> scenario = sim::Scenario::Load(options.scenario, &error, options.scenes);
    if (!scenario) {
        std::fprintf(stderr, "testhost: %s\n", error.c_str());
        return 2;
    }

    const auto [codeStart, codeSize] = CodeSection();
    const std::vector<std::uint8_t> codeBefore(reinterpret_cast<const std::uint8_t*>(codeStart),
                                               reinterpret_cast<const std::uint8_t*>(codeStart) + codeSize);
    Game game(globals);
    const fs::path folder = OwnFolder();
    std::vector<std::string> moduleNames;
    const int loaded = LoadModules(folder, moduleNames);
    SwapStagedFiles(folder, options.swapSuffix);

    for (const sim::ScenarioVehicle& sv : scenario->vehicles) game.AddModel(sv.model);
    game.SetTimeStep(scenario->timeStep);
    game.StartGame();
    std::vector<TVehicle*> vehicles;
    for (const sim::ScenarioVehicle& sv : scenario->vehicles) {
        TVehicle* vehicle = game.CreateVehicle(sv.model.id, sv.WorldMatrix());
        vehicles.push_back(vehicle);
        if (vehicle == nullptr || sv.driver == sim::ScenarioDriver::None) continue;
        TPed* driver = game.CreatePed();
        game.SeatPed(driver, vehicle, true);
        if (!options.animation.empty()) game.RunAnimation(driver, options.animation);
        if (sv.driver == sim::ScenarioDriver::Player) game.SetPlayer(driver);
    }

    if (options.others) {
        // A passenger beside the first car's driver, and someone on foot.
        for (std::size_t i = 0; i < vehicles.size(); ++i) {
            if (vehicles[i] == nullptr || vehicles[i]->driver == nullptr || scenario->vehicles[i].model.IsBike()) continue;
            game.SeatPed(game.CreatePed(), vehicles[i], false);
            break;
        }
        game.CreatePed();
    }

    std::ofstream out(options.report, std::ios::binary);
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        if (frame == options.destroyAt && vehicles.size() > 1) {
            game.DestroyVehicle(vehicles[1]);
            vehicles[1] = nullptr;
        }
        for (std::size_t i = 0; i < vehicles.size(); ++i) {
            if (vehicles[i] == nullptr) continue;
            CopyInputs(scenario->InputsAt(static_cast<int>(i), frame), *vehicles[i]);
        }
        // The player's keys, typing and mouse of the frame: the keys as this
        // thread's keyboard state, which the module reads.
        const std::string typed = scenario->TypedAt(frame);
        if (!typed.empty()) game.TypeText(typed);
        if (!options.cameraOn.empty()) {
            HeadOf(game, options.cameraOn == "driver" ? Seat::Driver : Seat::Passenger, globals->camera);
        }
        std::array<std::uint8_t, 256> keys = scenario->KeyboardAt(frame);
        SetKeyboardState(keys.data());
        scenario->MouseAt(frame, globals->mouseDx, globals->mouseDy);
        game.RunFrame();
        if (options.screen) {
            char line[160];
            for (const Game::ScreenText& t : game.screen()) {
                std::snprintf(line, sizeof line, "text %d %.3f %.3f ", frame, t.x, t.y);
                out << line << t.text << "\n";
                out << "text-style " << frame << " " << StyleText(t.style) << "\n";
            }
            for (const Game::ScreenRect& r : game.rects()) {
                out << "rect " << frame << " " << RectText(r.left, r.top, r.right, r.bottom, r.colour) << "\n";
            }
            const Game::DrawnDigest& d = game.drawn();
            std::snprintf(line, sizeof line, "drawn %d %d %d %.3f %.3f %.3f %llu\n", frame, d.lineVertices,
                          d.triangleVertices, d.x, d.y, d.z, static_cast<unsigned long long>(d.colours));
            out << line;
        }
        if ((frame + 1) % options.poseEvery == 0 || frame + 1 == scenario->frameCount) WritePoses(out, game, frame);
    }

    out << "frames " << game.FrameCount() << "\n";
    out << "modules " << loaded;
    for (const std::string& name : moduleNames) out << " " << name;
    out << "\n";
    char text[64];
    std::snprintf(text, sizeof text, "startup-byte %u\n",
                  *reinterpret_cast<const std::uint8_t*>(Base() + (windows::kTestHostBuild10.startupByte - windows::kTestHostBase)));
    out << text;
    out << "changed";
    for (std::size_t i = 0; i < codeSize; ++i) {
        if (reinterpret_cast<const std::uint8_t*>(codeStart)[i] == codeBefore[i]) continue;
        std::snprintf(text, sizeof text, " 0x%08X", static_cast<unsigned>(windows::kTestHostBase + (codeStart - Base()) + i));
        out << text;
    }
    out << "\n";
    for (int r = 0; r < static_cast<int>(Routine::Count); ++r) {
        const Game::RoutineCounts& c = game.counts()[static_cast<std::size_t>(r)];
        out << "routine " << RoutineName(static_cast<Routine>(r)) << " " << c.entered << " " << c.steps << " "
            << c.viaModule << "\n";
    }
    out << "last-frame";
    for (const auto& [routine, viaModule] : game.lastFrame()) out << " " << RoutineName(routine) << (viaModule ? "+" : "-");
    out << "\n";
    for (int r = 0; r < static_cast<int>(Game::HostRoutine::Count); ++r) {
        out << "host-routine " << Game::HostRoutineName(static_cast<Game::HostRoutine>(r)) << " "
            << game.hostCalls()[static_cast<std::size_t>(r)] << "\n";
    }
    for (const std::string& message : game.messages()) out << "message " << message << "\n";
    for (const auto& [call, count] : game.scriptCalls()) {
        out << "script " << call.first << " " << call.second << " " << count << "\n";
    }
    return out.good() ? 0 : 1;
}
