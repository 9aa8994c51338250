#include "kovra/config/IniDocument.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

#include "kovra/config/BoundedRead.h"
#include "kovra/config/FileReplace.h"
#include "kovra/config/NumberFormat.h"

namespace kovra {
namespace {

namespace fs = std::filesystem;

constexpr bool isCommentChar(char c) { return c == ';' || c == '#' || c == '/'; }
constexpr bool isTrimChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return isIniSpace(c); });
}

// Scans the name, "=" and first value token of a candidate key line and says
// why it is not a key, or None. A token longer than the limit ends the scan,
// as the game's own reader does, so such a line is not a key.
IniSkipReason classifyKeyLine(std::string_view line) {
    std::string_view tokens[3];
    std::size_t count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        while (pos < line.size() && isIniSpace(line[pos])) ++pos;
        if (pos == line.size()) break;
        const std::size_t start = pos;
        while (pos < line.size() && !isIniSpace(line[pos])) ++pos;
        if (pos - start > IniDocument::kMaxTokenLength) {
            return IniSkipReason::TokenTooLong;
        }
        tokens[count++] = line.substr(start, pos - start);
    }
    if (count < 3) return IniSkipReason::TooFewTokens;
    if (tokens[1].front() != '=') return IniSkipReason::NoEqualsSign;
    if (isCommentChar(tokens[2].front())) return IniSkipReason::ValueIsComment;
    return IniSkipReason::None;
}

// Splits a line that classifyKeyLine accepted into name, value and comment.
IniKey readKeyLine(std::string_view line) {
    IniKey key;
    std::size_t nameStart = 0;
    while (isIniSpace(line[nameStart])) ++nameStart;
    std::size_t nameEnd = nameStart;
    while (nameEnd < line.size() && !isIniSpace(line[nameEnd])) ++nameEnd;
    key.name.assign(line.substr(nameStart, nameEnd - nameStart));
    key.nameHash = iniNameHash(key.name);

    // Commas separate vector components as blanks do.
    std::string work(line);
    std::replace(work.begin(), work.end(), ',', ' ');
    std::size_t begin = work.find('=') + 1;
    std::size_t end = work.size();
    while (begin < end && isTrimChar(work[begin])) ++begin;
    while (end > begin && isTrimChar(work[end - 1])) --end;
    std::size_t commentStart = work.find_first_of(";#/", begin);
    if (commentStart == std::string::npos || commentStart > end) commentStart = end;
    key.value = work.substr(begin, commentStart - begin);
    // The comment is only ever written back, so it keeps the user's commas.
    key.comment.assign(line.substr(commentStart, end - commentStart));
    return key;
}

// One word of a value as the readers take it: a whole number compared as
// one, any other number, when the whole word reads as one, by the value six
// significant digits give it (what the writers keep), so "0.050", ".05" and
// "5e-2" are one value.
bool sameWord(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // Whole numbers exactly: a float's six digits would blur large ones.
    const auto integer = [](std::string_view word, std::int32_t& out) {
        std::string_view rest = word;
        return extractInteger(rest, out) && rest.empty();
    };
    std::int32_t integerA = 0, integerB = 0;
    const bool integerAOk = integer(a, integerA), integerBOk = integer(b, integerB);
    if (integerAOk && integerBOk) return integerA == integerB;
    const auto number = [](std::string_view word, std::string& out) {
        float value = 0.0f;
        std::string_view rest = word;
        if (!extractNumber(rest, value) || !rest.empty()) return false;
        out = formatNumber(value);
        return true;
    };
    std::string numberA, numberB;
    return number(a, numberA) && number(b, numberB) && numberA == numberB;
}

// Whether two values hold the same words, however they are spaced (a
// vector's commas are blanks by the time a value is read) and however their
// numbers are spelled.
bool sameWords(std::string_view a, std::string_view b) {
    const auto next = [](std::string_view& text) {
        while (!text.empty() && isIniSpace(text.front())) text.remove_prefix(1);
        std::size_t end = 0;
        while (end < text.size() && !isIniSpace(text[end])) ++end;
        const std::string_view word = text.substr(0, end);
        text.remove_prefix(end);
        return word;
    };
    for (;;) {
        const std::string_view wordA = next(a);
        const std::string_view wordB = next(b);
        if (!sameWord(wordA, wordB)) return false;
        if (wordA.empty()) return true;
    }
}

