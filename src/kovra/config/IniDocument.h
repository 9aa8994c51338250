#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/config/IniSection.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

// How the reader took one physical line.
enum class IniLineKind {
    Blank,          // nothing but white space
    Comment,        // first character ";", "#" or "/"
    Section,        // first character "["
    Key,            // a key of the current section
    BeforeSection,  // not a comment or header, before the first header: ignored
    NotAKey,        // inside a section, but not a key line: ignored
};

// Why a line inside a section is not a key.
enum class IniSkipReason {
    None,
    TooFewTokens,    // fewer than three white-space separated tokens ("Key=1", "Key =1")
    TokenTooLong,    // a token is longer than 31 characters
    NoEqualsSign,    // the second token does not begin with "="
    ValueIsComment,  // the third token begins with ";", "#" or "/"
};

struct IniLineInfo {
    std::size_t number = 0;  // 1-based line number
    IniLineKind kind = IniLineKind::Blank;
    IniSkipReason reason = IniSkipReason::None;
    int section = -1;  // index into sections() for Section, Key and NotAKey lines
    int key = -1;      // index into that section's keys() for Key lines
};

// One INI file in memory. Reading follows the configuration grammar; writing
// back keeps every line the user wrote (comments, blank lines, lines that are
// not keys, keys no setter touched) where it was, rewrites only the lines of
// changed keys, and adds new keys and sections in place.
class IniDocument {
public:
    // Longest name or "=" token a key line may have.
    static constexpr std::size_t kMaxTokenLength = 31;

    // Larger files are far beyond any configuration and are not read.
    static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{1} << 20;

    // Reads the file. A file that cannot be read leaves an empty document
    // with loaded() false. When the file does not exist, setters and save()
    // create it; when it exists but could not be read, save() refuses to
    // write, so an unreadable file is never replaced by a near-empty one.
    // A file larger than kMaxFileBytes counts as unreadable.
    bool open(const std::filesystem::path& path, bool createMissingKeys = true);
    // Reads text that has no file behind it; save() then has nowhere to write.
    void parse(std::string_view text, bool createMissingKeys = true);

    const std::filesystem::path& path() const { return path_; }
    bool loaded() const { return loaded_; }
    bool dirty() const { return dirty_; }
    bool createMissingSections() const { return createMissingSections_; }
    void setCreateMissingSections(bool create) { createMissingSections_ = create; }

    const std::vector<IniSection>& sections() const { return sections_; }
    // The first section of that name (case-sensitive), or null.
    const IniSection* findSection(std::string_view name) const;

    // Per physical line of the text last read, how the reader classified it.
    // Not updated by setters.
    const std::vector<IniLineInfo>& lineReport() const { return lineReport_; }

    // Each finds or appends the section and the key, replaces the key's value
    // (its comment stays) and marks the document dirty. A key whose value
    // already reads as the one given keeps its line as written. False, with
    // nothing changed, when the section or key is missing and may not be
    // created, the name cannot be written as one, the number is one the
    // reader would refuse (not finite, beyond a float), or the rewritten line
    // would not read back as the value given.
    bool setFlag(std::string_view section, std::string_view key, bool value);
    bool setNumber(std::string_view section, std::string_view key, double value);
    bool setInteger(std::string_view section, std::string_view key, std::int32_t value);
    // Three numbers separated by single blanks.
    bool setVector(std::string_view section, std::string_view key, const Vector3& value);

    // Sets every key of `other` to its value there, written as it stands
    // there (a vector keeps its commas), adding the keys and sections this
    // document lacks; a key whose value already reads the same keeps its
    // line as written. Every other line stays. False when a key could not be
    // set (the rest are still set).
    bool mergeFrom(const IniDocument& other);

    // Removes every line of the key from the first section of that name; a
    // section left with nothing but blank lines goes too (its comments and
    // other lines keep it). False when there was no such key.
    bool removeKey(std::string_view section, std::string_view key);

    // The file's text as save() writes it.
    std::string text() const;

    // Rewrites the file when dirty; true when nothing needed writing or the
    // file was replaced. On failure the old file is left intact and the
    // document stays dirty.
    bool save();
    // save(), then empties the document. Returns save()'s result.
    bool close();

private:
    void reset();
    void parseText(std::string_view text);
    void parseLine(std::string_view line, std::size_t number);
    void keepLine(std::string_view line);
    IniSection* findSectionToEdit(std::string_view name);
    IniSection& appendSection(std::string_view name);
    // Whether a key's current value text already reads as the value to set.
    using ValueTest = std::function<bool(std::string_view)>;
    bool setValue(std::string_view section, std::string_view key, std::string value,
                  const ValueTest& holdsValue);

    std::filesystem::path path_;
    std::vector<std::string> preamble_;  // lines before the first header
    std::vector<IniSection> sections_;
    std::vector<IniLineInfo> lineReport_;
    bool loaded_ = false;
    bool dirty_ = false;
    bool mayWrite_ = false;
    bool crlf_ = false;  // lines end in CR LF; lines written anew follow suit
    bool byteOrderMark_ = false;  // the text began with a UTF-8 byte-order mark
    bool createMissingSections_ = true;
    bool createMissingKeys_ = true;
};

}  // namespace kovra
