#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace kovra {

class Host;

// The name of the priority-animation file in the plugin's folder.
inline constexpr const char* kPriorityAnimationsFileName = "Kovra_PriorityAnims.ini";

// A host animation during which chosen IK limbs yield to it.
struct PriorityAnimation {
    std::string name;        // upper-cased
    std::uint32_t key = 0;   // the host's name key of `name`
    std::uint32_t mask = 0;  // 0: every limb yields; else bits 1, 2, 4, 8, 16 name limb groups
};

// The priority animations by host name key, in key order.
class PriorityAnimations {
public:
    using Map = std::map<std::uint32_t, PriorityAnimation>;

    // The entry of an animation key, or null.
    const PriorityAnimation* priorityEntry(std::uint32_t animationKey) const;
    const Map& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

    // Adds an entry, or replaces the name and mask of the one with that key.
    void insert(PriorityAnimation entry);

private:
    Map entries_;
};

// The host's case-insensitive name key.
using NameKeyFunction = std::function<std::uint32_t(const char*)>;

// Reads the "PriorityAnims" section of the file: one "name = mask" line per
// animation, the last line of an animation winning; a mask that is not an
// unsigned number counts as 0. A missing file gives an empty list.
PriorityAnimations loadPriorityAnimations(const std::filesystem::path& path,
                                          const NameKeyFunction& nameKey);
PriorityAnimations loadPriorityAnimations(const std::filesystem::path& path, const Host& host);

}  // namespace kovra
