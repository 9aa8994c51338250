#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kovra/host/Runtime.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"

namespace kovra::cli {

// A scenario's game on the simulated host with the plugin hooked in, as the
// game would run it: the plugin in the game's folder, the vehicles built
// from their scene files, their per-vehicle files read, the drivers seated;
// then played frame by frame. `kovra run` and `kovra tune` play it.
class ScenarioGame {
public:
    struct Vehicle {
        CVehicle* vehicle = nullptr;
        CPed* driver = nullptr;
        const sim::ScenarioVehicle* scene = nullptr;
        bool seated = false;  // the driver, once his frame has come
    };

    // Empty, with the reason in *error, when a vehicle's model or per-vehicle
    // file cannot be used.
    static std::unique_ptr<ScenarioGame> Create(sim::Scenario scenario, const std::filesystem::path& game,
                                                std::string* error);

    // The game folder to play in: gameDir when given (it must be a folder),
    // else outDir / "game", emptied and made again with an empty "modloader"
    // when an earlier run made it.
    static std::optional<std::filesystem::path> PrepareGameFolder(const std::filesystem::path& gameDir,
                                                                  const std::filesystem::path& outDir,
                                                                  std::string* error);

    ScenarioGame(const ScenarioGame&) = delete;
    ScenarioGame& operator=(const ScenarioGame&) = delete;

    sim::SimHost& host() { return host_; }
    Runtime& runtime() { return runtime_; }
    const sim::Scenario& scenario() const { return scenario_; }
    const std::vector<Vehicle>& vehicles() const { return vehicles_; }
    const std::filesystem::path& game() const { return game_; }

    // One frame: the scenario's inputs of `frame` drive the vehicles, its
    // keys, typing and mouse go to the game with `keys` (0x80: down) held
    // too and `typed` typed after its own, the host's records of the last
    // frame are cleared and the game's frame runs.
    void PlayFrame(int frame, const std::array<std::uint8_t, 256>* keys = nullptr, const std::string& typed = {});

private:
    ScenarioGame(sim::Scenario scenario, std::filesystem::path game);

    sim::Scenario scenario_;
    std::filesystem::path game_;
    sim::SimHost host_;
    Runtime runtime_;
    std::vector<Vehicle> vehicles_;
};

}  // namespace kovra::cli
