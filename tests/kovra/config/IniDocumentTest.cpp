#include "kovra/config/IniDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

IniDocument parsed(const std::string& text, bool createMissingKeys = true) {
    IniDocument document;
    document.parse(text, createMissingKeys);
    return document;
}

// ---- reading -----------------------------------------------------------------

TEST(IniGrammar, VectorSeparatorsAndBlanksAroundEquals) {
    const IniDocument doc = parsed(
        "[SteerIK]\n"
        "A = 0,0.05,-0.02\n"
        "B = 0 0.05 -0.02\n"
        "C = 0, 0.05, -0.02\n"
        "D=0, 0.05, -0.02\n"
        "E =0, 0.05, -0.02\n"
        "F\t=\t0, 0.05, -0.02\r\n"
        "G =1\n");
    const IniSection& s = doc.sections().at(0);
    // E has three tokens ("E", "=0,", "0.05,"), the second beginning with "=".
    for (const char* name : {"A", "B", "C", "E", "F"}) {
        Vector3 v;
        ASSERT_TRUE(s.getVector(name, v)) << name;
        EXPECT_EQ(v, Vector3(0.0f, 0.05f, -0.02f)) << name;
    }
    EXPECT_EQ(s.findKey("D"), nullptr);  // no blank around "="
    EXPECT_EQ(s.findKey("G"), nullptr);  // value glued to "=": two tokens
    EXPECT_EQ(s.keys().size(), 5u);
}

TEST(IniGrammar, HeadersDuplicatesAndLongTokens) {
    const std::string name31(31, 'n');
    const IniDocument doc = parsed(
        "Orphan = 1\n"
        "[SteerIK] ; steering\n"
        "RestAngle = 1\n"
        "RestAngle = 2\n"
        " [NotAHeader]\n" +
        name31 + " = 1\n" + name31 + "n = 2\n" +
        "V = 0.100000000,0.200000000,0.300000000000\n"
        "[SteerIK]\n"
        "RestAngle = 3\n"
        "[A]b] x\n"
        "[NoClose\n");
    ASSERT_EQ(doc.sections().size(), 4u);
    EXPECT_EQ(doc.sections()[2].name(), "A]b");
    EXPECT_EQ(doc.sections()[3].name(), "NoClose");
    EXPECT_EQ(doc.lineReport()[0].kind, IniLineKind::BeforeSection);
    EXPECT_EQ(doc.lineReport()[4].kind, IniLineKind::NotAKey);
    EXPECT_EQ(doc.lineReport()[6].reason, IniSkipReason::TokenTooLong);

    // Duplicates are kept; lookups are case-sensitive and the first wins.
    const IniSection* steer = doc.findSection("SteerIK");
    ASSERT_EQ(steer, &doc.sections()[0]);
    EXPECT_EQ(steer->keys().size(), 3u);
    float angle = 0;
    ASSERT_TRUE(steer->getNumber("RestAngle", angle));
    EXPECT_EQ(angle, 1.0f);
    EXPECT_EQ(doc.findSection("steerik"), nullptr);
    EXPECT_EQ(steer->findKey("restangle"), nullptr);

    // Every token is held to 31 characters: a longer one, name or value,
    // ends the scan and the line is no key.
    EXPECT_NE(steer->findKey(name31), nullptr);
    EXPECT_EQ(steer->findKey("V"), nullptr);
    EXPECT_EQ(doc.lineReport()[7].reason, IniSkipReason::TokenTooLong);
    const IniDocument shortVector = parsed("[S]\nV = 0.1,0.2,0.3\n");
    Vector3 v;
    ASSERT_TRUE(shortVector.sections()[0].getVector("V", v));
    EXPECT_EQ(v, Vector3(0.1f, 0.2f, 0.3f));
}

TEST(IniGrammar, CommentsAndLineReport) {
    const IniDocument doc = parsed(
        "; top\n"
        "[S]\n"
        "RateArm = 0.5 ; fast, smooth\n"
        "Half = 1/2\n"
        "Gone = ; nothing\n"
        "Two tokens\n"
        "K : 1\n"
        "\t \n");
    const IniSection& s = doc.sections()[0];
    ASSERT_EQ(s.keys().size(), 2u);
    EXPECT_EQ(s.keys()[0].value, "0.5 ");
    EXPECT_EQ(s.keys()[0].comment, "; fast, smooth");
    EXPECT_EQ(s.keys()[1].value, "1");
    EXPECT_EQ(s.keys()[1].comment, "/2");

    using K = IniLineKind;
    using R = IniSkipReason;
    const std::pair<K, R> expected[] = {
        {K::Comment, R::None}, {K::Section, R::None}, {K::Key, R::None}, {K::Key, R::None},
        {K::NotAKey, R::ValueIsComment}, {K::NotAKey, R::TooFewTokens},
        {K::NotAKey, R::NoEqualsSign}, {K::Blank, R::None}};
    ASSERT_EQ(doc.lineReport().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(doc.lineReport()[i].kind, expected[i].first) << "line " << i + 1;
        EXPECT_EQ(doc.lineReport()[i].reason, expected[i].second) << "line " << i + 1;
    }
    EXPECT_EQ(doc.lineReport()[3].key, 1);
}

