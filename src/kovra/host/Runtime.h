#pragma once

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
    LimbSolver& solver() { return solver_; }

private:
    Host& host_;
    LimbSolver solver_;
};

}  // namespace kovra
