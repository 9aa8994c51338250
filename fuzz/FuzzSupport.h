#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// What every fuzz target shares: a property that does not hold is a crash
// libFuzzer keeps, and the readers that take a path get the input as a file.
namespace kovra::fuzz {

inline void Require(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
}

inline std::string_view AsText(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process's own, in memory where the system has one: the
// input is written to a file for every run.
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        const std::filesystem::path own = base / ("kovra-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(own / "modloader");
        return own;
    }();
    static const bool removedAtExit = (std::atexit([] {
                                           std::error_code ignored;
                                           std::filesystem::remove_all(ScratchFolder(), ignored);
                                       }),
                                       true);
    (void)removedAtExit;
    return folder;
}

inline std::filesystem::path WriteScratchFile(const std::string& name, std::string_view text) {
    const std::filesystem::path path = ScratchFolder() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return path;
}

}  // namespace kovra::fuzz
