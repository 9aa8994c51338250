#include "kovra/config/FileReplace.h"

#include <cerrno>
#include <system_error>

#include "kovra/config/PathText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kovra {
namespace {

namespace fs = std::filesystem;

// "FILE.tmp", then "FILE.tmp1" and on: whatever a crash left behind, or
// someone put there, is never written through or removed.
constexpr int kTemporaryNames = 16;

// The few calls that create a file exclusively and push it to the disk have
// no standard-library spelling; these are the C runtime's on each platform.
#ifdef _WIN32
int CreateExclusive(const fs::path& path, bool /*privateMode*/) {
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, std::size_t size) {
    constexpr std::size_t kChunk = 1u << 20;
    return _write(fd, data, static_cast<unsigned int>(size < kChunk ? size : kChunk));
}
bool FlushToDisk(int fd) { return _commit(fd) == 0; }
bool CloseFile(int fd) { return _close(fd) == 0; }
void FlushFolder(const fs::path&) {}  // the rename is journaled with the folder
#else
int CreateExclusive(const fs::path& path, bool privateMode) {
    // A file that replaces another starts private and takes the old file's
    // permissions before it is renamed; a new file gets the usual ones.
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  privateMode ? 0600 : 0666);
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
bool FlushToDisk(int fd) { return ::fsync(fd) == 0; }
bool CloseFile(int fd) { return ::close(fd) == 0; }
void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // the rename itself reaches the disk
    ::close(fd);
}
#endif

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const long written = WriteSome(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The file a write to `target` must replace: the target itself, or the file
// a link leads to. False for what is not a regular file, or a link that
// leads nowhere.
bool ResolveTarget(const fs::path& target, fs::path& real, bool& exists) {
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(target, ec);
    if (own.type() == fs::file_type::not_found) {
        real = target;
        exists = false;
        return true;
    }
    if (ec) return false;
    real = fs::is_symlink(own) ? fs::canonical(target, ec) : target;
    if (ec) return false;
    exists = true;
    return fs::is_regular_file(fs::status(real, ec)) && !ec;
}

}  // namespace

bool replaceFileContents(const fs::path& target, std::string_view text, std::string* why) {
    const auto fail = [&](const char* what) {
        if (why) *why = what == nullptr ? "cannot write " + TextFromPath(target) : TextFromPath(target) + what;
        return false;
    };
    if (!target.has_filename()) return fail(nullptr);
    fs::path real;
    bool exists = false;
    if (!ResolveTarget(target, real, exists)) return fail(" is not a regular file");

    std::error_code ec;
    const fs::perms permissions = exists ? fs::status(real, ec).permissions() : fs::perms::unknown;
    if (ec) return fail(nullptr);
    // The owner's write bit, which is also what Windows' read-only flag
    // shows; it holds for a privileged user too, who could write anyway.
    if (exists && (permissions & fs::perms::owner_write) == fs::perms::none) {
        return fail(" is read-only; it was left as it was");
    }

    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < kTemporaryNames && fd < 0; ++attempt) {
        temporary = real;
        temporary += attempt == 0 ? std::string(".tmp") : ".tmp" + std::to_string(attempt);
        fd = CreateExclusive(temporary, exists);
        if (fd < 0 && errno != EEXIST) return fail(nullptr);
    }
    if (fd < 0) return fail(nullptr);

    bool written = WriteAll(fd, text) && FlushToDisk(fd);
    written = CloseFile(fd) && written;
    if (written && exists) {
        fs::permissions(temporary, permissions, fs::perm_options::replace, ec);
        written = !ec;
    }
    if (written) {
        fs::rename(temporary, real, ec);
        written = !ec;
    }
    if (!written) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return fail(nullptr);
    }
    FlushFolder(real.parent_path());
    return true;
}

}  // namespace kovra
