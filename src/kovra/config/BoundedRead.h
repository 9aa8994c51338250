#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kovra {

// Reads a whole regular file of at most maxBytes bytes into `out`, bytes as
// they are. False, with `out` unchanged, when the file cannot be read or is
// larger (also when it grew past the limit while it was read): a reader
// never takes more memory than a configuration can need.
bool readBoundedFile(const std::filesystem::path& path, std::uintmax_t maxBytes, std::string& out);

}  // namespace kovra