TEST(IniGetters, MissingOrMalformedValuesLeaveTheDestination) {
    const IniDocument doc = parsed("[S]\nWord = abc\nPartial = 1 2\nFlag = 2\nInt = -12\n");
    const IniSection& s = doc.sections()[0];
    float f = 4.0f;
    EXPECT_FALSE(s.getNumber("Missing", f));
    EXPECT_FALSE(s.getNumber("Word", f));
    EXPECT_EQ(f, 4.0f);
    Vector3 v(7.0f, 8.0f, 9.0f);
    EXPECT_TRUE(s.getVector("Partial", v));
    EXPECT_EQ(v, Vector3(1.0f, 2.0f, 9.0f));
    bool flag = false;
    EXPECT_TRUE(s.getFlag("Flag", flag) && flag);
    std::int32_t i = 0;
    EXPECT_TRUE(s.getInteger("Int", i));
    EXPECT_EQ(i, -12);
}

// ---- writing back ----------------------------------------------------------------

TEST(IniRewrite, ChangedKeysOnlyEverythingElseAsWritten) {
    const std::string original =
        "; Kovra vehicle file\n"
        "\n"
        "[Kovra_Vehicle]\n"
        "FileVer = 1\n"
        "ModelID = 500\n"
        "\n"
        "# steering\n"
        "[SteerIK] ; wheel\n"
        "  GrabOffset = 0, 0.05, -0.02\n"
        "RateArm = 0.5   ; fast, smooth\n"
        "RestAngle=3\n"
        "\n";
    IniDocument doc = parsed(original);
    EXPECT_EQ(doc.text(), original);
    EXPECT_FALSE(doc.dirty());

    ASSERT_TRUE(doc.setNumber("SteerIK", "RateArm", 0.75));
    ASSERT_TRUE(doc.setVector("SteerIK", "GrabOffset", Vector3(0.1f, 0.0f, -1e-5f)));
    EXPECT_TRUE(doc.dirty());
    EXPECT_EQ(doc.text(),
              "; Kovra vehicle file\n"
              "\n"
              "[Kovra_Vehicle]\n"
              "FileVer = 1\n"
              "ModelID = 500\n"
              "\n"
              "# steering\n"
              "[SteerIK] ; wheel\n"
              "  GrabOffset = 0.1 0 -1e-05\n"
              "RateArm = 0.75   ; fast, smooth\n"
              "RestAngle=3\n"
              "\n");
}

TEST(IniRewrite, NewKeysAndSectionsGoInPlace) {
    IniDocument doc = parsed(
        "[Config]\n"
        "Allow_NPCs = 0\n"
        "; directly under the key\n"
        "\n"
        "; the menu keys\n"
        "[Menu]\n"
        "Up = 38");
    ASSERT_TRUE(doc.setFlag("Config", "Vanilla_Sound_Gearing", true));
    ASSERT_TRUE(doc.setInteger("Menu", "Down", 40));
    ASSERT_TRUE(doc.setNumber("Multipliers", "muThrottle", 1.5));
    ASSERT_TRUE(doc.setNumber("Multipliers", "muSpinePush", -0.1));
    EXPECT_EQ(doc.text(),
              "[Config]\n"
              "Allow_NPCs = 0\n"
              "; directly under the key\n"
              "Vanilla_Sound_Gearing = 1\n"
              "\n"
              "; the menu keys\n"
              "[Menu]\n"
              "Up = 38\n"
              "Down = 40\n"
              "\n"
              "[Multipliers]\n"
              "muThrottle = 1.5\n"
              "muSpinePush = -0.1\n"
              "\n");
}

