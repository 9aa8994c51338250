#include "kovra/handles/bike/SeatJiggle.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

// Longer steps than this would let the spring overshoot wildly.
constexpr float kMaxStep = 1.66f;
constexpr float kFastLeanRate = 0.8f;
constexpr float kSinkShare = 0.05f;
constexpr float kAirborneBounce = 1.5f;
constexpr float kSideMotionShare = 0.5f;

// The rider stays within two arm lengths of the seat whatever MaxOffset
// says: a huge offset would carry him off the bike and, added to the seat
// position, past what the game's numbers hold.
constexpr float kMaxOffsetCap = 4.0f;

// A limit as a magnitude; anything not finite allows no offset.
float Limit(float maxOffset, float half) {
    const float limit = std::min(std::fabs(maxOffset), kMaxOffsetCap) * half;
    return IsFinite(limit) ? limit : 0.0f;
}

Vector3 ClampEach(const Vector3& v, const Vector3& lo, const Vector3& hi) {
    return {Clamp(v.x, lo.x, hi.x), Clamp(v.y, lo.y, hi.y), Clamp(v.z, lo.z, hi.z)};
}

}  // namespace

SeatJiggle::SeatJiggle(Runtime& runtime) : IkHandle(runtime) {
    Enable = settings().useSeatJiggle;
}

void SeatJiggle::ApplyModelDefaults() {
    Enable = settings().useSeatJiggle;
    if (vehicle == nullptr) return;
    if (VehicleAnimGroup() == 7) {
        MaxOffset = {1.0f, 0.35f, 0.8f};
        LeanSway = 0.35f;
    } else {
        MaxOffset = {1.0f, 0.0f, 1.0f};
        LeanSway = 0.5f;
        Damping = 0.2f;
        Stiffnes = 0.2f;
    }
}

void SeatJiggle::ResetSpring() {
    fastLean = 0.0f;
    slowLean = 0.0f;
    sway = 0.0f;
    seatOffset = {};
    springPosition = {};
    springVelocity = {};
}

void SeatJiggle::OffsetLimits(float armLength, Vector3& lo, Vector3& hi) const {
    const float half = IsFinite(armLength) ? std::fabs(armLength) * 0.5f : 0.0f;
    hi = {Limit(MaxOffset.x, half), Limit(MaxOffset.y, half), Limit(MaxOffset.z, half)};
    lo = {-hi.x, -hi.y, -hi.z * kSinkShare};
}

void SeatJiggle::StepSpring() {
    Host& h = host();
    if (vehicle == nullptr || h.VehicleDriver(vehicle) == nullptr || !Enable) {
        ResetSpring();
        return;
    }
    const int model = h.VehicleModelId(vehicle);
    const int vehicleType = h.ModelVehicleType(model);
    if (vehicleType != kVehicleTypeMotorbike && vehicleType != kVehicleTypeBicycle) return;
    const float dt = Clamp(h.TimeStep(), 0.0f, kMaxStep);
    FrameMatrix body;
    if (!BikeBodyWorld(body)) return;

    Vector3 lo, hi;
    OffsetLimits(rig != nullptr ? rig->armLength : 0.0f, lo, hi);

    // The bike's motion seen from the seat: its velocity, negated, in the
    // body's axes; off the ground the rider bounces more.
    const VehicleState state = h.ReadVehicleState(vehicle);
    const Vector3 velocity = IsFinite(state.moveSpeed) ? state.moveSpeed : Vector3{};
    FrameMatrix seat = body;
    seat.pos = ToFrameWorld(h.ModelFrontSeat(model), body);
    Vector3 motion = ToFrameLocal(seat.pos - velocity, seat);
    if (state.wheelsOnGround == 0) motion.z *= kAirborneBounce;

    // The sway is what a slow follower of the lean lags behind a fast one.
    const float lean = IsFinite(state.lean) ? state.lean : 0.0f;
    fastLean = (1.0f - kFastLeanRate * dt) * fastLean + kFastLeanRate * dt * lean;
    slowLean = (1.0f - LeanSway * dt) * slowLean + LeanSway * dt * fastLean;
    sway = Clamp(slowLean - fastLean, lo.x, hi.x);

    const Vector3 target =
        ClampEach({sway + kSideMotionShare * motion.x, motion.y, motion.z}, lo, hi);
    const Vector3 acceleration = (target - springPosition) * Stiffnes - springVelocity * Damping;
    springVelocity += acceleration * dt;
    springPosition += springVelocity * dt;

    // The spring overshoots its target; the rider still never leaves the
    // limits, and stops dead against them.
    const Vector3 held = ClampEach(springPosition, lo, hi);
    if (held.x != springPosition.x) springVelocity.x = 0.0f;
    if (held.y != springPosition.y) springVelocity.y = 0.0f;
    if (held.z != springPosition.z) springVelocity.z = 0.0f;
    springPosition = held;
    seatOffset = springPosition;

    // Tunables past all reason must not leave a broken state behind.
    if (!IsFinite(fastLean) || !IsFinite(slowLean) || !IsFinite(springVelocity) ||
        !IsFinite(springPosition)) {
        ResetSpring();
    }
}

void SeatJiggle::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(SeatJiggle)) return;
    const auto& o = static_cast<const SeatJiggle&>(*other);
    CopyBaseFrom(o);
    Enable = o.Enable;
    Damping = o.Damping;
    Stiffnes = o.Stiffnes;
    LeanSway = o.LeanSway;
    MaxOffset = o.MaxOffset;
    fastLean = o.fastLean;
    slowLean = o.slowLean;
    sway = o.sway;
    seatOffset = o.seatOffset;
    springPosition = o.springPosition;
    springVelocity = o.springVelocity;
}

std::string SeatJiggle::WriteConfig() const {
    std::string out;
    WriteSection(out, "SeatJiggle");
    WriteFlag(out, "Enable", Enable);
    WriteVector(out, "MaxOffset", MaxOffset);
    WriteNumber(out, "Damping", Damping);
    WriteNumber(out, "Stiffnes", Stiffnes);
    WriteNumber(out, "LeanSway", LeanSway);
    return out;
}

}  // namespace kovra
