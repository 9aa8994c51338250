#include "kovra/config/ConfigSchema.h"

#include <array>

namespace kovra {

namespace {

using K = ConfigValueKind;

constexpr ConfigKeySpec kVehicleKeys[] = {{"FileVer", K::Integer}, {"ModelID", K::Integer}};
constexpr ConfigKeySpec kSteerKeys[] = {
    {"GrabOffset", K::Vector}, {"CycleAngle", K::Number},  {"RestAngle", K::Number},
    {"SwitchHands", K::Flag},  {"GrabFwAngle", K::Number}, {"GrabBwAngle", K::Number},
    {"PutAwayMult", K::Number}, {"SpinMult", K::Number},   {"SpinRate", K::Number},
    {"DoSpinePush", K::Flag},  {"HeightFactor", K::Number}};
constexpr ConfigKeySpec kGearKeys[] = {{"GrabOffset", K::Vector},
                                       {"HandAngle", K::Vector},
                                       {"RateArm", K::Number},
                                       {"ShiftPattern", K::Integer}};
constexpr ConfigKeySpec kGearPatternKeys[] = {
    {"PreStg_0", K::Vector}, {"FinStg_0", K::Vector}, {"PreStg_1", K::Vector},
    {"FinStg_1", K::Vector}, {"PreStg_2", K::Vector}, {"FinStg_2", K::Vector},
    {"PreStg_3", K::Vector}, {"FinStg_3", K::Vector}, {"PreStg_4", K::Vector},
    {"FinStg_4", K::Vector}, {"PreStg_5", K::Vector}, {"FinStg_5", K::Vector},
    {"PreStg_6", K::Vector}, {"FinStg_6", K::Vector}};
constexpr ConfigKeySpec kHandBrakeKeys[] = {
    {"GrabOffset", K::Vector}, {"HandAngle", K::Vector}, {"RateArm", K::Number},
    {"MaxAngle", K::Number},   {"MinAngle", K::Number},  {"FootTurn", K::Number},
    {"FootHeight", K::Number}};
constexpr ConfigKeySpec kHandlebarKeys[] = {{"GrabOffset", K::Vector},
                                            {"BendAngle", K::Number},
                                            {"DoSpinePush", K::Flag},
                                            {"HeightFactor", K::Number},
                                            {"ArmFactor", K::Number}};
constexpr ConfigKeySpec kGasKeys[] = {
    {"BikeGasAngle", K::Number}, {"BikeBrkAngle", K::Number}, {"GasOffset", K::Vector},
    {"BrkOffset", K::Vector},    {"FootAngle", K::Vector},    {"RateArm", K::Number},
    {"BendAngle", K::Number},    {"MaxAngle", K::Number}};
constexpr ConfigKeySpec kClutchKeys[] = {{"GrabOffset", K::Vector},
                                         {"FootAngle", K::Vector},
                                         {"RateArm", K::Number},
                                         {"BendAngle", K::Number},
                                         {"MaxAngle", K::Number}};
constexpr ConfigKeySpec kPegKeys[] = {
    {"GrabOffset", K::Vector}, {"FootAngle", K::Vector}, {"BendAngle", K::Number}};
constexpr ConfigKeySpec kBikeShiftKeys[] = {
    {"GrabOffset", K::Vector},     {"UpShiftHeight", K::Number}, {"DownShiftHeight", K::Number},
    {"FootTurn", K::Number},       {"MaxAngle", K::Number},      {"RateArm", K::Number}};
constexpr ConfigKeySpec kSeatJiggleKeys[] = {{"MaxOffset", K::Vector},
                                             {"Enable", K::Flag},
                                             {"Damping", K::Number},
                                             {"Stiffnes", K::Number},
                                             {"LeanSway", K::Number}};

constexpr ConfigSectionSpec kVehicleSections[] = {
    {"Kovra_Vehicle", kVehicleKeys},   {"SteerIK", kSteerKeys},
    {"GearIK", kGearKeys},             {"GearPattern", kGearPatternKeys},
    {"HandBrakeIK", kHandBrakeKeys},   {"HandlebarIK", kHandlebarKeys},
    {"GasPedalIK", kGasKeys},          {"ClutchPedalIK", kClutchKeys},
    {"PegIK", kPegKeys},               {"BikeShiftIK", kBikeShiftKeys},
    {"SeatJiggle", kSeatJiggleKeys}};

constexpr ConfigKeySpec kConfigKeys[] = {
    {"HoldHandKey", K::KeyCode},  {"SuddenBar_Rotation_Fix", K::Flag},
    {"Vanilla_Sound_Gearing", K::Flag}, {"Allow_NPCs", K::Flag},
    {"Allow_Steer", K::Flag},     {"Allow_Gear", K::Flag},
    {"Allow_Bar", K::Flag},       {"Allow_Handbrake", K::Flag},
    {"Allow_Gas", K::Flag},       {"Allow_Clutch", K::Flag},
    {"Allow_Peg", K::Flag},       {"Allow_BikeShift", K::Flag}};
constexpr ConfigKeySpec kDefaultsKeys[] = {{"useCarSpinePush", K::Flag},
                                           {"useSeatJiggle", K::Flag}};
constexpr ConfigKeySpec kMultiplierKeys[] = {
    {"muPedalSwitch", K::Number}, {"muThrottle", K::Number},  {"muSpinePush", K::Number},
    {"muDamping", K::Number},     {"muStiffness", K::Number}, {"gWristOffsetY", K::Number}};
constexpr ConfigKeySpec kMenuKeys[] = {
    {"CheatCode", K::Word}, {"Position", K::Vector}, {"Scale", K::Number},
    {"Up", K::KeyCode},     {"Down", K::KeyCode},    {"Left", K::KeyCode},
    {"Right", K::KeyCode},  {"Select", K::KeyCode},  {"Back", K::KeyCode}};

constexpr ConfigSectionSpec kSettingsSections[] = {{"Config", kConfigKeys},
                                                   {"Defaults", kDefaultsKeys},
                                                   {"Multipliers", kMultiplierKeys},
                                                   {"Menu", kMenuKeys}};

constexpr ConfigSectionSpec kPrioritySections[] = {
    {"PriorityAnims", {}, true, K::Unsigned}};

}  // namespace

std::span<const ConfigSectionSpec> ConfigSections(ConfigFileKind kind) {
    switch (kind) {
        case ConfigFileKind::Vehicle: return kVehicleSections;
        case ConfigFileKind::Settings: return kSettingsSections;
        case ConfigFileKind::PriorityAnimations: return kPrioritySections;
    }
    return {};
}

const ConfigSectionSpec* FindConfigSection(ConfigFileKind kind, std::string_view name) {
    for (const ConfigSectionSpec& section : ConfigSections(kind)) {
        if (section.name == name) return &section;
    }
    return nullptr;
}

const ConfigKeySpec* FindConfigKey(const ConfigSectionSpec& section, std::string_view key) {
    for (const ConfigKeySpec& spec : section.keys) {
        if (spec.name == key) return &spec;
    }
    return nullptr;
}

}  // namespace kovra
