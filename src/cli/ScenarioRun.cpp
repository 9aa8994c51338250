#include "cli/ScenarioRun.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <map>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/FolderState.h"
#include "cli/GltfExport.h"
#include "cli/MotionCheck.h"
#include "cli/ScreenPicture.h"
#include "cli/SvgPicture.h"
#include "kovra/config/FileReplace.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/config/VehicleConfigFile.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"

namespace kovra::cli {

namespace {

namespace fs = std::filesystem;

constexpr float kFullWeight = 0.9999f;

const char* KindName(int kind) {
    static constexpr std::array<const char*, kHandleKindCount> kNames = {
        "Gear", "Steer", "HandBrake", "Bar", "GasPedal", "ClutchPedal", "Peg", "BikeShift", "SeatJiggle"};
    return IsHandleKindCode(kind) ? kNames[static_cast<std::size_t>(kind)] : "Unknown";
}

// Keeps each character's last solve per limb end during a frame.
class SolveLog : public SolveListener {
public:
    void OnLimbSolved(const LimbSolve& solve) override { last_[{solve.ped, solve.endNode}] = solve; }
    const std::map<std::pair<CPed*, NodeIndex>, LimbSolve>& last() const { return last_; }
    void Clear() { last_.clear(); }

private:
    std::map<std::pair<CPed*, NodeIndex>, LimbSolve> last_;
};

struct KindTally {
    bool built = false;
    HandleReport report;
};

std::string SafeName(std::string name) {
    for (char& c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!keep) c = '-';
    }
    return name;
}

bool IsLimbEnd(NodeIndex node) {
    return node == kRightHandNode || node == kLeftHandNode || node == kRightFootNode ||
           node == kLeftFootNode;
}

// Per limb end (in MotionCheck's order), the handle that last solved it at
// full weight and within reach in the frame, or -1: a hand the seat lifts
// out of reach of its grip does not hold it.
std::array<int, 4> FullWeightSolves(const SolveLog& log, CPed* driver) {
    std::array<int, 4> kinds{-1, -1, -1, -1};
    for (const auto& [key, solve] : log.last()) {
        if (key.first != driver || solve.weight < kFullWeight || !solve.reached) continue;
        for (std::size_t i = 0; i < MotionCheck::kLimbEnds.size(); ++i) {
            if (MotionCheck::kLimbEnds[i] == solve.endNode) kinds[i] = solve.tag;
        }
    }
    return kinds;
}

// Finished foot-shift strokes and the reach of the seat motion.
void TallyBike(const CabinIk& rig, bool& shiftPending, VehicleReport& counts) {
    if (const BikeShiftIk* shift = rig.bikeShiftIk) {
        if (shiftPending && !shift->shiftPending) {
            counts.shiftStrokes.push_back(shift->shiftKind == BikeShiftIk::kUpShift ? "up" : "down");
        }
        shiftPending = shift->shiftPending;
    }
    if (const SeatJiggle* jiggle = rig.seatJiggle) {
        const Vector3& offset = jiggle->seatOffset;
        const float axes[3] = {offset.x, offset.y, offset.z};
        for (std::size_t i = 0; i < 3; ++i) {
            counts.seatOffsetMax[i] = std::max({counts.seatOffsetMax[i], axes[i], -axes[i]});
        }
    }
}

// Stick arrivals, gear changes the hands are told about, clutch strokes.
void TallyControls(const CabinIk& rig, int& lastStick, int& lastActed, bool& clutchDown,
                   VehicleReport& counts) {
    if (rig.audioGear != lastActed) {
        lastActed = rig.audioGear;
        counts.actedGears.push_back(lastActed);
    }
    if (const GearIk* gear = rig.gearIk; gear && gear->handGear != lastStick) {
        lastStick = gear->handGear;
        counts.stickPositions.push_back(lastStick);
    }
    if (const ClutchPedalIk* clutch = rig.clutchPedalIk) {
        const bool down = clutch->clutchLevel > 0.0f;
        if (down && !clutchDown) ++counts.clutchStrokes;
        clutchDown = down;
    }
}

// Marks a game folder that a run made, so that a later run may empty it.
constexpr const char* kMadeByRun = ".made-by-kovra-run";

// The default game folder, emptied and made again with an empty "modloader".
bool MakeGameFolder(const fs::path& game, std::string* error) {
    std::error_code ec;
    if (fs::exists(game, ec)) {
        if (!fs::exists(game / kMadeByRun, ec)) {
            if (error) *error = game.string() + " exists and was not made by kovra run; remove it or pass --game";
            return false;
        }
        fs::remove_all(game, ec);
    }
    if (!ec) fs::create_directories(game / "modloader", ec);
    if (!ec) std::ofstream(game / kMadeByRun).close();
    if (ec || !fs::exists(game / kMadeByRun, ec)) {
        if (error) *error = "cannot make the game folder " + game.string();
        return false;
    }
    return true;
}

// The files each model's record listed once the engine was ready, by model.
std::vector<std::string> ConfigFilesRead(const VehicleConfigStore& store, const fs::path& game) {
    std::vector<std::string> files;
    for (const auto& [modelId, record] : store.records()) {
        for (const std::string& path : record.filePaths) {
            files.push_back(fs::path(path).lexically_relative(game).generic_string());
        }
    }
    return files;
}

// The player's keys, typing and mouse of the frame, handed to the game.
void ApplyPlayerInput(const sim::Scenario& scenario, int frame, sim::SimHost& host) {
    const std::string typed = scenario.TypedAt(frame);
    if (!typed.empty()) host.TypeText(typed);
    host.SetKeyboard(scenario.KeyboardAt(frame));
    float dx = 0.0f;
    float dy = 0.0f;
    scenario.MouseAt(frame, dx, dy);
    host.SetMouseMovement(dx, dy);
}

}  // namespace

