#include "kovra/handles/bike/BikeShiftIk.h"

#include <typeinfo>

#include "kovra/host/Runtime.h"

namespace kovra {

BikeShiftIk::BikeShiftIk(Runtime& runtime) : IkHandle(runtime) {
    disabled = !settings().Allow_BikeShift;
    if (settings().Allow_BikeShift) {
        endAngles = {};
        footTurn = -0.1f;
        maxAngle = 30.0f;
    }
}

void BikeShiftIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(BikeShiftIk)) return;
    const auto& o = static_cast<const BikeShiftIk&>(*other);
    CopyBaseFrom(o);
    strokePhase = o.strokePhase;
    strokeProgress = o.strokeProgress;
    strokeDirection = o.strokeDirection;
    shiftPending = o.shiftPending;
    gearSeen = o.gearSeen;
    targetGear = o.targetGear;
    leftSide = o.leftSide;
    shiftKind = o.shiftKind;
    UpShiftHeight = o.UpShiftHeight;
    DownShiftHeight = o.DownShiftHeight;
}

std::string BikeShiftIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "BikeShiftIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteNumber(out, "MaxAngle", maxAngle);
    WriteNumber(out, "UpShiftHeight", UpShiftHeight);
    WriteNumber(out, "DownShiftHeight", DownShiftHeight);
    WriteNumber(out, "FootTurn", footTurn);
    WriteNumber(out, "RateArm", rateArm);
    return out;
}

}  // namespace kovra
