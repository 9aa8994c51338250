#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"

// Runs the test host under wine in a folder of its own and reads its report.
namespace kovra::wintest {

struct Pose {
    Quaternion rotation;
    Vector3 position;  // the bone matrix's origin
};
using PoseKey = std::tuple<int, int, int>;  // frame, character slot, node

struct RoutineCounts {
    int entered = 0, steps = 0, viaModule = 0;
};

struct Report {
    int exitCode = -1;
    std::string output;  // what the run printed
    int frames = 0;
    std::vector<std::string> modules;
    int startupByte = -1;
    std::vector<std::string> changed;  // code bytes that differ after the run
    std::map<std::string, RoutineCounts> routines;
    std::vector<std::string> lastFrame;
    std::map<PoseKey, Pose> poses;
    std::vector<std::string> logLines;  // kovra.log, when there is one
    // With --screen 1: per frame, the texts drawn, each "X Y TEXT".
    std::map<int, std::vector<std::string>> screen;
    std::map<std::string, int> hostCalls;  // per routine of the host operations
    std::vector<std::string> messages;     // timed messages, in order
    // With --screen 1, per frame: the style of each text (as StyleText
    // writes it), each rectangle (RectText), and the digest of the lines
    // and triangles: vertex counts of each, sums of x, y, z and colours.
    std::map<int, std::vector<std::string>> styles, rects;
    std::map<int, std::vector<double>> drawn;
    std::map<std::pair<int, int>, int> scriptCalls;  // (opcode, first input) -> calls
};

// A fresh folder under the temporary directory (its last part `name`, any
// characters), removed afterwards.
class RunFolder {
public:
    explicit RunFolder(const std::string& name);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Copies a file or folder of the cross build (the module, a test host,
    // the build descriptions) in.
    void AddBuilt(const std::string& file, const std::string& as = "");
    void Write(const std::filesystem::path& relative, const std::string& text);
    // Runs `exe` in the folder on the scenario; extra arguments follow, and
    // `environment` ("NAME=VALUE ...") is added to the program's.
    Report Run(const std::string& exe, const std::filesystem::path& scenario,
               const std::string& extra = "", const std::string& environment = "") const;

private:
    std::filesystem::path path_;
};

// The tests that run the 32-bit test host. Where this machine cannot run
// 32-bit programs (the answer ctest's probe wrote), each reports itself
// skipped with the reason instead of failing for the machine's sake.
class Needs32BitPrograms : public ::testing::Test {
protected:
    void SetUp() override;
};

std::filesystem::path DataFile(const std::string& name);
std::filesystem::path ScenesDirectory();
// A file of the source folder, by its path there.
std::filesystem::path SourceFile(const std::string& relative);

}  // namespace kovra::wintest
