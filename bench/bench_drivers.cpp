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
#include <vector>

#include "AllocationCounter.h"
#include "support/DriverWorld.h"

namespace {

using namespace kovra::bench;
using Clock = std::chrono::steady_clock;

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
