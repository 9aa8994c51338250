#include "kovra/ik/Skeleton.h"

#include <array>

namespace kovra {

namespace {

struct SkeletonRow {
    BoneId bone;
    NodeIndex parent;
};

// Indexed by NodeIndex; row 0 is the "none" entry.
constexpr std::array<SkeletonRow, kNodeCount> kTable{{
    {0, 0},
    {1, 0},   {2, 1},   {3, 2},   {4, 3},   {5, 4},   {8, 5},   {6, 5},   {7, 5},
    {31, 4},  {32, 9},  {33, 10}, {34, 11}, {35, 12}, {36, 13},
    {21, 4},  {22, 15}, {23, 16}, {24, 17}, {25, 18}, {26, 19},
    {302, 3}, {301, 3}, {201, 2},
    {41, 1},  {42, 24}, {43, 25}, {44, 26},
    {51, 1},  {52, 28}, {53, 29}, {54, 30},
}};

constexpr bool ValidNode(NodeIndex node) { return node >= 1 && node < kNodeCount; }

}  // namespace

BoneId NodeToBoneId(NodeIndex node) { return ValidNode(node) ? kTable[node].bone : 0; }

NodeIndex BoneIdToNode(BoneId boneId) {
    if (boneId == 0) return 0;
    for (NodeIndex node = 1; node < kNodeCount; ++node) {
        if (kTable[node].bone == boneId) return node;
    }
    return 0;
}

NodeIndex ParentNode(NodeIndex node) { return ValidNode(node) ? kTable[node].parent : 0; }

BoneId ParentBoneId(BoneId boneId) { return NodeToBoneId(ParentNode(BoneIdToNode(boneId))); }

}  // namespace kovra