// The line of a key written anew: the indent of the line it replaces, name,
// " = ", value and comment, and the document's line end.
std::string keyLineText(std::string_view oldLine, const IniKey& key, bool crlf) {
    std::string out;
    const std::size_t indent = oldLine.find_first_not_of(" \t");
    if (indent != std::string_view::npos) out.append(oldLine.substr(0, indent));
    out += key.name;
    out += " = ";
    out += key.value;
    out += key.comment;
    out += crlf ? "\r\n" : "\n";
    return out;
}

// The text a setter writes for a number, and the float the reader takes
// from it; false for a number no reader takes back (not finite, beyond a
// float).
bool formatReadableNumber(double value, std::string& text, float& read) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return false;
    text = formatNumber(value);
    std::string_view rest = text;
    if (!extractNumber(rest, read)) return false;
    // What the caller holds: a float that reads as it was written keeps
    // its line, though six digits may not spell it exactly.
    read = static_cast<float>(value);
    return true;
}

bool isWritableSectionName(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

// A name that reads back as the same key when written as "name = value".
bool isWritableKeyName(std::string_view name) {
    if (name.empty() || name.size() > IniDocument::kMaxTokenLength) return false;
    if (isCommentChar(name.front()) || name.front() == '[') return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return isIniSpace(c) || c == '='; });
}

}  // namespace

void IniDocument::reset() {
    path_.clear();
    preamble_.clear();
    sections_.clear();
    lineReport_.clear();
    loaded_ = false;
    dirty_ = false;
    mayWrite_ = false;
    crlf_ = false;
    byteOrderMark_ = false;
}

bool IniDocument::open(const fs::path& path, bool createMissingKeys) {
    reset();
    path_ = path;
    createMissingKeys_ = createMissingKeys;

    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        mayWrite_ = true;  // nothing to lose: a save creates the file
        return false;
    }
    // Only a regular file is read (a named pipe would wait for a writer
    // forever) and only a regular file is ever replaced.
    if (error || !fs::is_regular_file(status)) return false;

    std::string text;
    if (!readBoundedFile(path, kMaxFileBytes, text)) return false;

    parseText(text);
    loaded_ = true;
    mayWrite_ = true;
    return true;
}

void IniDocument::parse(std::string_view text, bool createMissingKeys) {
    reset();
    createMissingKeys_ = createMissingKeys;
    parseText(text);
    loaded_ = true;
    mayWrite_ = true;
}

void IniDocument::parseText(std::string_view text) {
    // Editors that save UTF-8 with a byte-order mark would otherwise hide the
    // first line's header from the first-character test.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        byteOrderMark_ = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    std::size_t pos = 0;
    std::size_t number = 0;
    while (pos < text.size()) {
        const std::size_t newline = text.find('\n', pos);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        const std::string_view line = text.substr(pos, end - pos);
        if (number == 0) crlf_ = !line.empty() && line.back() == '\r';
        parseLine(line, ++number);
        pos = end + 1;
    }
}

void IniDocument::keepLine(std::string_view line) {
    if (sections_.empty()) {
        preamble_.emplace_back(line);
    } else {
        sections_.back().lines_.push_back(IniSection::Line{std::string(line)});
    }
}

void IniDocument::parseLine(std::string_view line, std::size_t number) {
    IniLineInfo info;
    info.number = number;
    const int current = static_cast<int>(sections_.size()) - 1;

    if (!line.empty() && isCommentChar(line.front())) {
        info.kind = IniLineKind::Comment;
        keepLine(line);
    } else if (!line.empty() && line.front() == '[') {
        const std::string_view rest = line.substr(1);
        const std::size_t close = rest.rfind(']');
        sections_.emplace_back(std::string(rest.substr(0, close)), createMissingKeys_);
        sections_.back().header_.assign(line);
        info.kind = IniLineKind::Section;
        info.section = current + 1;
    } else if (isBlankText(line)) {
        info.kind = IniLineKind::Blank;
        keepLine(line);
    } else if (sections_.empty()) {
        info.kind = IniLineKind::BeforeSection;
        keepLine(line);
    } else {
        info.section = current;
        info.reason = classifyKeyLine(line);
        IniSection& section = sections_.back();
        if (info.reason == IniSkipReason::None) {
            info.kind = IniLineKind::Key;
            info.key = static_cast<int>(section.keys_.size());
            section.lines_.push_back(IniSection::Line{std::string(line), section.keys_.size()});
            section.keys_.push_back(readKeyLine(line));
        } else {
            info.kind = IniLineKind::NotAKey;
            keepLine(line);
        }
    }
    lineReport_.push_back(info);
}

