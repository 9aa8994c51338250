#include "cli/Cli.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/LimbReach.h"
#include "cli/Lint.h"
#include "kovra/config/NumberFormat.h"

namespace kovra::cli {

namespace {

constexpr float kReachTolerance = 0.002f;  // metres

const char* const kUsage =
    "usage: kovra <command> [options]\n"
    "\n"
    "commands:\n"
    "  run     pose the simulated driver and report how well each limb reaches\n"
    "  lint    check configuration files for lines the plugin would skip or misread\n"
    "  help    show this text\n"
    "\n"
    "Run 'kovra <command> --help' for a command's options.\n";

const char* const kRunUsage =
    "usage: kovra run [--out DIR]\n"
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

int Run(const std::vector<std::string>& args) {
    std::filesystem::path outDir = "out";
    bool writeOut = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kRunUsage, stdout);
            return 0;
        }
        if (a == "--out" && i + 1 < args.size()) {
            outDir = args[++i];
        } else if (a == "--no-out") {
            writeOut = false;
        } else {
            std::fprintf(stderr, "kovra run: unknown option '%s'\n\n%s", a.c_str(), kRunUsage);
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
            std::fprintf(stderr, "kovra run: cannot write %s\n", file.string().c_str());
            return 2;
        }
        std::printf("wrote %s\n", file.string().c_str());
    }
    return allReached ? 0 : 1;
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
    if (command == "lint") return LintCommand(args);
    std::fprintf(stderr, "kovra: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}

}  // namespace kovra::cli
