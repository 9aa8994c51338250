#include "cli/ScenarioGame.h"

#include <fstream>

#include "kovra/config/VehicleConfigFile.h"

namespace kovra::cli {

namespace fs = std::filesystem;

namespace {

// Marks a game folder that a run made, so that a later run may empty it.
constexpr const char* kMadeByRun = ".made-by-kovra-run";

// The default game folder, emptied and made again with an empty "modloader".
bool MakeGameFolder(const fs::path& game, std::string* error) {
    std::error_code ec;
    if (fs::exists(game, ec)) {
        if (!fs::exists(game / kMadeByRun, ec)) {
            if (error) *error = game.string() + " exists and was not made by kovra run; remove it or pass --game";
            return false;
        }
        fs::remove_all(game, ec);
    }
    if (!ec) fs::create_directories(game / "modloader", ec);
    if (!ec) std::ofstream(game / kMadeByRun).close();
    if (ec || !fs::exists(game / kMadeByRun, ec)) {
        if (error) *error = "cannot make the game folder " + game.string();
        return false;
    }
    return true;
}

}  // namespace

std::optional<fs::path> ScenarioGame::PrepareGameFolder(const fs::path& gameDir, const fs::path& outDir,
                                                        std::string* error) {
    fs::path game = gameDir;
    std::error_code ec;
    if (game.empty()) {
        game = outDir / "game";
        if (!MakeGameFolder(game, error)) return std::nullopt;
    } else if (!fs::is_directory(game, ec)) {
        if (error) *error = "the game folder " + game.string() + " is not a folder";
        return std::nullopt;
    }
    if (!game.has_filename()) game = game.parent_path();  // a trailing separator
    return game;
}

ScenarioGame::ScenarioGame(sim::Scenario scenario, fs::path game)
    : scenario_(std::move(scenario)), game_(std::move(game)), runtime_(host_) {}

std::unique_ptr<ScenarioGame> ScenarioGame::Create(sim::Scenario scenario, const fs::path& game, std::string* error) {
    std::unique_ptr<ScenarioGame> g(new ScenarioGame(std::move(scenario), game));
    sim::SimHost& host = g->host_;
    // The plugin sits in the game's folder.
    host.SetGameDirectory(game.string());
    host.SetPluginDirectory(game.string());
    host.SetTimeStep(g->scenario_.timeStep);
    host.StartGame();
    for (const sim::ScenarioVehicle& sv : g->scenario_.vehicles) {
        std::string modelError;
        if (!host.HasVehicleModel(sv.model.id) && !host.AddVehicleModel(sv.model, &modelError)) {
            if (error) *error = sv.sceneFile.string() + ": " + modelError;
            return nullptr;
        }
        if (!sv.configFile.empty()) {
            const VehicleConfigRecord* record = ReadVehicleConfig(g->runtime_, sv.configFile, false);
            if (record == nullptr || record->modelId != sv.model.id) {
                if (error) {
                    *error = sv.configFile.string() + ": not a per-vehicle file of model " +
                             std::to_string(sv.model.id) + " (see kovra lint)";
                }
                return nullptr;
            }
        }
        Vehicle v;
        v.scene = &sv;
        v.vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
        if (sv.driver != sim::ScenarioDriver::None) {
            v.driver = host.CreatePed();
            // A driver who gets in later stands by until his frame.
            v.seated = sv.driverEnters == 0;
            if (v.seated) host.SeatPed(v.driver, v.vehicle, true);
            if (sv.driver == sim::ScenarioDriver::Player) host.SetPlayer(v.driver);
        }
        g->vehicles_.push_back(v);
    }
    return g;
}

void ScenarioGame::PlayFrame(int frame, const std::array<std::uint8_t, 256>* keys, const std::string& typed) {
    for (std::size_t i = 0; i < vehicles_.size(); ++i) {
        Vehicle& v = vehicles_[i];
        // Once seated he stays, also when a loop of the scenario starts again.
        if (v.driver != nullptr && !v.seated && frame >= v.scene->driverEnters) {
            host_.SeatPed(v.driver, v.vehicle, true);
            v.seated = true;
        }
        scenario_.Drive(static_cast<int>(i), frame, *v.vehicle);
    }
    const std::string scripted = scenario_.TypedAt(frame);
    if (!scripted.empty()) host_.TypeText(scripted);
    if (!typed.empty()) host_.TypeText(typed);
    std::array<std::uint8_t, 256> held = scenario_.KeyboardAt(frame);
    for (std::size_t k = 0; keys && k < held.size(); ++k) held[k] |= (*keys)[k];
    host_.SetKeyboard(held);
    float dx = 0.0f;
    float dy = 0.0f;
    scenario_.MouseAt(frame, dx, dy);
    host_.SetMouseMovement(dx, dy);
    host_.ClearRecords();
    host_.RunFrame();
}

}  // namespace kovra::cli
