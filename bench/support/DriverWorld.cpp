#include "DriverWorld.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/LimbSolver.h"

namespace kovra::bench {
namespace {

constexpr float kSpacing = 8.0f;  // metres between two vehicles
constexpr float kTwoPi = 6.2831853f;
constexpr std::size_t kMaxTwoBoneSamples = 4096;

bool IsBikeSlot(Kind kind, int index) { return kind == Kind::Bike || (kind == Kind::Mixed && index % 2 == 1); }

void Drive(const World::Driven& d, int phase) {
    const float wave = std::sin(kTwoPi * static_cast<float>(phase) / kCycleFrames);
    VehicleState& s = d.vehicle->state;
    s.steerAngle = 0.35f * wave;
    s.barAngle = s.steerAngle;
    s.gasPedal = 0.6f;
    s.brakePedal = 0.0f;
    s.handBrake = false;
    s.gear = 1 + phase / (kCycleFrames / 4);  // up through 1..4, back to 1
    s.speed = 0.4f;
    s.lean = d.bike ? 0.3f * wave : 0.0f;
    s.wheelsOnGround = d.bike ? 2 : 4;
    FrameMatrix m;
    if (s.lean != 0.0f) RotateFrame(m, AxisY, s.lean * kRadToDeg, Combine::Replace);
    m.pos = d.home;
    s.moveSpeed = m.up * (0.4f + 0.05f * wave);
    d.vehicle->matrix = m;
}

float Dot3(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Len(const Vector3& v) { return std::sqrt(Dot3(v, v)); }
Vector3 Cross3(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The shortest turn from unit vector a to unit vector b.
Quaternion Arc(const Vector3& a, const Vector3& b) {
    const Vector3 c = Cross3(a, b);
    const float w = 1.0f + Dot3(a, b);
    if (!(w > 1e-6f)) return {};  // opposite: no single shortest turn
    const float s = 1.0f / std::sqrt(2.0f * w);  // |(c, w)|^2 = 2w for unit a, b
    return {c.x * s, c.y * s, c.z * s, w * s};
}

class SolveRecorder : public SolveListener {
public:
    void OnLimbSolved(const LimbSolve& solve) override { solves.push_back(solve); }
    std::vector<LimbSolve> solves;
};

}  // namespace

FrameMatrix* CountingHost::BoneMatrix(CPed* ped, int hierarchyIndex) {
    ++boneReads;
    return SimHost::BoneMatrix(ped, hierarchyIndex);
}

void CountingHost::UpdateSkeleton(CPed* ped) {
    ++refreshes;
    sim::SimSkeleton* skeleton = Skeleton(ped);
    if (refresh_ == Refresh::Whole && skeleton != nullptr) {
        skeleton->RefreshAll(ped->matrix);
    } else {
        SimHost::UpdateSkeleton(ped);
    }
    if (skeleton != nullptr) bonesRecomputed += skeleton->LastRefreshCount();
}

World::World(Kind kind, int drivers, bool withPlugin, Refresh refresh) : host(refresh) {
    if (withPlugin) runtime_ = std::make_unique<Runtime>(host);
    host.AddVehicleModel(sim::MakeSedanModel());
    host.AddVehicleModel(sim::MakeMotorbikeModel());
    host.StartGame();
    if (runtime_) runtime_->settings().Allow_NPCs = true;
    for (int i = 0; i < drivers; ++i) {
        const bool bike = IsBikeSlot(kind, i);
        FrameMatrix at;
        at.pos = {kSpacing * static_cast<float>(i % 10), kSpacing * static_cast<float>(i / 10), 0.0f};
        CVehicle* vehicle =
            host.CreateVehicle(bike ? sim::MakeMotorbikeModel().id : sim::MakeSedanModel().id, at);
        CPed* ped = host.CreatePed();
        host.SeatPed(ped, vehicle, true);
        if (i == 0) host.SetPlayer(ped);
        vehicles.push_back({vehicle, ped, at.pos, bike});
    }
    for (int f = 0; f < kWarmUpFrames; ++f) Frame(f);
}

void World::Frame(int f) {
    for (std::size_t i = 0; i < vehicles.size(); ++i) Drive(vehicles[i], (f + 17 * static_cast<int>(i)) % kCycleFrames);
    host.RunFrame();
}

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
        for (const LimbSolve& s : recorder.solves) {
            sim::SimSkeleton* skeleton = without.host.Skeleton(twin[s.ped]);
            const int midNode = ParentNode(s.endNode);
            const Vector3 start = skeleton->Matrix(ParentNode(midNode))->pos;
            const Vector3 mid = skeleton->Matrix(midNode)->pos;
            const Vector3 end = skeleton->Matrix(s.endNode)->pos;
            out.push_back({start, mid, end, s.target, mid - (start + end) * 0.5f});
        }
    }
    with.runtime()->solver().setSolveListener(nullptr);
    return out;
}

}  // namespace kovra::bench
