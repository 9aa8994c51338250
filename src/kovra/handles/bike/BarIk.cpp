#include "kovra/handles/bike/BarIk.h"

#include <array>
#include <typeinfo>

#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

constexpr float kGripMarkerSize = 0.025f;
// Below this squared length the line towards the bar has no direction.
constexpr float kMinDirection = 0.000001f;
// The hand moves this far along the grip's turn at full throttle.
constexpr float kThrottleTravel = 0.05f;
// Twist the grip is made for; past kThrottleLift degrees the hand also
// rides forward with it.
constexpr float kThrottleNominal = 45.0f;
constexpr float kThrottleLift = 46.0f;

}  // namespace

BarIk::BarIk(Runtime& runtime) : IkHandle(runtime) {
    disabled = !settings().Allow_Bar;
    doSpinePush = true;
    heightFactor = 0.75f;
    bendAngle = -70.0f;
}

void BarIk::ApplyModelDefaults() {
    if (vehicle == nullptr) return;
    switch (VehicleAnimGroup()) {
        case 4:
        case 8:
            heightFactor = 0.6f;
            bendAngle = -35.0f;
            break;
        case 5:
            bendAngle = -25.0f;
            break;
        case 6:
            heightFactor = 0.7f;
            bendAngle = -30.0f;
            break;
        case 9:
            heightFactor = 1.0f;
            bendAngle = -40.0f;
            armFactor = 1.3f;
            break;
        case 10:
            heightFactor = 1.0f;
            bendAngle = -40.0f;
            break;
        case 11:
            heightFactor = 0.8f;
            bendAngle = -25.0f;
            armFactor = 1.18f;
            break;
        default:
            heightFactor = 0.8f;
            break;
    }
}

void BarIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(BarIk)) return;
    CopyBaseFrom(*other);
}

void BarIk::Update() {
    if (vehicle == nullptr || ped == nullptr || frameA.frame == nullptr) return;
    FrameMatrix bar, body;
    if (!ControlFrameWorld(bar) || !BikeBodyWorld(body)) return;

    // The gas handle turns the grip later in this frame: the right hand goes
    // where the grip will be, not a frame behind it.
    if (const GasPedalIk* gas = rig != nullptr ? rig->gasPedalIk : nullptr) {
        Host& h = host();
        gripGas = pedal::EaseOut(gas->NextGasLevel(h.ReadVehicleState(vehicle).gasPedal, h.TimeStep()));
    }
    if (doSpinePush) PushSpine(bar);
    // The elbows' bend: from the bike's body up to the upper spine, turned
    // about the spine's length axis. Neither arm's solve moves the spine, so
    // it is read once for both.
    if (const FrameMatrix* upper = DriverBone(kUpperSpineBone)) {
        const Vector3 away = NormalizedCopy(upper->pos - body.pos);
        const Vector3 axis = bendAngle != 0.0f ? NormalizedCopy(upper->right) : Vector3{};
        PlaceHand(-1.0f, kLeftHandNode, bar, away, axis);
        PlaceHand(1.0f, kRightHandNode, bar, away, axis);
    }
    appliedThisFrame = true;
}

