// The INI document: any text parses, an untouched document writes back what
// it read, every getter yields a finite value or nothing, and a value set
// through a setter reads back from the rewritten text without a second key
// of that name appearing.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/ik/Geometry.h"

namespace {

using kovra::IniDocument;
using kovra::IniSection;
using kovra::fuzz::Require;

std::string ExpectedText(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::string out;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        out = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    out += text;
    if (!text.empty() && text.back() != '\n') out += '\n';
    return out;
}

void CheckGetters(const IniSection& section) {
    for (const kovra::IniKey& key : section.keys()) {
        kovra::Vector3 v;
        float f = 0.0f;
        bool flag = false;
        std::int32_t i = 0;
        std::uint32_t u = 0;
        if (section.getVector(key.name, v)) Require(kovra::IsFinite(v), "vector not finite");
        if (section.getNumber(key.name, f)) Require(std::isfinite(f), "number not finite");
        section.getFlag(key.name, flag);
        section.getInteger(key.name, i);
        section.getUnsigned(key.name, u);
    }
}

std::size_t CountKeys(const IniDocument& doc, const std::string& section, const std::string& key) {
    const IniSection* s = doc.findSection(section);
    if (s == nullptr) return 0;
    std::size_t n = 0;
    for (const kovra::IniKey& k : s->keys()) n += k.name == key ? 1 : 0;
    return n;
}

// Sets a number and checks that the rewritten text holds it: either the old
// line stayed (it already read as the value) or the new text reads back.
void CheckSetNumber(IniDocument& doc, const std::string& section, const std::string& key, float value) {
    const std::size_t before = CountKeys(doc, section, key);
    if (!doc.setNumber(section, key, value)) return;
    const std::string text = doc.text();
    IniDocument again;
    again.parse(text);
    const IniSection* s = again.findSection(section);
    Require(s != nullptr, "set section \"" + section + "\" is gone");
    float read = 0.0f;
    Require(s->getNumber(key, read), "set key \"" + key + "\" does not read back");
    const std::string formatted = kovra::formatNumber(value);
    std::string_view rest = formatted;
    float written = 0.0f;
    kovra::extractNumber(rest, written);
    Require(read == value || read == written, "key \"" + key + "\" reads back as another number");
    Require(CountKeys(again, section, key) == (before == 0 ? 1 : before), "a key was added twice");
    // Setting the same value again changes nothing.
    Require(doc.setNumber(section, key, value) && doc.text() == text, "a second set changed the text");
}

float FloatAt(const unsigned char* data, std::size_t size, std::size_t at) {
    std::uint32_t bits = 0x3fc00000u;  // 1.5
    if (at + 4 <= size) std::memcpy(&bits, data + at, 4);
    float f = 0.0f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text = kovra::fuzz::AsText(data, size);
    IniDocument doc;
    doc.parse(text);
    Require(doc.text() == ExpectedText(text), "an untouched document does not write back what it read");
    for (const IniSection& section : doc.sections()) CheckGetters(section);

    // The first key of a section the input picks, a new key in that section
    // and a new section, each set to a number taken from the input.
    std::vector<std::pair<std::string, std::string>> targets;
    if (!doc.sections().empty()) {
        const IniSection& section = doc.sections()[(size > 0 ? data[0] : 0u) % doc.sections().size()];
        if (!section.keys().empty()) targets.emplace_back(section.name(), section.keys().front().name);
        targets.emplace_back(section.name(), "FuzzNewKey");
    }
    targets.emplace_back("FuzzNewSection", "FuzzKey");
    std::size_t at = 1;
    for (const auto& [section, key] : targets) {
        CheckSetNumber(doc, section, key, FloatAt(data, size, at));
        at += 4;
    }
    return 0;
}
