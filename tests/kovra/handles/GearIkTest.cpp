#include "kovra/handles/car/GearIk.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kovra/handles/HandleTestSupport.h"
#include "kovra/handles/car/SteerIk.h"

namespace kovra {
namespace {

using Pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;
using GearIkTest = test::HandleTest;

TEST_F(GearIkTest, PatternTables) {
    GearIk gear(runtime);
    gear.pattern[3].blend = 0.5f;  // a leg in progress is forgotten
    gear.pattern[3].state = 1;

    gear.SetPattern(1);  // "CHEV": reverse on the far left
    EXPECT_EQ(gear.shiftPattern, 1);
    EXPECT_EQ(gear.pattern[3].blend, 0.0f);
    EXPECT_EQ(gear.pattern[3].state, 0);
    EXPECT_EQ(gear.pattern[6].preStage, Vector3(0, -20, 0));
    EXPECT_EQ(gear.pattern[6].finalStage, Vector3(-15, -20, 0));
    EXPECT_EQ(gear.directPairs, (Pairs{{1, 2}, {2, 1}, {3, 4}, {4, 3}}));

    gear.SetPattern(2);  // "BMW": first gear pulled back
    EXPECT_EQ(gear.pattern[1].finalStage, Vector3(15, -15, 0));
    EXPECT_EQ(gear.pattern[4].finalStage, Vector3(-15, 15, 0));
    EXPECT_EQ(gear.pattern[6].finalStage, Vector3(-15, -15, 0));
    EXPECT_EQ(gear.directPairs, (Pairs{{2, 3}, {3, 2}, {4, 5}, {5, 4}}));

    for (int type : {3, 4}) {
        gear.SetPattern(type);
        EXPECT_EQ(gear.pattern[1].finalStage, Vector3(-15, 0, 0)) << type;
        EXPECT_EQ(gear.pattern[2].finalStage, Vector3(15, 0, 0)) << type;
        EXPECT_EQ(gear.pattern[6].finalStage, Vector3()) << type;
        EXPECT_EQ(gear.directPairs, (Pairs{{1, 2}, {2, 1}})) << type;
    }
    EXPECT_STREQ(GearIk::PatternName(4), "SEQUENTIAL");
    EXPECT_STREQ(GearIk::PatternName(5), "Unknown");
}

TEST_F(GearIkTest, UnknownPatternNumbersChangeNothing) {
    GearIk gear(runtime);
    gear.SetPattern(2);
    gear.pattern[4].finalStage = {1, 2, 3};
    for (int type : {5, 7, -1}) {
        gear.SetPattern(type);
        EXPECT_EQ(gear.shiftPattern, 2) << type;
        EXPECT_EQ(gear.directPairs.size(), 4u) << type;
        EXPECT_EQ(gear.pattern[4].finalStage, Vector3(1, 2, 3)) << type;
        EXPECT_EQ(gear.pattern[1].finalStage, Vector3(15, -15, 0)) << type;
    }
}

TEST_F(GearIkTest, SetGear) {
    GearIk gear(runtime);
    gear.weight = 1.0f;
    gear.SetGear(0);  // already shown: nothing happens
    EXPECT_FALSE(gear.shifting);
    EXPECT_EQ(gear.weight, 1.0f);

    for (auto& entry : gear.pattern) entry = {entry.preStage, entry.finalStage, 0.7f, 1};
    gear.SetGear(9);
    EXPECT_EQ(gear.targetGear, 6);
    EXPECT_EQ(gear.targetEntry, &gear.pattern[6]);
    EXPECT_TRUE(gear.shifting);
    EXPECT_EQ(gear.weight, 0.0f);  // the hand reaches for the stick anew
    for (const auto& entry : gear.pattern) {
        EXPECT_EQ(entry.blend, 0.0f);
        EXPECT_EQ(entry.state, 0);
    }

    // Leaving a gear keeps that gear's leg; a held hand keeps its weight.
    gear.handGear = 3;
    gear.holdHand = true;
    gear.weight = 1.0f;
    for (auto& entry : gear.pattern) entry = {entry.preStage, entry.finalStage, 0.7f, 1};
    gear.SetGear(-2);
    EXPECT_EQ(gear.targetGear, 0);
    EXPECT_EQ(gear.weight, 1.0f);
    EXPECT_EQ(gear.pattern[3].blend, 0.7f);
    EXPECT_EQ(gear.pattern[3].state, 1);
    EXPECT_EQ(gear.pattern[0].state, 0);
    EXPECT_EQ(gear.pattern[5].blend, 0.0f);
}

TEST_F(GearIkTest, CopyPointsTheEntriesIntoItsOwnTable) {
    GearIk from(runtime);
    from.SetPattern(2);
    from.pattern[4].finalStage = {1, 2, 3};
    from.SetGear(4);
    from.seqProgress = 0.4f;
    from.seqDirection = -1.0f;
    from.handGear = 2;
    from.holdHand = true;
    from.currentEntry = &from.pattern[2];

    GearIk to(runtime);
    to.CopyFrom(&from);
    EXPECT_EQ(to.shiftPattern, 2);
    EXPECT_EQ(to.directPairs, from.directPairs);
    EXPECT_EQ(to.pattern[4].finalStage, Vector3(1, 2, 3));
    EXPECT_EQ(to.targetGear, 4);
    EXPECT_EQ(to.handGear, 2);
    EXPECT_TRUE(to.shifting);
    EXPECT_TRUE(to.holdHand);
    EXPECT_EQ(to.seqProgress, 0.4f);
    EXPECT_EQ(to.seqDirection, -1.0f);
    EXPECT_EQ(to.targetEntry, &to.pattern[4]);
    EXPECT_EQ(to.currentEntry, &to.pattern[0]);
    EXPECT_EQ(to.neutralEntry, &to.pattern[0]);

    // Another class leaves the table alone.
    SteerIk steer(runtime);
    to.CopyFrom(&steer);
    EXPECT_EQ(to.shiftPattern, 2);
    EXPECT_EQ(to.pattern[4].finalStage, Vector3(1, 2, 3));
}

TEST_F(GearIkTest, PatternBlockFollowsTheExportToggle) {
    GearIk gear(runtime);
    gear.pattern[6].finalStage = {15.5f, 15, -0.001f};
    const std::string section =
        "[GearIK]\n"
        "GrabOffset = 0, 0, 0\n"
        "HandAngle = 0, 0, -45\n"
        "RateArm = 0.075\n"
        "ShiftPattern = 0\n";
    const std::string block =
        "\n[GearPattern]\n"
        "PreStg_0 = 0, 0, 0\nFinStg_0 = 0, 0, 0\n\n"
        "PreStg_1 = 0, -15, 0\nFinStg_1 = -15, -15, 0\n\n"
        "PreStg_2 = 0, -15, 0\nFinStg_2 = 15, -15, 0\n\n"
        "PreStg_3 = 0, 0, 0\nFinStg_3 = -15, 0, 0\n\n"
        "PreStg_4 = 0, 0, 0\nFinStg_4 = 15, 0, 0\n\n"
        "PreStg_5 = 0, 15, 0\nFinStg_5 = -15, 15, 0\n\n"
        "PreStg_6 = 0, 15, 0\nFinStg_6 = 15.5, 15, -0.001\n\n";
    EXPECT_FALSE(runtime.store().exportGears);  // off at start-up
    EXPECT_EQ(gear.WriteConfig(), section);
    EXPECT_EQ(gear.WritePatternBlock(), block);
    runtime.store().exportGears = true;
    EXPECT_EQ(gear.WriteConfig(), section + block);
}

}  // namespace
}  // namespace kovra
