#include "kovra/handles/car/GearIk.h"

#include <typeinfo>

#include "kovra/config/NumberFormat.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"

namespace kovra {
namespace {

struct PatternRow {
    Vector3 preStage;
    Vector3 finalStage;
};

struct PatternTable {
    const char* name;
    std::array<PatternRow, GearIk::kPositionCount> rows;
    std::array<std::pair<std::int32_t, std::int32_t>, 4> pairs;
    int pairCount;
};

// x moves the stick fore and aft, y across the gate.
constexpr PatternRow Row(float px, float py, float fx, float fy) {
    return {{px, py, 0.0f}, {fx, fy, 0.0f}};
}

constexpr PatternRow kNeutral = Row(0, 0, 0, 0);

constexpr PatternTable AutoLikeTable(const char* name) {
    return {name,
            {kNeutral, Row(0, 0, -15, 0), Row(0, 0, 15, 0), kNeutral, kNeutral, kNeutral, kNeutral},
            {{{1, 2}, {2, 1}, {0, 0}, {0, 0}}},
            2};
}

constexpr std::array<PatternTable, GearIk::kPatternCount> kPatterns{{
    {"VW",
     {kNeutral, Row(0, -15, -15, -15), Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0),
      Row(0, 15, -15, 15), Row(0, 15, 15, 15)},
     {{{1, 2}, {2, 1}, {3, 4}, {4, 3}}},
     4},
    {"CHEV",
     {kNeutral, Row(0, -15, -15, -15), Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0),
      Row(0, 15, -15, 15), Row(0, -20, -15, -20)},
     {{{1, 2}, {2, 1}, {3, 4}, {4, 3}}},
     4},
    {"BMW",
     {kNeutral, Row(0, -15, 15, -15), Row(0, 0, -15, 0), Row(0, 0, 15, 0), Row(0, 15, -15, 15),
      Row(0, 15, 15, 15), Row(0, -15, -15, -15)},
     {{{2, 3}, {3, 2}, {4, 5}, {5, 4}}},
     4},
    AutoLikeTable("AUTO"),
    AutoLikeTable("SEQUENTIAL"),
}};

}  // namespace

GearIk::GearIk(Runtime& runtime) : IkHandle(runtime) {
    targetEntry = &pattern[0];
    currentEntry = &pattern[0];
    neutralEntry = &pattern[0];
    disabled = !settings().Allow_Gear;
    if (settings().Allow_Gear) {
        SetPattern(0);
        endAngles = {0.0f, 0.0f, -45.0f};
    }
}

const char* GearIk::PatternName(int patternType) {
    if (patternType < 0 || patternType >= kPatternCount) return "Unknown";
    return kPatterns[static_cast<std::size_t>(patternType)].name;
}

void GearIk::SetPattern(int patternType) {
    // Negative numbers come only from hand-edited files; they have no table.
    if (patternType < 0 || patternType >= kPatternCount) return;
    const PatternTable& table = kPatterns[static_cast<std::size_t>(patternType)];
    shiftPattern = patternType;
    directPairs.clear();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = {table.rows[i].preStage, table.rows[i].finalStage, 0.0f, 0};
    }
    for (int i = 0; i < table.pairCount; ++i) {
        directPairs.push_back(table.pairs[static_cast<std::size_t>(i)]);
    }
    neutralEntry = &pattern[0];
}

void GearIk::SetGear(int n) {
    if (n == handGear) return;
    if (!holdHand) weight = 0.0f;  // the hand reaches for the stick anew
    targetGear = n < 0 ? 0 : (n >= kPositionCount ? kPositionCount - 1 : n);
    targetEntry = &pattern[static_cast<std::size_t>(targetGear)];
    for (int i = 0; i < kPositionCount; ++i) {
        if (i == handGear) continue;
        pattern[static_cast<std::size_t>(i)].blend = 0.0f;
        pattern[static_cast<std::size_t>(i)].state = 0;
    }
    if (handGear == 0) {
        neutralEntry->blend = 0.0f;
        neutralEntry->state = 0;
    }
    shifting = true;
}

int GearIk::EntryIndex(const GearIk& owner, const GearPatternEntry* entry) {
    for (int i = 0; i < kPositionCount; ++i) {
        if (entry == &owner.pattern[static_cast<std::size_t>(i)]) return i;
    }
    return 0;
}

void GearIk::CopyFrom(const IkHandle* other) {
    if (other == nullptr || typeid(*other) != typeid(GearIk)) return;
    const auto& o = static_cast<const GearIk&>(*other);
    CopyBaseFrom(o);
    pattern = o.pattern;
    directPairs = o.directPairs;
    seqProgress = o.seqProgress;
    seqDirection = o.seqDirection;
    shifting = o.shifting;
    shiftPattern = o.shiftPattern;
    handGear = o.handGear;
    targetGear = o.targetGear;
    holdHand = o.holdHand;
    // The entry references point into this handle's own table.
    targetEntry = &pattern[static_cast<std::size_t>(EntryIndex(o, o.targetEntry))];
    neutralEntry = &pattern[0];
    currentEntry = &pattern[0];
}

std::string GearIk::WriteConfig() const {
    std::string out;
    WriteSection(out, "GearIK");
    WriteVector(out, "GrabOffset", grabOffset);
    WriteVector(out, "HandAngle", endAngles);
    WriteNumber(out, "RateArm", rateArm);
    WriteInteger(out, "ShiftPattern", shiftPattern);
    if (runtime().store().exportGears) out += WritePatternBlock();
    return out;
}

std::string GearIk::WritePatternBlock() const {
    std::string out = "\n[GearPattern]\n";
    for (int i = 0; i < kPositionCount; ++i) {
        const GearPatternEntry& entry = pattern[static_cast<std::size_t>(i)];
        const std::string number = formatInteger(i);
        WriteVector(out, ("PreStg_" + number).c_str(), entry.preStage);
        WriteVector(out, ("FinStg_" + number).c_str(), entry.finalStage);
        out += '\n';
    }
    return out;
}

}  // namespace kovra
