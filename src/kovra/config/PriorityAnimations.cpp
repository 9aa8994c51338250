#include "kovra/config/PriorityAnimations.h"

#include <utility>

#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/host/Host.h"

namespace kovra {

const PriorityAnimation* PriorityAnimations::priorityEntry(std::uint32_t animationKey) const {
    const auto found = entries_.find(animationKey);
    return found == entries_.end() ? nullptr : &found->second;
}

void PriorityAnimations::insert(PriorityAnimation entry) {
    const std::uint32_t key = entry.key;
    entries_.insert_or_assign(key, std::move(entry));
}

PriorityAnimations loadPriorityAnimations(const std::filesystem::path& path,
                                          const NameKeyFunction& nameKey) {
    PriorityAnimations list;
    IniDocument document;
    if (!document.open(path) || !nameKey) return list;
    const IniSection* section = document.findSection("PriorityAnims");
    if (section == nullptr) return list;

    for (const IniKey& key : section->keys()) {
        PriorityAnimation entry;
        entry.name = key.name;
        // ASCII only, whatever the process locale says about other bytes.
        for (char& c : entry.name) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        entry.key = nameKey(entry.name.c_str());
        // Read this key's own value: a lookup by name would find the first
        // of two lines for one animation.
        std::string_view value = key.value;
        if (!extractUnsigned(value, entry.mask)) entry.mask = 0;
        list.insert(std::move(entry));
    }
    return list;
}

PriorityAnimations loadPriorityAnimations(const std::filesystem::path& path, const Host& host) {
    return loadPriorityAnimations(path, [&host](const char* name) { return host.NameKey(name); });
}

}  // namespace kovra
