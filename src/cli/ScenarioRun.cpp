#include "cli/ScenarioRun.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <map>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/FolderState.h"
#include "cli/GltfExport.h"
#include "cli/MotionCheck.h"
#include "cli/RunPage.h"
#include "cli/RunTimeline.h"
#include "cli/ScenarioGame.h"
#include "cli/ScreenPicture.h"
#include "cli/SvgPicture.h"
#include "kovra/config/FileReplace.h"
#include "kovra/config/NumberFormat.h"
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

// The frame's controls, bones and debug lines, for the run's page.
void AddToTimeline(sim::SimHost& host, CVehicle* vehicle, CPed* driver, const CabinIk* rig,
                   RunTimeline::Frame& sample, RunTimeline& timeline) {
    const VehicleState state = host.ReadVehicleState(vehicle);
    sample.steerAngle = state.steerAngle * kRadToDeg;
    sample.gasPedal = state.gasPedal;
    sample.brakePedal = state.brakePedal;
    sample.actedGear = rig ? rig->audioGear : 0;
    sample.vehicle = vehicle->matrix;
    sample.hasDriver = driver != nullptr && host.Skeleton(driver) != nullptr;
    for (NodeIndex node = 1; sample.hasDriver && node < kNodeCount; ++node) {
        const FrameMatrix* bone = BoneWorldMatrix(host, driver, NodeToBoneId(node));
        if (bone == nullptr) sample.hasDriver = false;
        else sample.bones[static_cast<std::size_t>(node)] = *bone;
    }
    if (sample.hasDriver) sample.bones[0] = driver->matrix;
    for (std::size_t i = 0; i + 1 < host.drawnLines.size(); i += 2) {
        sample.linePoints.push_back(host.drawnLines[i].pos);
        sample.linePoints.push_back(host.drawnLines[i + 1].pos);
        sample.lineColours.push_back(host.drawnLines[i].colour);
    }
    timeline.Add(sample);
}

}  // namespace

