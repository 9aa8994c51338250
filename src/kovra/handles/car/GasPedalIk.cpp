#include "kovra/handles/car/GasPedalIk.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

namespace pedal {

float Advance(float level, float delta) {
    const float next = level + delta;
    return std::isnan(next) ? level : next;
}

float EaseOut(float level) { return (2.0f - level) * level; }

float EaseIn(float level) { return level * level; }

float FingerCurl(float level) {
    // A cosine wave: the fingers open no faster than the level moves the
    // lever, where a steeper curve snapped them open within a frame or two.
    const float c = Cos(180.0f * kDegToRad * Clamp(level, 0.0f, 1.0f));
    return 90.0f * c * c;
}

const Quaternion& FingerCurlTurn(KeptFingerCurl& kept, float level) {
    if (!kept.valid || !SameBits(kept.level, level)) {
        kept = {level, AxisAngle(AxisZ, FingerCurl(level)), true};
    }
    return kept.rotation;
}

bool TurnedAboutZ(const FrameSlot& slot) { return slot.flippedZ && !slot.unrotated; }

float FiniteDegrees(float degrees) { return IsFinite(degrees) ? degrees : 0.0f; }

Vector3 KneeDirection(Host& host, CPed* ped, const Vector3& target, float bendAngle, KeptSinCos& turn) {
    const FrameMatrix* root = BoneWorldMatrix(host, ped, kRootBone);
    if (root == nullptr) return {};
    const Vector3 knee = -root->right;
    if (bendAngle == 0.0f) return knee;
    // A target on the root itself gives no axis to turn about; turning about
    // a zero axis would only shorten the direction.
    const Vector3 axis = NormalizedCopy(target - root->pos);
    if (axis.IsZero()) return knee;
    SinCos(turn, bendAngle * kDegToRad);
    // RotateAboutAxis with the kept sine and cosine, term for term.
    const Vector3 proj = axis * Dot(knee, axis);
    const Vector3 perp = knee - proj;
    const Vector3 turned = perp * turn.cos + Cross(axis, perp) * turn.sin + proj;
    return IsFinite(turned) ? turned : knee;
}

}  // namespace pedal

namespace {

// The foot moves between the pedals at this rate whatever RateArm says.
constexpr float kFootSwitchRate = 0.075f;

}  // namespace

GasPedalIk::GasPedalIk(Runtime& runtime) : IkHandle(runtime) {
    bendAngle = 10.0f;
    maxAngle = 10.0f;
    disabled = !settings().Allow_Gas;
}

void GasPedalIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(GasPedalIk)) return;
    const auto& o = static_cast<const GasPedalIk&>(*other);
    CopyBaseFrom(o);
    gasLevel = o.gasLevel;
    brakeLevel = o.brakeLevel;
    footSwitch = o.footSwitch;
    BikeGasAngle = o.BikeGasAngle;
    BikeBrkAngle = o.BikeBrkAngle;
    easedGas = o.easedGas;
    easedBrake = o.easedBrake;
}

void GasPedalIk::Update() {
    if (vehicle == nullptr) return;
    Host& h = host();
    const VehicleState state = h.ReadVehicleState(vehicle);
    const float dt = h.TimeStep();
    const bool bike = rig != nullptr ? rig->isBike != 0 : isBike != 0;

    // No ramp of its own: the foot (or hand) is always on its control,
    // faded only by the rig.
    weight = Clamp(RigWeight(bike ? kRightHandNode : kRightFootNode), 0.0f, 1.0f);
    StepPressLevels(state.gasPedal, state.brakePedal, dt);
    if (bike) {
        UpdateBike();
    } else {
        UpdateCar(state.brakePedal, dt);
    }
}

float GasPedalIk::PressRate(float dt) const {
    const float rate = rateArm * settings().muThrottle * dt;
    return IsFinite(rate) ? rate : 0.0f;
}

float GasPedalIk::NextGasLevel(float gasInput, float dt) const {
    // The foot comes off the gas while the clutch is down or the stick is
    // moving; the clutch handle runs later, so its level is last frame's.
    const bool shifting = rig != nullptr && rig->gearIk != nullptr && rig->gearIk->shifting;
    const bool clutchDown = rig != nullptr && rig->clutchPedalIk != nullptr &&
                            rig->clutchPedalIk->clutchLevel > 0.0f;
    const float d = shifting || clutchDown || gasInput == 0.0f ? -1.0f : 1.0f;
    return Clamp(pedal::Advance(gasLevel, d * PressRate(dt)), 0.0f, 1.0f);
}

void GasPedalIk::StepPressLevels(float gasInput, float brakeInput, float dt) {
    const float rate = PressRate(dt);
    gasLevel = NextGasLevel(gasInput, dt);
    brakeLevel = Clamp(pedal::Advance(brakeLevel, brakeInput != 0.0f ? rate : -rate), 0.0f, 1.0f);
}

