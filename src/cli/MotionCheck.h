#pragma once

#include <array>
#include <string>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"

namespace kovra {
class CabinIk;
class Host;
}  // namespace kovra

// How the driver moves between two frames, which a pose taken frame by frame
// does not show: a bone that turns far in one frame (a pop), and a hand or
// foot that slides over the control it holds.
namespace kovra::cli {

// The bone groups the turns are kept by. Fingers and toes are kept apart:
// they are short and may turn further in a frame.
enum class BoneGroup : int { RightArm, LeftArm, RightLeg, LeftLeg, Spine, Fingers, Toes, Count };
inline constexpr int kBoneGroupCount = static_cast<int>(BoneGroup::Count);

const char* BoneGroupName(BoneGroup group);
BoneGroup BoneGroupOf(NodeIndex node);

// The largest turn of a bone of the group between two frames.
struct GroupTurn {
    std::string group;
    float maxTurn = 0.0f;  // degrees
    int frame = -1;        // the later of the two frames; -1 when none was measured
    NodeIndex node = 0;
};

// A change of at least kSpikeMinTurn that is kSpikeFactor times the change of
// the frame before and of the frame after it.
struct TurnSpike {
    std::string group;
    NodeIndex node = 0;
    int frame = 0;
    float turn = 0.0f;  // degrees
};

// The largest slide of a limb end over the control it held, per frame.
struct LimbSlide {
    std::string limb;     // "right hand", ...
    float maxSlide = 0.0f;  // metres per frame
    int frame = -1;
    std::string kind;     // the handle whose control it held then
};

struct MotionReport {
    std::vector<GroupTurn> turns;    // in BoneGroup order
    std::vector<LimbSlide> slides;   // right hand, left hand, right foot, left foot
    std::vector<TurnSpike> spikes;   // in frame order
};

inline constexpr float kSpikeMinTurn = 5.0f;  // degrees
inline constexpr float kSpikeFactor = 3.0f;

// Watches one driver of one vehicle over a run. Turns are measured in the
// vehicle's own axes, so that the vehicle turning carries the driver
// without counting as a turn of his bones; frames in which the driver was not
// seated in the vehicle in both frames are left out (he got in or out at once).
class MotionCheck {
public:
    // One limb end's hold on a control in a frame: which handle held it at
    // full weight and the control frame's world matrix; none when the limb
    // was free or moving between controls.
    struct Hold {
        int kind = -1;
        FrameMatrix control;
    };

    // After each frame: the driver's pose and the limb ends' holds.
    // `solvedKinds` gives, per limb end (right hand, left hand, right foot,
    // left foot), the handle kind that last solved it at full weight in the
    // frame, or -1.
    void Capture(Host& host, CVehicle* vehicle, CPed* driver, const CabinIk* rig, int frame,
                 const std::array<int, 4>& solvedKinds);
    // The worst turns, the worst slides and the spikes over the run so far.
    MotionReport Report() const;

    static constexpr std::array<NodeIndex, 4> kLimbEnds{kRightHandNode, kLeftHandNode, kRightFootNode,
                                                        kLeftFootNode};
    // The control frame a limb end holds while its handle has it at full
    // weight, or false when the handle moves it between controls or along one.
    static bool HeldControl(Host& host, const CabinIk& rig, int kind, NodeIndex node, FrameMatrix& out);

private:
    struct Posed {
        bool valid = false;
        std::array<Quaternion, kNodeCount> rotations{};  // in the vehicle's axes
        std::array<Hold, 4> holds{};
        std::array<Vector3, 4> ends{};  // limb ends, world
    };

    Posed previous_;
    // The turn of each bone into the last frame, and into the one before.
    std::array<float, kNodeCount> lastTurn_{};
    std::array<float, kNodeCount> turnBefore_{};
    int lastFrame_ = -1;
    bool lastTurnValid_ = false;
    bool turnBeforeValid_ = false;
    std::array<GroupTurn, kBoneGroupCount> turns_{};
    std::array<LimbSlide, 4> slides_{};
    std::vector<TurnSpike> spikes_;
};

}  // namespace kovra::cli