const IniSection* IniDocument::findSection(std::string_view name) const {
    const std::uint32_t hash = iniNameHash(name);
    for (const IniSection& section : sections_) {
        if (section.nameHash_ == hash && section.name_ == name) return &section;
    }
    return nullptr;
}

IniSection* IniDocument::findSectionToEdit(std::string_view name) {
    return const_cast<IniSection*>(std::as_const(*this).findSection(name));
}

IniSection& IniDocument::appendSection(std::string_view name) {
    const std::string blank = crlf_ ? "\r" : "";
    // Set the new header off from whatever the file ends with.
    if (!sections_.empty()) {
        auto& lines = sections_.back().lines_;
        if (lines.empty() || lines.back().key != IniSection::kNotAKey ||
            !isBlankText(lines.back().text)) {
            lines.push_back(IniSection::Line{blank});
        }
    } else if (!preamble_.empty() && !isBlankText(preamble_.back())) {
        preamble_.push_back(blank);
    }
    IniSection& section = sections_.emplace_back(std::string(name), createMissingKeys_);
    section.lines_.push_back(IniSection::Line{blank});  // the blank line that ends a section
    return section;
}

bool IniDocument::setValue(std::string_view sectionName, std::string_view keyName, std::string value,
                           const ValueTest& holdsValue) {
    if (!isWritableSectionName(sectionName) || !isWritableKeyName(keyName)) return false;

    IniSection* section = findSectionToEdit(sectionName);
    if (section == nullptr) {
        if (!createMissingSections_ || !createMissingKeys_) return false;
        section = &appendSection(sectionName);
    }

    const IniKey* existing = section->findKey(keyName);
    if (existing == nullptr) {
        if (!section->createMissingKeys_) return false;
        // After the last key and the lines directly under it; lines set off
        // by a blank line stay below, as they may introduce the next section.
        auto& lines = section->lines_;
        std::size_t at = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].key != IniSection::kNotAKey) at = i + 1;
        }
        while (at < lines.size() && lines[at].key == IniSection::kNotAKey &&
               !isBlankText(lines[at].text)) {
            ++at;
        }
        IniKey key;
        key.name.assign(keyName);
        key.nameHash = iniNameHash(key.name);
        key.value = std::move(value);
        const std::size_t index = section->keys_.size();
        section->keys_.push_back(std::move(key));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at),
                     IniSection::Line{std::string(), index, true});
        dirty_ = true;
        return true;
    }

    const std::size_t index = static_cast<std::size_t>(existing - section->keys_.data());
    IniKey& key = section->keys_[index];
    // A value the line already holds, however it is spelled, keeps the line.
    if (holdsValue(key.value)) return true;

    IniSection::Line* line = nullptr;
    for (IniSection::Line& candidate : section->lines_) {
        if (candidate.key == index) line = &candidate;
    }
    if (line == nullptr) return false;
    // Keep the gap between the value and its comment; a comment glued to the
    // old value gets a blank, so that the new value never merges with it
    // into one token the reader refuses.
    if (!key.comment.empty()) {
        std::size_t end = key.value.size();
        while (end > 0 && isIniSpace(key.value[end - 1])) --end;
        value += end < key.value.size() ? key.value.substr(end) : std::string(" ");
    }
    IniKey edited = key;
    edited.value = std::move(value);
    const std::string text = keyLineText(line->text, edited, crlf_);
    // The reader takes a vector's commas for blanks.
    std::string expected = edited.value;
    std::replace(expected.begin(), expected.end(), ',', ' ');
    if (classifyKeyLine(text) != IniSkipReason::None || readKeyLine(text).value != expected) {
        return false;
    }
    key = std::move(edited);
    line->edited = true;
    dirty_ = true;
    return true;
}

bool IniDocument::setFlag(std::string_view section, std::string_view key, bool value) {
    return setValue(section, key, value ? "1" : "0", [value](std::string_view text) {
        std::int32_t read = 0;
        return extractInteger(text, read) && (read != 0) == value;
    });
}

bool IniDocument::setNumber(std::string_view section, std::string_view key, double value) {
    float written = 0.0f;
    std::string text;
    if (!formatReadableNumber(value, text, written)) return false;
    return setValue(section, key, std::move(text), [written](std::string_view old) {
        float read = 0.0f;
        return extractNumber(old, read) && read == written;
    });
}