void GasPedalIk::UpdateCar(float brakeInput, float dt) {
    Host& h = host();
    const bool brakePedal = HasBrakePedal();

    if (brakePedal) {
        const float s = brakeInput == 0.0f ? 1.0f : -1.0f;
        float step = kFootSwitchRate * settings().muPedalSwitch * dt * s;
        if (!IsFinite(step)) step = 0.0f;
        footSwitch = Clamp(pedal::Advance(footSwitch, step), 0.0f, 1.0f);
    } else {
        footSwitch = 1.0f;  // nothing to switch to
    }
    const float m = EaseInOutQuad(footSwitch);

    easedGas = pedal::EaseOut(gasLevel);
    easedBrake = pedal::EaseOut(brakeLevel);

    TurnFrameFromRest(frameA, AxisX, pedal::FiniteDegrees(maxAngle * easedGas));
    if (brakePedal) TurnFrameFromRest(frameB, AxisX, pedal::FiniteDegrees(maxAngle * easedBrake));

    if (frameA.frame == nullptr) return;
    const FrameMatrix* gasWorld = h.FrameWorld(frameA.frame);
    if (gasWorld == nullptr) return;
    const Vector3 gasOrigin = gasWorld->pos;
    const Vector3 gasTarget = TransformPoint(grabOffset, *gasWorld);
    Vector3 brakeOrigin;
    Vector3 brakeTarget;
    Vector3 target = gasTarget;
    if (brakePedal) {
        const FrameMatrix* brakeWorld = h.FrameWorld(frameB.frame);
        if (brakeWorld == nullptr) return;
        brakeOrigin = brakeWorld->pos;
        brakeTarget = TransformPoint(secondOffset, *brakeWorld);
        target = brakeTarget * (1.0f - m) + gasTarget * m;
    }
    if (ped == nullptr) return;

    const Vector3 knee = pedal::KneeDirection(h, ped, target, bendAngle, kneeTurn_);

    DebugDrawQueue& debug = runtime().debug();
    if (debug.enabled) {
        debug.DrawMarker(gasOrigin, kDebugGreen, pedal::kMarkerSize);
        debug.DrawMarker(gasTarget, kDebugGreen, pedal::kMarkerSize);
        debug.DrawSegment(gasOrigin, gasTarget, 0.0f, kDebugGreen);
        if (brakePedal) {
            debug.DrawMarker(brakeOrigin, kDebugBlue, pedal::kMarkerSize);
            debug.DrawMarker(brakeTarget, kDebugBlue, pedal::kMarkerSize);
            debug.DrawSegment(brakeOrigin, brakeTarget, 0.0f, kDebugBlue);
        }
        debug.DrawMarker(target, kDebugRed, pedal::kMarkerSize);
    }

    runtime().solver().SolveLimb(ped, target, kRightFootNode, knee, weight);

    // A pedal hung upside down rolls the foot with its travel.
    float toe = 0.0f;
    if (brakePedal && pedal::TurnedAboutZ(frameB)) toe += maxAngle * easedBrake * pedal::kToeFactor;
    if (pedal::TurnedAboutZ(frameA)) toe += maxAngle * easedGas * pedal::kToeFactor;
    if (Quaternion* slot = SlotToWrite(kRightFootNode)) {
        WriteBoneRotation(*slot, FootRotation(toe), weight, LastPose(kRightFootNode));
    }
    appliedThisFrame = true;
}

void GasPedalIk::UpdateBike() {

    easedGas = pedal::EaseOut(gasLevel);
    const float lever = pedal::EaseIn(brakeLevel);
    const float twist = pedal::FiniteDegrees(BikeGasAngle * easedGas);

    TurnFrameFromRest(frameA, AxisX, twist);
    if (HasBrakePedal()) TurnFrameFromRest(frameB, AxisZ, pedal::FiniteDegrees(BikeBrkAngle * lever));

    if (ped == nullptr) return;
    // The hand turns with the grip; where it sits is the handlebar
    // handle's business.
    if (Quaternion* hand = SlotToWrite(kRightHandNode)) {
        Quaternion turned = *hand;
        TurnLocally(turned, AxisTurn(gripTurn_, AxisZ, -twist));
        WriteBoneRotation(*hand, turned, weight, LastPose(kRightHandNode));
    }
    if (Quaternion* fingers = SlotToWrite(kRightFingersNode)) {
        WriteBoneRotation(*fingers, pedal::FingerCurlTurn(fingerTurn_, brakeLevel), weight,
                          LastPose(kRightFingersNode));
    }
    appliedThisFrame = true;
}

std::string GasPedalIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "GasPedalIK");
    if (isBike != 0) {
        WriteNumber(out, "BikeGasAngle", BikeGasAngle);
        WriteNumber(out, "BikeBrkAngle", BikeBrkAngle);
        return out;
    }
    WriteVector(out, "GasOffset", grabOffset);
    WriteVector(out, "BrkOffset", secondOffset);
    WriteVector(out, "FootAngle", endAngles);
    WriteNumber(out, "BendAngle", bendAngle);
    WriteNumber(out, "MaxAngle", maxAngle);
    WriteNumber(out, "RateArm", rateArm);
    return out;
}

}  // namespace kovra
