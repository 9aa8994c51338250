// The poses the built-in scenarios produce, pinned: every node's local
// rotation of each driver and every frame matrix of each vehicle, at a set of
// frames, compared with the poses recorded in tests/data/poses (format in
// docs/performance.md). Work that is meant to change nothing the driver does
// (speed-ups above all) must keep them within kMaxAngle.
//
// KOVRA_RECORD_POSES=1 records the files afresh instead of comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kovra/config/VehicleConfigFile.h"
#include "kovra/host/Runtime.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

namespace fs = std::filesystem;

constexpr double kMaxAngle = 1e-5;      // radians, between a recorded and a posed bone
constexpr double kMaxMatrixStep = 1e-5;  // per element of a frame matrix
constexpr int kEveryNthFrame = 100;      // besides the scenario's picture frames
constexpr const char* kHeader = "kovra-poses 1";

// What one frame of a run leaves: per driven vehicle, the driver's 32 local
// rotations and the vehicle's frames, by name, as 12 numbers (the rotation
// rows right, up, at, then pos).
struct VehiclePose {
    std::vector<std::array<double, 4>> bones;
    std::vector<std::pair<std::string, std::array<double, 12>>> frames;
};
using FramePoses = std::map<int, std::vector<VehiclePose>>;  // by frame

bool Recording() {
    const char* value = std::getenv("KOVRA_RECORD_POSES");
    return value != nullptr && std::string(value) == "1";
}

fs::path GoldenFile(const std::string& scenario) {
    std::string name = scenario;
    for (char& c : name) {
        if (c == '/') c = '-';
    }
    return fs::path(KOVRA_TEST_DATA_DIR) / "poses" / (fs::path(name).stem().string() + ".poses");
}

VehiclePose Capture(sim::SimHost& host, CVehicle* vehicle, CPed* driver) {
    VehiclePose pose;
    for (int node = 0; node < kNodeCount; ++node) {
        const Quaternion& q = host.Skeleton(driver)->Frame(node)->rotation;
        pose.bones.push_back({q.x, q.y, q.z, q.w});
    }
    for (int i = 0; i < vehicle->frames.FrameCount(); ++i) {
        const HostFrame& f = *vehicle->frames.FrameAt(i);
        const FrameMatrix& m = f.modelling;
        pose.frames.push_back({f.name, {m.right.x, m.right.y, m.right.z, m.up.x, m.up.y, m.up.z,
                                        m.at.x, m.at.y, m.at.z, m.pos.x, m.pos.y, m.pos.z}});
    }
    return pose;
}

// Plays a scenario as `kovra run` does, in a fresh game folder, and captures
// the poses at its picture frames and every kEveryNthFrame-th frame.
FramePoses Play(const std::string& scenarioName, const fs::path& game) {
    std::string error;
    const auto scenario = sim::Scenario::Load(sim::BuiltInScenesDirectory() / scenarioName, &error);
    EXPECT_TRUE(scenario) << error;
    if (!scenario) return {};
    fs::remove_all(game);
    fs::create_directories(game / "modloader");

    sim::SimHost host;
    host.SetGameDirectory(game.string());
    host.SetPluginDirectory(game.string());
    Runtime runtime(host);
    host.SetTimeStep(scenario->timeStep);
    host.StartGame();
    std::vector<std::pair<CVehicle*, CPed*>> driven;
    std::vector<CVehicle*> vehicles;
    for (const sim::ScenarioVehicle& sv : scenario->vehicles) {
        if (!host.HasVehicleModel(sv.model.id)) {
            EXPECT_TRUE(host.AddVehicleModel(sv.model));
        }
        if (!sv.configFile.empty()) {
            EXPECT_NE(ReadVehicleConfig(runtime, sv.configFile, false), nullptr);
        }
        CVehicle* vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
        vehicles.push_back(vehicle);
        if (sv.driver == sim::ScenarioDriver::None) continue;
        CPed* ped = host.CreatePed();
        host.SeatPed(ped, vehicle, true);
        if (sv.driver == sim::ScenarioDriver::Player) host.SetPlayer(ped);
        driven.emplace_back(vehicle, ped);
    }

    FramePoses poses;
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        for (std::size_t i = 0; i < vehicles.size(); ++i) {
            scenario->Drive(static_cast<int>(i), frame, *vehicles[i]);
        }
        if (const std::string typed = scenario->TypedAt(frame); !typed.empty()) host.TypeText(typed);
        host.SetKeyboard(scenario->KeyboardAt(frame));
        float dx = 0.0f, dy = 0.0f;
        scenario->MouseAt(frame, dx, dy);
        host.SetMouseMovement(dx, dy);
        host.ClearRecords();
        host.RunFrame();

        const auto& pictures = scenario->pictureFrames;
        const bool picture = std::find(pictures.begin(), pictures.end(), frame) != pictures.end();
        if (!picture && (frame == 0 || frame % kEveryNthFrame != 0)) continue;
        for (const auto& [vehicle, ped] : driven) poses[frame].push_back(Capture(host, vehicle, ped));
    }
    fs::remove_all(game);
    return poses;
}

