// What posing drivers costs: N drivers (1, 10, 100), each in a vehicle of its
// own, every one posed every frame (Allow_NPCs on), in sedans, on motorbikes
// or in both taken in turn. Each iteration plays one frame of the simulated
// game with the plugin and then the same frame of a second game without it,
// so the two are timed side by side; the benchmark's time is the frame with
// the plugin. The yardstick is a plain analytic two-bone solve (law of
// cosines and a pole direction) on the limb chains and targets of the same
// drivers. Counters, per driver and frame unless said otherwise:
//   pluginNsPerDriver   frame with the plugin minus frame without, per driver
//   twoBoneNs           one analytic two-bone solve
//   twoBoneRatio        pluginNsPerDriver / twoBoneNs
//   refreshesPerDriver  skeleton refreshes the plugin asks the game for
//   bonesRecomputedPerDriver  bones those refreshes recompute
//   boneReadsPerDriver  bone matrices the plugin reads from the game
//   allocsPerFrame      heap allocations in a whole frame with the plugin
// Each runs twice: with the simulated game's refresh recomputing only the
// bones below the ones written (BM_Drivers/<kind>/<N>), and with a game that
// tracks nothing and recomputes the whole skeleton on every refresh
// (BM_Drivers/whole/<kind>/<N>), where every refresh saved counts for more.
// Figures and how to run it: docs/performance.md.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "AllocationCounter.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/ik/LimbSolver.h"
#include "sim/SimHost.h"

namespace {

using kovra::Vector3;
using Clock = std::chrono::steady_clock;

enum class Kind { Car, Bike, Mixed };

constexpr int kCycleFrames = 240;   // the inputs repeat after this many frames
constexpr int kWarmUpFrames = 480;  // two input cycles: rigs built, springs and fades settled
constexpr float kSpacing = 8.0f;    // metres between two vehicles
constexpr float kTwoPi = 6.2831853f;
constexpr std::size_t kMaxTwoBoneSamples = 4096;

// How the simulated game refreshes a skeleton the plugin asks it to.
enum class Refresh { Subtree, Whole };

// The simulated game, counting the skeleton calls the plugin makes.
class CountingHost : public kovra::sim::SimHost {
public:
    explicit CountingHost(Refresh refresh) : refresh_(refresh) {}
    kovra::FrameMatrix* BoneMatrix(CPed* ped, int hierarchyIndex) override {
        ++boneReads;
        return SimHost::BoneMatrix(ped, hierarchyIndex);
    }
    void UpdateSkeleton(CPed* ped) override {
        ++refreshes;
        kovra::sim::SimSkeleton* skeleton = Skeleton(ped);
        if (refresh_ == Refresh::Whole && skeleton != nullptr) {
            skeleton->RefreshAll(ped->matrix);
        } else {
            SimHost::UpdateSkeleton(ped);
        }
        if (skeleton != nullptr) bonesRecomputed += skeleton->LastRefreshCount();
    }
    long long boneReads = 0;
    long long refreshes = 0;
    long long bonesRecomputed = 0;

private:
    Refresh refresh_;
};

bool IsBikeSlot(Kind kind, int index) {
    return kind == Kind::Bike || (kind == Kind::Mixed && index % 2 == 1);
}

// N drivers in a row of vehicles, played through the same scripted inputs.
class World {
public:
    World(Kind kind, int drivers, bool withPlugin, Refresh refresh) : host(refresh) {
        if (withPlugin) runtime_ = std::make_unique<kovra::Runtime>(host);
        host.AddVehicleModel(kovra::sim::MakeSedanModel());
        host.AddVehicleModel(kovra::sim::MakeMotorbikeModel());
        host.StartGame();
        if (runtime_) runtime_->settings().Allow_NPCs = true;
        for (int i = 0; i < drivers; ++i) {
            const bool bike = IsBikeSlot(kind, i);
            kovra::FrameMatrix at;
            at.pos = {kSpacing * static_cast<float>(i % 10), kSpacing * static_cast<float>(i / 10), 0.0f};
            CVehicle* vehicle = host.CreateVehicle(
                bike ? kovra::sim::MakeMotorbikeModel().id : kovra::sim::MakeSedanModel().id, at);
            CPed* ped = host.CreatePed();
            host.SeatPed(ped, vehicle, true);
            if (i == 0) host.SetPlayer(ped);
            vehicles.push_back({vehicle, ped, at.pos, bike});
        }
        for (int f = 0; f < kWarmUpFrames; ++f) Frame(f);
    }

    // The scripted inputs of frame f, then the game's frame. The vehicles
    // stay where they are, so a long run never drifts into large coordinates.
    void Frame(int f) {
        for (std::size_t i = 0; i < vehicles.size(); ++i) Drive(vehicles[i], (f + 17 * static_cast<int>(i)) % kCycleFrames);
        host.RunFrame();
    }

