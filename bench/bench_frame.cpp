// One frame of the simulated game with the plugin posing a car's driver
// (steering, gear, hand brake, pedals, clutch), and the game's own frame
// without the plugin for comparison.
#include <benchmark/benchmark.h>

#include <memory>

#include "kovra/host/Runtime.h"
#include "sim/SimHost.h"

namespace {

struct Drive {
    explicit Drive(bool withPlugin) {
        if (withPlugin) runtime = std::make_unique<kovra::Runtime>(host);
        host.AddVehicleModel(kovra::sim::MakeSedanModel());
        host.StartGame();
        car = host.CreateVehicle(kovra::sim::MakeSedanModel().id);
        CPed* driver = host.CreatePed();
        host.SeatPed(driver, car, true);
        host.SetPlayer(driver);
        car->state.gear = 1;
        car->state.gasPedal = 0.5f;
        for (int i = 0; i < 60; ++i) host.RunFrame();  // built, hand off the stick
    }
    kovra::sim::SimHost host;
    std::unique_ptr<kovra::Runtime> runtime;
    CVehicle* car = nullptr;
};

void BM_FrameWithPlugin(benchmark::State& state) {
    Drive drive(true);
    float steer = 0.0f;
    for (auto _ : state) {
        steer = steer > 0.5f ? -0.5f : steer + 0.01f;
        drive.car->state.steerAngle = steer;
        drive.host.RunFrame();
    }
}
BENCHMARK(BM_FrameWithPlugin);

void BM_FrameWithoutPlugin(benchmark::State& state) {
    Drive drive(false);
    for (auto _ : state) drive.host.RunFrame();
}
BENCHMARK(BM_FrameWithoutPlugin);

}  // namespace

BENCHMARK_MAIN();
