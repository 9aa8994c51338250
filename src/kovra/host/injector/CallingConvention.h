#pragma once

namespace kovra::injector {

// How the game's callee at a hooked site takes its arguments: all on the
// stack, caller cleans up (cdecl), or the first in ECX and the rest on the
// stack, callee cleans up (thiscall, the game's member functions). Only
// 32-bit x86 tells them apart; elsewhere (the native unit tests) both are
// the platform's one convention.
enum class Convention { Cdecl, Thiscall };

#if defined(__i386__)
#define KOVRA_THISCALL __attribute__((thiscall))
#else
#define KOVRA_THISCALL
#endif

}  // namespace kovra::injector
