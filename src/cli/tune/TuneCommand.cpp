#include "cli/tune/TuneCommand.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/DriverLimbs.h"
#include "cli/GltfExport.h"
#include "cli/RunPage.h"
#include "cli/RunTimeline.h"
#include "cli/ScenarioGame.h"
#include "cli/ScenarioRun.h"
#include "cli/ScreenPicture.h"
#include "cli/tune/TuneServer.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/GltfScene.h"

namespace kovra::cli {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const char* const kTuneUsage =
    "usage: kovra tune [--scenario FILE] [--game DIR] [--port N]\n"
    "\n"
    "Plays a scenario in a loop at the game's speed on the simulated game, with the\n"
    "plugin hooked in, and serves it as a page on this machine: the driver in 3D as\n"
    "the plugin poses them, and the game's screen. Keys typed on the page go to the\n"
    "game: type the cheat code (\"kovra\") to open the in-game menu and tune as in\n"
    "the game; its exports, loads and copies act on the game folder. The address\n"
    "printed carries a token that every request must bring. Ctrl-C stops.\n"
    "\n"
    "options:\n"
    "  --scenario FILE  the scenario to loop (default: the built-in car scenario)\n"
    "  --game DIR       the game's folder (default: out/tune/game, made afresh)\n"
    "  --port N         the port on 127.0.0.1 (default 8023; 0: any free port)\n"
    "  -h, --help       show this text\n";

// The game's clock: a time step of 1 lasts 20 ms.
constexpr double kSecondsPerTimeStep = 0.02;
// Frames played before the page is made: the rig builds after ten.
constexpr int kWarmUpFrames = 12;
// Behind by more than this many frames (the machine stalled), the clock
// starts again from now instead of racing to catch up.
constexpr int kMostFramesBehind = 5;

volatile std::sig_atomic_t gStop = 0;
extern "C" void OnStopSignal(int) { gStop = 1; }

// The vehicle the page shows: the player's, else the first with a driver.
const ScenarioGame::Vehicle* ShownVehicle(const ScenarioGame& game) {
    const ScenarioGame::Vehicle* shown = nullptr;
    for (const ScenarioGame::Vehicle& v : game.vehicles()) {
        if (v.scene->driver == sim::ScenarioDriver::Player) return &v;
        if (!shown && v.driver) shown = &v;
    }
    return shown ? shown : (game.vehicles().empty() ? nullptr : &game.vehicles().front());
}

Json Floats(const std::array<double, 4>& q) {
    return Json::array({static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                        static_cast<float>(q[3])});
}

// The frame's pose as the page's scene takes it: every frame of the model
// and every bone by node name, and the driver's seat; glTF's axes.
std::string PoseJson(ScenarioGame& game, const ScenarioGame::Vehicle& shown, int frame, std::int64_t keyMessage) {
    Json nodes = Json::object();
    const sim::VehicleModel& model = shown.scene->model;
    for (std::size_t i = 0; i < model.frames.size(); ++i) {
        if (const HostFrame* f = shown.vehicle->frames.FrameAt(static_cast<int>(i))) {
            nodes[model.frames[i].name] = Floats(GltfRotation(MatrixToQuaternion(f->modelling)));
        }
    }
    Json seat = nullptr;
    if (sim::SimSkeleton* skeleton = game.host().Skeleton(shown.driver)) {
        for (NodeIndex node = 0; node < kNodeCount; ++node) {
            nodes[kBoneNames[static_cast<std::size_t>(node)]] = Floats(GltfRotation(skeleton->Frame(node)->rotation));
        }
        const Vector3 s = sim::SwapGameGltfAxes(InverseTransformPoint(shown.driver->matrix.pos, shown.vehicle->matrix));
        seat = Json::array({s.x, s.y, s.z});
    }
    return Json{{"frame", frame}, {"keySeq", keyMessage}, {"nodes", nodes}, {"seat", seat}}.dump(
        -1, ' ', false, Json::error_handler_t::replace);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int TuneCommand(const std::vector<std::string>& args) {
    fs::path scenarioFile = DefaultScenarioFile();
    fs::path gameDir;
    int port = 8023;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kTuneUsage, stdout);
            return 0;
        }
        if (a == "--scenario" && i + 1 < args.size()) {
            scenarioFile = args[++i];
        } else if (a == "--game" && i + 1 < args.size()) {
            gameDir = args[++i];
        } else if (a == "--port" && i + 1 < args.size()) {
            const std::string& n = args[++i];
            port = n.find_first_not_of("0123456789") == std::string::npos && n.size() <= 5 ? std::stoi(n) : -1;
        } else {
            std::fprintf(stderr, "kovra tune: unknown option '%s'\n\n%s", a.c_str(), kTuneUsage);
            return 2;
        }
    }

    std::string error;
    std::optional<sim::Scenario> scenario = sim::Scenario::Load(scenarioFile, &error);
    std::optional<fs::path> game;
    if (scenario) game = ScenarioGame::PrepareGameFolder(gameDir, "out/tune", &error);
    std::unique_ptr<ScenarioGame> play = game ? ScenarioGame::Create(std::move(*scenario), *game, &error) : nullptr;
    const ScenarioGame::Vehicle* shown = play ? ShownVehicle(*play) : nullptr;
    if (play && !shown) error = "the scenario has no vehicle";
    if (!shown) {
        std::fprintf(stderr, "kovra tune: %s\n", error.c_str());
        return 2;
    }
    const sim::Scenario& script = play->scenario();
    const int frameCount = std::max(script.frameCount, 1);

    // The page: the shown vehicle's .glb from its first frames, as the
    // run's page shows a run, with the live session's address and token.
    GltfExport model(shown->scene->model, script.name + ": " + shown->scene->model.name, script.timeStep);
    int played = 0;
    for (; played < kWarmUpFrames; ++played) {
        play->PlayFrame(played % frameCount);
        model.Capture(play->host(), shown->vehicle, shown->driver, play->runtime().rigs().RigOf(shown->vehicle));
    }
    const std::string token = TuneServer::NewToken();
    RunPage page(script.timeStep, {});
    page.AddVehicle(shown->scene->model.name, shown->scene->model.name + ".glb", model.Glb(&error),
                    model.ControlFrameNames(), RunTimeline());
    page.SetLive(token);
    const std::string html =
        RunPage::Fill(ReadText(RunPageTemplate()), page.DataJson(Json{{"scenario", script.name}}.dump()), &error);
    if (html.empty()) {
        std::fprintf(stderr, "kovra tune: the page template %s is missing or broken: %s\n",
                     RunPageTemplate().string().c_str(), error.c_str());
        return 2;
    }

    TuneServer server(html, token);
    port = server.Start(port, &error);
    if (port < 0) {
        std::fprintf(stderr, "kovra tune: %s\n", error.c_str());
        return 2;
    }
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::printf("kovra tune: open http://127.0.0.1:%d/?token=%s\n", port, token.c_str());
    std::printf("%s in a loop, the game folder %s; Ctrl-C stops.\n", script.name.c_str(), game->string().c_str());
    std::fflush(stdout);

    // Frames keep the game's clock; the player's keys go in at the start of
    // the frame after they arrive.
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(script.timeStep * kSecondsPerTimeStep));
    auto next = Clock::now();
    std::array<std::uint8_t, 256> keys{};
    std::string typed;
    std::int64_t keyMessage = 0;
    std::string lastScreen;
    while (!gStop) {
        server.TakeInput(keys, typed, keyMessage);
        play->PlayFrame(played % frameCount, &keys, typed);
        const std::string screen = RenderScreenSvg(CaptureScreen(play->host(), ""));
        server.Publish(played, PoseJson(*play, *shown, played, keyMessage), screen);
        ++played;
        next += period;
        const auto now = Clock::now();
        if (now > next + kMostFramesBehind * period) next = now;
        std::this_thread::sleep_until(next);
    }
    // Between two frames: every file the plugin wrote is whole (it writes
    // through a temporary file), and nothing is written after this.
    server.Stop();
    std::printf("kovra tune: stopped after %d frames\n", played);
    return 0;
}

}  // namespace kovra::cli
