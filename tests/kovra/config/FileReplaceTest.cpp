#include "kovra/config/FileReplace.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Whatever sits where the temporary file would go is never written through
// or removed; the new text goes to a fresh file of its own.
TEST(FileReplace, NeverWritesThroughWhatIsInTheWay) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    TempDir dir;
    const auto target = dir / "a.ini";
    const auto victim = dir / "victim.txt";
    writeFile(target, "old");
    writeFile(victim, "precious");
    fs::create_symlink(victim, dir / "a.ini.tmp");
    ASSERT_TRUE(replaceFileContents(target, "new"));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(dir / "a.ini.tmp"));

    fs::remove(dir / "a.ini.tmp");
    fs::create_directories(dir / "a.ini.tmp" / "x");
    ASSERT_TRUE(replaceFileContents(target, "newer"));
    EXPECT_EQ(readFile(target), "newer");
    EXPECT_TRUE(fs::exists(dir / "a.ini.tmp" / "x"));
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 3);
}

// A target that is a link has the file it leads to replaced; the link stays.
TEST(FileReplace, ALinkedTargetReplacesTheRealFile) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    TempDir dir;
    fs::create_directory(dir / "real");
    const auto real = dir / "real" / "Kovra_Config.ini";
    writeFile(real, "old");
    fs::create_symlink(real, dir / "link.ini");
    ASSERT_TRUE(replaceFileContents(dir / "link.ini", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(readFile(real), "new");
    // A link to nowhere names no file to replace.
    fs::create_symlink(dir / "gone.ini", dir / "dangling.ini");
    EXPECT_FALSE(replaceFileContents(dir / "dangling.ini", "x"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_FALSE(fs::exists(dir / "gone.ini"));
}

TEST(FileReplace, KeepsTheOldFilesPermissions) {
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    TempDir dir;
    const auto target = dir / "private.ini";
    writeFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(replaceFileContents(target, "new"));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(FileReplace, WhatIsNotARegularFileIsLeftAlone) {
    TempDir dir;
    EXPECT_FALSE(replaceFileContents(dir / "missing" / "a.ini", "x"));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    fs::create_directories(dir / "folder.ini" / "x");
    EXPECT_FALSE(replaceFileContents(dir / "folder.ini", "x"));
    EXPECT_TRUE(fs::is_directory(dir / "folder.ini" / "x"));
    EXPECT_FALSE(replaceFileContents(dir.path() / "", "x"));
    KOVRA_SKIP_WITHOUT_POSIX_FILES();
    ASSERT_TRUE(test::makeNamedPipe(dir / "pipe.ini"));
    EXPECT_FALSE(replaceFileContents(dir / "pipe.ini", "x"));
    EXPECT_EQ(fs::status(dir / "pipe.ini").type(), fs::file_type::fifo);
}

}  // namespace
}  // namespace kovra
