#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

// Symbolic links, named pipes and POSIX permissions belong to the POSIX
// file systems; the Windows build of the tests passes over what needs them.
#ifdef _WIN32
#define KOVRA_SKIP_WITHOUT_POSIX_FILES() GTEST_SKIP() << "needs POSIX links, pipes or permissions"
#else
#define KOVRA_SKIP_WITHOUT_POSIX_FILES() static_cast<void>(0)
#endif

namespace kovra::test {

// A named pipe at `path`; false where there are none.
inline bool makeNamedPipe(const std::filesystem::path& path) {
#ifdef _WIN32
    static_cast<void>(path);
    return false;
#else
    return mkfifo(path.c_str(), 0600) == 0;
#endif
}

// A fresh folder under the system's temporary directory, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("kovra-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                 std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The text with CR LF line ends read as LF: exports are CR LF on disk, and
// most tests are about what the lines say.
inline std::string readFileLf(const std::filesystem::path& path) {
    std::string text = readFile(path);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace kovra::test
