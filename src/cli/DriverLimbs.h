#pragma once

#include <array>
#include <cstddef>

#include "kovra/ik/Skeleton.h"

// Which limb of the driver a bone belongs to, and its colour, shared by the
// pictures and the glTF files: the driver's right side warm, the left cool.
namespace kovra::cli {

enum class Limb : int { RightArm, LeftArm, RightLeg, LeftLeg, Spine, Count };

struct LimbStyle {
    const char* name;
    const char* colour;  // "#rrggbb", sRGB
};

inline constexpr std::array<LimbStyle, static_cast<std::size_t>(Limb::Count)> kLimbStyles{{
    {"right arm", "#d62728"},
    {"left arm", "#1f77b4"},
    {"right leg", "#ff7f0e"},
    {"left leg", "#17a2b8"},
    {"spine and head", "#6a3d9a"},
}};

inline Limb LimbOf(NodeIndex node) {
    if (node >= 15 && node <= 20) return Limb::RightArm;
    if (node >= 9 && node <= 14) return Limb::LeftArm;
    if (node >= 28 && node <= 31) return Limb::RightLeg;
    if (node >= 24 && node <= 27) return Limb::LeftLeg;
    return Limb::Spine;
}

// Bones by node, as the glTF files and the run's page name them.
inline constexpr std::array<const char*, kNodeCount> kBoneNames = {
    "root",      "pelvis",     "spine",      "spine1",    "neck",        "head",
    "head_top",  "brow_l",     "brow_r",     "clavicle_l", "upperarm_l", "forearm_l",
    "hand_l",    "finger_l",   "fingertip_l", "clavicle_r", "upperarm_r", "forearm_r",
    "hand_r",    "finger_r",   "fingertip_r", "chest_r",   "chest_l",     "belly",
    "thigh_l",   "calf_l",     "foot_l",     "toe_l",     "thigh_r",     "calf_r",
    "foot_r",    "toe_r"};

inline const LimbStyle& StyleOf(Limb limb) { return kLimbStyles[static_cast<std::size_t>(limb)]; }

}  // namespace kovra::cli
