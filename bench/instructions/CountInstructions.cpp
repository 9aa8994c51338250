// The instruction count of posing drivers, for callgrind: plays a number of
// frames of N drivers with the plugin, the same frames of a game without it,
// and the yardstick's two-bone solves, each inside a function of its own so
// that callgrind's inclusive counts of PlayWithPlugin, PlayWithoutPlugin and
// SolveTwoBones give the plugin's share (the difference of the first two)
// and the cost of one analytic solve. Instruction counts hold still on a
// busy machine where times do not. Run through scripts/count-instructions.sh.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "support/DriverWorld.h"

using namespace kovra::bench;

// Kept out of line so that callgrind names them.
__attribute__((noinline)) void PlayWithPlugin(World& world, int first, int frames) {
    for (int f = 0; f < frames; ++f) world.Frame(first + f);
}
__attribute__((noinline)) void PlayWithoutPlugin(World& world, int first, int frames) {
    for (int f = 0; f < frames; ++f) world.Frame(first + f);
}
__attribute__((noinline)) float SolveTwoBones(const std::vector<TwoBone>& samples) {
    float sum = 0.0f;  // used, so that no solve is left out
    for (const TwoBone& s : samples) {
        const TwoBoneTurn turn = SolveTwoBone(s);
        sum += turn.start.w + turn.mid.w;
    }
    return sum;
}

namespace {

bool ParseCount(const char* text, int& out) {
    const std::string_view s(text);
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), out);
    return error == std::errc() && end == s.data() + s.size() && out > 0;
}

}  // namespace

int main(int argc, char** argv) {
    int drivers = 0;
    int frames = 0;
    const std::string_view kind = argc > 1 ? argv[1] : "";
    if (argc != 5 || (kind != "car" && kind != "bike") || !ParseCount(argv[2], drivers) ||
        !ParseCount(argv[3], frames) || (std::strcmp(argv[4], "subtree") != 0 && std::strcmp(argv[4], "whole") != 0)) {
        std::fprintf(stderr, "usage: kovra_instructions car|bike DRIVERS FRAMES subtree|whole\n");
        return 2;
    }
    const Kind k = kind == "car" ? Kind::Car : Kind::Bike;
    const Refresh refresh = std::strcmp(argv[4], "whole") == 0 ? Refresh::Whole : Refresh::Subtree;
    World with(k, drivers, true, refresh);
    World without(k, drivers, false, refresh);
    int frame = kWarmUpFrames;
    const std::vector<TwoBone> samples = RecordTwoBones(with, without, frame);
    const long long reads0 = with.host.boneReads;
    const long long refreshes0 = with.host.refreshes;
    PlayWithPlugin(with, frame, frames);
    PlayWithoutPlugin(without, frame, frames);
    const float sum = SolveTwoBones(samples);
    const double driverFrames = static_cast<double>(drivers) * frames;
    // Read by the script next to callgrind's counts.
    std::printf("driverFrames %.0f\ntwoBoneSolves %zu\nrefreshesPerDriver %.2f\nboneReadsPerDriver %.2f\ncheck %g\n",
                driverFrames, samples.size(), static_cast<double>(with.host.refreshes - refreshes0) / driverFrames,
                static_cast<double>(with.host.boneReads - reads0) / driverFrames, static_cast<double>(sum));
    return 0;
}