void BarIk::PushSpine(const FrameMatrix& bar) {
    Host& h = host();
    LimbSolver& solver = runtime().solver();
    SpinePoints spine;
    if (!ReadSpine(spine)) return;
    const Vector3 basePos = spine.base;
    const Vector3 upperPos = spine.upper;

    // The spine bends more the farther the middle of the bar is from its
    // base, fully at twice the lower spine's length.
    const Vector3 middle = TransformPoint({0.0f, grabOffset.y, grabOffset.z}, bar);
    const Vector3 toBar = NormalizedCopy(middle - upperPos);
    const Vector3 down = NormalizedCopy(basePos - upperPos);
    const float span = 2.0f * Distance(upperPos, basePos);
    const float reach = span > 0.0f ? Clamp(Distance(middle, basePos) / span, 0.0f, 1.0f) : 0.0f;
    const float push = Clamp(RigWeight(kUpperSpineNode) * EaseCurve(2, 0, reach), 0.0f, 1.0f);

    // Each grip seen on the line from the upper spine towards the bar.
    const float lineLength = Dot(toBar, toBar);
    const auto onLine = [&](const Vector3& grip) {
        if (lineLength < kMinDirection) return upperPos;
        return upperPos + toBar * (Dot(grip - upperPos, toBar) / lineLength);
    };
    const Vector3 leftOnLine =
        onLine(TransformPoint({-grabOffset.x, grabOffset.y, grabOffset.z}, bar));
    const Vector3 rightOnLine = onLine(TransformPoint(grabOffset, bar));

    DebugDrawQueue& debug = runtime().debug();
    if (debug.enabled) {
        debug.DrawSegment(basePos, middle, 0.0f, kDebugGreen);
        debug.DrawMarker(leftOnLine, kDebugRed, kGripMarkerSize);
        debug.DrawMarker(rightOnLine, kDebugRed, kGripMarkerSize);
    }
    const Vector3 goal = Distance(leftOnLine, upperPos) > Distance(rightOnLine, upperPos)
                             ? leftOnLine
                             : rightOnLine;

    // Root, a point up the spine and one an arm's reach towards the bar,
    // solved towards the farther grip: the spine leans to the solved middle.
    const float armReach = rig != nullptr ? rig->armLength : ArmReach(h, ped);
    std::array<Vector3, 3> chain{
        spine.root, basePos - down * (span * heightFactor * settings().muSpinePush),
        upperPos + toBar * (armReach * armFactor)};
    SolveChain(chain, goal, {}, solver.settings());
    debug.DrawChain(chain, kDebugBlue);

    if (!(push > 0.0f)) return;
    solver.SolveLimb(ped, chain[1], kUpperSpineNode, spine.baseUp, push);
    LevelHead(spine.neckUp, push);
}

Vector3 BarIk::GripPoint(float side) const {
    Vector3 grip{grabOffset.x * side, grabOffset.y + settings().gWristOffsetY, grabOffset.z};
    const GasPedalIk* gas = rig != nullptr ? rig->gasPedalIk : nullptr;
    if (side > 0.0f && gas != nullptr) {
        const float twist = gas->BikeGasAngle;
        const float down = gripGas * (twist / kThrottleNominal) * kThrottleTravel;
        if (IsFinite(down)) grip.z -= down;
        if (twist > kThrottleLift) {
            const float lift = ((twist - kThrottleLift) / kThrottleLift) * gripGas * kThrottleTravel;
            if (IsFinite(lift)) grip.y += lift;
        }
    }
    return grip;
}

void BarIk::PlaceHand(float side, NodeIndex node, const FrameMatrix& bar, const Vector3& away,
                      const Vector3& spineAxis) {
    LimbSolver& solver = runtime().solver();
    const Vector3 target = TransformPoint(GripPoint(side), bar);
    if (!IsFinite(target)) return;

    // The turn is mirrored for the left arm.
    Vector3 bend = away;
    if (bendAngle != 0.0f) {
        bend = NormalizedCopy(RotateAboutAxis(bend, spineAxis, bendAngle * side * kDegToRad));
    }
    const float w = Clamp(RigWeight(node), 0.0f, 1.0f);
    solver.SolveLimb(ped, target, node, bend, w);

    // The hand takes the bar's axes, then turns a quarter about Z and back
    // a quarter about X to close round the grip.
    Quaternion* slot = SlotToWrite(node);
    if (slot == nullptr) return;
    // The held rotation in full first: turning a half-blended one and then
    // blending that again flipped the hand half way through a fade. The
    // elbow is the one the arm's solve just wrote, worked out by the
    // skeleton sync rather than refreshed; without it the hand keeps its
    // animated turn.
    Quaternion held = *slot;
    if (const FrameMatrix* forearm = DriverBone(ParentBoneId(NodeToBoneId(node)))) {
        WriteBoneWorldRotation(held, *forearm, 1.0f, bar);
    }
    static const Quaternion kQuarterAboutZ = AxisAngle(AxisZ, 90.0f);
    static const Quaternion kBackAboutX = AxisAngle(AxisX, -90.0f);
    TurnLocally(held, kQuarterAboutZ);
    TurnLocally(held, kBackAboutX);
    WriteBoneRotation(*slot, held, w, LastPose(node));
}

std::string BarIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "HandlebarIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteNumber(out, "BendAngle", bendAngle);
    WriteFlag(out, "DoSpinePush", doSpinePush);
    WriteNumber(out, "HeightFactor", heightFactor);
    WriteNumber(out, "ArmFactor", armFactor);
    return out;
}

}  // namespace kovra
