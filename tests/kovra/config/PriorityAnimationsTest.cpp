#include "kovra/config/PriorityAnimations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kovra/config/ConfigTestSupport.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

using test::TempDir;
using test::writeFile;

TEST(PriorityAnimations, LastLineOfAnAnimationWinsWhateverItsCase) {
    TempDir dir;
    const auto path = dir / kPriorityAnimationsFileName;
    writeFile(path,
              "[PriorityAnims]\n"
              "some_anim_name = 0\n"
              "other_anim_name = 3\n"
              "Some_Anim_Name = 8\n"
              "worded = all\n"
              "negative = -1\n");
    std::vector<std::string> asked;
    const PriorityAnimations list = loadPriorityAnimations(path, [&asked](const char* name) {
        asked.emplace_back(name);
        return sim::SimHost::ComputeNameKey(name);
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"SOME_ANIM_NAME", "OTHER_ANIM_NAME", "SOME_ANIM_NAME",
                                               "WORDED", "NEGATIVE"}));
    ASSERT_EQ(list.entries().size(), 4u);

    const PriorityAnimation* some = list.priorityEntry(sim::SimHost::ComputeNameKey("some_anim_name"));
    ASSERT_NE(some, nullptr);
    EXPECT_EQ(some->name, "SOME_ANIM_NAME");
    EXPECT_EQ(some->mask, 8u);
    EXPECT_EQ(list.priorityEntry(sim::SimHost::ComputeNameKey("OTHER_ANIM_NAME"))->mask, 3u);
    EXPECT_EQ(list.priorityEntry(sim::SimHost::ComputeNameKey("WORDED"))->mask, 0u);
    EXPECT_EQ(list.priorityEntry(sim::SimHost::ComputeNameKey("NEGATIVE"))->mask, 0u);
    EXPECT_EQ(list.priorityEntry(12345u), nullptr);
}

TEST(PriorityAnimations, HostNameKeysAndMissingFiles) {
    TempDir dir;
    sim::SimHost host;
    EXPECT_TRUE(loadPriorityAnimations(dir / kPriorityAnimationsFileName, host).empty());

    writeFile(dir / "other.ini", "[Priority]\nanim = 1\n");
    EXPECT_TRUE(loadPriorityAnimations(dir / "other.ini", host).empty());

    writeFile(dir / kPriorityAnimationsFileName, "[PriorityAnims]\ncar_sit = 16\n");
    const PriorityAnimations list = loadPriorityAnimations(dir / kPriorityAnimationsFileName, host);
    const PriorityAnimation* entry = list.priorityEntry(host.NameKey("Car_Sit"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->key, host.NameKey("car_sit"));
    EXPECT_EQ(entry->mask, 16u);
}

}  // namespace
}  // namespace kovra