    kovra::Runtime* runtime() { return runtime_.get(); }

    struct Driven {
        CVehicle* vehicle;
        CPed* ped;
        Vector3 home;
        bool bike;
    };
    CountingHost host;
    std::vector<Driven> vehicles;

private:
    static void Drive(const Driven& d, int phase) {
        const float wave = std::sin(kTwoPi * static_cast<float>(phase) / kCycleFrames);
        kovra::VehicleState& s = d.vehicle->state;
        s.steerAngle = 0.35f * wave;
        s.barAngle = s.steerAngle;
        s.gasPedal = 0.6f;
        s.brakePedal = 0.0f;
        s.handBrake = false;
        s.gear = 1 + phase / (kCycleFrames / 4);  // up through 1..4, back to 1
        s.speed = 0.4f;
        s.lean = d.bike ? 0.3f * wave : 0.0f;
        s.wheelsOnGround = d.bike ? 2 : 4;
        kovra::FrameMatrix m;
        if (s.lean != 0.0f) kovra::RotateFrame(m, kovra::AxisY, s.lean * kovra::kRadToDeg, kovra::Combine::Replace);
        m.pos = d.home;
        s.moveSpeed = m.up * (0.4f + 0.05f * wave);
        d.vehicle->matrix = m;
    }

    std::unique_ptr<kovra::Runtime> runtime_;
};

// ---- the yardstick ------------------------------------------------------------

struct TwoBone {
    Vector3 start, mid, end;  // the animated joints
    Vector3 target;
    Vector3 pole;  // the side the middle joint bends to
};

// The rotations that turn the chain's start and middle joints (world space).
struct TwoBoneTurn {
    kovra::Quaternion start, mid;
};

float Dot3(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Len(const Vector3& v) { return std::sqrt(Dot3(v, v)); }
Vector3 Cross3(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The shortest turn from unit vector a to unit vector b.
kovra::Quaternion Arc(const Vector3& a, const Vector3& b) {
    const Vector3 c = Cross3(a, b);
    const float w = 1.0f + Dot3(a, b);
    if (!(w > 1e-6f)) return {};  // opposite: no single shortest turn
    const float s = 1.0f / std::sqrt(2.0f * w);  // |(c, w)|^2 = 2w for unit a, b
    return {c.x * s, c.y * s, c.z * s, w * s};
}

// Brings the chain's end to the target as animation libraries' two-bone
// jobs do: the end joint on the line to it (as far as the limb reaches), the
// middle joint placed by the law of cosines in the plane of that line and
// the pole, and the two joints' turns from their animated directions.
TwoBoneTurn SolveTwoBone(const TwoBone& in) {
    const Vector3 upperDir = in.mid - in.start;
    const Vector3 lowerDir = in.end - in.mid;
    const float upper = Len(upperDir);
    const float lower = Len(lowerDir);
    const Vector3 toTarget = in.target - in.start;
    const float distance = Len(toTarget);
    const Vector3 dir = distance > 1e-6f ? toTarget * (1.0f / distance) : Vector3{1.0f, 0.0f, 0.0f};
    const float d = std::clamp(distance, std::fabs(upper - lower) + 1e-6f, upper + lower);
    const float cosA = std::clamp((upper * upper + d * d - lower * lower) / (2.0f * upper * d), -1.0f, 1.0f);
    const float sinA = std::sqrt(1.0f - cosA * cosA);
    Vector3 side = in.pole - dir * Dot3(in.pole, dir);
    const float sideLength = Len(side);
    side = sideLength > 1e-6f ? side * (1.0f / sideLength) : Vector3{};
    // The new directions, unit length by construction.
    const Vector3 newUpper = dir * cosA + side * sinA;
    const Vector3 newLower = (dir * d - newUpper * upper) * (1.0f / lower);
    return {Arc(upperDir * (1.0f / upper), newUpper), Arc(lowerDir * (1.0f / lower), newLower)};
}

// The limb solves the plugin makes over one input cycle, as two-bone
// problems on the drivers' animated joints (from the world without plugin).
class SolveRecorder : public kovra::SolveListener {
public:
    void OnLimbSolved(const kovra::LimbSolve& solve) override { solves.push_back(solve); }
    std::vector<kovra::LimbSolve> solves;
};

std::vector<TwoBone> RecordTwoBones(World& with, World& without, int& frame) {
    std::map<CPed*, CPed*> twin;
    for (std::size_t i = 0; i < with.vehicles.size(); ++i) twin[with.vehicles[i].ped] = without.vehicles[i].ped;
    SolveRecorder recorder;
    with.runtime()->solver().setSolveListener(&recorder);
    std::vector<TwoBone> out;
    for (int n = 0; n < kCycleFrames && out.size() < kMaxTwoBoneSamples; ++n, ++frame) {
        recorder.solves.clear();
        with.Frame(frame);
        without.Frame(frame);
        for (const kovra::LimbSolve& s : recorder.solves) {
            kovra::sim::SimSkeleton* skeleton = without.host.Skeleton(twin[s.ped]);
            const int midNode = kovra::ParentNode(s.endNode);
            const Vector3 start = skeleton->Matrix(kovra::ParentNode(midNode))->pos;
            const Vector3 mid = skeleton->Matrix(midNode)->pos;
            const Vector3 end = skeleton->Matrix(s.endNode)->pos;
            out.push_back({start, mid, end, s.target, mid - (start + end) * 0.5f});
        }
    }
    with.runtime()->solver().setSolveListener(nullptr);
    return out;
}

// Nanoseconds per solve, the least of several passes.
double TimeTwoBone(const std::vector<TwoBone>& samples) {
    if (samples.empty()) return 0.0;
    const std::size_t rounds = std::max<std::size_t>(1, 20000 / samples.size());
    double best = 1e300;
    for (int pass = 0; pass < 15; ++pass) {
        const auto t0 = Clock::now();
        for (std::size_t r = 0; r < rounds; ++r) {
            for (const TwoBone& s : samples) {
                TwoBoneTurn turn = SolveTwoBone(s);
                benchmark::DoNotOptimize(turn);
            }
        }
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
        best = std::min(best, ns / static_cast<double>(rounds * samples.size()));
    }
    return best;
}

// ---- the benchmark --------------------------------------------------------------

void BM_Drivers(benchmark::State& state, Kind kind, Refresh refresh) {
    const int drivers = static_cast<int>(state.range(0));
    World with(kind, drivers, true, refresh);
    World without(kind, drivers, false, refresh);
    int frame = kWarmUpFrames;
    const std::vector<TwoBone> samples = RecordTwoBones(with, without, frame);
    const double twoBoneNs = TimeTwoBone(samples);

    const long long reads0 = with.host.boneReads;
    const long long refreshes0 = with.host.refreshes;
    const long long recomputed0 = with.host.bonesRecomputed;
    double withNs = 0.0;
    double withoutNs = 0.0;
    std::size_t allocations = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        {
            kovra::test::AllocationCounter counter;
            with.Frame(frame);
            allocations += counter.count();
        }
        const auto t1 = Clock::now();
        without.Frame(frame);
        const auto t2 = Clock::now();
        ++frame;
        const double a = std::chrono::duration<double, std::nano>(t1 - t0).count();
        withNs += a;
        withoutNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
        state.SetIterationTime(a * 1e-9);
    }
    const double frames = static_cast<double>(state.iterations());
    const double perDriver = frames * drivers;
    const double pluginNs = (withNs - withoutNs) / perDriver;
    state.counters["pluginNsPerDriver"] = pluginNs;
    state.counters["twoBoneNs"] = twoBoneNs;
    state.counters["twoBoneRatio"] = twoBoneNs > 0.0 ? pluginNs / twoBoneNs : 0.0;
    state.counters["refreshesPerDriver"] = static_cast<double>(with.host.refreshes - refreshes0) / perDriver;
    state.counters["bonesRecomputedPerDriver"] =
        static_cast<double>(with.host.bonesRecomputed - recomputed0) / perDriver;
    state.counters["boneReadsPerDriver"] = static_cast<double>(with.host.boneReads - reads0) / perDriver;
    state.counters["allocsPerFrame"] = static_cast<double>(allocations) / frames;
}

double Least(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// Whole input cycles, so that every run plays the same frames.
void Register(const char* name, Kind kind, Refresh refresh) {
    for (const int drivers : {1, 10, 100}) {
        benchmark::RegisterBenchmark(name, BM_Drivers, kind, refresh)
            ->Arg(drivers)
            ->Iterations(kCycleFrames * std::max(1, 40 / drivers))
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond)
            ->ComputeStatistics("min", Least);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register("BM_Drivers/car", Kind::Car, Refresh::Subtree);
    Register("BM_Drivers/bike", Kind::Bike, Refresh::Subtree);
    Register("BM_Drivers/mixed", Kind::Mixed, Refresh::Subtree);
    Register("BM_Drivers/whole/car", Kind::Car, Refresh::Whole);
    Register("BM_Drivers/whole/bike", Kind::Bike, Refresh::Whole);
    Register("BM_Drivers/whole/mixed", Kind::Mixed, Refresh::Whole);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
