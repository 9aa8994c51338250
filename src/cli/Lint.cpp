#include "cli/Lint.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "kovra/config/ConfigSchema.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/NumberFormat.h"

namespace kovra::cli {

namespace {

const char* const kLintUsage =
    "usage: kovra lint FILE...\n"
    "\n"
    "Checks per-vehicle files, the global settings file and the priority-animation\n"
    "file (each is recognised by its sections) and prints FILE:LINE: message for\n"
    "every line the plugin's reader would skip or misread.\n"
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

}  // namespace

std::vector<LintFinding> LintConfigText(std::string_view text) {
    IniDocument doc;
    doc.parse(text);
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<LintFinding> findings;
    const std::optional<ConfigFileKind> kind = KindOf(doc);
    if (!kind) {
        findings.push_back({0, "no section of a vehicle, settings or priority-animation file"});
        return findings;
    }

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
                    findings.push_back({info.number, "unknown section [" + name + "]"});
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
                    findings.push_back(
                        {info.number, "unknown key " + key.name + " in [" + section.name() + "]"});
                    break;
                }
                if (!keysSeen[info.section].insert(key.name).second) {
                    findings.push_back({info.number, "key " + key.name + " repeats in [" +
                                                         section.name() + "]; only the first counts"});
                    break;
                }
                const ConfigValueKind valueKind = keySpec ? keySpec->kind : spec.anyKeyKind;
                if (!ValueReads(key.value, valueKind)) {
                    findings.push_back({info.number, key.name + " should be " +
                                                         KindName(valueKind) + ", not \"" +
                                                         key.value + "\""});
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
    int status = 0;
    for (const std::string& path : args) {
        if (path == "-h" || path == "--help") {
            std::fputs(kLintUsage, stdout);
            return 0;
        }
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
