#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "sim/HostAnimation.h"
#include "sim/SimSkeleton.h"

namespace kovra::sim {

// State codes of the simulated game besides kPedStateDriving.
inline constexpr int kPedStateIdle = 1;
inline constexpr int kPedStatePassenger = 51;

enum class PedSeat : int { None, Driver, Passenger };

inline constexpr int kPedTaskSlots = 5;

}  // namespace kovra::sim

// A simulated character. Tests set its values directly; the skeleton is
// optional (a character without a skinned hierarchy).
struct CPed {
    CPed(const kovra::FrameMatrix& world, bool skinned);
    CPed(const CPed&) = delete;
    CPed& operator=(const CPed&) = delete;

    bool hasModel = true;  // has a model instance
    int state = kovra::sim::kPedStateIdle;
    bool inVehicle = false;
    CVehicle* vehicle = nullptr;
    kovra::sim::PedSeat seat = kovra::sim::PedSeat::None;
    std::uint32_t entityFlags = 0;
    std::array<int, kovra::sim::kPedTaskSlots> primaryTasks;  // type codes, -1 empty
    std::array<int, kovra::sim::kPedTaskSlots> secondaryTasks;
    std::vector<kovra::HostAnimation> animations;       // running, in the game's order
    kovra::FrameMatrix matrix;                          // the character's world matrix
    std::unique_ptr<kovra::sim::SimSkeleton> skeleton;  // null: no skinned hierarchy
};
