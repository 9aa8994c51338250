#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/MotionCheck.h"

// What smooth motion must keep to, checked on a run's motion report: no
// spike, no bone turning too far in a frame, no hand or foot sliding over
// the control it holds.
namespace kovra::test {

struct MotionLimits {
    float maxTurn = 25.0f;        // degrees a frame
    float maxEndTurn = 30.0f;     // fingers and toes
    float maxSlide = 0.005f;      // metres a frame
};

// One line per limit broken; empty when the run kept to them all.
inline std::vector<std::string> MotionFaults(const cli::MotionReport& motion, const MotionLimits& limits = {}) {
    std::vector<std::string> faults;
    char line[160];
    using namespace cli;
    for (const GroupTurn& t : motion.turns) {
        const bool ends = t.group == BoneGroupName(BoneGroup::Fingers) || t.group == BoneGroupName(BoneGroup::Toes);
        const float limit = ends ? limits.maxEndTurn : limits.maxTurn;
        if (t.maxTurn > limit) {
            std::snprintf(line, sizeof line, "%s: node %d turns %.1f deg at frame %d (limit %.1f)", t.group.c_str(),
                          t.node, t.maxTurn, t.frame, limit);
            faults.emplace_back(line);
        }
    }
    for (const LimbSlide& s : motion.slides) {
        if (s.maxSlide > limits.maxSlide) {
            std::snprintf(line, sizeof line, "%s slides %.1f mm on %s at frame %d", s.limb.c_str(),
                          s.maxSlide * 1000.0f, s.kind.c_str(), s.frame);
            faults.emplace_back(line);
        }
    }
    for (const TurnSpike& s : motion.spikes) {
        std::snprintf(line, sizeof line, "%s: node %d spikes %.1f deg at frame %d", s.group.c_str(), s.node, s.turn,
                      s.frame);
        faults.emplace_back(line);
    }
    return faults;
}

}  // namespace kovra::test
