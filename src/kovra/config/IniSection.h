#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/config/IniKey.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

// One "[name]" section of an IniDocument: its keys in file order (a repeated
// name gives a second entry; lookups return the first) and, for rewriting,
// every line of the file that belongs to it.
class IniSection {
public:
    IniSection(std::string name, bool createMissingKeys);

    const std::string& name() const { return name_; }
    std::uint32_t nameHash() const { return nameHash_; }
    bool createMissingKeys() const { return createMissingKeys_; }
    const std::vector<IniKey>& keys() const { return keys_; }

    // The first key of that name (case-sensitive), or null.
    const IniKey* findKey(std::string_view name) const;

    // Each returns false and leaves `out` alone when the key is missing or
    // its value does not start with a number of the kind asked for. A vector
    // stores as many components as its value gives, x first; a flag is any
    // integer, 0 meaning false.
    bool getVector(std::string_view key, Vector3& out) const;
    bool getNumber(std::string_view key, float& out) const;
    bool getFlag(std::string_view key, bool& out) const;
    bool getInteger(std::string_view key, std::int32_t& out) const;
    bool getUnsigned(std::string_view key, std::uint32_t& out) const;

private:
    friend class IniDocument;

    static constexpr std::size_t kNotAKey = static_cast<std::size_t>(-1);

    // A line of the section's body as it will be written back: either a
    // line kept as read (comments, blank lines, lines that are not keys) or
    // the line of keys_[key]. A key line is written as read until a setter
    // changes the key.
    struct Line {
        std::string text;
        std::size_t key = kNotAKey;
        bool edited = false;
    };

    std::string name_;
    std::uint32_t nameHash_;
    bool createMissingKeys_;
    std::vector<IniKey> keys_;
    std::string header_;  // the header line as read; empty for a new section
    std::vector<Line> lines_;
};

}  // namespace kovra
