#include "kovra/config/VehicleConfigFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ConfigTestSupport.h"
#include "kovra/config/ConfigSchema.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

namespace fs = std::filesystem;

// A file that sets every key the reader knows to a value no constructor
// gives, so a key that is dropped on the way shows.
std::string EveryKeyFile(int modelId, int shiftPattern) {
    std::string text = "[Kovra_Vehicle]\nFileVer = 1\nModelID = " + std::to_string(modelId) + "\n";
    int n = 1;
    for (const ConfigSectionSpec& section : ConfigSections(ConfigFileKind::Vehicle)) {
        if (section.name == "Kovra_Vehicle") continue;
        text += "\n[" + std::string(section.name) + "]\n";
        for (const ConfigKeySpec& key : section.keys) {
            std::string value;
            const std::string v = std::to_string(n++) + ".25";
            switch (key.kind) {
                case ConfigValueKind::Vector: value = v + ", -0." + std::to_string(n) + ", 3e-05"; break;
                case ConfigValueKind::Flag: value = "0"; break;
                case ConfigValueKind::Integer: value = std::to_string(shiftPattern); break;
                default: value = v; break;
            }
            text += std::string(key.name) + " = " + value + "\n";
        }
    }
    return text;
}

class VehicleConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.AddVehicleModel(sim::MakeSedanModel(400));
        host.AddVehicleModel(sim::MakeMotorbikeModel(461));
        host.SetGameDirectory(dir.path().string());
    }

    // A rig holding copies of every template of the model, in rig order.
    std::unique_ptr<CabinIk> RigFromTemplates(Runtime& rt, int modelId, bool bike) {
        CVehicle* vehicle = host.CreateVehicle(modelId);
        auto rig = std::make_unique<CabinIk>(rt, vehicle);
        VehicleConfigRecord& record = rt.store().get(modelId);
        for (HandleKind kind : {HandleKind::Steer, HandleKind::HandBrake, HandleKind::Gear,
                                HandleKind::Bar, HandleKind::GasPedal, HandleKind::ClutchPedal,
                                HandleKind::Peg, HandleKind::BikeShift, HandleKind::SeatJiggle}) {
            const IkHandle* source = record.templateOf(kind);
            std::unique_ptr<IkHandle> handle = CabinIk::MakeHandle(rt, kind);
            handle->CopyFrom(source);
            handle->isBike = bike ? 1 : 0;
            rig->handles.push_back(std::move(handle));
        }
        return rig;
    }

    test::TempDir dir;
    sim::SimHost host;
};

TEST_F(VehicleConfigFileTest, WrittenSectionsReadBackToTheSameValues) {
    for (bool bike : {false, true}) {
        for (bool gears : {false, true}) {
            SCOPED_TRACE(std::string(bike ? "bike" : "car") + (gears ? ", gears" : ""));
            const auto source = dir / "source.ini";
            test::writeFile(source, EveryKeyFile(461, 2));
            Runtime first(host);
            first.store().exportGears = gears;
            ASSERT_NE(ReadVehicleConfig(first, source, false), nullptr);
            auto rig = RigFromTemplates(first, 461, bike);
            const auto exported = dir / "exported.ini";
            ASSERT_TRUE(ExportVehicleConfig(first, *rig, exported).written);

            Runtime second(host);
            second.store().exportGears = gears;
            VehicleConfigRecord* record = ReadVehicleConfig(second, exported, false);
            ASSERT_NE(record, nullptr);
            auto again = RigFromTemplates(second, 461, bike);
            for (std::size_t i = 0; i < rig->handles.size(); ++i) {
                EXPECT_EQ(again->handles[i]->WriteConfig(), rig->handles[i]->WriteConfig());
            }
            // The values set in the source really travelled: a default would
            // not be written as 1.25, 2.25, ...
            const std::string steer = rig->handles[0]->WriteConfig();
            EXPECT_NE(steer.find("GrabOffset = 1.25, -0.2, 3e-05\n"), std::string::npos) << steer;
            EXPECT_NE(steer.find("SwitchHands = 0\n"), std::string::npos);
        }
    }
}

