#pragma once

#include "kovra/config/GlobalSettings.h"
#include "kovra/config/PriorityAnimations.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Host.h"
#include "kovra/ik/LimbSolver.h"

namespace kovra {

// All process-wide state of the plugin, built in start-up order. The shipped
// module owns exactly one; tests build a fresh one each.
class Runtime {
public:
    explicit Runtime(Host& host);
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Host& host() { return host_; }
    GlobalSettings& settings() { return settings_; }
    const GlobalSettings& settings() const { return settings_; }
    LimbSolver& solver() { return solver_; }
    PriorityAnimations& priorities() { return priorities_; }
    VehicleConfigStore& store() { return store_; }
    const VehicleConfigStore& store() const { return store_; }

private:
    Host& host_;
    GlobalSettings settings_;
    LimbSolver solver_;
    PriorityAnimations priorities_;
    VehicleConfigStore store_;
};

}  // namespace kovra
