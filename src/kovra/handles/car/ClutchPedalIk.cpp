#include "kovra/handles/car/ClutchPedalIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

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