bool IniDocument::setInteger(std::string_view section, std::string_view key, std::int32_t value) {
    return setValue(section, key, formatInteger(value), [value](std::string_view text) {
        std::int32_t read = 0;
        return extractInteger(text, read) && read == value;
    });
}

bool IniDocument::setVector(std::string_view section, std::string_view key, const Vector3& value) {
    float written[3] = {};
    std::string parts[3];
    const float components[3] = {value.x, value.y, value.z};
    for (int i = 0; i < 3; ++i) {
        if (!formatReadableNumber(components[i], parts[i], written[i])) return false;
    }
    return setValue(section, key, parts[0] + ' ' + parts[1] + ' ' + parts[2],
                    [&written](std::string_view old) {
                        for (const float component : written) {
                            float read = 0.0f;
                            if (!extractNumber(old, read) || read != component) return false;
                        }
                        return true;
                    });
}

bool IniDocument::mergeFrom(const IniDocument& other) {
    bool allSet = true;
    for (const IniSection& from : other.sections_) {
        for (const IniSection::Line& line : from.lines_) {
            if (line.key == IniSection::kNotAKey) continue;
            const IniKey& key = from.keys_[line.key];
            if (from.findKey(key.name) != &key) continue;  // a repeated key is not read either
            // The value as written: after the "=", without its comment.
            std::string_view raw(line.text);
            raw.remove_prefix(raw.find('=') + 1);
            raw = raw.substr(0, std::min(raw.find_first_of(";#/"), raw.size()));
            while (!raw.empty() && isTrimChar(raw.front())) raw.remove_prefix(1);
            while (!raw.empty() && isTrimChar(raw.back())) raw.remove_suffix(1);
            const auto holdsValue = [&key](std::string_view old) { return sameWords(old, key.value); };
            allSet = setValue(from.name(), key.name, std::string(raw), holdsValue) && allSet;
        }
    }
    return allSet;
}

bool IniDocument::removeKey(std::string_view sectionName, std::string_view keyName) {
    IniSection* section = findSectionToEdit(sectionName);
    if (section == nullptr) return false;
    // Old key index to new, kNotAKey for a removed key.
    std::vector<std::size_t> renumbered(section->keys_.size(), IniSection::kNotAKey);
    std::vector<IniKey> kept;
    for (std::size_t i = 0; i < section->keys_.size(); ++i) {
        if (section->keys_[i].name == keyName) continue;
        renumbered[i] = kept.size();
        kept.push_back(std::move(section->keys_[i]));
    }
    if (kept.size() == section->keys_.size()) return false;
    section->keys_ = std::move(kept);
    auto& lines = section->lines_;
    std::vector<IniSection::Line> keptLines;
    for (IniSection::Line& line : lines) {
        if (line.key != IniSection::kNotAKey) {
            line.key = renumbered[line.key];
            if (line.key == IniSection::kNotAKey) continue;
        }
        keptLines.push_back(std::move(line));
    }
    lines = std::move(keptLines);
    const bool empty = std::all_of(lines.begin(), lines.end(), [](const IniSection::Line& line) {
        return line.key == IniSection::kNotAKey && isBlankText(line.text);
    });
    if (empty) sections_.erase(sections_.begin() + (section - sections_.data()));
    dirty_ = true;
    return true;
}

std::string IniDocument::text() const {
    const char* const newline = crlf_ ? "\r\n" : "\n";
    std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : preamble_) {
        out += line;
        out += '\n';
    }
    for (const IniSection& section : sections_) {
        if (section.header_.empty()) {
            out += '[';
            out += section.name_;
            out += ']';
            out += newline;
        } else {
            out += section.header_;
            out += '\n';
        }
        for (const IniSection::Line& line : section.lines_) {
            if (!line.edited) {
                out += line.text;
                out += '\n';
                continue;
            }
            out += keyLineText(line.text, section.keys_[line.key], crlf_);
        }
    }
    return out;
}

bool IniDocument::save() {
    if (!dirty_) return true;
    if (!mayWrite_ || path_.empty()) return false;
    if (!replaceFileContents(path_, text())) return false;
    dirty_ = false;
    return true;
}

bool IniDocument::close() {
    const bool saved = save();
    reset();
    return saved;
}

}  // namespace kovra
