// A full limb solve on the simulated driver (bone reads, the positional
// solve, two bone writes and two skeleton refreshes), one bone aimed, and the
// refresh alone.
#include <benchmark/benchmark.h>

#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/ik/LimbSolver.h"
#include "sim/SimHost.h"

namespace {

struct Driver {
    Driver() {
        host.AddVehicleModel(kovra::sim::MakeSedanModel());
        car = host.CreateVehicle(kovra::sim::MakeSedanModel().id);
        ped = host.CreatePed();
        host.SeatPed(ped, car, true);
        host.AnimatePed(ped);
        kovra::BonePosition(host, ped, 24, restHand);
    }
    kovra::sim::SimHost host;
    kovra::LimbSolver solver{host};
    CVehicle* car = nullptr;
    CPed* ped = nullptr;
    kovra::Vector3 restHand;
};

void SolveHand(benchmark::State& state, const kovra::Vector3& offset) {
    Driver d;
    const kovra::Vector3 target = d.restHand + offset;
    for (auto _ : state) {
        d.host.AnimatePed(d.ped);  // the game animates from scratch every frame
        benchmark::DoNotOptimize(d.solver.SolveLimb(d.ped, target, kovra::kRightHandNode, {}, 1.0f));
    }
}

void BM_SolveLimbReachable(benchmark::State& state) { SolveHand(state, {0.05f, 0.08f, -0.04f}); }
BENCHMARK(BM_SolveLimbReachable);

void BM_SolveLimbUnreachable(benchmark::State& state) { SolveHand(state, {0.2f, 0.9f, 0.1f}); }
BENCHMARK(BM_SolveLimbUnreachable);

// One bone aimed at a point, as the limb solve does twice: bone reads, the
// basis, the parent's inverse, the quaternion, twist removal, the write. The
// bone's own rotation does not move its joint, so each pass does the same.
void BM_AimBone(benchmark::State& state) {
    Driver d;
    const kovra::Vector3 elbow = d.restHand + kovra::Vector3{0.05f, -0.1f, -0.08f};
    for (auto _ : state) d.solver.AimBone(d.ped, 22, elbow, 1.0f);
}
BENCHMARK(BM_AimBone);

void BM_AnimateOnly(benchmark::State& state) {
    Driver d;
    for (auto _ : state) d.host.AnimatePed(d.ped);
}
BENCHMARK(BM_AnimateOnly);

// One bone write and the refresh that follows it, as the solver does.
void BM_RefreshAfterOneWrite(benchmark::State& state) {
    Driver d;
    kovra::Quaternion* slot = kovra::BoneRotationSlot(d.host, d.ped, 17);
    const kovra::Quaternion a = *slot;
    const kovra::Quaternion b = kovra::AxisAngle({0, 0, 1}, 10.0f);
    bool flip = false;
    for (auto _ : state) {
        *slot = flip ? a : b;
        flip = !flip;
        kovra::RefreshBoneMatrices(d.host, d.ped);
    }
}
BENCHMARK(BM_RefreshAfterOneWrite);

void BM_RefreshUnchanged(benchmark::State& state) {
    Driver d;
    for (auto _ : state) kovra::RefreshBoneMatrices(d.host, d.ped);
}
BENCHMARK(BM_RefreshUnchanged);

}  // namespace

BENCHMARK_MAIN();