fs::path DefaultScenarioFile() { return sim::BuiltInScenesDirectory() / "default-car.scenario"; }

std::optional<RunReport> RunScenario(const RunOptions& options, std::string* error) {
    const fs::path file = options.scenarioFile.empty() ? DefaultScenarioFile() : options.scenarioFile;
    std::optional<sim::Scenario> scenario = sim::Scenario::Load(file, error);
    if (!scenario) return std::nullopt;
    std::error_code ec;
    fs::create_directories(options.outDir, ec);
    if (ec) {
        if (error) *error = "cannot create " + options.outDir.string() + ": " + ec.message();
        return std::nullopt;
    }

    fs::path game = options.gameDir;
    if (game.empty()) {
        game = options.outDir / "game";
        if (!MakeGameFolder(game, error)) return std::nullopt;
    } else if (!fs::is_directory(game, ec)) {
        if (error) *error = "the game folder " + game.string() + " is not a folder";
        return std::nullopt;
    }
    if (!game.has_filename()) game = game.parent_path();  // a trailing separator
    const FolderState gameBefore = ReadFolderState(game);

    sim::SimHost host;
    // The plugin sits in the game's folder.
    host.SetGameDirectory(game.string());
    host.SetPluginDirectory(game.string());
    Runtime runtime(host);
    SolveLog log;
    runtime.solver().setSolveListener(&log);
    runtime.debug().enabled = options.pictures;  // the pictures show the solved chains
    host.SetTimeStep(scenario->timeStep);
    host.StartGame();

    struct Entry {
        CVehicle* vehicle = nullptr;
        CPed* driver = nullptr;
        std::array<KindTally, kHandleKindCount> kinds;
        int lastStick = 0;
        int lastActed = 0;
        bool clutchDown = false;
        bool shiftPending = false;
        int driverEnters = 0;
        MotionCheck motion;
        VehicleReport counts;
        std::unique_ptr<GltfExport> gltf;
    };
    std::vector<Entry> entries;
    for (const sim::ScenarioVehicle& sv : scenario->vehicles) {
        std::string modelError;
        if (!host.HasVehicleModel(sv.model.id) && !host.AddVehicleModel(sv.model, &modelError)) {
            if (error) *error = sv.sceneFile.string() + ": " + modelError;
            return std::nullopt;
        }
        if (!sv.configFile.empty()) {
            const VehicleConfigRecord* record = ReadVehicleConfig(runtime, sv.configFile, false);
            if (record == nullptr || record->modelId != sv.model.id) {
                if (error) {
                    *error = sv.configFile.string() + ": not a per-vehicle file of model " +
                             std::to_string(sv.model.id) + " (see kovra lint)";
                }
                return std::nullopt;
            }
        }
        Entry entry;
        entry.vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
        if (sv.driver != sim::ScenarioDriver::None) {
            entry.driver = host.CreatePed();
            entry.driverEnters = sv.driverEnters;
            if (entry.driverEnters == 0) host.SeatPed(entry.driver, entry.vehicle, true);
            if (sv.driver == sim::ScenarioDriver::Player) host.SetPlayer(entry.driver);
        }
        if (options.gltf) {
            if (GltfExport::EstimatedBytes(sv.model, scenario->frameCount) > kMaxGlbBytes) {
                if (error) *error = "the run is too long for a glTF file of " + sv.model.name + " (over 1 GiB)";
                return std::nullopt;
            }
            entry.gltf = std::make_unique<GltfExport>(sv.model, scenario->name + ": " + sv.model.name,
                                                      scenario->timeStep);
        }
        entries.push_back(std::move(entry));
    }

    RunReport report;
    report.scenario = scenario->name;
    report.frames = scenario->frameCount;
    report.configFiles = ConfigFilesRead(runtime.store(), game);
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Entry& entry = entries[i];
            if (entry.driver != nullptr && entry.driverEnters > 0 && frame == entry.driverEnters) {
                host.SeatPed(entry.driver, entry.vehicle, true);
            }
            scenario->Drive(static_cast<int>(i), frame, *entry.vehicle);
        }
        ApplyPlayerInput(*scenario, frame, host);
        host.ClearRecords();
        log.Clear();
        host.RunFrame();

        for (Entry& entry : entries) {
            CabinIk* rig = runtime.rigs().RigOf(entry.vehicle);
            if (entry.gltf) entry.gltf->Capture(host, entry.vehicle, entry.driver, rig);
            entry.motion.Capture(host, entry.vehicle, entry.driver, rig, frame, FullWeightSolves(log, entry.driver));
            if (rig == nullptr) continue;
            for (const auto& handle : rig->handles) {
                if (IsHandleKindCode(handle->type)) entry.kinds[static_cast<std::size_t>(handle->type)].built = true;
            }
            std::array<bool, kHandleKindCount> engaged{};
            std::array<bool, kHandleKindCount> outOfReach{};
            for (const auto& [key, solve] : log.last()) {
                if (key.first != entry.driver || !IsHandleKindCode(solve.tag) || !IsLimbEnd(solve.endNode) ||
                    solve.weight < kFullWeight) {
                    continue;
                }
                const auto kind = static_cast<std::size_t>(solve.tag);
                engaged[kind] = true;
                if (!solve.reached) {
                    outOfReach[kind] = true;
                    continue;
                }
                Vector3 posed;
                if (!BonePosition(host, entry.driver, NodeToBoneId(solve.endNode), posed)) continue;
                HandleReport& r = entry.kinds[kind].report;
                r.maxReachError = std::max(r.maxReachError, Distance(posed, solve.target));
            }
            for (std::size_t k = 0; k < kHandleKindCount; ++k) {
                entry.kinds[k].report.framesEngaged += engaged[k] ? 1 : 0;
                entry.kinds[k].report.framesOutOfReach += outOfReach[k] ? 1 : 0;
            }
            TallyControls(*rig, entry.lastStick, entry.lastActed, entry.clutchDown, entry.counts);
            TallyBike(*rig, entry.shiftPending, entry.counts);
        }

        if (options.pictures &&
            std::binary_search(scenario->pictureFrames.begin(), scenario->pictureFrames.end(), frame)) {
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const std::string model = host.ModelName(host.VehicleModelId(entries[i].vehicle));
                const fs::path path = options.outDir / (SafeName(scenario->name) + "-" + std::to_string(i) +
                                                        "-" + SafeName(model) + "-frame-" +
                                                        std::to_string(frame) + ".svg");
                PictureSnapshot snapshot = CaptureSnapshot(host, entries[i].vehicle, entries[i].driver,
                                                           scenario->name + ": " + model);
                snapshot.subtitle = "frame " + std::to_string(frame);
                if (!WriteSvg(snapshot, path, error)) return std::nullopt;
                report.pictures.push_back(path);
            }
            const ScreenSnapshot screen =
                CaptureScreen(host, scenario->name + ": screen at frame " + std::to_string(frame));
            if (screen.HasDrawing()) {
                const fs::path path = options.outDir / (SafeName(scenario->name) + "-screen-frame-" +
                                                        std::to_string(frame) + ".svg");
                if (!WriteScreenSvg(screen, path, error)) return std::nullopt;
                report.pictures.push_back(path);
            }
        }
        if (options.progress) options.progress(frame + 1, scenario->frameCount);
    }

    for (Entry& entry : entries) {
        VehicleReport vr = entry.counts;
        vr.motion = entry.motion.Report();
        vr.modelId = host.VehicleModelId(entry.vehicle);
        vr.model = host.ModelName(vr.modelId);
        for (std::size_t k = 0; k < kHandleKindCount; ++k) {
            if (!entry.kinds[k].built) continue;
            HandleReport r = entry.kinds[k].report;
            r.kind = KindName(static_cast<int>(k));
            vr.handles.push_back(r);
        }
        if (const CabinIk* rig = runtime.rigs().RigOf(entry.vehicle); rig && rig->steerIk) {
            vr.wheelAngle = rig->steerIk->wheelAngle;
            vr.roadWheelAngle = host.ReadVehicleState(entry.vehicle).steerAngle * kRadToDeg;
        }
        report.vehicles.push_back(vr);
    }

    report.filesWritten = FilesWritten(gameBefore, ReadFolderState(game));
    // One file per vehicle, named after its model; vehicles that share a
    // model add their index in the scenario.
    std::map<std::string, int> vehiclesOfModel;
    for (const VehicleReport& v : report.vehicles) ++vehiclesOfModel[v.model];
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].gltf) continue;
        const std::string& model = report.vehicles[i].model;
        const fs::path path =
            options.outDir /
            (SafeName(model) + (vehiclesOfModel[model] > 1 ? "-" + std::to_string(i) : "") + ".glb");
        if (!entries[i].gltf->Save(path, error)) return std::nullopt;
        report.gltfFiles.push_back(path);
    }

    const fs::path reportPath = options.outDir / "report.json";
    if (!replaceFileContents(reportPath, ReportJson(report))) {
        if (error) *error = "cannot write " + reportPath.string();
        return std::nullopt;
    }
    return report;
}

