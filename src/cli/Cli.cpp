#include "cli/Cli.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "cli/LimbReach.h"
#include "cli/Lint.h"
#include "cli/BuildCheck.h"
#include "cli/ScenarioRun.h"
#include "kovra/config/NumberFormat.h"

namespace kovra::cli {

namespace {

const char* const kUsage =
    "usage: kovra <command> [options]\n"
    "\n"
    "commands:\n"
    "  run     play a driving scenario with the plugin and report how every handle did\n"
    "  reach   pose the simulated driver towards a grid of targets and report each limb\n"
    "  lint    check configuration files and build descriptions for lines the plugin would\n"
    "          skip or misread\n"
    "  build-check  check build descriptions against a game executable\n"
    "  tune    loop a scenario live in a browser page and tune it with the in-game menu\n"
    "  help    show this text\n"
    "\n"
    "Run 'kovra <command> --help' for a command's options.\n";

const char* const kRunUsage =
    "usage: kovra run [--scenario FILE] [--game DIR] [--out DIR] [--no-pictures] [--gltf] [--html]\n"
    "                 [--quiet]\n"
    "\n"
    "Plays a scenario on the simulated game with the plugin hooked in as the game\n"
    "would run it: the vehicles are built, their drivers seated, and every frame the\n"
    "scripted inputs drive the vehicles while the plugin poses the drivers. Writes to\n"
    "DIR:\n"
    "  report.json  per vehicle and handle kind: framesEngaged (frames with the limb's\n"
    "               weight at 1), framesOutOfReach and maxReachError (metres between\n"
    "               the posed hand or foot and the target of its last solve);\n"
    "               per vehicle: maxTurnPerFrame (per bone group, the largest\n"
    "               turn of a bone between two frames in the vehicle's axes, in\n"
    "               degrees, with its frame and node), maxSlide (per hand and\n"
    "               foot, the largest move in a frame over the control it held at\n"
    "               full weight, in metres) and turnSpikes (turns of 5 degrees or\n"
    "               more that are 3 times those of both neighbouring frames);\n"
    "               configFiles, the per-vehicle files read from the game folder,\n"
    "               and filesWritten, every file the plugin wrote into it\n"
    "  *.svg        side, rear and top views of each vehicle's driver, control\n"
    "               frames and debug lines at the scenario's picture frames, and\n"
    "               the game's screen (the menu, messages) where anything is on it\n"
    "  MODEL.glb    with --gltf, per vehicle: the run as an animated glTF 2.0 file\n"
    "               (the vehicle's frames and meshes, the driver's bones, every\n"
    "               frame's bone and control-frame rotations and the seat)\n"
    "  index.html   with --html: the run as a page that opens offline with a double\n"
    "               click: the vehicle and driver in 3D, a timeline, plots of every\n"
    "               handle's weight and reach error, the gear, steering and pedals,\n"
    "               the report's table and marks where a limb missed its target by\n"
    "               more than 2 mm or a bone turned more than 10 degrees in a frame\n"
    "\n"
    "options:\n"
    "  --scenario FILE  the scenario to play (default: the built-in car scenario,\n"
    "                   scenes/default-car.scenario; format in docs/scenes.md)\n"
    "  --game DIR       the game's folder: per-vehicle files are read from its\n"
    "                   modloader tree, Kovra_Config.ini and Kovra_PriorityAnims.ini\n"
    "                   from the folder itself, and the menu writes into it (default:\n"
    "                   OUT/game, made afresh with an empty modloader folder)\n"
    "  --out DIR        where to write (default: out)\n"
    "  --no-pictures    write no pictures\n"
    "  --gltf           also write each vehicle's run as OUT/MODEL.glb, for Blender,\n"
    "                   three.js or any glTF viewer (docs/scenes.md)\n"
    "  --html           also write OUT/index.html, the run's page (implies --gltf;\n"
    "                   docs/workbench.md)\n"
    "  --quiet          no progress line\n"
    "  -h, --help       show this text\n"
    "\n"
    "Exit status: 0 when every engaged hand and foot stayed within 2 mm of its\n"
    "target, 1 when one did not, 2 on a usage, scenario or file error.\n";

const char* const kReachUsage =
    "usage: kovra reach [--out DIR]\n"
    "\n"
    "Seats a driver in the built-in sedan of the simulated host, brings each hand\n"
    "and foot to a grid of reachable targets around its rest position with the\n"
    "limb solver, and prints per limb the targets tried and the largest distance\n"
    "left between the posed hand or foot and its target.\n"
    "\n"
    "options:\n"
    "  --out DIR   also write the figures to DIR/limbs.json (default: out)\n"
    "  --no-out    write no file\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 when every limb reached its targets within 2 mm, 1 when one\n"
    "did not, 2 on a usage or file error.\n";

std::string Json(const std::vector<LimbReachResult>& results) {
    std::string out = "{\n  \"tolerance\": " + formatNumber(kReachTolerance) + ",\n  \"limbs\": [\n";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const LimbReachResult& r = results[i];
        out += "    {\"limb\": \"" + r.limb + "\", \"endNode\": " + std::to_string(r.endNode) +
               ", \"targets\": " + std::to_string(r.targets) +
               ", \"reached\": " + std::to_string(r.reached) +
               ", \"maxError\": " + formatNumber(r.maxError) +
               ", \"meanError\": " + formatNumber(r.meanError) + "}";
        out += i + 1 < results.size() ? ",\n" : "\n";
    }
    return out + "  ]\n}\n";
}

int Reach(const std::vector<std::string>& args) {
    std::filesystem::path outDir = "out";
    bool writeOut = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kReachUsage, stdout);
            return 0;
        }
        if (a == "--out" && i + 1 < args.size()) {
            outDir = args[++i];
        } else if (a == "--no-out") {
            writeOut = false;
        } else {
            std::fprintf(stderr, "kovra reach: unknown option '%s'\n\n%s", a.c_str(), kReachUsage);
            return 2;
        }
    }

    const std::vector<LimbReachResult> results = MeasureLimbReach();
    bool allReached = true;
    std::printf("%-11s %8s %8s %8s %14s %15s\n", "limb", "end node", "targets", "reached",
                "max error mm", "mean error mm");
    for (const LimbReachResult& r : results) {
        std::printf("%-11s %8d %8d %8d %14.3f %15.3f\n", r.limb.c_str(), r.endNode, r.targets,
                    r.reached, r.maxError * 1000.0f, r.meanError * 1000.0f);
        allReached = allReached && r.targets > 0 && r.maxError <= kReachTolerance;
    }
    std::printf("%s\n", allReached ? "every limb reached its targets within 2 mm"
                                   : "a limb missed its targets by more than 2 mm");

    if (writeOut) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
        const std::filesystem::path file = outDir / "limbs.json";
        std::ofstream stream(file, std::ios::binary);
        stream << Json(results);
        stream.close();
        if (ec || !stream) {
            std::fprintf(stderr, "kovra reach: cannot write %s\n", file.string().c_str());
            return 2;
        }
        std::printf("wrote %s\n", file.string().c_str());
    }
    return allReached ? 0 : 1;
}

