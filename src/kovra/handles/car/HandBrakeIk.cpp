#include "kovra/handles/car/HandBrakeIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

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
