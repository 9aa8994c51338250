#pragma once

#include <cstdint>
#include <string>

#include "kovra/host/HostTypes.h"

namespace kovra {

class BarIk;
class BikeShiftIk;
class CabinIk;
class ClutchPedalIk;
class GasPedalIk;
class GearIk;
class HandBrakeIk;
class PegIk;
class Runtime;
class SeatJiggle;
class SteerIk;
class TextMenu;

// The vehicle menu's pages for the rig of the vehicle the player sits in:
// "Main", one page per handle the rig built (in its car or bike variant),
// "Gear Pattern" and "Save-Load". Edits act at once on the rig's live
// handles; "UpdateAllVehs" and the save-load page hand them to the store.
class VehicleMenuPages {
public:
    explicit VehicleMenuPages(Runtime& runtime) : runtime_(runtime) {}

    // "~y~~h~", the model index, " - " and the model's name, into out.
    void Title(CVehicle* vehicle, std::string& out) const;
    // Draws whichever page is current. A handle page is drawn only while
    // the rig has that handle, so the menu falls back to "Main" without it.
    void Draw(TextMenu& menu, CabinIk& rig);

    // The gear position the "Gear Pattern" page edits, 0 to 6.
    std::int32_t editedGear = 0;

private:
    void Main(TextMenu& menu, CabinIk& rig);
    void Steer(TextMenu& menu, SteerIk& h);
    void HandBrake(TextMenu& menu, HandBrakeIk& h, bool bike);
    void GasPedal(TextMenu& menu, GasPedalIk& h, bool bike);
    void ClutchPedal(TextMenu& menu, ClutchPedalIk& h, bool bike);
    void Handlebar(TextMenu& menu, BarIk& h);
    void Pegs(TextMenu& menu, PegIk& h);
    void BikeShift(TextMenu& menu, BikeShiftIk& h);
    void Seat(TextMenu& menu, SeatJiggle& h);
    void Gear(TextMenu& menu, GearIk& h);
    void GearPattern(TextMenu& menu, GearIk& h);
    void SaveLoad(TextMenu& menu, CabinIk& rig);

    Runtime& runtime_;
};

}  // namespace kovra