void AppendNumbers(std::string& out, const double* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, values[i], std::chars_format::fixed, 6);
        // Six decimals without the zeros that end them: "1", "-0.5", "0.070889".
        std::string number(text, result.ptr);
        number.erase(number.find_last_not_of('0') + 1);
        if (number.back() == '.') number.pop_back();
        if (number == "-0") number = "0";
        out += ' ';
        out += number;
    }
    out += '\n';
}

std::string Format(const std::string& scenario, const FramePoses& poses) {
    std::string out = std::string(kHeader) + "\nscenario " + scenario + "\n";
    for (const auto& [frame, vehicles] : poses) {
        for (std::size_t v = 0; v < vehicles.size(); ++v) {
            out += "frame " + std::to_string(frame) + " vehicle " + std::to_string(v) + "\n";
            for (std::size_t node = 0; node < vehicles[v].bones.size(); ++node) {
                out += "bone " + std::to_string(node);
                AppendNumbers(out, vehicles[v].bones[node].data(), 4);
            }
            for (const auto& [name, m] : vehicles[v].frames) {
                out += "matrix " + name;
                AppendNumbers(out, m.data(), m.size());
            }
        }
    }
    return out;
}

template <std::size_t N>
bool ReadNumbers(std::istringstream& line, std::array<double, N>& out) {
    for (double& value : out) {
        std::string word;
        if (!(line >> word)) return false;
        const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
        if (result.ec != std::errc{} || result.ptr != word.data() + word.size()) return false;
    }
    return true;
}

// The recorded poses; empty with *error set when the file is missing or bad.
FramePoses Parse(const fs::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (!in || !std::getline(in, text) || text != kHeader) {
        *error = path.string() + ": missing or not a pose file; record it with KOVRA_RECORD_POSES=1";
        return {};
    }
    FramePoses poses;
    VehiclePose* current = nullptr;
    int lineNumber = 1;
    while (std::getline(in, text)) {
        ++lineNumber;
        std::istringstream line(text);
        std::string keyword;
        line >> keyword;
        bool good = true;
        if (keyword == "scenario") {
            continue;
        } else if (keyword == "frame") {
            int frame = 0;
            std::string word;
            good = static_cast<bool>(line >> frame >> word) && word == "vehicle";
            current = &poses[frame].emplace_back();
        } else if (keyword == "bone" && current != nullptr) {
            int node = 0;
            std::array<double, 4> q{};
            good = (line >> node) && node == static_cast<int>(current->bones.size()) && ReadNumbers(line, q);
            current->bones.push_back(q);
        } else if (keyword == "matrix" && current != nullptr) {
            std::string name;
            std::array<double, 12> m{};
            good = (line >> name) && ReadNumbers(line, m);
            current->frames.emplace_back(name, m);
        } else {
            good = false;
        }
        if (!good) {
            *error = path.string() + ":" + std::to_string(lineNumber) + ": cannot read \"" + text + "\"";
            return {};
        }
    }
    return poses;
}