// The worst turns between two frames, the worst slide over a held control
// and the spikes, so that a pop shows without opening report.json.
void PrintMotion(const MotionReport& motion) {
    std::vector<GroupTurn> turns = motion.turns;
    std::sort(turns.begin(), turns.end(),
              [](const GroupTurn& a, const GroupTurn& b) { return a.maxTurn > b.maxTurn; });
    std::printf("  largest turn in a frame:");
    const std::size_t shown = std::min<std::size_t>(turns.size(), 3);
    for (std::size_t i = 0; i < shown && turns[i].frame >= 0; ++i) {
        std::printf("%s %s %.1f deg (frame %d)", i == 0 ? "" : ",", turns[i].group.c_str(), turns[i].maxTurn,
                    turns[i].frame);
    }
    std::printf("\n");
    const LimbSlide* worst = nullptr;
    for (const LimbSlide& s : motion.slides) {
        if (s.frame >= 0 && (worst == nullptr || s.maxSlide > worst->maxSlide)) worst = &s;
    }
    if (worst != nullptr) {
        std::printf("  largest slide on a control: %s %.1f mm (frame %d, %s)\n", worst->limb.c_str(),
                    worst->maxSlide * 1000.0f, worst->frame, worst->kind.c_str());
    }
    if (!motion.spikes.empty()) {
        const TurnSpike& first = motion.spikes.front();
        std::printf("  turn spikes: %zu, the first %s node %d %.1f deg at frame %d\n", motion.spikes.size(),
                    first.group.c_str(), first.node, first.turn, first.frame);
    }
}