TEST_F(VehicleConfigFileTest, ExportedFileBeginsWithTheModelAndSeparatesSections) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    const auto path = dir / "car.ini";
    ASSERT_TRUE(ExportVehicleConfig(rt, *rig, path).written);
    const std::string text = test::readFile(path);
    // CR LF on every platform, so that an export is the same file anywhere.
    EXPECT_EQ(text.rfind("[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n[SteerIK]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n\r\n[HandBrakeIK]\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(text.find("[GearPattern]"), std::string::npos);  // "Export Gears" is off
    ASSERT_EQ(host.timedMessages.size(), 1u);
    EXPECT_EQ(host.timedMessages[0].text,
              "~g~~h~~h~Config exported!~n~~g~~h~~h~" + path.string());
    EXPECT_EQ(host.timedMessages[0].milliseconds, 5000);
}

TEST_F(VehicleConfigFileTest, GearPatternIsResetAfterTheGearSection) {
    Runtime rt(host);
    GearIk defaults(rt);
    defaults.SetPattern(3);
    const auto path = dir / "gear.ini";
    // ShiftPattern without a [GearPattern]: the pattern's own slots.
    test::writeFile(path, "[Kovra_Vehicle]\nModelID = 400\n[GearIK]\nShiftPattern = 3\n");
    VehicleConfigRecord* record = ReadVehicleConfig(rt, path, false);
    ASSERT_NE(record, nullptr);
    for (int i = 0; i < GearIk::kPositionCount; ++i) {
        EXPECT_EQ(record->gear.pattern[i].preStage, defaults.pattern[i].preStage) << i;
    }
    // A slot given in the file wins over the reset; 7 is kept and touches nothing.
    test::writeFile(path,
                    "[Kovra_Vehicle]\nModelID = 400\n[GearPattern]\nFinStg_2 = 1, 2, 3\n"
                    "[GearIK]\nShiftPattern = 7\n");
    record = ReadVehicleConfig(rt, path, false);
    EXPECT_EQ(record->gear.shiftPattern, 7);
    EXPECT_EQ(record->gear.pattern[2].finalStage, Vector3(1, 2, 3));
    EXPECT_EQ(record->gear.pattern[0].preStage, defaults.pattern[0].preStage);
}

TEST_F(VehicleConfigFileTest, FilesThatContributeNothing) {
    Runtime rt(host);
    const auto path = dir / "v.ini";
    for (const char* text : {"[Kovra_Vehicle]\nModelID = 0\n[SteerIK]\nRestAngle = 9\n",
                             "[SteerIK]\nRestAngle = 9\n", "[Kovra_Vehicle]\nModelID=400\n"}) {
        test::writeFile(path, text);
        EXPECT_EQ(ReadVehicleConfig(rt, path, false), nullptr) << text;
    }
    EXPECT_EQ(ReadVehicleConfig(rt, dir / "missing.ini", false), nullptr);
    EXPECT_TRUE(rt.store().records().empty());
}

TEST_F(VehicleConfigFileTest, KeepExistingAndStamping) {
    Runtime rt(host);
    const auto path = dir / "v.ini";
    test::writeFile(path, "[Kovra_Vehicle]\nModelID = 400\n[SteerIK]\nRestAngle = 30 ; deg\n");
    VehicleConfigRecord* record = ReadVehicleConfig(rt, path, false);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->steer.restAngle, 30.0f);
    EXPECT_FALSE(record->firstUse);
    for (const IkHandle* t : record->templates) {
        EXPECT_FALSE(t->needsModelDefaults);
        EXPECT_EQ(t->modelId, 400);
    }
    const std::string before = test::readFile(path);
    test::writeFile(dir / "w.ini", "[Kovra_Vehicle]\nModelID = 400\n[SteerIK]\nRestAngle = 10\n");
    EXPECT_EQ(ReadVehicleConfig(rt, dir / "w.ini", true), record);
    EXPECT_EQ(record->steer.restAngle, 30.0f);
    EXPECT_EQ(ReadVehicleConfig(rt, dir / "w.ini", false)->steer.restAngle, 10.0f);
    EXPECT_EQ(test::readFile(path), before);  // reading never writes
}

