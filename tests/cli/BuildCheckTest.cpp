#include "cli/BuildCheck.h"
#include "cli/Lint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;
using windows::BuildDescription;

std::string Description(const std::string& name) {
    std::ifstream in(std::string(KOVRA_SOURCE_DIR) + "/src/testhost/kovra-builds/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) { std::memcpy(f.data() + at, &v, 4); }
void Put16(std::vector<std::uint8_t>& f, std::size_t at, std::uint16_t v) { std::memcpy(f.data() + at, &v, 2); }

// A 32-bit executable laid out as a description says: its identifying
// bytes, each site's branch to its routine, the variables' section.
std::vector<std::uint8_t> ImageOf(const windows::HostBuild& b) {
    constexpr std::uint32_t kCodeAt = 0x1000, kDataAt = 0x03000000, kSize = 0x1000;
    std::vector<std::uint8_t> f(0x2400, 0);
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, 0x40);
    std::memcpy(f.data() + 0x40, "PE\0\0", 4);
    Put16(f, 0x44, 0x14C);
    Put16(f, 0x46, 2);     // sections
    Put16(f, 0x54, 0xE0);  // optional header size
    Put16(f, 0x58, 0x10B);
    Put32(f, 0x58 + 28, b.preferredBase);
    Put32(f, 0x58 + 56, kDataAt + kSize);
    const auto section = [&](std::size_t at, const char* name, std::uint32_t address, std::uint32_t raw,
                             std::uint32_t flags) {
        std::memcpy(f.data() + at, name, std::strlen(name));
        Put32(f, at + 8, kSize);
        Put32(f, at + 12, address);
        Put32(f, at + 16, kSize);
        Put32(f, at + 20, raw);
        Put32(f, at + 36, flags);
    };
    section(0x138, ".text", kCodeAt, 0x400, 0x60000020);
    section(0x160, ".data", kDataAt, 0x1400, 0xC0000040);
    const auto code = [&](windows::Address a) { return 0x400 + (a - b.preferredBase - kCodeAt); };
    std::memcpy(f.data() + code(b.identity), b.identityBytes.data(), b.identityBytes.size());
    for (const windows::HookSite& s : b.sites) {
        f[code(s.site)] = s.opcode;
        Put32(f, code(s.site) + 1, s.callee - (s.site + 5));
    }
    return f;
}

struct Checked {
    std::unique_ptr<BuildDescription> description;
    BuildCheck check;
};

std::vector<std::string> Findings(const BuildCheck& check) {
    std::vector<std::string> out;
    for (const BuildCheck::Finding& f : check.findings) out.push_back(f.where + ": " + f.message);
    return out;
}

BuildCheck Check(const std::vector<std::uint8_t>& file, const std::string& text) {
    std::string error;
    std::vector<std::unique_ptr<BuildDescription>> descriptions;
    descriptions.push_back(BuildDescription::Read(text, "x.ini", error));
    EXPECT_TRUE(descriptions.back()) << error;
    const std::optional<PeImage> image = PeImage::Read(file, error);
    EXPECT_TRUE(image) << error;
    return image && descriptions.back() ? CheckBuild(*image, descriptions) : BuildCheck{};
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(BuildCheck, AnImageAsDescribedHoldsAndEachFaultIsNamedWithItsLine) {
    const std::string text = Description("testhost-1.0.ini");
    std::string error;
    const auto described = BuildDescription::Read(text, "x.ini", error);
    ASSERT_TRUE(described) << error;
    const std::vector<std::uint8_t> image = ImageOf(described->build());

    const BuildCheck good = Check(image, text);
    ASSERT_NE(good.matched, nullptr);
    EXPECT_TRUE(good.findings.empty()) << Findings(good).front();
    EXPECT_EQ(good.rows.size(), 2 + 2 * described->build().sites.size() + 2 + 10 + 13);

    std::vector<std::uint8_t> nop = image;
    nop[0x400 + 0x100] = 0x90;  // the first site
    EXPECT_EQ(Findings(Check(nop, text)),
              std::vector<std::string>{"x.ini:16: site VehicleCreated at 0x00401100 holds 0x90, not a call (0xE8)"});

    const std::string moved = Replaced(text, "0x00401100 0x00401400", "0x00401100 0x00401404");
    EXPECT_EQ(Findings(Check(image, moved)),
              std::vector<std::string>{"x.ini:16: site VehicleCreated at 0x00401100 leads to 0x00401400, not to the "
                                       "described routine 0x00401404"});

    const std::string outside = Replaced(text, "CameraPosition = 0x0340000C", "CameraPosition = 0x7340000C");
    EXPECT_EQ(Findings(Check(image, outside)),
              std::vector<std::string>{"x.ini:53: variable CameraPosition at 0x7340000C lies outside the image"});

    const std::string inCode = Replaced(text, "TimeStep = 0x03400018", "TimeStep = 0x00401018");
    EXPECT_EQ(Findings(Check(image, inCode)),
              std::vector<std::string>{"x.ini:54: variable TimeStep at 0x00401018 lies in .text, not in the image's data"});

    // A pointer path: the pointer it starts from must lie in the data.
    const std::string path = Replaced(text, "TimeStep = 0x03400018", "TimeStep = [0x03400018]+8");
    EXPECT_TRUE(Check(image, path).findings.empty()) << Findings(Check(image, path)).front();
    const std::string pathInCode = Replaced(text, "TimeStep = 0x03400018", "TimeStep = [[0x00401018]+4]+8");
    EXPECT_EQ(Findings(Check(image, pathInCode)),
              std::vector<std::string>{"x.ini:54: pointer to TimeStep at 0x00401018 lies in .text, not in the image's data"});

    const BuildCheck other = Check(image, Description("testhost-1.1.ini"));
    EXPECT_EQ(other.matched, nullptr);
    EXPECT_EQ(Findings(other), std::vector<std::string>{"x.ini:10: test host 1.1: byte 24 of the identity at "
                                                        "0x00401000 is 0x30, not 0x31"});
}

TEST(BuildCheck, TheCommandExitsAsLintDoes) {
    const fs::path dir = fs::temp_directory_path() / "kovra-build-check";
    fs::remove_all(dir);
    fs::create_directories(dir / "kovra-builds");
    const std::string text = Description("testhost-1.0.ini");
    std::string error;
    const auto described = BuildDescription::Read(text, "x.ini", error);
    ASSERT_TRUE(described) << error;
    const std::vector<std::uint8_t> image = ImageOf(described->build());
    std::ofstream(dir / "game.exe", std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                           static_cast<std::streamsize>(image.size()));
    std::ofstream(dir / "kovra-builds" / "testhost-1.0.ini", std::ios::binary) << text;
    std::ofstream(dir / "moved.ini", std::ios::binary) << Replaced(text, "0x00401100 0x00401400", "0x00401100 0x00401404");
    const std::string game = (dir / "game.exe").string();
    testing::internal::CaptureStdout();
    EXPECT_EQ(BuildCheckCommand({game}), 0) << "the descriptions beside the game";
    EXPECT_EQ(BuildCheckCommand({game, (dir / "moved.ini").string()}), 1);
    EXPECT_EQ(BuildCheckCommand({(dir / "none.exe").string()}), 2);
    EXPECT_EQ(BuildCheckCommand({(dir / "moved.ini").string()}), 2) << "no executable";
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("moved.ini:16: site VehicleCreated"), std::string::npos) << out;
    fs::remove_all(dir);
}

// kovra lint knows a build description by its sections and reports its
// first fault where the module would refuse it.
TEST(BuildCheck, LintReadsADescriptionAsTheModuleDoes) {
    const std::string text = Description("testhost-1.0.ini");
    EXPECT_TRUE(LintConfigText(text).empty());
    const std::vector<LintFinding> findings = LintConfigText(Replaced(text, "Frame = call", "Frame = cal"));
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].line, 29u);
    EXPECT_EQ(findings[0].message, "\"cal\" is neither call nor jump");

    // The routines' argument orders and the game's own records of 1.1.
    const std::string own = Description("testhost-1.1.ini");
    EXPECT_TRUE(LintConfigText(own).empty());
    const std::vector<LintFinding> order =
        LintConfigText(Replaced(own, "stdcall order 3 1 2", "stdcall order 3 1 1"));
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0].line, 140u);
    EXPECT_EQ(order[0].message, "DrawText: argument 1 twice in the order");
    const std::vector<LintFinding> record = LintConfigText(Replaced(own, "Colour = 16 bgra", "Colour = 18 bgra"));
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0].message, "Colour ends past the record's 20 bytes");
}

}  // namespace
}  // namespace kovra::cli
