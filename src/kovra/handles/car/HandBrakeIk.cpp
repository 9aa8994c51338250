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
    const FrameMatrix* spine = DriverBone(kSpineBone);
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

    SolveLimbTo(node, target, bend, w);
    ApplyEndRotation(node, w, sign);
    appliedThisFrame = true;
}

void HandBrakeIk::PressPedal() {
    // The foot comes to the pedal from the peg; without one it has no place.
    if (rig == nullptr || rig->pegIk == nullptr || ped == nullptr) return;
    const PegIk& peg = *rig->pegIk;

    FrameMatrix pedal;
    if (!ControlFrameWorld(pedal)) return;

    // Leaning its way the foot eases off the pedal.
    const float w = LeanRelease(EaseCurve(1, 0, weight), 1.0f, BikeLean());

    // With no offset of its own the foot stays where the peg put it.
    FrameMatrix body;
    if (!grabOffset.IsZero() && BikeBodyWorld(body)) {
        const Vector3 target =
            TurnedWithControl(TransformPoint(grabOffset + peg.grabOffset, body), pedal, leverAngle);
        if (IsFinite(target)) {
            SolveLimbTo(kRightFootNode, target, peg.KneeBend(1.0f, body), w);
        }
    }

    // Point the foot at a spot along the pedal, FootHeight above it.
    AimFoot(kRightFootNode,
            NormalizedCopy(TransformPoint({footTurn, kFootAimY, FootHeight}, pedal) - pedal.pos), w);
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
