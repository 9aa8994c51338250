#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "ConfigTestSupport.h"
#include "kovra/config/GlobalSettings.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/PathText.h"
#include "kovra/config/PriorityAnimations.h"
#include "kovra/config/VehicleConfigFile.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

namespace fs = std::filesystem;

std::string VehicleFile(int modelId, float restAngle) {
    return "[Kovra_Vehicle]\nModelID = " + std::to_string(modelId) +
           "\n[SteerIK]\nRestAngle = " + std::to_string(restAngle) + "\n";
}

TEST(VehicleFileScan, FindsVehicleFilesButNothingHiddenOrTooSmall) {
    test::TempDir dir;
    const fs::path mods = dir / "modloader";
    fs::create_directories(mods / "Cars" / "deep");
    fs::create_directories(mods / ".hidden");
    test::writeFile(mods / "Cars" / "Kovra_truck.ini", VehicleFile(500, 30));
    test::writeFile(mods / "Cars" / "deep" / "other.ini", VehicleFile(501, 30));
    test::writeFile(mods / ".hidden" / "Kovra_x.ini", VehicleFile(502, 30));
    test::writeFile(mods / ".dotfile.ini", VehicleFile(503, 30));
    test::writeFile(mods / "tiny.ini", "[Kovra_Vehicle]\nX1\n");  // 19 bytes
    test::writeFile(mods / "upper.INI", VehicleFile(504, 30));
    test::writeFile(mods / "settings.ini", "[Config]\nAllow_NPCs = 1\n");
    std::ostringstream errors;
    const auto found = VehicleConfigStore::scanVehicleFiles(mods, errors);
    ASSERT_EQ(found.size(), 2u) << ::testing::PrintToString(found);
    EXPECT_EQ(found[0], mods / "Cars" / "Kovra_truck.ini");
    EXPECT_EQ(found[1], mods / "Cars" / "deep" / "other.ini");
    EXPECT_TRUE(errors.str().empty());
}

// A link that leads nowhere is passed over, and a folder reached again
// through a link is not walked a second time: the rest of the tree is read.
TEST(VehicleFileScan, BrokenAndLoopingLinksLoseNothing) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    test::TempDir dir;
    const fs::path mods = dir / "modloader";
    fs::create_directories(mods / "B");
    fs::create_symlink(dir / "nowhere.ini", mods / "A-broken.ini");
    fs::create_directory_symlink(mods, mods / "B" / "up");
    fs::create_directory_symlink(mods / "B", mods / "C-again");
    test::writeFile(mods / "B" / "Kovra_bike.ini", VehicleFile(461, 30));
    test::writeFile(mods / "Z.ini", VehicleFile(500, 30));
    std::ostringstream errors;
    const auto found = VehicleConfigStore::scanVehicleFiles(mods, errors);
    ASSERT_EQ(found.size(), 2u) << ::testing::PrintToString(found) << errors.str();
    EXPECT_EQ(found[0], mods / "B" / "Kovra_bike.ini");
    EXPECT_EQ(found[1], mods / "Z.ini");
}

// A named pipe is no file: reading it would wait for a writer forever.
TEST(VehicleFileScan, OnlyRegularFilesAreRead) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    test::TempDir dir;
    const fs::path mods = dir / "modloader";
    fs::create_directories(mods);
    ASSERT_TRUE(test::makeNamedPipe(mods / "pipe.ini"));
    test::writeFile(mods / "real.ini", VehicleFile(500, 30));
    std::ostringstream errors;
    const auto found = VehicleConfigStore::scanVehicleFiles(mods, errors);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], mods / "real.ini");

    sim::SimHost host;
    Runtime runtime(host);
    EXPECT_EQ(ReadVehicleConfig(runtime, mods / "pipe.ini", false), nullptr);
    GlobalSettings settings;
    EXPECT_FALSE(loadGlobalSettings(mods / "pipe.ini", settings));
    EXPECT_TRUE(loadPriorityAnimations(mods / "pipe.ini", host).empty());
    // Nor is a pipe replaced by a file when settings are saved.
    EXPECT_FALSE(saveGlobalSettings(mods / "pipe.ini", settings));
    EXPECT_EQ(fs::status(mods / "pipe.ini").type(), fs::file_type::fifo);
}

