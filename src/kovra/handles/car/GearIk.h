#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "kovra/handles/car/IkHandle.h"

namespace kovra {

// One gear position of a stick pattern: the stick's rotation (degrees about
// X, Y, Z) in the neutral gate lined up with the gear, and in the gear.
struct GearPatternEntry {
    Vector3 preStage;
    Vector3 finalStage;
    float blend = 0.0f;       // progress of the current leg, 0..1
    std::int32_t state = 0;   // 0 towards/at the pre stage, 1 the final stage
};

// The gear stick and the hand that works it. Positions: 0 neutral, 1-5 the
// forward gears, 6 reverse.
class GearIk : public IkHandle {
public:
    static constexpr HandleKind kKind = HandleKind::Gear;
    static constexpr int kPositionCount = 7;
    static constexpr int kPatternCount = 5;  // "VW", "CHEV", "BMW", "AUTO", "SEQUENTIAL"

    explicit GearIk(Runtime& runtime);

    // The hold-hand key, the start of a shift towards the rig's simulated
    // gear, the stick's legs (or the sequential lever), then the hand on
    // the stick faded in and out by the weight.
    void Update() override;
    void CopyFrom(const IkHandle* other) override;
    // The gear section; the pattern block follows while the save-load
    // page's "Export Gears" toggle is on.
    std::string WriteConfig() const override;
    // "\n[GearPattern]\n" and the pre- and final-stage rotation of every
    // position, each position followed by an empty line.
    std::string WritePatternBlock() const;

    // Loads the table of a built-in pattern (0-4) into the positions and
    // forgets every leg in progress; any other number changes nothing.
    void SetPattern(int patternType);
    // Sends the stick towards position n (clamped to 0..6); nothing when the
    // stick already shows that position.
    void SetGear(int n);
    // The name the menu shows for a pattern number, "Unknown" when none.
    static const char* PatternName(int patternType);

    std::array<GearPatternEntry, kPositionCount> pattern{};
    // Positions joined directly, both directions listed.
    std::vector<std::pair<std::int32_t, std::int32_t>> directPairs;
    float seqProgress = 0.0f;
    float seqDirection = 1.0f;
    bool shifting = false;
    std::int32_t shiftPattern = 0;
    std::int32_t handGear = 0;    // the position the stick shows
    std::int32_t targetGear = 0;  // the position it is moving to
    GearPatternEntry* targetEntry = nullptr;
    GearPatternEntry* currentEntry = nullptr;
    GearPatternEntry* neutralEntry = nullptr;
    bool holdHand = false;
    // Degrees (X, Y, Z) last applied to the stick frame over its rest pose.
    Vector3 stickAngles;
    // How far the hand has turned from the wheel's grip to its own angle,
    // 0..1: it lags the arm on the way in.
    float handTurn = 0.0f;

private:
    // Moves handTurn on: in at a slower pace than the weight, out at its own.
    void StepHandTurn(bool engage);
    // Step 2 of the update: starts a shift towards the simulated gear g.
    void StartShift(int g);
    // One frame of the stick's legs through the gate (patterns but 4).
    void MoveStick();
    // One frame of the sequential lever's push or pull and spring back.
    void MoveLever();
    // Writes the stick frame's rotation rows: the rest orientation turned
    // in the frame's own space about X, then Y, then Z by `angles`
    // (degrees); the position row is left alone.
    void TurnStick(const Vector3& angles);
    // Whether the stick joins the two positions directly (same gate column).
    bool IsDirectPair(int from, int to) const;

    static int EntryIndex(const GearIk& owner, const GearPatternEntry* entry);
};

}  // namespace kovra
