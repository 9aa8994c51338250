#include "cli/Lint.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "kovra/config/ConfigSchema.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"
#include "windows/BuildDescription.h"

namespace kovra::cli {

namespace {

const char* const kLintUsage =
    "usage: kovra lint FILE...\n"
    "\n"
    "Checks per-vehicle files, the global settings file, the priority-animation\n"
    "file and build descriptions (each is recognised by its sections) and prints\n"
    "FILE:LINE: message for every line the plugin's reader would skip or misread;\n"
    "a build description is refused at its first fault, as the module refuses it.\n"
    "\n"
    "Exit status: 0 when every file is clean, 1 with findings, 2 when a file\n"
    "cannot be read.\n";

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Names and values as a message shows them: bytes a terminal would swallow
// or act on (a NUL would even end the line early) as \xNN.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// For each key line of the priority list, the line of a later entry for
// the same animation (names compare without regard to case), or 0.
std::vector<std::size_t> LaterRepeats(const IniDocument& doc) {
    std::vector<std::size_t> later(doc.lineReport().size() + 1, 0);
    std::map<std::pair<int, std::string>, std::size_t> lastLine;
    const auto& report = doc.lineReport();
    for (auto it = report.rbegin(); it != report.rend(); ++it) {
        if (it->kind != IniLineKind::Key) continue;
        const IniSection& section = doc.sections()[it->section];
        const std::pair<int, std::string> name{it->section, UpperAscii(section.keys()[it->key].name)};
        const auto found = lastLine.find(name);
        if (found != lastLine.end()) later[it->number] = found->second;
        lastLine[name] = it->number;
    }
    return later;
}

std::optional<ConfigFileKind> KindOf(const IniDocument& doc) {
    if (doc.findSection("Kovra_Vehicle")) return ConfigFileKind::Vehicle;
    if (doc.findSection("PriorityAnims")) return ConfigFileKind::PriorityAnimations;
    for (const IniSection& section : doc.sections()) {
        if (FindConfigSection(ConfigFileKind::Settings, section.name())) {
            return ConfigFileKind::Settings;
        }
    }
    return std::nullopt;
}

// Why a line with an "=" in it is not read as a key.
std::string EqualsProblem(std::string_view line) {
    const std::size_t eq = line.find('=');
    const bool blankBefore = eq > 0 && isIniSpace(line[eq - 1]);
    const bool blankAfter = eq + 1 < line.size() && isIniSpace(line[eq + 1]);
    if (!blankBefore && !blankAfter) return "key line without blanks around \"=\"; it is ignored";
    if (!blankBefore) return "no blank before \"=\"; the line is ignored";
    if (!blankAfter && eq + 1 < line.size()) return "value glued to \"=\"; the line is ignored";
    return "key without a value; the line is ignored";
}

std::string NotAKeyMessage(std::string_view line, IniSkipReason reason) {
    switch (reason) {
        case IniSkipReason::TokenTooLong:
            return "a token is longer than 31 characters; the line is ignored";
        case IniSkipReason::ValueIsComment:
            return "the value starts with a comment character; the line is ignored";
        default:
            break;
    }
    if (line.find('=') != std::string_view::npos) return EqualsProblem(line);
    return "not a key line (expected \"Key = value\"); it is ignored";
}

const char* KindName(ConfigValueKind kind) {
    switch (kind) {
        case ConfigValueKind::Number: return "a number";
        case ConfigValueKind::Vector: return "three numbers";
        case ConfigValueKind::Flag: return "0 or 1";
        case ConfigValueKind::Integer: return "an integer";
        case ConfigValueKind::Unsigned: return "an unsigned integer";
        case ConfigValueKind::KeyCode: return "a key code from 0 to 255";
        case ConfigValueKind::Word: return "a word";
    }
    return "a value";
}

// Whether the value reads as its kind the way the reader takes it.
bool ValueReads(std::string_view value, ConfigValueKind kind) {
    std::string_view rest = value;
    switch (kind) {
        case ConfigValueKind::Number: {
            float f = 0;
            return extractNumber(rest, f);
        }
        case ConfigValueKind::Vector: {
            float f = 0;
            return extractNumber(rest, f) && extractNumber(rest, f) && extractNumber(rest, f);
        }
        case ConfigValueKind::Flag: {
            std::int32_t i = 0;
            return extractInteger(rest, i) && (i == 0 || i == 1);
        }
        case ConfigValueKind::Integer: {
            std::int32_t i = 0;
            return extractInteger(rest, i);
        }
        case ConfigValueKind::Unsigned: {
            std::uint32_t u = 0;
            return extractUnsigned(rest, u);
        }
        case ConfigValueKind::KeyCode: {
            std::int32_t i = 0;
            return extractInteger(rest, i) && i >= 0 && i <= 255;
        }
        case ConfigValueKind::Word:
            return value.find_first_not_of(" \t\r\n\v\f") != std::string_view::npos;
    }
    return false;
}

void CheckVehicleFile(const IniDocument& doc, std::vector<LintFinding>& findings) {
    const IniSection* vehicle = doc.findSection("Kovra_Vehicle");
    std::size_t vehicleLine = 0;
    std::size_t shiftLine = 0;
    for (const IniLineInfo& info : doc.lineReport()) {
        if (info.kind == IniLineKind::Section && &doc.sections()[info.section] == vehicle &&
            vehicleLine == 0) {
            vehicleLine = info.number;
        }
        if (info.kind == IniLineKind::Key && doc.sections()[info.section].name() == "GearIK" &&
            doc.sections()[info.section].keys()[info.key].name == "ShiftPattern" && shiftLine == 0) {
            shiftLine = info.number;
        }
    }
    std::int32_t modelId = 0;
    if (vehicle == nullptr || !vehicle->findKey("ModelID")) {
        findings.push_back({vehicleLine, "no ModelID in [Kovra_Vehicle]; the file is ignored"});
    } else if (!vehicle->getInteger("ModelID", modelId) || modelId == 0) {
        findings.push_back({vehicleLine, "ModelID is 0 or not a number; the file is ignored"});
    }
    if (const IniSection* gear = doc.findSection("GearIK")) {
        std::int32_t pattern = 0;
        if (gear->getInteger("ShiftPattern", pattern) && (pattern < 0 || pattern > 4)) {
            findings.push_back({shiftLine, "ShiftPattern " + std::to_string(pattern) +
                                               " is outside 0 to 4; the gear pattern is left as it was"});
        }
    }
}

// A build description is read whole or refused at its first fault, as the
// module reads it.
std::vector<LintFinding> LintBuildDescription(std::string_view text) {
    std::string error;
    if (windows::BuildDescription::Read(text, "", error)) return {};
    // The reader says ":LINE: what" for a description without a file name.
    std::size_t line = 0;
    const std::size_t colon = error.find(": ", 1);
    if (colon != std::string::npos) {
        line = static_cast<std::size_t>(std::strtoul(error.c_str() + 1, nullptr, 10));
        error.erase(0, colon + 2);
    }
    return {{line, Printable(error)}};
}

}  // namespace

std::vector<LintFinding> LintConfigText(std::string_view text) {
    IniDocument doc;
    doc.parse(text);
    if (doc.findSection("Build") && doc.findSection("Sites")) return LintBuildDescription(text);
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<LintFinding> findings;
    const std::optional<ConfigFileKind> kind = KindOf(doc);
    if (!kind) {
        findings.push_back({0, "no section of a vehicle, settings or priority-animation file"});
        return findings;
    }

    const std::vector<std::size_t> laterRepeat = LaterRepeats(doc);
    std::set<std::string> sectionsSeen;
    std::vector<std::set<std::string>> keysSeen(doc.sections().size());
    std::vector<bool> firstOfName(doc.sections().size(), false);
    for (const IniLineInfo& info : doc.lineReport()) {
        const std::string_view line = info.number - 1 < lines.size() ? lines[info.number - 1] : "";
        switch (info.kind) {
            case IniLineKind::Blank:
            case IniLineKind::Comment:
                break;
            case IniLineKind::BeforeSection:
                findings.push_back({info.number, "text before the first section is ignored"});
                break;
            case IniLineKind::Section: {
                const std::string& name = doc.sections()[info.section].name();
                if (!FindConfigSection(*kind, name)) {
                    findings.push_back({info.number, "unknown section [" + Printable(name) + "]"});
                } else if (!sectionsSeen.insert(name).second) {
                    findings.push_back(
                        {info.number, "section [" + name + "] repeats; only the first counts"});
                } else {
                    firstOfName[info.section] = true;
                }
                break;
            }
            case IniLineKind::NotAKey:
                findings.push_back({info.number, NotAKeyMessage(line, info.reason)});
                break;
            case IniLineKind::Key: {
                if (!firstOfName[info.section]) break;  // the whole section was reported
                const IniSection& section = doc.sections()[info.section];
                const IniKey& key = section.keys()[info.key];
                const ConfigSectionSpec& spec = *FindConfigSection(*kind, section.name());
                const ConfigKeySpec* keySpec = FindConfigKey(spec, key.name);
                if (!keySpec && !spec.anyKey) {
                    findings.push_back({info.number, "unknown key " + Printable(key.name) + " in [" +
                                                         section.name() + "]"});
                    break;
                }
                if (spec.anyKey) {
                    // The list is read into a map: a later line for the
                    // same animation replaces this one.
                    if (laterRepeat[info.number] != 0) {
                        findings.push_back({info.number, "animation " + Printable(key.name) +
                                                             " repeats on line " +
                                                             std::to_string(laterRepeat[info.number]) +
                                                             ", which counts instead"});
                        break;
                    }
                } else if (!keysSeen[info.section].insert(key.name).second) {
                    findings.push_back({info.number, "key " + key.name + " repeats in [" +
                                                         section.name() + "]; only the first counts"});
                    break;
                }
                const ConfigValueKind valueKind = keySpec ? keySpec->kind : spec.anyKeyKind;
                if (!ValueReads(key.value, valueKind)) {
                    findings.push_back({info.number, Printable(key.name) + " should be " +
                                                         KindName(valueKind) + ", not \"" +
                                                         Printable(key.value) + "\""});
                }
                break;
            }
        }
    }
    if (*kind == ConfigFileKind::Vehicle) CheckVehicleFile(doc, findings);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
    return findings;
}

int LintCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kLintUsage, stderr);
        return 2;
    }
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kLintUsage, stdout);
            return 0;
        }
    }
    int status = 0;
    for (const std::string& path : args) {
        std::string text;
        if (!ReadWholeFile(path, text)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            status = 2;
            continue;
        }
        for (const LintFinding& f : LintConfigText(text)) {
            std::printf("%s:%zu: %s\n", path.c_str(), f.line, f.message.c_str());
            if (status == 0) status = 1;
        }
    }
    return status;
}

}  // namespace kovra::cli