// A file far larger than any configuration is not read at all (the scan
// would hold it whole in memory); a line says so and the scan goes on.
TEST(VehicleFileScan, AHugeFileIsSkippedWithOneLineAndTheScanGoesOn) {
    test::TempDir dir;
    const fs::path mods = dir / "modloader";
    fs::create_directories(mods);
    std::string huge = VehicleFile(500, 30);
    huge.append(static_cast<std::size_t>(IniDocument::kMaxFileBytes), ';');
    test::writeFile(mods / "A-huge.ini", huge);
    test::writeFile(mods / "B.ini", VehicleFile(501, 30));
    std::ostringstream errors;
    const auto found = VehicleConfigStore::scanVehicleFiles(mods, errors);
    ASSERT_EQ(found.size(), 1u) << ::testing::PrintToString(found);
    EXPECT_EQ(found[0], mods / "B.ini");
    std::ostringstream skipped;
    skipped << "Skipped " << std::quoted((mods / "A-huge.ini").string()) << ": ";
    const std::string said = errors.str();
    EXPECT_EQ(said.rfind(skipped.str(), 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    // Read on its own, it is no configuration either, and never replaced.
    IniDocument doc;
    EXPECT_FALSE(doc.open(mods / "A-huge.ini"));
    doc.setNumber("SteerIK", "RestAngle", 1.0);
    EXPECT_FALSE(doc.save());
}

// A folder that cannot be listed (mode 000, for a user other than root) is
// passed over with one line; the folders after it are still read. The scan
// runs in a child that gives up root, which could list the folder anyway.
TEST(VehicleFileScan, AnUnreadableFolderIsSkippedAndTheScanGoesOn) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
#ifndef _WIN32
    test::TempDir dir;
    const fs::path mods = dir / "modloader";
    fs::create_directories(mods / "A-locked");
    fs::create_directories(mods / "B");
    test::writeFile(mods / "A-locked" / "Kovra_x.ini", VehicleFile(500, 30));
    test::writeFile(mods / "B" / "Kovra_y.ini", VehicleFile(501, 30));
    fs::permissions(mods / "A-locked", fs::perms::none);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(3);
            std::ostringstream errors;
            const auto found = VehicleConfigStore::scanVehicleFiles(mods, errors);
            const std::string said = errors.str();
            const bool skipped = said.rfind("Cannot read directory: ", 0) == 0 &&
                                 std::count(said.begin(), said.end(), '\n') == 1;
            std::_Exit(found.size() == 1 && found[0] == mods / "B" / "Kovra_y.ini" && skipped ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    fs::permissions(mods / "A-locked", fs::perms::owner_all);
#endif
}

TEST(VehicleFileScan, MissingFolderIsReportedAndFindsNothing) {
    std::ostringstream errors;
    EXPECT_TRUE(VehicleConfigStore::scanVehicleFiles("/no/such/\"dir\"", errors).empty());
    EXPECT_EQ(errors.str(), "Invalid directory: \"/no/such/\\\"dir\\\"\"\n");
}

TEST(VehicleFileScan, FirstFileOfAModelWinsAndEveryFileIsListed) {
    test::TempDir dir;
    fs::create_directories(dir / "modloader" / "A");
    fs::create_directories(dir / "modloader" / "B");
    test::writeFile(dir / "modloader" / "A" / "Kovra_truck.ini", VehicleFile(500, 30));
    test::writeFile(dir / "modloader" / "B" / "Kovra_truck.ini", VehicleFile(500, 60));
    sim::SimHost host;
    host.SetGameDirectory(dir.path().string());
    Runtime runtime(host);
    host.StartGame();
    const VehicleConfigRecord* record = runtime.store().find(500);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->steer.restAngle, 30.0f);
    ASSERT_EQ(record->filePaths.size(), 2u);
    // The platform's own separator: backslashes on Windows.
    EXPECT_EQ(record->fileLabels[0], "..." + (fs::path("A") / "Kovra_truck.ini").string());
    EXPECT_EQ(record->fileLabels[1], "..." + (fs::path("B") / "Kovra_truck.ini").string());
    EXPECT_FALSE(record->firstUse);
}

// A game installed under a folder whose name is not ASCII: the host hands
// the folder over as UTF-8 text, and every file under it is still found,
// listed with its exact path, written and read back.
TEST(VehicleFileScan, AGameFolderWithANonAsciiNameIsReadAndWrittenExactly) {
    test::TempDir dir;
    const fs::path game = dir.path() / PathFromText("Spiel \xC3\xBC\xCE\xA9 \xE6\xB8\xB8");
    fs::create_directories(game / "modloader" / "Kovra-Output");
    test::writeFile(game / "modloader" / "Kovra_truck.ini", VehicleFile(400, 30));
    sim::SimHost host;
    host.AddVehicleModel(sim::MakeSedanModel(400));
    host.SetGameDirectory(TextFromPath(game));
    Runtime runtime(host);
    host.StartGame();
    VehicleConfigRecord* record = runtime.store().find(400);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->steer.restAngle, 30.0f);
    ASSERT_EQ(record->filePaths.size(), 1u);
    EXPECT_TRUE(fs::exists(PathFromText(record->filePaths[0]))) << record->filePaths[0];

    CVehicle* car = host.CreateVehicle(400);
    for (int i = 0; i < 12; ++i) host.RunFrame();
    const CabinIk* rig = runtime.rigs().RigOf(car);
    ASSERT_TRUE(rig != nullptr && rig->built);
    const VehicleExportResult exported = ExportVehicleConfig(runtime, *rig);
    ASSERT_TRUE(exported.written) << exported.error;
    EXPECT_EQ(exported.path, game / "modloader" / "Kovra-Output" / "Kovra_sedan.ini");
    record->steer.restAngle = 0.0f;
    ASSERT_EQ(ReadVehicleConfig(runtime, exported.path, false), record);
    EXPECT_EQ(record->steer.restAngle, 30.0f);
}

TEST(VehicleFileScan, LabelsKeepTheLastFolderAndFile) {
    EXPECT_EQ(VehicleConfigStore::fileLabel("C:\\Game\\modloader\\Cars\\Kovra_truck.ini"),
              "...Cars\\Kovra_truck.ini");
    EXPECT_EQ(VehicleConfigStore::fileLabel("Kovra_truck.ini"), "...Kovra_truck.ini");
}

}  // namespace
}  // namespace kovra