TEST(IniRewrite, ByteOrderMarkAndLineEndsAreKept) {
    IniDocument doc = parsed("\xEF\xBB\xBF[S]\r\nA = 1 ; one\r\n\r\n");
    ASSERT_NE(doc.findSection("S"), nullptr);
    ASSERT_TRUE(doc.setNumber("S", "A", 2));
    ASSERT_TRUE(doc.setNumber("S", "B", 3));
    ASSERT_TRUE(doc.setNumber("T", "C", 4));
    EXPECT_EQ(doc.text(), "\xEF\xBB\xBF[S]\r\nA = 2 ; one\r\nB = 3\r\n\r\n[T]\r\nC = 4\r\n\r\n");
}

// A rewritten line reads back as the value written, however the comment was
// glued to the old value or set off from it.
TEST(IniRewrite, RewrittenLinesReadBackAsWritten) {
    const std::string gluedComment = ";throttle_scale_for_pedal_feel";  // 30 characters
    for (const std::string gap : {"", "\v", "\f", " \v", "\t"}) {
        SCOPED_TRACE(::testing::PrintToString(gap));
        IniDocument doc = parsed("[Multipliers]\nmuThrottle = 1" + gap + gluedComment + "\n");
        ASSERT_NE(doc.findSection("Multipliers")->findKey("muThrottle"), nullptr);
        ASSERT_TRUE(doc.setNumber("Multipliers", "muThrottle", 2.5));
        const IniDocument again = parsed(doc.text());
        const IniSection& section = again.sections().at(0);
        ASSERT_EQ(section.keys().size(), 1u) << doc.text();
        float value = 0;
        ASSERT_TRUE(section.getNumber("muThrottle", value)) << doc.text();
        EXPECT_EQ(value, 2.5f);
        EXPECT_NE(doc.text().find(gluedComment), std::string::npos);  // the comment stays
    }
    // A number that no reader takes back is not written at all.
    IniDocument doc = parsed("[S]\nA = 1\n");
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::infinity()}) {
        EXPECT_FALSE(doc.setNumber("S", "A", bad)) << bad;
        EXPECT_FALSE(doc.setVector("S", "V", Vector3(0.0f, bad, 0.0f))) << bad;
    }
    EXPECT_FALSE(doc.setNumber("S", "A", -1e300));  // beyond what a float holds
    EXPECT_FALSE(doc.dirty());
}

// Only values that changed are rewritten: a value the file already holds,
// however it is spelled, keeps its line.
TEST(IniRewrite, UnchangedValuesKeepTheirSpelling) {
    const std::string original =
        "[Menu]\n"
        "Position = 100, 100, 0\n"
        "Scale = 0.60 ; size\n"
        "Up = +38\n"
        "Flag = 01\n"
        "Big = 16777217\n";
    IniDocument doc = parsed(original);
    ASSERT_TRUE(doc.setVector("Menu", "Position", Vector3(100.0f, 100.0f, 0.0f)));
    ASSERT_TRUE(doc.setNumber("Menu", "Scale", 0.6f));
    ASSERT_TRUE(doc.setInteger("Menu", "Up", 38));
    ASSERT_TRUE(doc.setFlag("Menu", "Flag", true));
    EXPECT_FALSE(doc.dirty());
    EXPECT_EQ(doc.text(), original);
    // An integer is compared as an integer, not through a float that would
    // round both to the same value.
    ASSERT_TRUE(doc.setInteger("Menu", "Big", 16777216));
    EXPECT_NE(doc.text().find("Big = 16777216\n"), std::string::npos) << doc.text();
    ASSERT_TRUE(doc.setNumber("Menu", "Scale", 1.0));
    EXPECT_NE(doc.text().find("Scale = 1 ; size\n"), std::string::npos) << doc.text();
}

TEST(IniRewrite, RefusedSettersChangeNothing) {
    IniDocument doc = parsed("[S]\nA = 1\n", /*createMissingKeys=*/false);
    EXPECT_FALSE(doc.setNumber("S", "B", 1));
    doc.setCreateMissingSections(false);
    EXPECT_FALSE(doc.setNumber("T", "A", 1));
    IniDocument open = parsed("[S]\nA = 1\n");
    for (const char* bad : {"", "two words", "a=b", ";x", "[x"}) {
        EXPECT_FALSE(open.setNumber("S", bad, 1)) << bad;
    }
    EXPECT_FALSE(open.setNumber("S\nT", "A", 1));
    EXPECT_TRUE(open.setNumber("S", "A", 1));  // same value: nothing to write
    EXPECT_FALSE(doc.dirty());
    EXPECT_FALSE(open.dirty());
    EXPECT_EQ(open.text(), "[S]\nA = 1\n");
}

