#include "kovra/menu/VehicleMenuPages.h"

#include <algorithm>

#include "kovra/config/NumberFormat.h"
#include "kovra/handles/bike/BarIk.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/menu/TextMenu.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {

namespace {

constexpr float kUnbounded = 1000000.0f;
constexpr float kOffsetStep = 0.005f;
constexpr float kAngleStep = 1.0f;
constexpr float kPedalAngleStep = 0.5f;
constexpr float kRateStep = 0.001f;
constexpr float kFactorStep = 0.01f;

// A number with the pages' usual range and two digits.
void Value(TextMenu& menu, float& value, const char* label, float step) {
    menu.number(value, label, step, -kUnbounded, kUnbounded, 2);
}

// The "X: ", "Y: ", "Z: " rows of a vector, each label after `prefix`.
void Components(TextMenu& menu, Vector3& v, float step, float min = -kUnbounded,
                float max = kUnbounded, const char* prefix = "") {
    const std::string p = prefix;
    menu.number(v.x, p + "X: ", step, min, max, 2);
    menu.number(v.y, p + "Y: ", step, min, max, 2);
    menu.number(v.z, p + "Z: ", step, min, max, 2);
}

// A vector under its name.
void Vector(TextMenu& menu, const char* name, Vector3& v, float step) {
    menu.label(name);
    Components(menu, v, step);
}

void GapAndSeparator(TextMenu& menu) {
    menu.gap();
    menu.separator();
}

// What a car's pedal pages share after the pedal's offsets.
void PedalRows(TextMenu& menu, IkHandle& h) {
    menu.label("Angles:");
    Value(menu, h.bendAngle, "BendAngle: ", kPedalAngleStep);
    Value(menu, h.maxAngle, "PedalMax: ", kPedalAngleStep);
    menu.separator();
    Vector(menu, "FootAngle:", h.endAngles, kAngleStep);
    menu.separator();
    Value(menu, h.rateArm, "RateArm: ", kRateStep);
}

// "%i/%i - %s" as the save-load page shows a model's file.
std::string FileLine(std::int32_t selected, std::size_t count, const std::string& label) {
    return formatInteger(selected + 1) + "/" + formatInteger(static_cast<long long>(count)) + " - " +
           label;
}

}  // namespace

void VehicleMenuPages::Title(CVehicle* vehicle, std::string& out) const {
    Host& host = runtime_.host();
    const int modelId = host.VehicleModelId(vehicle);
    // Written into the menu's own title, whose room is kept from frame to frame.
    out.assign("~y~~h~");
    out += formatInteger(modelId);
    out += " - ";
    out += host.ModelName(modelId);
}

void VehicleMenuPages::Draw(TextMenu& menu, CabinIk& rig) {
    const bool bike = rig.isBike == 1;
    if (menu.beginPage("Main")) Main(menu, rig);
    // Each handle is looked up again: an action above may have rebuilt the rig.
    if (rig.gearIk && menu.beginPage("Gear")) Gear(menu, *rig.gearIk);
    if (rig.gearIk && menu.beginPage("Gear Pattern")) GearPattern(menu, *rig.gearIk);
    if (rig.steerIk && menu.beginPage("SteerWheel")) Steer(menu, *rig.steerIk);
    if (rig.handBrakeIk && menu.beginPage("HandBrake")) HandBrake(menu, *rig.handBrakeIk, bike);
    if (rig.gasPedalIk && menu.beginPage("GasPedal")) GasPedal(menu, *rig.gasPedalIk, bike);
    if (rig.clutchPedalIk && menu.beginPage("ClutchPedal")) ClutchPedal(menu, *rig.clutchPedalIk, bike);
    if (rig.barIk && menu.beginPage("Handlebar")) Handlebar(menu, *rig.barIk);
    if (rig.pegIk && menu.beginPage("Pegs")) Pegs(menu, *rig.pegIk);
    if (rig.bikeShiftIk && menu.beginPage("BikeShift")) BikeShift(menu, *rig.bikeShiftIk);
    if (rig.seatJiggle && menu.beginPage("SeatJiggle")) Seat(menu, *rig.seatJiggle);
    if (menu.beginPage("Save-Load")) SaveLoad(menu, rig);
}

