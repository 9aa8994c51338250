#pragma once

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// Small steps the pedal and lever handles share.
namespace pedal {

// Half-size of the markers on pedal frames and foot targets.
inline constexpr float kMarkerSize = 0.01f;
// Extra foot roll per degree of pedal travel on a pedal hung upside down.
inline constexpr float kToeFactor = 1.25f;

// level moved by delta; a step that is not a number leaves it where it was.
// Not clamped: the clutch stroke looks at the level before clamping.
float Advance(float level, float delta);
// Ease-out quadratic: how far a pedal travels at a press level.
float EaseOut(float level);
// Ease-in quadratic: how far a hand lever travels at a pull level; it
// leaves the rest at a finite speed and arrives at the full pull at twice it.
float EaseIn(float level);
// Degrees the fingers curl about their Z: 90 on the grip (level 0) and on
// the pulled lever (level 1), straight half way, eased in and out.
float FingerCurl(float level);
// The fingers' curl at a level as a turn about their Z, kept with the level.
struct KeptFingerCurl {
    float level = 0.0f;
    Quaternion rotation;
    bool valid = false;
};
// AxisAngle about Z by FingerCurl(level), worked out only for a level other
// than the kept one.
const Quaternion& FingerCurlTurn(KeptFingerCurl& kept, float level);
// A pedal frame hung upside down: turned about Z, but not a frame left at
// the model's own axes.
bool TurnedAboutZ(const FrameSlot& slot);
// Degrees as given, or 0 when they are not a number a frame can turn by.
float FiniteDegrees(float degrees);
// The direction a knee bends towards for a foot reaching `target`: the
// skeleton root's negated X axis, turned by bendAngle degrees about the line
// from the root to the target. Zero (the solver then picks one) when the
// driver has no skeleton. `turn` keeps the sine and cosine of the bend.
Vector3 KneeDirection(Host& host, CPed* ped, const Vector3& target, float bendAngle, KeptSinCos& turn);

}  // namespace pedal

// In a car, the right foot on the gas and brake pedals (frameA "ik_gas",
// frameB "ik_brake"); on a bike, the right hand's throttle twist and front
// brake lever.
class GasPedalIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::GasPedal;

    explicit GasPedalIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    // Bike: BikeGasAngle and BikeBrkAngle only. Car: GasOffset, BrkOffset,
    // FootAngle, BendAngle, MaxAngle, RateArm.
    std::string WriteConfig() const override;
    // Follows the gas and brake inputs with the press levels, presses the
    // pedals (or twists the grip and pulls the lever) and poses the foot
    // (or the hand's twist and fingers).
    void Update() override;
    // The gas level this frame's update reaches with `gasInput` held: the
    // handlebar handle, which runs first, rolls the throttle hand with it.
    float NextGasLevel(float gasInput, float dt) const;

    float gasLevel = 0.0f;    // 0..1
    float brakeLevel = 0.0f;  // 0..1
    float footSwitch = 1.0f;  // 1 on the gas pedal, 0 on the brake pedal
    float BikeGasAngle = 45.0f;   // degrees of grip twist at full gas
    float BikeBrkAngle = -30.0f;  // degrees of lever travel at full brake
    float easedGas = 0.0f;    // read by the handlebar handle for the right grip
    float easedBrake = 0.0f;

private:
    bool HasBrakePedal() const { return frameB.found && frameB.frame != nullptr; }
    float PressRate(float dt) const;
    void StepPressLevels(float gasInput, float brakeInput, float dt);
    void UpdateCar(float brakeInput, float dt);
    void UpdateBike();

    KeptSinCos kneeTurn_;
    KeptAxisTurn gripTurn_;
    pedal::KeptFingerCurl fingerTurn_;
};

}  // namespace kovra
