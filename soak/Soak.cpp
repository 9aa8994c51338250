// kovra_soak: a long run of the simulated game with the plugin hooked in, as
// a long session would go. Vehicles of the built-in models are created and
// destroyed, drivers seated in them, rigs reset and rebuilt, and the inputs
// keep moving. Prints the resident memory at the start, the middle and the
// end and the time per frame; exit status 1 when a pose went bad or memory
// kept growing in the second half, 2 on a usage error.
//
//   kovra_soak [--frames N] [--seed S]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "PoseCheck.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace {

using kovra::sim::SimHost;

constexpr long kDefaultFrames = 1000000;
constexpr int kVehicles = 6;
constexpr long kPoseCheckEvery = 10;  // frames
// Growth of the resident set over the second half that counts as a leak.
constexpr long kAllowedGrowthKiB = 4096;

struct Model {
    const char* scene;
    int id;
};
constexpr Model kModels[] = {{"sedan.vehicle", 400}, {"motorbike.vehicle", 461}, {"bicycle.vehicle", 481}};

long ResidentKiB() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    long pages = 0, resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

struct Seat {
    CVehicle* vehicle = nullptr;
    CPed* driver = nullptr;
};

class Soak {
public:
    explicit Soak(unsigned seed) : random_(seed) {
        folder_ = std::filesystem::temp_directory_path() / ("kovra-soak-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_ / "modloader");
        // An empty game and plugin folder: no file of this machine is read.
        host_.SetGameDirectory(folder_.string());
        host_.SetPluginDirectory(folder_.string());
        for (const Model& m : kModels) host_.AddVehicleModel(kovra::sim::BuiltInVehicle(m.scene, m.id));
        host_.StartGame();
        runtime_.settings().Allow_NPCs = true;  // every driver is posed, not only the player
        for (Seat& seat : seats_) Replace(seat);
        host_.SetPlayer(seats_[0].driver);
    }
    ~Soak() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Runs the frames; false at the first bad pose.
    bool Run(long frames) {
        const long middle = frames / 2;
        const long progressEvery = frames / 20 > 0 ? frames / 20 : 1;
        residentStart_ = ResidentKiB();
        for (long frame = 0; frame < frames; ++frame) {
            if (frame == middle) residentMiddle_ = ResidentKiB();
            Churn(frame);
            Drive(frame);
            const auto start = std::chrono::steady_clock::now();
            host_.RunFrame();
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            // What the simulated game records for tests is no memory of the plugin's.
            host_.ClearRecords();
            frameSeconds_ += seconds;
            if (seconds > slowestFrame_) slowestFrame_ = seconds;
            if (frame % kPoseCheckEvery == 0 && !PosesAreSound(frame)) return false;
            if (frame % progressEvery == 0) {
                std::fprintf(stderr, "\rsoak: %3ld%%", frame * 100 / frames);
            }
        }
        std::fprintf(stderr, "\rsoak: 100%%\n");
        residentEnd_ = ResidentKiB();
        frames_ = frames;
        return true;
    }

    bool Report() const {
        const long growth = residentEnd_ - residentMiddle_;
        std::printf("frames: %ld with %d vehicles at a time\n", frames_, kVehicles);
        std::printf("vehicles created: %ld, destroyed: %ld, rigs reset: %ld\n", created_, destroyed_, resets_);
        std::printf("resident memory: start %ld KiB, middle %ld KiB, end %ld KiB\n", residentStart_,
                    residentMiddle_, residentEnd_);
        std::printf("time per frame: mean %.2f us, slowest %.1f us\n",
                    frames_ > 0 ? frameSeconds_ / static_cast<double>(frames_) * 1e6 : 0.0,
                    slowestFrame_ * 1e6);
        if (growth > kAllowedGrowthKiB) {
            std::printf("memory grew by %ld KiB over the second half\n", growth);
            return false;
        }
        return true;
    }

private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    // A new vehicle of a random model with a new driver in the seat.
    void Replace(Seat& seat) {
        const bool player = seat.driver != nullptr && host_.IsPlayerPed(seat.driver);
        if (seat.vehicle != nullptr) {
            host_.DestroyPed(seat.driver);
            host_.DestroyVehicle(seat.vehicle);
            ++destroyed_;
        }
        const Model& model = kModels[Below(static_cast<int>(std::size(kModels)))];
        kovra::FrameMatrix at = kovra::FrameMatrix::Identity();
        at.pos = {static_cast<float>(Below(200)) - 100.0f, static_cast<float>(Below(200)) - 100.0f, 0.0f};
        seat.vehicle = host_.CreateVehicle(model.id, at);
        seat.driver = host_.CreatePed();
        host_.SeatPed(seat.driver, seat.vehicle, true);
        if (player) host_.SetPlayer(seat.driver);
        ++created_;
    }

    void Churn(long frame) {
        if (frame % 97 == 0) Replace(seats_[static_cast<std::size_t>(Below(kVehicles))]);
        if (frame % 389 == 0) {
            if (kovra::CabinIk* rig = runtime_.rigs().RigOf(seats_[static_cast<std::size_t>(Below(kVehicles))].vehicle)) {
                rig->Reset();
                ++resets_;
            }
        }
    }

    // Inputs that sweep through everything a drive does, out of step between
    // the vehicles.
    void Drive(long frame) {
        for (int i = 0; i < kVehicles; ++i) {
            kovra::VehicleState& s = seats_[static_cast<std::size_t>(i)].vehicle->state;
            const float t = static_cast<float>(frame + i * 131) * 0.01f;
            s.steerAngle = 0.6f * std::sin(t);
            s.gasPedal = 0.5f + 0.5f * std::sin(t * 0.7f);
            s.brakePedal = s.gasPedal < 0.2f ? 0.8f : 0.0f;
            s.handBrake = (frame / 600 + i) % 7 == 0;
            s.gear = static_cast<int>((frame / 150 + i) % 6);
            s.speed = 0.3f + 0.3f * std::sin(t * 0.3f);
            s.lean = 0.8f * std::sin(t * 0.5f);
            s.wheelsOnGround = (frame / 400 + i) % 11 == 0 ? 1 : 2;
            s.barAngle = 0.4f * std::sin(t * 1.3f);
        }
    }

    bool PosesAreSound(long frame) {
        for (const Seat& seat : seats_) {
            const std::string fault = kovra::test::PoseFault(host_, seat.vehicle, seat.driver);
            if (!fault.empty()) {
                std::printf("frame %ld: %s\n", frame, fault.c_str());
                return false;
            }
        }
        return true;
    }

    SimHost host_;
    kovra::Runtime runtime_{host_};
    std::mt19937 random_;
    std::filesystem::path folder_;
    Seat seats_[kVehicles];
    long created_ = 0, destroyed_ = 0, resets_ = 0, frames_ = 0;
    long residentStart_ = 0, residentMiddle_ = 0, residentEnd_ = 0;
    double frameSeconds_ = 0.0, slowestFrame_ = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    long frames = kDefaultFrames;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--frames" || arg == "--seed") && i + 1 < argc) {
            const long value = std::strtol(argv[++i], nullptr, 10);
            if (value <= 0) {
                std::fprintf(stderr, "kovra_soak: %s needs a positive number\n", arg.c_str());
                return 2;
            }
            if (arg == "--frames") {
                frames = value;
            } else {
                seed = static_cast<unsigned>(value);
            }
        } else {
            std::fprintf(stderr, "usage: kovra_soak [--frames N] [--seed S]\n");
            return 2;
        }
    }
    Soak soak(seed);
    const bool sound = soak.Run(frames);
    const bool flat = soak.Report();
    return sound && flat ? 0 : 1;
}