void VehicleMenuPages::Main(TextMenu& menu, CabinIk& rig) {
    if (rig.gearIk) menu.pageLink("Gear...", "Gear");
    if (rig.steerIk) menu.pageLink("SteerWheel...", "SteerWheel");
    if (rig.handBrakeIk) menu.pageLink("HandBrake...", "HandBrake");
    if (rig.gasPedalIk) menu.pageLink("GasPedal...", "GasPedal");
    if (rig.clutchPedalIk) menu.pageLink("ClutchPedal...", "ClutchPedal");
    if (rig.barIk) menu.pageLink("Handlebar...", "Handlebar");
    if (rig.pegIk) menu.pageLink("Pegs...", "Pegs");
    if (rig.bikeShiftIk) menu.pageLink("BikeShift...", "BikeShift");
    if (rig.isBike == 1 && rig.pegIk && rig.seatJiggle) menu.pageLink("SeatJiggle...", "SeatJiggle");
    menu.separator();
    // Rebuilds this rig as well: nothing below may touch its handles.
    if (menu.action("UpdateAllVehs")) runtime_.store().pushRigToStore(rig);
    menu.pageLink("Save-Load...", "Save-Load");
    menu.endPage();
}

void VehicleMenuPages::Steer(TextMenu& menu, SteerIk& h) {
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    GapAndSeparator(menu);
    menu.label("Angles:");
    menu.toggle(h.switchHands, "SwitchHands: ");
    Value(menu, h.restAngle, "RestAngle: ", kAngleStep);
    if (h.switchHands) {
        Value(menu, h.cycleAngle, "CycleAng: ", kAngleStep);
        Value(menu, h.grabFwAngle, "grabFwAng: ", kAngleStep);
        Value(menu, h.grabBwAngle, "grabBwAng: ", kAngleStep);
    }
    GapAndSeparator(menu);
    Value(menu, h.putAwayMult, "PutAwayMult: ", 0.01f);
    Value(menu, h.spinMult, "SpinMult: ", 0.05f);
    menu.number(h.spinRate, "SpinRate: ", kRateStep, 0.0f, 0.5f, 3);
    menu.toggle(h.doSpinePush, "DoSpinePush: ");
    if (h.doSpinePush) menu.number(h.heightFactor, "HeightFactor: ", kFactorStep, 0.0f, 3.0f, 2);
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::HandBrake(TextMenu& menu, HandBrakeIk& h, bool bike) {
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    menu.separator();
    if (bike) {
        Value(menu, h.maxAngle, "MaxAngle: ", kPedalAngleStep);
        Value(menu, h.FootHeight, "FootHeight: ", 0.01f);
        Value(menu, h.footTurn, "FootTurn: ", 0.01f);
        menu.number(h.rateArm, "Ratelimb: ", kRateStep, 0.0f, 10.0f, 3);
    } else {
        menu.label("Angles:");
        Value(menu, h.maxAngle, "Max: ", kPedalAngleStep);
        Value(menu, h.minAngle, "Min: ", kPedalAngleStep);
        menu.separator();
        Vector(menu, "HandAngle:", h.endAngles, kAngleStep);
        menu.separator();
        menu.number(h.rateArm, "RateArm: ", kRateStep, 0.0f, 10.0f, 3);
    }
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::GasPedal(TextMenu& menu, GasPedalIk& h, bool bike) {
    if (bike) {
        Value(menu, h.BikeGasAngle, "BikeGasAngle: ", kPedalAngleStep);
        Value(menu, h.BikeBrkAngle, "BikeBrkAngle: ", 0.01f);
        menu.number(h.rateArm, "RateArm: ", kRateStep, 0.0f, 10.0f, 3);
    } else {
        Vector(menu, "GasOffset:", h.grabOffset, kOffsetStep);
        menu.separator();
        Vector(menu, "BrkOffset:", h.secondOffset, kOffsetStep);
        menu.separator();
        PedalRows(menu, h);
    }
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::ClutchPedal(TextMenu& menu, ClutchPedalIk& h, bool bike) {
    if (bike) {
        Value(menu, h.maxAngle, "MaxAngle: ", kPedalAngleStep);
    } else {
        Vector(menu, "grabOffset:", h.grabOffset, kOffsetStep);
        menu.separator();
        PedalRows(menu, h);
    }
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::Handlebar(TextMenu& menu, BarIk& h) {
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    GapAndSeparator(menu);
    Value(menu, h.bendAngle, "BendAngle: ", kAngleStep);
    menu.toggle(h.doSpinePush, "DoSpinePush: ");
    if (h.doSpinePush) {
        menu.number(h.heightFactor, "HeightFactor: ", kFactorStep, 0.0f, 3.0f, 2);
        menu.number(h.armFactor, "ArmFactor: ", kFactorStep, 0.0f, 3.0f, 2);
    }
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::Pegs(TextMenu& menu, PegIk& h) {
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    menu.separator();
    menu.label("Angles:");
    Value(menu, h.bendAngle, "BendAngle: ", kAngleStep);
    Vector(menu, "FootAngle:", h.endAngles, kAngleStep);
    menu.separator();
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::BikeShift(TextMenu& menu, BikeShiftIk& h) {
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    menu.separator();
    menu.number(h.maxAngle, "MaxAngle: ", kPedalAngleStep, -100.0f, 100.0f, 1);
    menu.number(h.UpShiftHeight, "UpShiftHeight: ", kOffsetStep, -100.0f, 100.0f, 3);
    menu.number(h.DownShiftHeight, "DownShiftHeight: ", kOffsetStep, -100.0f, 100.0f, 3);
    Value(menu, h.footTurn, "FootTurn: ", 0.01f);
    menu.number(h.rateArm, "RateLimb: ", kRateStep, 0.0f, 10.0f, 3);
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::Seat(TextMenu& menu, SeatJiggle& h) {
    menu.toggle(h.Enable, "ENABLE: ");
    menu.separator();
    menu.label("MaxOffset:");
    Components(menu, h.MaxOffset, 0.05f, 0.0f, kUnbounded);
    menu.separator();
    menu.number(h.Damping, "Damping: ", kOffsetStep, 0.0f, 1.0f, 3);
    menu.number(h.Stiffnes, "Stiffnes: ", kOffsetStep, 0.0f, 5.0f, 3);
    menu.number(h.LeanSway, "LeanSway: ", kOffsetStep, 0.0f, 1.0f, 3);
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::Gear(TextMenu& menu, GearIk& h) {
    menu.pageLink("Gear Pattern...", "Gear Pattern");
    menu.gap();
    Vector(menu, "GrabOffset:", h.grabOffset, kOffsetStep);
    menu.separator();
    Vector(menu, "HandAngle:", h.endAngles, kAngleStep);
    menu.separator();
    menu.number(h.rateArm, "RateArm: ", kRateStep, 0.0f, 0.5f, 3);
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::GearPattern(TextMenu& menu, GearIk& h) {
    menu.label(GearIk::PatternName(h.shiftPattern));
    // Only the number: the positions stay until "Set Default Gears".
    menu.integer(h.shiftPattern, "ShiftPattern: ", 1, 0, GearIk::kPatternCount - 1);
    if (menu.action("Set Default Gears")) h.SetPattern(h.shiftPattern);
    GapAndSeparator(menu);
    menu.integer(editedGear, "Gear: ", 1, 0, GearIk::kPositionCount - 1);
    editedGear = std::clamp<std::int32_t>(editedGear, 0, GearIk::kPositionCount - 1);
    GearPatternEntry& entry = h.pattern[static_cast<std::size_t>(editedGear)];
    Components(menu, entry.preStage, 0.5f, -kUnbounded, kUnbounded, "Pre ");
    menu.separator();
    Components(menu, entry.finalStage, 0.5f, -kUnbounded, kUnbounded, "Fin ");
    menu.gap();
    menu.endPage();
}

void VehicleMenuPages::SaveLoad(TextMenu& menu, CabinIk& rig) {
    VehicleConfigStore& store = runtime_.store();
    VehicleConfigRecord& record = store.get(runtime_.host().VehicleModelId(rig.vehicle));
    const std::size_t count = record.filePaths.size();
    if (count > 0) {
        VehicleConfigStore::wrapSelectedFile(record);
        const auto selected = static_cast<std::size_t>(record.selectedFile);
        static const std::string kNoLabel;
        const std::string& fileLabel = selected < record.fileLabels.size() ? record.fileLabels[selected] : kNoLabel;
        menu.hideNextIntValue = true;
        // One past either end is let through for the store to wrap it round.
        if (menu.integer(record.selectedFile, FileLine(record.selectedFile, count, fileLabel), 1, -1,
                         static_cast<std::int32_t>(count))) {
            VehicleConfigStore::wrapSelectedFile(record);
        }
        menu.gap();
        menu.label("~y~~h~Load:");
        menu.toggle(store.onlyCurrentVehicle, "Only Current Vehicle: ");
        if (menu.action("Load File")) store.loadSelectedFile(rig);
        menu.gap();
    }
    menu.label("~y~~h~Save:");
    if (count > 0) menu.toggle(store.saveAsCopy, "Save As Copy: ");
    if (rig.gearIk) menu.toggle(store.exportGears, "Export Gears: ");
    if (menu.action("Export Config!")) store.exportFromRig(rig);
    menu.gap();
    menu.endPage();
}

}  // namespace kovra