TEST_F(VehicleConfigFileTest, DefaultExportFolderAndSafeFileNames) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    // Without the "modloader" folder there is nowhere to export.
    const VehicleExportResult refused = ExportVehicleConfig(rt, *rig);
    EXPECT_FALSE(refused.written);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_TRUE(host.timedMessages.empty());

    std::filesystem::create_directory(dir / "modloader");
    const VehicleExportResult done = ExportVehicleConfig(rt, *rig);
    ASSERT_TRUE(done.written) << done.error;
    EXPECT_EQ(done.path, dir / "modloader" / "Kovra-Output" / ("Kovra_" + std::string(host.ModelName(400)) + ".ini"));
    EXPECT_TRUE(std::filesystem::exists(done.path));

    EXPECT_EQ(VehicleExportFileName(""), "Kovra_.ini");
    EXPECT_EQ(VehicleExportFileName("../../evil"), "Kovra_.._.._evil.ini");
    EXPECT_EQ(VehicleExportFileName("a\\b:c*d?\"e<f>g|h"), "Kovra_a_b_c_d__e_f_g_h.ini");
    EXPECT_EQ(VehicleExportFileName(".."), "Kovra_...ini");
}

TEST_F(VehicleConfigFileTest, FailedExportLeavesTheOldFile) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    const auto path = dir / "missing-folder" / "car.ini";
    EXPECT_FALSE(ExportVehicleConfig(rt, *rig, path).written);
    EXPECT_TRUE(host.timedMessages.empty());
    // A folder where the file should be is not replaced.
    const auto folder = dir / "kept.ini";
    std::filesystem::create_directories(folder / "x");
    EXPECT_FALSE(ExportVehicleConfig(rt, *rig, folder).written);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "x"));
}

// Without a known game folder there is no mod tree to export into; the
// working directory is not one.
TEST_F(VehicleConfigFileTest, DefaultExportNeedsTheGameFolder) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    host.SetGameDirectory("");
    const fs::path work = dir / "work";
    fs::create_directories(work / "modloader");
    const fs::path before = fs::current_path();
    fs::current_path(work);
    const VehicleExportResult result = ExportVehicleConfig(rt, *rig);
    fs::current_path(before);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(fs::exists(work / "modloader" / "Kovra-Output"));
    EXPECT_TRUE(host.timedMessages.empty());
}

// Names that map to one file name ("a/b" and "a\\b" both give Kovra_a_b.ini)
// each keep a file of their own; a model's second export replaces its own.
TEST_F(VehicleConfigFileTest, DefaultExportNeverTakesAnotherModelsFile) {
    for (const auto& [id, name] : {std::pair{410, "a/b"}, std::pair{411, "a\\b"}}) {
        sim::VehicleModel model = sim::MakeSedanModel(id);
        model.name = name;
        ASSERT_TRUE(host.AddVehicleModel(model));
    }
    fs::create_directory(dir / "modloader");
    Runtime rt(host);
    auto first = RigFromTemplates(rt, 410, false);
    auto second = RigFromTemplates(rt, 411, false);
    const VehicleExportResult a = ExportVehicleConfig(rt, *first);
    const VehicleExportResult b = ExportVehicleConfig(rt, *second);
    ASSERT_TRUE(a.written && b.written) << a.error << b.error;
    EXPECT_EQ(a.path.filename(), "Kovra_a_b.ini");
    EXPECT_NE(a.path, b.path);
    EXPECT_NE(test::readFileLf(a.path).find("ModelID = 410\n"), std::string::npos);
    EXPECT_NE(test::readFileLf(b.path).find("ModelID = 411\n"), std::string::npos);
    EXPECT_EQ(ExportVehicleConfig(rt, *second).path, b.path);
    EXPECT_EQ(ExportVehicleConfig(rt, *first).path, a.path);
    EXPECT_NE(test::readFileLf(a.path).find("ModelID = 410\n"), std::string::npos);
}