namespace {

// A reach figure as the report has always given it, to 6 significant digits;
// one that is not a number is written as null.
nlohmann::ordered_json ReportNumber(float value) {
    if (!IsFinite(value)) return nullptr;
    double rounded = 0.0;
    const std::string text = formatNumber(value);
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

}  // namespace

bool EveryLimbReached(const RunReport& report, float tolerance) {
    for (const VehicleReport& v : report.vehicles) {
        for (const HandleReport& h : v.handles) {
            if (!(h.maxReachError <= tolerance)) return false;
        }
    }
    return true;
}

std::string ReportJson(const RunReport& report) {
    using Json = nlohmann::ordered_json;
    Json vehicles = Json::array();
    for (const VehicleReport& vr : report.vehicles) {
        Json seat = Json::array();
        for (const float v : vr.seatOffsetMax) seat.push_back(ReportNumber(v));
        Json handles = Json::object();
        for (const HandleReport& r : vr.handles) {
            handles[r.kind] = {{"framesEngaged", r.framesEngaged},
                               {"framesOutOfReach", r.framesOutOfReach},
                               {"maxReachError", ReportNumber(r.maxReachError)}};
        }
        Json turns = Json::object();
        for (const GroupTurn& t : vr.motion.turns) {
            turns[t.group] = {{"degrees", ReportNumber(t.maxTurn)}, {"frame", t.frame}, {"node", t.node}};
        }
        Json slides = Json::object();
        for (const LimbSlide& s : vr.motion.slides) {
            slides[s.limb] = {{"metres", ReportNumber(s.maxSlide)}, {"frame", s.frame}, {"handle", s.kind}};
        }
        Json spikes = Json::array();
        for (const TurnSpike& s : vr.motion.spikes) {
            spikes.push_back({{"group", s.group}, {"node", s.node}, {"frame", s.frame},
                              {"degrees", ReportNumber(s.turn)}});
        }
        vehicles.push_back({{"model", vr.model},
                            {"modelId", vr.modelId},
                            {"frames", report.frames},
                            {"stickPositions", vr.stickPositions},
                            {"actedGears", vr.actedGears},
                            {"clutchStrokes", vr.clutchStrokes},
                            {"shiftStrokes", vr.shiftStrokes},
                            {"seatOffsetMax", seat},
                            {"handles", handles},
                            {"maxTurnPerFrame", turns},
                            {"maxSlide", slides},
                            {"turnSpikes", spikes}});
    }
    const Json json = {{"scenario", report.scenario},
                       {"frames", report.frames},
                       {"configFiles", report.configFiles},
                       {"filesWritten", report.filesWritten},
                       {"vehicles", vehicles}};
    // Text that is not UTF-8 (a scenario's name) is replaced, not refused.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace kovra::cli