// The angle between two rotations, whatever their lengths and signs.
double AngleBetween(const std::array<double, 4>& a, const std::array<double, 4>& b) {
    double dot = 0.0, la = 0.0, lb = 0.0;
    for (int i = 0; i < 4; ++i) {
        dot += a[i] * b[i];
        la += a[i] * a[i];
        lb += b[i] * b[i];
    }
    const double c = std::fabs(dot) / std::sqrt(la * lb);
    return 2.0 * std::acos(std::min(c, 1.0));
}

// One failure per frame and vehicle at most, naming the worst bone and matrix.
void ExpectSamePoses(const FramePoses& recorded, const FramePoses& posed) {
    ASSERT_EQ(recorded.size(), posed.size()) << "the frames recorded and played differ";
    for (const auto& [frame, vehicles] : recorded) {
        const auto found = posed.find(frame);
        ASSERT_NE(found, posed.end()) << "frame " << frame << " was not played";
        ASSERT_EQ(vehicles.size(), found->second.size()) << "frame " << frame;
        for (std::size_t v = 0; v < vehicles.size(); ++v) {
            const VehiclePose& want = vehicles[v];
            const VehiclePose& got = found->second[v];
            ASSERT_EQ(want.bones.size(), got.bones.size());
            ASSERT_EQ(want.frames.size(), got.frames.size());
            double worstAngle = 0.0;
            std::size_t worstNode = 0;
            for (std::size_t node = 0; node < want.bones.size(); ++node) {
                const double angle = AngleBetween(want.bones[node], got.bones[node]);
                if (!(angle <= worstAngle)) {
                    worstAngle = angle;
                    worstNode = node;
                }
            }
            EXPECT_LE(worstAngle, kMaxAngle) << "frame " << frame << " vehicle " << v << " node " << worstNode;
            double worstStep = 0.0;
            std::string worstFrame;
            for (std::size_t i = 0; i < want.frames.size(); ++i) {
                EXPECT_EQ(want.frames[i].first, got.frames[i].first);
                for (std::size_t k = 0; k < 12; ++k) {
                    const double step = std::fabs(want.frames[i].second[k] - got.frames[i].second[k]);
                    if (!(step <= worstStep)) {
                        worstStep = step;
                        worstFrame = want.frames[i].first + " element " + std::to_string(k);
                    }
                }
            }
            EXPECT_LE(worstStep, kMaxMatrixStep) << "frame " << frame << " vehicle " << v << " matrix " << worstFrame;
        }
    }
}

class PoseGolden : public testing::TestWithParam<const char*> {};

TEST_P(PoseGolden, TheScenarioPosesAsRecorded) {
#ifdef _WIN32
    // The 32-bit build rounds differently (x87) and drifts by 1e-4 rad over a
    // run; the Windows tests compare the module with the simulated game.
    GTEST_SKIP() << "poses are recorded from the native build";
#endif
    const std::string scenario = GetParam();
    const fs::path game = fs::temp_directory_path() / ("kovra-poses-" + GoldenFile(scenario).stem().string());
    const FramePoses posed = Play(scenario, game);
    ASSERT_FALSE(posed.empty());
    const fs::path file = GoldenFile(scenario);
    if (Recording()) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << Format(scenario, posed);
        GTEST_SKIP() << "recorded " << file.string();
    }
    std::string error;
    const FramePoses recorded = Parse(file, &error);
    ASSERT_TRUE(error.empty()) << error;
    ExpectSamePoses(recorded, posed);
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, PoseGolden,
                         testing::Values("default-car.scenario", "lock-to-lock.scenario", "menu.scenario",
                                         "motorbike.scenario", "bicycle.scenario", "patterns/auto.scenario",
                                         "patterns/bmw.scenario", "patterns/chev.scenario",
                                         "patterns/sequential.scenario", "patterns/vw.scenario"),
                         [](const testing::TestParamInfo<const char*>& param) {
                             std::string name = GoldenFile(param.param).stem().string();
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace kovra