int Run(const std::vector<std::string>& args) {
    RunOptions options;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kRunUsage, stdout);
            return 0;
        }
        if (a == "--scenario" && i + 1 < args.size()) {
            options.scenarioFile = args[++i];
        } else if (a == "--out" && i + 1 < args.size()) {
            options.outDir = args[++i];
        } else if (a == "--game" && i + 1 < args.size()) {
            options.gameDir = args[++i];
        } else if (a == "--no-pictures") {
            options.pictures = false;
        } else if (a == "--gltf") {
            options.gltf = true;
        } else if (a == "--html") {
            options.html = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "kovra run: unknown option '%s'\n\n%s", a.c_str(), kRunUsage);
            return 2;
        }
    }
    const bool terminal = !quiet && isatty(fileno(stderr)) != 0;
    if (terminal) {
        options.progress = [](int frame, int count) {
            if (frame % 10 == 0 || frame == count) {
                std::fprintf(stderr, "\rframe %d of %d (%d%%)", frame, count, frame * 100 / std::max(count, 1));
                if (frame == count) std::fputc('\n', stderr);
            }
        };
    }
    std::string error;
    const std::optional<RunReport> report = RunScenario(options, &error);
    if (!report) {
        std::fprintf(stderr, "kovra run: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s: %d frames\n", report->scenario.c_str(), report->frames);
    for (const VehicleReport& v : report->vehicles) {
        std::printf("\n%s (model %d)\n", v.model.c_str(), v.modelId);
        if (v.handles.empty()) {
            std::printf("  no handles: no frame of the model has a control name the rig looks for\n"
                        "  (\"ik_steer\", \"ik_gear_stick\", \"handlebars\", ...; docs/scenes.md)\n");
            continue;
        }
        std::printf("  %-12s %10s %14s %16s\n", "handle", "engaged", "out of reach", "max error mm");
        for (const HandleReport& h : v.handles) {
            std::printf("  %-12s %10d %14d %16.3f\n", h.kind.c_str(), h.framesEngaged, h.framesOutOfReach,
                        h.maxReachError * 1000.0f);
        }
        PrintMotion(v.motion);
        if (!v.stickPositions.empty()) {
            std::printf("  gear stick arrived at:");
            for (int p : v.stickPositions) std::printf(" %d", p);
            std::printf("\n");
        }
        if (v.clutchStrokes > 0) std::printf("  clutch strokes: %d\n", v.clutchStrokes);
        if (!v.shiftStrokes.empty()) {
            std::printf("  foot-shift strokes:");
            for (const std::string& stroke : v.shiftStrokes) std::printf(" %s", stroke.c_str());
            std::printf("\n");
        }
    }
    for (const std::string& file : report->filesWritten) std::printf("\nthe plugin wrote %s", file.c_str());
    if (!report->filesWritten.empty()) std::printf("\n");
    std::vector<std::string> written = {(options.outDir / "report.json").string()};
    if (!report->pictures.empty()) written.push_back(std::to_string(report->pictures.size()) + " pictures");
    if (!report->gltfFiles.empty()) {
        const std::size_t n = report->gltfFiles.size();
        written.push_back(std::to_string(n) + (n == 1 ? " glTF file" : " glTF files"));
    }
    if (!report->page.empty()) written.push_back(report->page.filename().string());
    std::string list = written.front();
    for (std::size_t i = 1; i < written.size(); ++i) {
        list += (i + 1 == written.size() ? " and " : ", ") + written[i];
    }
    std::printf("\nwrote %s to %s\n", list.c_str(), options.outDir.string().c_str());
    return EveryLimbReached(*report) ? 0 : 1;
}

}  // namespace

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "run") return Run(args);
    if (command == "reach") return Reach(args);
    if (command == "lint") return LintCommand(args);
    if (command == "build-check") return BuildCheckCommand(args);
    std::fprintf(stderr, "kovra: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}

}  // namespace kovra::cli
