// Cost of the limb solver: the positional solve alone, a full limb solve on
// the simulated driver, and the skeleton refresh that every bone write needs.
#include <benchmark/benchmark.h>

#include <array>

#include "kovra/ik/LimbSolver.h"

namespace {

void BM_SolveChainReachable(benchmark::State& state) {
    const std::array<kovra::Vector3, 3> rest{kovra::Vector3{0, 0, 0}, kovra::Vector3{0.28f, 0, 0},
                                             kovra::Vector3{0.6f, 0, 0}};
    for (auto _ : state) {
        auto joints = rest;
        benchmark::DoNotOptimize(kovra::SolveChain(joints, {0.2f, 0.35f, 0.1f}, {0, 0, 1}));
        benchmark::DoNotOptimize(joints);
    }
}
BENCHMARK(BM_SolveChainReachable);

void BM_SolveChainUnreachable(benchmark::State& state) {
    const std::array<kovra::Vector3, 3> rest{kovra::Vector3{0, 0, 0}, kovra::Vector3{0.28f, 0, 0},
                                             kovra::Vector3{0.6f, 0, 0}};
    for (auto _ : state) {
        auto joints = rest;
        benchmark::DoNotOptimize(kovra::SolveChain(joints, {0.2f, 0.9f, 0.1f}, {0, 0, 1}));
        benchmark::DoNotOptimize(joints);
    }
}
BENCHMARK(BM_SolveChainUnreachable);

// The same reachable solve held to exactly N iterations (a tolerance of 0
// never ends it early): the difference between two N is what one iteration
// of the positional solve costs, two dependent normalisations.
void BM_SolveChainIterations(benchmark::State& state) {
    const std::array<kovra::Vector3, 3> rest{kovra::Vector3{0, 0, 0}, kovra::Vector3{0.28f, 0, 0},
                                             kovra::Vector3{0.6f, 0, 0}};
    kovra::SolverSettings settings;
    settings.tolerance = 0.0f;
    settings.maxIterations = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto joints = rest;
        benchmark::DoNotOptimize(kovra::SolveChain(joints, {0.2f, 0.35f, 0.1f}, {0, 0, 1}, settings));
        benchmark::DoNotOptimize(joints);
    }
}
BENCHMARK(BM_SolveChainIterations)->Arg(1)->Arg(11);

}  // namespace

BENCHMARK_MAIN();