// The pattern block follows "Export Gears": switched off, an export takes
// an earlier block away, so that a load gives the new pattern its own
// positions rather than the old pattern's.
TEST_F(VehicleConfigFileTest, AnExportWithoutGearsDropsAnEarlierPatternBlock) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    GearIk& gear = static_cast<GearIk&>(*rig->handles[2]);
    const auto path = dir / "gear.ini";
    rt.store().exportGears = true;
    gear.SetPattern(0);
    ASSERT_TRUE(ExportVehicleConfig(rt, *rig, path).written);
    ASSERT_NE(test::readFile(path).find("[GearPattern]"), std::string::npos);

    rt.store().exportGears = false;
    gear.shiftPattern = 2;
    gear.SetPattern(2);
    ASSERT_TRUE(ExportVehicleConfig(rt, *rig, path).written);
    const std::string text = test::readFileLf(path);
    EXPECT_EQ(text.find("[GearPattern]"), std::string::npos) << text;
    EXPECT_EQ(text.find("PreStg_"), std::string::npos) << text;
    VehicleConfigRecord* record = ReadVehicleConfig(rt, path, false);
    ASSERT_NE(record, nullptr);
    GearIk bmw(rt);
    bmw.SetPattern(2);
    EXPECT_EQ(record->gear.shiftPattern, 2);
    for (int i = 0; i < GearIk::kPositionCount; ++i) {
        EXPECT_EQ(record->gear.pattern[i].preStage, bmw.pattern[i].preStage) << i;
        EXPECT_EQ(record->gear.pattern[i].finalStage, bmw.pattern[i].finalStage) << i;
    }
}

// While a rig is being built it has no handles: nothing is written, not
// even the header, which would pass for the model's whole tuning.
TEST_F(VehicleConfigFileTest, ARigWithoutHandlesWritesNothing) {
    Runtime rt(host);
    CabinIk empty(rt, host.CreateVehicle(461));
    const auto path = dir / "bike.ini";
    const VehicleExportResult result = ExportVehicleConfig(rt, empty, path);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(fs::exists(path));
    fs::create_directory(dir / "modloader");
    EXPECT_FALSE(ExportVehicleConfig(rt, empty).written);
    EXPECT_FALSE(fs::exists(dir / "modloader" / "Kovra-Output" / "Kovra_motorbike.ini"));
    EXPECT_TRUE(host.timedMessages.empty());
}

// A file its owner made read-only is not replaced; the reason names it.
TEST_F(VehicleConfigFileTest, AReadOnlyFileIsLeftAsItWas) {
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    const auto path = dir / "car.ini";
    test::writeFile(path, "[Kovra_Vehicle]\nModelID = 400\n[SteerIK]\nRestAngle = 50\n");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string before = test::readFile(path);
    const VehicleExportResult result = ExportVehicleConfig(rt, *rig, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.error, path.string() + " is read-only; it was left as it was");
    EXPECT_EQ(test::readFile(path), before);
}

// The store writes only to files whose real path lies in the game's folder:
// a listed file or an export folder that is a link to elsewhere is refused.
TEST_F(VehicleConfigFileTest, WritesNeverFollowLinksOutOfTheGameFolder) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    test::TempDir outside;
    test::writeFile(outside / "other.ini", "keep me\n");
    Runtime rt(host);
    auto rig = RigFromTemplates(rt, 400, false);
    fs::create_directories(dir / "modloader" / "Cars");
    fs::create_symlink(outside / "other.ini", dir / "modloader" / "Cars" / "Kovra_sedan.ini");
    const VehicleExportResult linked = ExportVehicleConfig(rt, *rig, dir / "modloader" / "Cars" / "Kovra_sedan.ini");
    EXPECT_FALSE(linked.written);
    EXPECT_NE(linked.error.find("leads out of the game's folder"), std::string::npos) << linked.error;
    EXPECT_EQ(test::readFile(outside / "other.ini"), "keep me\n");

    fs::create_directory_symlink(outside.path(), dir / "modloader" / "Kovra-Output");
    EXPECT_FALSE(ExportVehicleConfig(rt, *rig).written);
    EXPECT_FALSE(ExportVehicleConfig(rt, *rig, dir / "modloader" / "Kovra-Output" / "new.ini").written);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);

    // A link that stays inside the folder is written through.
    test::writeFile(dir / "modloader" / "Cars" / "real.ini", "[Kovra_Vehicle]\nModelID = 400\n");
    fs::create_symlink(dir / "modloader" / "Cars" / "real.ini", dir / "modloader" / "inside.ini");
    EXPECT_TRUE(ExportVehicleConfig(rt, *rig, dir / "modloader" / "inside.ini").written);
    EXPECT_NE(test::readFile(dir / "modloader" / "Cars" / "real.ini").find("[SteerIK]"), std::string::npos);
    EXPECT_TRUE(host.timedMessages.size() == 1u);
}

}  // namespace
}  // namespace kovra
