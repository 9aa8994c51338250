#include "kovra/handles/car/HandBrakeIk.h"

#include <cmath>
#include <cstdint>
#include <typeinfo>

#include "kovra/handles/bike/PegIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

constexpr BoneId kSpineBone = 3;
constexpr BoneId kRightAnkleBone = 53;
constexpr std::uint32_t kDebugYellow = 0xff00ffffu;
constexpr float kContactMarkerSize = 0.01f;
// The point the foot turns to lies this far along the pedal frame's Y.
constexpr float kFootAimY = 0.5f;

}  // namespace

HandBrakeIk::HandBrakeIk(Runtime& runtime) : IkHandle(runtime) {
    endAngles = {90.0f, 30.0f, 0.0f};
    maxAngle = 30.0f;
    minAngle = 0.0f;
    footTurn = 0.1f;
    disabled = !settings().Allow_Handbrake;
}

void HandBrakeIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(HandBrakeIk)) return;
    const auto& o = static_cast<const HandBrakeIk&>(*other);
    CopyBaseFrom(o);
    FootHeight = o.FootHeight;
    leverLevel = o.leverLevel;
    leverAngle = o.leverAngle;
}

void HandBrakeIk::Update() {
    if (vehicle == nullptr) return;
    const bool bike = isBike != 0;
    const bool leftHand = rig != nullptr && rig->frontSeatXNegative;
    const NodeIndex node = bike ? kRightFootNode : leftHand ? kLeftHandNode : kRightHandNode;
    const bool pulled = host().ReadVehicleState(vehicle).handBrake;

    // The hand stays with a lever that is still up. Should the rig's weights
    // have drawn it part way off, it goes back to the lever rather than
    // hovering there with the lever stuck up; at full weight this is the
    // same as staying.
    if (!IsFinite(leverLevel)) leverLevel = 0.0f;
    StepWeight(pulled || leverLevel > 0.0f);
    ApplyRigWeights(node);
    CaptureStartPosition(node);
    if (!(weight > 0.0f)) return;

    // Only a hand that has arrived moves the lever.
    if (weight >= 1.0f) MoveLever(pulled);
    if (rig != nullptr) rig->leverHandBusy = true;

    if (bike) {
        PressPedal();
    } else {
        PoseHand(node, leftHand ? -1.0f : 1.0f);
    }
}

void HandBrakeIk::MoveLever(bool pulled) {
    float step = rateArm * host().TimeStep();
    if (!IsFinite(step)) step = 0.0f;
    leverLevel = Clamp(pulled ? leverLevel + step : leverLevel - step, 0.0f, 1.0f);
    const float c = leverLevel - 1.0f;
    const float e = c * c * c + 1.0f;  // eased out: quick off the rest, slow into the top
    const float top = isBike != 0 ? -maxAngle : maxAngle;  // a bike pedal goes down
    const float angle = (1.0f - e) * minAngle + e * top;
    if (!IsFinite(angle)) return;
    leverAngle = angle;
    TurnFrameFromRest(frameA, AxisX, angle);
}

void HandBrakeIk::PoseHand(NodeIndex node, float sign) {
    Host& h = host();
    const float w = SolverWeight();
    if (frameA.frame == nullptr || ped == nullptr) return;
    const FrameMatrix* leverWorld = h.FrameWorld(frameA.frame);
    const FrameMatrix* body = h.VehicleMatrix(vehicle);
    const FrameMatrix* spine = BoneWorldMatrix(h, ped, kSpineBone);
    if (leverWorld == nullptr || body == nullptr || spine == nullptr) return;
    // Copies: the solver below refreshes the bone matrices.
    const Vector3 grab = TransformPoint(grabOffset, *leverWorld);
    const Vector3 bodyUp = body->up;
    const Vector3 spinePos = spine->pos;
    const Vector3 spineAt = spine->at;

    // The elbow is led first by the spine's own axis (mirrored for the left
    // hand), then turns towards the roof as the hand comes down on the lever.
    const Vector3 bend = spineAt * ((1.0f - weight) * sign) + bodyUp * weight;
    const Vector3 target = BlendedTarget(grab);

    DebugDrawQueue& debug = runtime().debug();
    if (debug.enabled) {
        debug.DrawSegment(spinePos, spinePos + spineAt, 0.0f, kDebugRed);
        debug.DrawSegment(spinePos, spinePos + bodyUp, 0.0f, kDebugGreen);
        debug.DrawSegment(spinePos, spinePos + bend, 0.0f, kDebugYellow);
        debug.DrawMarker(grab, kDebugYellow, kContactMarkerSize);
    }
    if (!IsFinite(target)) return;

    LimbSolver& solver = runtime().solver();
    solver.SolveLimb(ped, target, node, bend, w);
    DepositNodeOffset(node, solver.record(node).lastEnd);
    ApplyEndRotation(node, w, sign);
    appliedThisFrame = true;
}

