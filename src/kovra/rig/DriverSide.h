#pragma once

#include "kovra/host/HostTypes.h"

namespace kovra {

class Runtime;

// Which characters are posed, and the steps around the game's own handling
// of drivers: the seat motion added around seat placement, the head hidden
// from a camera inside it, the drawn handlebar of a bike.
class DriverSide {
public:
    explicit DriverSide(Runtime& runtime) : runtime_(runtime) {}

    // The character's pose is final: pose the driver of its vehicle.
    void OnPedIk(CPed* ped);
    // Only while the companion module is loaded.
    void OnPedHead(CPed* ped);
    void OnSeatPlacementBefore(CPed* ped);
    void OnSeatPlacementAfter(CPed* ped);
    void OnBikeProcess(CBike* bike);

private:
    void MoveSeat(CPed* ped, float sign);

    Runtime& runtime_;
};

}  // namespace kovra
