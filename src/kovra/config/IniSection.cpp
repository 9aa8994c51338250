#include "kovra/config/IniSection.h"

#include <utility>

#include "kovra/config/NumberFormat.h"

namespace kovra {

IniSection::IniSection(std::string name, bool createMissingKeys)
    : name_(std::move(name)), nameHash_(iniNameHash(name_)), createMissingKeys_(createMissingKeys) {}

const IniKey* IniSection::findKey(std::string_view name) const {
    const std::uint32_t hash = iniNameHash(name);
    // The name is compared too, so that two names sharing a hash never mix.
    for (const IniKey& key : keys_) {
        if (key.nameHash == hash && key.name == name) return &key;
    }
    return nullptr;
}

bool IniSection::getVector(std::string_view key, Vector3& out) const {
    const IniKey* found = findKey(key);
    if (found == nullptr) return false;
    std::string_view text = found->value;
    float* const components[] = {&out.x, &out.y, &out.z};
    bool any = false;
    for (float* component : components) {
        if (!extractNumber(text, *component)) break;
        any = true;
    }
    return any;
}

bool IniSection::getNumber(std::string_view key, float& out) const {
    const IniKey* found = findKey(key);
    if (found == nullptr) return false;
    std::string_view text = found->value;
    return extractNumber(text, out);
}

bool IniSection::getFlag(std::string_view key, bool& out) const {
    std::int32_t value = 0;
    if (!getInteger(key, value)) return false;
    out = value != 0;
    return true;
}

bool IniSection::getInteger(std::string_view key, std::int32_t& out) const {
    const IniKey* found = findKey(key);
    if (found == nullptr) return false;
    std::string_view text = found->value;
    return extractInteger(text, out);
}

bool IniSection::getUnsigned(std::string_view key, std::uint32_t& out) const {
    const IniKey* found = findKey(key);
    if (found == nullptr) return false;
    std::string_view text = found->value;
    return extractUnsigned(text, out);
}

}  // namespace kovra
