#pragma once

#include <cstdint>
#include <string>

namespace kovra::windows {

// Who owns the code at `address`, when it is not the game's executable: the
// file name of another loaded module, or, for executable memory some module
// allocated, the address itself ("0x0A3F0000"). False for the game's own
// code and for memory that holds no code.
bool ForeignCodeOwner(std::uintptr_t address, std::string& owner);

}  // namespace kovra::windows
