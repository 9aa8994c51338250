#pragma once

// The driver's skeleton: 31 bones in the host's per-character animation
// frame array (NodeIndex 1..31), each with the host's bone id. Node 0 and
// bone id 0 stand for "no bone" in these lookups, and for the skeleton's root
// where the host's hierarchy is asked directly.
namespace kovra {

using BoneId = int;
using NodeIndex = int;

inline constexpr int kNodeCount = 32;  // 0 is the root / "none"

// Nodes of the four limb ends the handles drive.
inline constexpr NodeIndex kRightHandNode = 18;  // bone 24, arm 21-26
inline constexpr NodeIndex kLeftHandNode = 12;   // bone 34, arm 31-36
inline constexpr NodeIndex kRightFootNode = 30;  // bone 53, leg 51-54
inline constexpr NodeIndex kLeftFootNode = 26;   // bone 43, leg 41-44

inline constexpr BoneId kRootBone = 0;
inline constexpr BoneId kPelvisBone = 1;

BoneId NodeToBoneId(NodeIndex node);
NodeIndex BoneIdToNode(BoneId boneId);
NodeIndex ParentNode(NodeIndex node);
BoneId ParentBoneId(BoneId boneId);

}  // namespace kovra
