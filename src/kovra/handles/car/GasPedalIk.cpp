#include "kovra/handles/car/GasPedalIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

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