void HandBrakeIk::PressPedal() {
    // The foot comes to the pedal from the peg; without one it has no place.
    if (rig == nullptr || rig->pegIk == nullptr || ped == nullptr) return;
    const IkHandle& peg = *rig->pegIk;
    Host& h = host();
    float w = EaseCurve(1, 0, weight);

    if (frameA.frame == nullptr) return;
    const FrameMatrix* pedalWorld = h.FrameWorld(frameA.frame);
    if (pedalWorld == nullptr || !IsFinite(*pedalWorld)) return;
    const FrameMatrix pedal = *pedalWorld;
    HostFrame* bodyFrame = h.BikeBodyFrame(vehicle);
    const FrameMatrix* bodyWorld = bodyFrame != nullptr ? h.FrameWorld(bodyFrame) : nullptr;

    // Leaning one way the foot eases off the pedal; a lean past full would
    // turn the weight negative, so it is kept at 0 there.
    const float lean = h.ReadVehicleState(vehicle).lean;
    if (lean > 0.0f) w = Clamp((1.0f - std::fabs(lean)) * w, 0.0f, 1.0f);

    // With no offset of its own the foot stays where the peg put it.
    if (!grabOffset.IsZero() && bodyWorld != nullptr && IsFinite(*bodyWorld)) {
        const FrameMatrix body = *bodyWorld;
        const Vector3 target = TransformPoint(grabOffset + peg.grabOffset, body);
        Vector3 knee = -body.right;
        if (peg.bendAngle != 0.0f) knee = RotateAboutAxis(knee, body.at, peg.bendAngle * kDegToRad);
        if (IsFinite(target)) {
            LimbSolver& solver = runtime().solver();
            solver.SolveLimb(ped, target, kRightFootNode, knee, w);
            DepositNodeOffset(kRightFootNode, solver.record(kRightFootNode).lastEnd);
        }
    }

    // Point the foot at a spot along the pedal, FootHeight above it, its roll
    // taken from the pelvis.
    const Vector3 aim =
        NormalizedCopy(TransformPoint({footTurn, kFootAimY, FootHeight}, pedal) - pedal.pos);
    const FrameMatrix* pelvis = BoneWorldMatrix(h, ped, kPelvisBone);
    if (pelvis != nullptr && IsFinite(aim) && !aim.IsZero()) {
        FrameMatrix m = BasisFromDirection(aim, AxisZ, 1);
        m.at = NormalizedCopy(pelvis->at);
        m.right = NormalizedCopy(Cross(m.at, m.up));
        m.at = NormalizedCopy(Cross(m.right, m.up));
        // A pelvis axis along the aim leaves no roll to go by: no turn.
        if (!m.right.IsZero() && IsFinite(m)) SetBoneWorldRotation(h, ped, kRightAnkleBone, w, m);
    }
    appliedThisFrame = true;
}

std::string HandBrakeIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "HandBrakeIK");
    WriteVector(out, "GrabOffset", grabOffset);
    if (isBike != 0) {
        WriteNumber(out, "FootHeight", FootHeight);
        WriteNumber(out, "FootTurn", footTurn);
        WriteNumber(out, "RateArm", rateArm);
    } else {
        WriteVector(out, "HandAngle", endAngles);
        WriteNumber(out, "RateArm", rateArm);
        WriteNumber(out, "MaxAngle", maxAngle);
        WriteNumber(out, "MinAngle", minAngle);
    }
    return out;
}

}  // namespace kovra
