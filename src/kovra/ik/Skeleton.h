#pragma once

#include <array>
#include <cstdint>

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

// The spine and head the handles lean and level (bone id = node here).
inline constexpr BoneId kSpineBaseBone = 2;
inline constexpr BoneId kSpineBone = 3;
inline constexpr BoneId kUpperSpineBone = 4;
inline constexpr NodeIndex kUpperSpineNode = 4;
inline constexpr BoneId kNeckBone = 5;
inline constexpr NodeIndex kNeckNode = 5;
// The finger nodes below each hand.
inline constexpr NodeIndex kRightFingersNode = 19;
inline constexpr NodeIndex kLeftFingersNode = 13;

namespace skeleton_table {

struct Row {
    BoneId bone;
    NodeIndex parent;
};

// Indexed by NodeIndex; row 0 is the "none" entry.
inline constexpr std::array<Row, kNodeCount> kRows{{
    {0, 0},
    {1, 0},   {2, 1},   {3, 2},   {4, 3},   {5, 4},   {8, 5},   {6, 5},   {7, 5},
    {31, 4},  {32, 9},  {33, 10}, {34, 11}, {35, 12}, {36, 13},
    {21, 4},  {22, 15}, {23, 16}, {24, 17}, {25, 18}, {26, 19},
    {302, 3}, {301, 3}, {201, 2},
    {41, 1},  {42, 24}, {43, 25}, {44, 26},
    {51, 1},  {52, 28}, {53, 29}, {54, 30},
}};

inline constexpr BoneId kLargestBoneId = 302;

// The node of every bone id up to the largest, 0 for ids not in the table:
// a bone read looks its node up directly instead of searching the rows.
inline constexpr std::array<std::int8_t, kLargestBoneId + 1> kNodeOfBone = [] {
    std::array<std::int8_t, kLargestBoneId + 1> nodes{};
    for (NodeIndex node = 1; node < kNodeCount; ++node) {
        nodes[static_cast<std::size_t>(kRows[static_cast<std::size_t>(node)].bone)] =
            static_cast<std::int8_t>(node);
    }
    return nodes;
}();

constexpr bool ValidNode(NodeIndex node) { return node >= 1 && node < kNodeCount; }

}  // namespace skeleton_table

constexpr BoneId NodeToBoneId(NodeIndex node) {
    return skeleton_table::ValidNode(node) ? skeleton_table::kRows[static_cast<std::size_t>(node)].bone : 0;
}

constexpr NodeIndex BoneIdToNode(BoneId boneId) {
    if (boneId <= 0 || boneId > skeleton_table::kLargestBoneId) return 0;
    return skeleton_table::kNodeOfBone[static_cast<std::size_t>(boneId)];
}

constexpr NodeIndex ParentNode(NodeIndex node) {
    return skeleton_table::ValidNode(node) ? skeleton_table::kRows[static_cast<std::size_t>(node)].parent : 0;
}

constexpr BoneId ParentBoneId(BoneId boneId) { return NodeToBoneId(ParentNode(BoneIdToNode(boneId))); }

// Bit per node of each node's subtree, itself included (node 0's holds every
// node): the nodes whose world matrices follow a change to that node.
inline constexpr std::array<std::uint32_t, kNodeCount> kSubtreeBits = [] {
    static_assert(kNodeCount <= 32, "one bit per node");
    std::array<std::uint32_t, kNodeCount> subtree{};
    // Children have higher numbers than their parents: the last first.
    for (std::size_t node = kNodeCount; node-- > 0;) {
        subtree[node] |= 1u << node;
        if (node > 0) subtree[static_cast<std::size_t>(ParentNode(static_cast<NodeIndex>(node)))] |= subtree[node];
    }
    return subtree;
}();

}  // namespace kovra
