#pragma once

#include <cstdint>

#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

struct BendHint;

// Limits of the positional solve; fixed at start-up.
struct SolverSettings {
    float tolerance = 0.001f;     // metres between end joint and target
    std::int32_t maxIterations = 100;
};

// The constants that differ between arm, leg and hip bones, and what the
// solver last did to each bone. One per NodeIndex.
struct BoneSolveRecord {
    std::int32_t node = 0;
    std::int32_t boneId = 0;
    std::uint8_t hipAlign = 0;      // basis built around the pelvis
    std::int32_t limbKind = 0;      // 1 arm, 2 leg, 0 other
    std::uint8_t autoBend = 0;      // derive a bend when the caller gives none
    std::uint8_t applied = 0;
    std::int32_t axisMode = 0;      // which local axis runs along the bone
    Vector3 refAxis{1.0f, 0.0f, 0.0f};  // world axis fixing the bone's roll
    Vector3 eulerFix;               // degrees, applied after the computed turn
    Quaternion lastRotation;
    Vector3 lastEnd;
    Quaternion* lastSlot = nullptr;
    BendHint* bendHint = nullptr;
};

// A resting bend direction the automatic bend fades to as the target comes
// close to refPoint (in the root bone's space).
struct BendHint {
    BoneSolveRecord* owner = nullptr;
    Vector3 restBend;
    Vector3 refPoint;
};

}  // namespace kovra
