#pragma once

#include "kovra/host/injector/ScopedBranch.h"

namespace kovra::injector {

// Hooks a call instruction (E8 rel32) of the game: the game's call reaches
// the wrapper, which calls the game's callee between the callbacks.
template <std::size_t Slot, Convention C, class... Args>
using scoped_call = ScopedBranch<BranchPatch::kCall, Slot, C, Args...>;

}  // namespace kovra::injector