const char* HandleKindName(int kind) {
    static constexpr std::array<const char*, kHandleKindCount> kNames = {
        "Gear", "Steer", "HandBrake", "Bar", "GasPedal", "ClutchPedal", "Peg", "BikeShift", "SeatJiggle"};
    return IsHandleKindCode(kind) ? kNames[static_cast<std::size_t>(kind)] : "Unknown";
}

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

    const std::optional<fs::path> game = ScenarioGame::PrepareGameFolder(options.gameDir, options.outDir, error);
    if (!game) return std::nullopt;
    const FolderState gameBefore = ReadFolderState(*game);
    std::unique_ptr<ScenarioGame> play = ScenarioGame::Create(std::move(*scenario), *game, error);
    if (!play) return std::nullopt;
    sim::SimHost& host = play->host();
    Runtime& runtime = play->runtime();
    const sim::Scenario& script = play->scenario();
    SolveLog log;
    runtime.solver().setSolveListener(&log);
    runtime.debug().enabled = options.pictures || options.html;  // both show the solved chains

    struct Entry {
        CVehicle* vehicle = nullptr;
        CPed* driver = nullptr;
        std::array<KindTally, kHandleKindCount> kinds;
        int lastStick = 0;
        int lastActed = 0;
        bool clutchDown = false;
        bool shiftPending = false;
        MotionCheck motion;
        VehicleReport counts;
        std::unique_ptr<GltfExport> gltf;
        std::unique_ptr<RunTimeline> timeline;
    };
    const bool gltf = options.gltf || options.html;
    std::vector<Entry> entries;
    std::uint64_t gltfBytes = 0;  // of every vehicle's file together
    for (const ScenarioGame::Vehicle& v : play->vehicles()) {
        const sim::ScenarioVehicle& sv = *v.scene;
        Entry entry;
        entry.vehicle = v.vehicle;
        entry.driver = v.driver;
        if (options.html) entry.timeline = std::make_unique<RunTimeline>();
        if (gltf) {
            // One cap for the run: the files are kept in memory until the end.
            gltfBytes += GltfExport::EstimatedBytes(sv.model, script.frameCount);
            if (gltfBytes > kMaxGlbBytes) {
                if (error) {
                    *error = "the run is too long for its glTF files (over 1 GiB in all, reached at " +
                             sv.model.name + ")";
                }
                return std::nullopt;
            }
            entry.gltf = std::make_unique<GltfExport>(sv.model, script.name + ": " + sv.model.name,
                                                      script.timeStep);
        }
        entries.push_back(std::move(entry));
    }

    RunReport report;
    report.scenario = script.name;
    report.frames = script.frameCount;
    report.configFiles = ConfigFilesRead(runtime.store(), *game);
    for (int frame = 0; frame < script.frameCount; ++frame) {
        log.Clear();
        play->PlayFrame(frame);

        for (Entry& entry : entries) {
            CabinIk* rig = runtime.rigs().RigOf(entry.vehicle);
            if (entry.gltf) entry.gltf->Capture(host, entry.vehicle, entry.driver, rig);
            RunTimeline::Frame sample;
            sample.reachError.fill(std::numeric_limits<float>::quiet_NaN());
            entry.motion.Capture(host, entry.vehicle, entry.driver, rig, frame, FullWeightSolves(log, entry.driver));
            std::array<bool, kHandleKindCount> engaged{};
            std::array<bool, kHandleKindCount> outOfReach{};
            for (const auto& [key, solve] : log.last()) {
                if (key.first != entry.driver || !IsHandleKindCode(solve.tag) || !IsLimbEnd(solve.endNode)) continue;
                const auto kind = static_cast<std::size_t>(solve.tag);
                sample.weight[kind] = std::max(sample.weight[kind], solve.weight);
                if (solve.weight < kFullWeight) continue;
                engaged[kind] = true;
                if (!solve.reached) {
                    outOfReach[kind] = true;
                    continue;
                }
                Vector3 posed;
                if (!BonePosition(host, entry.driver, NodeToBoneId(solve.endNode), posed)) continue;
                const float miss = Distance(posed, solve.target);
                HandleReport& r = entry.kinds[kind].report;
                r.maxReachError = std::max(r.maxReachError, miss);
                float& worst = sample.reachError[kind];
                if (!(worst >= miss)) worst = miss;  // NaN: the first this frame
            }
            if (entry.timeline) AddToTimeline(host, entry.vehicle, entry.driver, rig, sample, *entry.timeline);
            if (rig == nullptr) continue;
            for (const auto& handle : rig->handles) {
                if (IsHandleKindCode(handle->type)) entry.kinds[static_cast<std::size_t>(handle->type)].built = true;
            }
            for (std::size_t k = 0; k < kHandleKindCount; ++k) {
                entry.kinds[k].report.framesEngaged += engaged[k] ? 1 : 0;
                entry.kinds[k].report.framesOutOfReach += outOfReach[k] ? 1 : 0;
            }
            TallyControls(*rig, entry.lastStick, entry.lastActed, entry.clutchDown, entry.counts);
            TallyBike(*rig, entry.shiftPending, entry.counts);
        }

        if (options.pictures &&
            std::binary_search(script.pictureFrames.begin(), script.pictureFrames.end(), frame)) {
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const std::string model = host.ModelName(host.VehicleModelId(entries[i].vehicle));
                const fs::path path = options.outDir / (SafeName(script.name) + "-" + std::to_string(i) +
                                                        "-" + SafeName(model) + "-frame-" +
                                                        std::to_string(frame) + ".svg");
                PictureSnapshot snapshot = CaptureSnapshot(host, entries[i].vehicle, entries[i].driver,
                                                           script.name + ": " + model);
                snapshot.subtitle = "frame " + std::to_string(frame);
                if (!WriteSvg(snapshot, path, error)) return std::nullopt;
                report.pictures.push_back(path);
            }
            const ScreenSnapshot screen =
                CaptureScreen(host, script.name + ": screen at frame " + std::to_string(frame));
            if (screen.HasDrawing()) {
                const fs::path path = options.outDir / (SafeName(script.name) + "-screen-frame-" +
                                                        std::to_string(frame) + ".svg");
                if (!WriteScreenSvg(screen, path, error)) return std::nullopt;
                report.pictures.push_back(path);
            }
        }
        if (options.progress) options.progress(frame + 1, script.frameCount);
    }

    for (Entry& entry : entries) {
        VehicleReport vr = entry.counts;
        vr.motion = entry.motion.Report();
        vr.modelId = host.VehicleModelId(entry.vehicle);
        vr.model = host.ModelName(vr.modelId);
        for (std::size_t k = 0; k < kHandleKindCount; ++k) {
            if (!entry.kinds[k].built) continue;
            HandleReport r = entry.kinds[k].report;
            r.kind = HandleKindName(static_cast<int>(k));
            vr.handles.push_back(r);
        }
        if (const CabinIk* rig = runtime.rigs().RigOf(entry.vehicle); rig && rig->steerIk) {
            vr.wheelAngle = rig->steerIk->wheelAngle;
            vr.roadWheelAngle = host.ReadVehicleState(entry.vehicle).steerAngle * kRadToDeg;
        }
        report.vehicles.push_back(vr);
    }

    report.filesWritten = FilesWritten(gameBefore, ReadFolderState(*game));
    // One file per vehicle, named after its model; vehicles that share a
    // model add their index in the scenario.
    std::optional<RunPage> page;
    if (options.html) page.emplace(script.timeStep, script.pictureFrames);
    std::map<std::string, int> vehiclesOfModel;
    for (const VehicleReport& v : report.vehicles) ++vehiclesOfModel[v.model];
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].gltf) continue;
        const std::string& model = report.vehicles[i].model;
        const fs::path path =
            options.outDir /
            (SafeName(model) + (vehiclesOfModel[model] > 1 ? "-" + std::to_string(i) : "") + ".glb");
        const std::vector<unsigned char> glb = entries[i].gltf->Glb(error);
        if (glb.empty() || !SaveGlb(glb, path, error)) return std::nullopt;
        report.gltfFiles.push_back(path);
        if (page) {
            std::vector<int> kinds;
            for (std::size_t k = 0; k < kHandleKindCount; ++k) {
                if (entries[i].kinds[k].built) kinds.push_back(static_cast<int>(k));
            }
            entries[i].timeline->SetHandleKinds(std::move(kinds));
            page->AddVehicle(model, path.filename().string(), glb, entries[i].gltf->ControlFrameNames(),
                             *entries[i].timeline);
        }
    }

    const fs::path reportPath = options.outDir / "report.json";
    if (!replaceFileContents(reportPath, ReportJson(report))) {
        if (error) *error = "cannot write " + reportPath.string();
        return std::nullopt;
    }
    if (page) {
        report.page = options.outDir / "index.html";
        const fs::path pageTemplate = options.pageTemplate.empty() ? RunPageTemplate() : options.pageTemplate;
        if (!page->Save(report.page, pageTemplate, ReportJson(report), error)) return std::nullopt;
    }
    return report;
}

namespace {

// A reach figure as the report has always given it; one that is not a
// number is written as null.
nlohmann::ordered_json ReportNumber(float value) {
    if (!IsFinite(value)) return nullptr;
    return ReportRounded(value);
}

}  // namespace

double ReportRounded(float value) {
    double rounded = 0.0;
    const std::string text = formatNumber(value);
    if (std::from_chars(text.data(), text.data() + text.size(), rounded).ec != std::errc()) {
        return static_cast<double>(value);
    }
    return rounded;
}

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
