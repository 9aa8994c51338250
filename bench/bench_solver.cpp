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

}  // namespace

BENCHMARK_MAIN();
