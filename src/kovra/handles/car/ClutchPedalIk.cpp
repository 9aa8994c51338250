#include "kovra/handles/car/ClutchPedalIk.h"

#include <typeinfo>

#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

ClutchPedalIk::ClutchPedalIk(Runtime& runtime) : IkHandle(runtime) {
    bendAngle = -25.0f;
    maxAngle = 10.0f;
    disabled = !settings().Allow_Clutch;
}

void ClutchPedalIk::ApplyModelDefaults() {
    if (vehicle == nullptr) return;
    // Bicycles keep the pedal's travel.
    if (host().ModelVehicleType(host().VehicleModelId(vehicle)) == kVehicleTypeMotorbike) {
        maxAngle = 30.0f;
    }
}

void ClutchPedalIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(ClutchPedalIk)) return;
    const auto& o = static_cast<const ClutchPedalIk&>(*other);
    CopyBaseFrom(o);
    clutchLevel = o.clutchLevel;
    gearSeen = o.gearSeen;
}

void ClutchPedalIk::Update() {
    const float dt = host().TimeStep();
    const bool bike = rig != nullptr ? rig->isBike != 0 : isBike != 0;
    if (bike) {
        UpdateBike(dt);
    } else {
        UpdateCar(dt);
    }
}

void ClutchPedalIk::StepStroke(float rate) {
    const std::int32_t gear = rig != nullptr ? rig->audioGear : gearSeen;
    const float level = pedal::Advance(clutchLevel, gearSeen != gear ? rate : -rate);
    // The new gear is taken with the pedal on the floor.
    if (level >= 1.0f) gearSeen = gear;
    clutchLevel = Clamp(level, 0.0f, 1.0f);
}

void ClutchPedalIk::UpdateCar(float dt) {
    Host& h = host();
    weight = Clamp(RigWeight(kLeftFootNode), 0.0f, 1.0f);

    float rate = rateArm * settings().muThrottle * dt;
    if (!IsFinite(rate)) rate = 0.0f;
    if (rig != nullptr && rig->gearIk != nullptr) {
        // The stick's own shift decides; the simulated gear is not watched.
        const float step = rig->gearIk->shifting ? rate : -rate;
        clutchLevel = Clamp(pedal::Advance(clutchLevel, step), 0.0f, 1.0f);
    } else {
        StepStroke(rate);
    }

    const float eased = pedal::EaseOut(clutchLevel);
    TurnFrameFromRest(frameA, AxisX, pedal::FiniteDegrees(maxAngle * eased));

    if (frameA.frame == nullptr) return;
    const FrameMatrix* pedalWorld = h.FrameWorld(frameA.frame);
    if (pedalWorld == nullptr) return;
    const Vector3 target = TransformPoint(grabOffset, *pedalWorld);
    if (ped == nullptr) return;

    const Vector3 knee = pedal::KneeDirection(h, ped, target, bendAngle, kneeTurn_);

    DebugDrawQueue& debug = runtime().debug();
    if (debug.enabled) {
        debug.DrawMarker(pedalWorld->pos, kDebugBlue, pedal::kMarkerSize);
        debug.DrawMarker(target, kDebugYellow, pedal::kMarkerSize);
    }

    runtime().solver().SolveLimb(ped, target, kLeftFootNode, knee, weight);

    const float toe = pedal::TurnedAboutZ(frameA) ? maxAngle * eased * pedal::kToeFactor : 0.0f;
    if (Quaternion* slot = SlotToWrite(kLeftFootNode)) {
        WriteBoneRotation(*slot, FootRotation(toe), weight, LastPose(kLeftFootNode));
    }
    appliedThisFrame = true;
}

void ClutchPedalIk::UpdateBike(float dt) {
    weight = Clamp(RigWeight(kLeftHandNode), 0.0f, 1.0f);

    if (rig != nullptr && rig->bikeShiftIk != nullptr) {
        // The lever is pulled in step with the foot's shift stroke (last
        // frame's: the shift handle runs later).
        clutchLevel = Clamp(rig->bikeShiftIk->weight, 0.0f, 1.0f);
    } else {
        float rate = rateArm * dt;
        if (!IsFinite(rate)) rate = 0.0f;
        StepStroke(rate);
    }

    const float travel = pedal::EaseIn(clutchLevel);
    TurnFrameFromRest(frameA, AxisZ, pedal::FiniteDegrees(maxAngle * travel));

    if (ped == nullptr) return;
    if (Quaternion* fingers = SlotToWrite(kLeftFingersNode)) {
        WriteBoneRotation(*fingers, pedal::FingerCurlTurn(fingerTurn_, clutchLevel), weight,
                          LastPose(kLeftFingersNode));
    }
    appliedThisFrame = true;
}

std::string ClutchPedalIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "ClutchPedalIK");
    if (isBike != 0) {
        WriteNumber(out, "MaxAngle", maxAngle);
        return out;
    }
    WriteVector(out, "GrabOffset", grabOffset);
    WriteVector(out, "FootAngle", endAngles);
    WriteNumber(out, "BendAngle", bendAngle);
    WriteNumber(out, "MaxAngle", maxAngle);
    WriteNumber(out, "RateArm", rateArm);
    return out;
}

}  // namespace kovra
