#include "kovra/ik/Skeleton.h"

#include <gtest/gtest.h>

namespace kovra {
namespace {

TEST(Skeleton, NodeAndBoneLookupsAreInverse) {
    for (NodeIndex node = 1; node < kNodeCount; ++node) {
        EXPECT_EQ(BoneIdToNode(NodeToBoneId(node)), node) << "node " << node;
        EXPECT_LT(ParentNode(node), node) << "parents come before children";
    }
}

TEST(Skeleton, UnknownIdsMapToNone) {
    for (int id : {9, 300, -1, 55, 303, 1000, -2147483647 - 1, 2147483647}) EXPECT_EQ(BoneIdToNode(id), 0) << id;
    // Every id is found exactly where a search of the table finds it.
    for (BoneId id = -5; id < 400; ++id) {
        NodeIndex searched = 0;
        for (NodeIndex node = 1; node < kNodeCount; ++node) {
            if (NodeToBoneId(node) == id) searched = node;
        }
        EXPECT_EQ(BoneIdToNode(id), searched) << id;
    }
    for (int node : {0, 32, -3}) {
        EXPECT_EQ(NodeToBoneId(node), 0);
        EXPECT_EQ(ParentNode(node), 0);
    }
}

TEST(Skeleton, ParentsFollowTheTable) {
    EXPECT_EQ(ParentBoneId(302), 3);
    EXPECT_EQ(ParentBoneId(41), 1);
    EXPECT_EQ(ParentBoneId(21), 4);
    EXPECT_EQ(ParentBoneId(24), 23);
    EXPECT_EQ(ParentBoneId(53), 52);
    EXPECT_EQ(ParentBoneId(1), 0);
}

}  // namespace
}  // namespace kovra