// ---- files -------------------------------------------------------------------

TEST(IniFile, CloseRewritesOnlyWhenDirty) {
    TempDir dir;
    const auto path = dir / "Kovra_truck.ini";
    writeFile(path, "; keep\n[S]\nA = 1\n");
    IniDocument doc;
    ASSERT_TRUE(doc.open(path));
    ASSERT_TRUE(doc.setNumber("S", "A", 2));
    EXPECT_TRUE(doc.close());
    EXPECT_EQ(readFile(path), "; keep\n[S]\nA = 2\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "Kovra_truck.ini.tmp"));

    writeFile(path, "[S]\nA=1\n");  // not a key, and nothing changes it
    ASSERT_TRUE(doc.open(path));
    EXPECT_TRUE(doc.close());
    EXPECT_EQ(readFile(path), "[S]\nA=1\n");

    IniDocument fresh;
    EXPECT_FALSE(fresh.open(dir / "new.ini"));
    ASSERT_TRUE(fresh.setFlag("S", "On", true));
    EXPECT_TRUE(fresh.close());
    EXPECT_EQ(readFile(dir / "new.ini"), "[S]\nOn = 1\n\n");
}

TEST(IniFile, FailedWriteIsReportedAndKeepsTheOldFile) {
    TempDir dir;
    IniDocument doc;
    EXPECT_FALSE(doc.open(dir / "missing" / "a.ini"));
    ASSERT_TRUE(doc.setNumber("S", "A", 1));
    EXPECT_FALSE(doc.close());
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    // The file was read, then replaced by a folder: the folder stays.
    const auto path = dir / "a.ini";
    writeFile(path, "[S]\nA = 1\n");
    ASSERT_TRUE(doc.open(path));
    ASSERT_TRUE(doc.setNumber("S", "A", 2));
    std::filesystem::remove(path);
    std::filesystem::create_directories(path / "x");
    EXPECT_FALSE(doc.save());
    EXPECT_TRUE(doc.dirty());
    EXPECT_TRUE(std::filesystem::is_directory(path / "x"));
    std::filesystem::remove_all(path);

    // A target that exists but cannot be read is never overwritten.
    const auto folder = dir / "folder.ini";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(doc.open(folder));
    ASSERT_TRUE(doc.setNumber("S", "A", 2));
    EXPECT_FALSE(doc.close());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

// ---- robustness ----------------------------------------------------------------

// Random and truncated text: the reader never crashes, an untouched document
// writes back exactly what it read, and a set value reads back.
TEST(IniFuzz, RandomAndTruncatedTextRoundTrips) {
    std::mt19937 random(20240611u);
    const std::string alphabet = "[]=;#/, \t\r\n\n\nabSKV019.-+e";
    const std::string sample =
        "; c\n[Kovra_Vehicle]\nModelID = 500\n\n[SteerIK]\nGrabOffset = 0, 0.05, -0.02 ; x\n"
        "RateArm=1\n[SteerIK]\nRateArm = 2\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        if (round < static_cast<int>(sample.size())) {
            text = sample.substr(0, static_cast<std::size_t>(round));
        } else {
            const std::size_t length = random() % 200;
            for (std::size_t i = 0; i < length; ++i) {
                text += round % 4 == 0 ? static_cast<char>(random() % 256)
                                       : alphabet[random() % alphabet.size()];
            }
        }
        IniDocument doc;
        doc.parse(text);
        std::string expected = text;
        if (!expected.empty() && expected.back() != '\n') expected += '\n';
        ASSERT_EQ(doc.text(), expected) << "round " << round;
        for (const IniSection& section : doc.sections()) {
            for (const IniKey& key : section.keys()) {
                Vector3 v;
                float f;
                std::int32_t i;
                section.getVector(key.name, v);
                section.getNumber(key.name, f);
                section.getInteger(key.name, i);
            }
        }
        ASSERT_TRUE(doc.setNumber("S", "K", 0.5));
        ASSERT_TRUE(doc.setNumber("SteerIK", "RateArm", 3));
        IniDocument again;
        again.parse(doc.text());
        float k = 0, rate = 0;
        ASSERT_TRUE(again.findSection("S") && again.findSection("S")->getNumber("K", k)) << round;
        ASSERT_TRUE(again.findSection("SteerIK")->getNumber("RateArm", rate)) << round;
        EXPECT_EQ(k, 0.5f);
        EXPECT_EQ(rate, 3.0f);
    }
}

}  // namespace
}  // namespace kovra
