#pragma once

#include <cstdint>

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// On a motorbike, one foot leaves its peg on every gear change to flick the
// shift lever up or down and back. grabOffset is added to the peg handle's.
class BikeShiftIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::BikeShift;

    explicit BikeShiftIk(Runtime& runtime);

    void CopyFrom(const IkHandle* other) override;
    // GrabOffset, MaxAngle, UpShiftHeight, DownShiftHeight, FootTurn, RateArm.
    std::string WriteConfig() const override;

    std::int32_t strokePhase = 0;  // 1 lever going out, 3 coming back, 2 finished
    float strokeProgress = 0.0f;   // 0..1 along the lever travel
    float strokeDirection = 1.0f;  // +1 out, -1 back
    bool shiftPending = false;
    std::int32_t gearSeen = 0;     // the gear of the last finished stroke
    std::int32_t targetGear = 0;   // the gear the current stroke shifts to
    bool leftSide = true;          // the lever is on the left: use the left foot
    std::int32_t shiftKind = 0;    // 1 up-shift, 2 down-shift
    float UpShiftHeight = -0.145f;
    float DownShiftHeight = 0.145f;
};

}  // namespace kovra
