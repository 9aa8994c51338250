// The drivers the speed measurements pose: N drivers, each in a vehicle of
// its own, every one posed every frame (Allow_NPCs on), in sedans, on
// motorbikes or in both taken in turn, playing the same scripted inputs a few
// frames apart. Shared by the driver benchmark and the instruction count.
#pragma once

#include <memory>
#include <vector>

#include "kovra/host/Runtime.h"
#include "sim/SimHost.h"

namespace kovra::bench {

enum class Kind { Car, Bike, Mixed };

inline constexpr int kCycleFrames = 240;   // the inputs repeat after this many frames
inline constexpr int kWarmUpFrames = 480;  // two input cycles: rigs built, springs and fades settled

// How the simulated game refreshes a skeleton the plugin asks it to.
enum class Refresh { Subtree, Whole };

// The simulated game, counting the skeleton calls the plugin makes.
class CountingHost : public sim::SimHost {
public:
    explicit CountingHost(Refresh refresh) : refresh_(refresh) {}
    FrameMatrix* BoneMatrix(CPed* ped, int hierarchyIndex) override;
    void UpdateSkeleton(CPed* ped) override;
    long long boneReads = 0;
    long long refreshes = 0;
    long long bonesRecomputed = 0;

private:
    Refresh refresh_;
};

// N drivers in a grid of vehicles, played through the scripted inputs; the
// constructor plays the warm-up frames.
class World {
public:
    World(Kind kind, int drivers, bool withPlugin, Refresh refresh);
    // The scripted inputs of frame f, then the game's frame. The vehicles
    // stay where they are, so a long run never drifts into large coordinates.
    void Frame(int f);
    Runtime* runtime() { return runtime_.get(); }

    struct Driven {
        CVehicle* vehicle;
        CPed* ped;
        Vector3 home;
        bool bike;
    };
    CountingHost host;
    std::vector<Driven> vehicles;

private:
    std::unique_ptr<Runtime> runtime_;
};

// ---- the yardstick: a plain analytic two-bone solve ----------------------------

struct TwoBone {
    Vector3 start, mid, end;  // the animated joints
    Vector3 target;
    Vector3 pole;  // the side the middle joint bends to
};

// The rotations that turn the chain's start and middle joints (world space).
struct TwoBoneTurn {
    Quaternion start, mid;
};

// Brings the chain's end to the target as animation libraries' two-bone
// jobs do: the end joint on the line to it (as far as the limb reaches), the
// middle joint placed by the law of cosines in the plane of that line and
// the pole, and the two joints' turns from their animated directions.
TwoBoneTurn SolveTwoBone(const TwoBone& in);

// The limb solves the plugin makes over one input cycle (at most 4096), as
// two-bone problems on the drivers' animated joints taken from the world
// without the plugin. Plays both worlds from `frame` on, advancing it.
std::vector<TwoBone> RecordTwoBones(World& with, World& without, int& frame);

}  // namespace kovra::bench
