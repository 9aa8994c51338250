#include "cli/BuildCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kovra::cli {

namespace {

namespace fs = std::filesystem;
using windows::Address;
using windows::BuildDescription;
using windows::HostBuild;

const char* const kUsage =
    "usage: kovra build-check GAME.exe [DESCRIPTION.ini...]\n"
    "\n"
    "Reads the game's executable and finds which build description is its\n"
    "(without descriptions named, those in kovra-builds/ beside the executable),\n"
    "then checks every address of that description against the image: the\n"
    "identifying bytes, each site a call or jump leading to the described\n"
    "routine, routines in the image's code, pools and variables in its data.\n"
    "Prints a table and FILE:LINE: message for every finding.\n"
    "\n"
    "Exit status: 0 when a description matches and everything holds, 1 with\n"
    "findings, 2 when a file cannot be read.\n";

std::string Hex(std::uint32_t value, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

bool ReadFile(const fs::path& path, std::vector<std::uint8_t>& out) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

class Checker {
public:
    Checker(const PeImage& image, const BuildDescription& d, BuildCheck& out)
        : image_(image), d_(d), b_(d.build()), out_(out) {}

    std::uint32_t Rva(Address a) const { return a - b_.preferredBase; }

    // Where an address lies: in code, in data, or outside; a finding when
    // it is not where `wantCode` says it must be.
    void Place(const std::string& what, Address address, bool wantCode, const std::string& where) {
        const PeImage::Section* s = image_.SectionAt(Rva(address));
        std::string outcome;
        if (s == nullptr) {
            outcome = "outside the image";
            out_.findings.push_back({where, what + " at " + Hex(address) + " lies outside the image"});
        } else if (s->code != wantCode) {
            outcome = "in " + s->name + ", not in " + (wantCode ? "code" : "data");
            out_.findings.push_back({where, what + " at " + Hex(address) + " lies in " + s->name + ", not in the image's " +
                                                (wantCode ? "code" : "data")});
        } else {
            outcome = "in " + s->name;
        }
        out_.rows.push_back({what, address, outcome});
    }

    void Site(std::size_t index) {
        const windows::HookSite& s = b_.sites[index];
        const std::string what = std::string("site ") + BuildDescription::EventName(s.event);
        const std::string where = d_.SiteWhere(index);
        std::vector<std::uint8_t> bytes;
        if (!image_.Bytes(Rva(s.site), 5, bytes) || !image_.SectionAt(Rva(s.site))->code) {
            Place(what, s.site, true, where);
            return;
        }
        const char* kind = s.opcode == 0xE8 ? "call" : "jump";
        if (bytes[0] != s.opcode) {
            out_.rows.push_back({what, s.site, "holds " + Hex(bytes[0], 2)});
            out_.findings.push_back({where, what + " at " + Hex(s.site) + " holds " + Hex(bytes[0], 2) + ", not a " +
                                                kind + " (" + Hex(s.opcode, 2) + ")"});
            return;
        }
        std::int32_t rel = 0;
        for (int i = 3; i >= 0; --i) rel = static_cast<std::int32_t>((static_cast<std::uint32_t>(rel) << 8) | bytes[1 + i]);
        const Address target = s.site + 5 + static_cast<Address>(rel);
        if (target != s.callee) {
            out_.rows.push_back({what, s.site, std::string(kind) + " to " + Hex(target)});
            out_.findings.push_back({where, what + " at " + Hex(s.site) + " leads to " + Hex(target) +
                                                ", not to the described routine " + Hex(s.callee)});
            return;
        }
        out_.rows.push_back({what, s.site, std::string(kind) + " to " + Hex(target)});
    }

    void Run() {
        out_.rows.push_back({"identity", b_.identity, std::to_string(b_.identityBytes.size()) + " bytes match"});
        for (std::size_t i = 0; i < b_.sites.size(); ++i) Site(i);
        for (const BuildDescription::Place& place : d_.Places()) Place(place.what, place.address, place.code, place.where);
    }

private:
    const PeImage& image_;
    const BuildDescription& d_;
    const HostBuild& b_;
    BuildCheck& out_;
};

// Why a description's identifying bytes are not the image's, or "" when they are.
std::string IdentityMismatch(const PeImage& image, const HostBuild& b) {
    std::vector<std::uint8_t> bytes;
    if (!image.Bytes(b.identity - b.preferredBase, b.identityBytes.size(), bytes)) {
        return "the identifying bytes at " + Hex(b.identity) + " lie outside the image";
    }
    const auto differs = std::mismatch(bytes.begin(), bytes.end(), b.identityBytes.begin());
    if (differs.first == bytes.end()) return "";
    return "byte " + std::to_string(differs.first - bytes.begin()) + " of the identity at " + Hex(b.identity) +
           " is " + Hex(*differs.first, 2) + ", not " + Hex(*differs.second, 2);
}

}  // namespace

BuildCheck CheckBuild(const PeImage& image, const std::vector<std::unique_ptr<BuildDescription>>& descriptions) {
    BuildCheck check;
    std::vector<BuildCheck::Finding> mismatches;
    for (const auto& d : descriptions) {
        const std::string why = IdentityMismatch(image, d->build());
        if (why.empty()) {
            check.matched = d.get();
            break;
        }
        mismatches.push_back({d->Where("Build.IdentityBytes"), std::string(d->build().name) + ": " + why});
    }
    if (check.matched == nullptr) {
        check.findings = std::move(mismatches);
        if (descriptions.empty()) check.findings.push_back({"", "no build description to check"});
        return check;
    }
    Checker(image, *check.matched, check).Run();
    return check;
}

int BuildCheckCommand(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::uint8_t> file;
    if (!ReadFile(args[0], file)) {
        std::fprintf(stderr, "%s: cannot be read\n", args[0].c_str());
        return 2;
    }
    std::string error;
    const std::optional<PeImage> image = PeImage::Read(file, error);
    if (!image) {
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), error.c_str());
        return 2;
    }
    std::vector<std::string> paths(args.begin() + 1, args.end());
    if (paths.empty()) {
        std::error_code ec;
        const fs::path folder = fs::path(args[0]).parent_path() / "kovra-builds";
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() == ".ini") paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
    }
    int status = 0;
    std::vector<std::unique_ptr<BuildDescription>> descriptions;
    for (const std::string& path : paths) {
        std::vector<std::uint8_t> bytes;
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            status = 2;
            continue;
        }
        std::unique_ptr<BuildDescription> d =
            BuildDescription::Read(std::string(bytes.begin(), bytes.end()), path, error);
        if (!d) {
            std::printf("%s\n", error.c_str());
            status = std::max(status, 1);
            continue;
        }
        descriptions.push_back(std::move(d));
    }
    const BuildCheck check = CheckBuild(*image, descriptions);
    if (check.matched != nullptr) {
        std::printf("%s: %s (%s), image base %s\n", args[0].c_str(), check.matched->build().name,
                    check.matched->file().c_str(), Hex(image->imageBase()).c_str());
        for (const BuildCheck::Row& row : check.rows) {
            std::printf("  %-32s %s  %s\n", row.what.c_str(), Hex(row.address).c_str(), row.outcome.c_str());
        }
    } else {
        std::printf("%s: no description matches\n", args[0].c_str());
    }
    for (const BuildCheck::Finding& f : check.findings) {
        std::printf("%s: %s\n", f.where.empty() ? args[0].c_str() : f.where.c_str(), f.message.c_str());
    }
    if (check.matched == nullptr || !check.findings.empty()) status = std::max(status, 1);
    return status;
}

}  // namespace kovra::cli
