#pragma once

#include "kovra/host/injector/ScopedBranch.h"

namespace kovra::injector {

// Hooks the jump (E9 rel32) that ends a game routine by passing on to
// another: the wrapper calls that routine between the callbacks and returns
// to the first routine's caller.
template <std::size_t Slot, Convention C, class... Args>
using scoped_jmp = ScopedBranch<BranchPatch::kJmp, Slot, C, Args...>;

}  // namespace kovra::injector
