#include "WindowsRun.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include <sys/wait.h>

#include "kovra/config/PathText.h"

namespace kovra::wintest {

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

void ReadReport(const std::string& text, Report& r) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        if (w[0] == "pose" && w.size() == 11) {
            Pose p{{std::stof(w[4]), std::stof(w[5]), std::stof(w[6]), std::stof(w[7])},
                   {std::stof(w[8]), std::stof(w[9]), std::stof(w[10])}};
            r.poses[{std::stoi(w[1]), std::stoi(w[2]), std::stoi(w[3])}] = p;
        } else if (w[0] == "frames" && w.size() == 2) {
            r.frames = std::stoi(w[1]);
        } else if (w[0] == "modules") {
            r.modules.assign(w.begin() + 2, w.end());
        } else if (w[0] == "startup-byte" && w.size() == 2) {
            r.startupByte = std::stoi(w[1]);
        } else if (w[0] == "changed") {
            r.changed.assign(w.begin() + 1, w.end());
        } else if (w[0] == "routine" && w.size() == 5) {
            r.routines[w[1]] = {std::stoi(w[2]), std::stoi(w[3]), std::stoi(w[4])};
        } else if (w[0] == "text" && w.size() >= 4) {
            // The text itself may hold blanks: everything after the fourth word's blank.
            std::size_t at = 0;
            for (int i = 0; i < 2; ++i) at = line.find(' ', at) + 1;
            r.screen[std::stoi(w[1])].push_back(line.substr(at));
        } else if ((w[0] == "text-style" || w[0] == "rect") && w.size() >= 3) {
            const std::size_t at = line.find(' ', w[0].size() + 1) + 1;
            (w[0] == "rect" ? r.rects : r.styles)[std::stoi(w[1])].push_back(line.substr(at));
        } else if (w[0] == "drawn" && w.size() == 8) {
            std::vector<double>& d = r.drawn[std::stoi(w[1])];
            for (std::size_t i = 2; i < w.size(); ++i) d.push_back(std::stod(w[i]));
        } else if (w[0] == "script" && w.size() == 4) {
            r.scriptCalls[{std::stoi(w[1]), std::stoi(w[2])}] = std::stoi(w[3]);
        } else if (w[0] == "host-routine" && w.size() == 3) {
            r.hostCalls[w[1]] = std::stoi(w[2]);
        } else if (w[0] == "message") {
            r.messages.push_back(line.substr(8));
        } else if (w[0] == "last-frame") {
            r.lastFrame.assign(w.begin() + 1, w.end());
        }
    }
}

// Single quotes for the shell; the folders made here hold none.
std::string Quoted(const fs::path& path) { return "'" + TextFromPath(path) + "'"; }

}  // namespace

void Needs32BitPrograms::SetUp() {
    std::string answer;
    std::getline(std::ifstream(KOVRA_32BIT_ANSWER), answer);
    if (answer.starts_with("no: ")) GTEST_SKIP() << answer.substr(4);
}

fs::path DataFile(const std::string& name) { return fs::path(KOVRA_WINDOWS_TEST_DATA) / name; }
fs::path ScenesDirectory() { return KOVRA_SCENES_DIR; }
fs::path SourceFile(const std::string& relative) { return fs::path(KOVRA_SOURCE_DIR) / relative; }

RunFolder::RunFolder(const std::string& name) {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("kovra-windows-" + std::to_string(random())) / PathFromText(name);
    fs::create_directories(path_ / "modloader");
}

RunFolder::~RunFolder() {
    std::error_code ignored;
    fs::remove_all(path_.parent_path(), ignored);
}

void RunFolder::AddBuilt(const std::string& file, const std::string& as) {
    fs::copy(fs::path(KOVRA_WIN32_DIR) / file, path_ / (as.empty() ? file : as),
             fs::copy_options::overwrite_existing | fs::copy_options::recursive);
}

void RunFolder::Write(const fs::path& relative, const std::string& text) {
    fs::create_directories((path_ / relative).parent_path());
    std::ofstream(path_ / relative, std::ios::binary) << text;
}

Report RunFolder::Run(const std::string& exe, const fs::path& scenario, const std::string& extra,
                      const std::string& environment) const {
    const std::string command = "cd " + Quoted(path_) + " && " + environment + " WINEPREFIX=" + Quoted(KOVRA_WINE_PREFIX) +
                                " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' wine " + exe +
                                " --scenario " + Quoted(scenario) + " --scenes " + Quoted(ScenesDirectory()) +
                                " --report report.txt " + extra + " > output.txt 2>&1";
    // Each run's report and log alone, never a previous run's.
    std::error_code ignored;
    fs::remove(path_ / "report.txt", ignored);
    fs::remove(path_ / "kovra.log", ignored);
    Report r;
    const int status = std::system(command.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.output = ReadAll(path_ / "output.txt");
    ReadReport(ReadAll(path_ / "report.txt"), r);
    std::istringstream log(ReadAll(path_ / "kovra.log"));
    for (std::string line; std::getline(log, line);) r.logLines.push_back(line);
    return r;
}

}  // namespace kovra::wintest
