#include "casefile/atomic_file.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "casefile/case_file.hpp"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // keeps windows.h from defining min and max macros
#endif
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velquin::sim::casefile {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail_save(const fs::path& target, const std::string& step, int error) {
    throw CaseFileError(target.string() + ": cannot save (" + step + ": " +
                        std::generic_category().message(error) + ")");
}

// For a call that just failed: errno is read before anything else can
// change it.
[[noreturn]] void fail_last(const fs::path& target, const char* step, const fs::path& file = {}) {
    const int error = errno;
    fail_save(target, file.empty() ? std::string(step) : std::string(step) + " " + file.string(), error);
}

// Writes in pieces small enough for every platform's write call.
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

#ifdef _WIN32
int process_id() {
    return _getpid();
}
int open_exclusive(const fs::path& p) {
    int fd = -1;
    const errno_t e = _wsopen_s(&fd, p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _SH_DENYRW, _S_IREAD | _S_IWRITE);
    return e == 0 ? fd : -1;
}
long write_some(int fd, const char* data, std::size_t n) {
    return _write(fd, data, static_cast<unsigned>(n));
}
int flush_to_disk(int fd) {
    return _commit(fd);
}
int close_file(int fd) {
    return _close(fd);
}
int replace_file(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return -1;
}
void remove_file(const fs::path& p) {
    _wunlink(p.c_str());
}
void flush_folder(const fs::path&) {}  // MOVEFILE_WRITE_THROUGH covers the rename
// Access to the new file follows the folder's inherited access lists, as it
// did for the file it replaces.
void keep_access_of(int, const fs::path&) {}
#else
int process_id() {
    return static_cast<int>(::getpid());
}
int open_exclusive(const fs::path& p) {
    return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long write_some(int fd, const char* data, std::size_t n) {
    return static_cast<long>(::write(fd, data, n));
}
int flush_to_disk(int fd) {
    return ::fsync(fd);
}
int close_file(int fd) {
    return ::close(fd);
}
int replace_file(const fs::path& from, const fs::path& to) {
    return std::rename(from.c_str(), to.c_str());
}
void remove_file(const fs::path& p) {
    ::unlink(p.c_str());
}
// Gives the new file the owner, group and permission bits of the file it
// replaces, as far as this process may: a case that others may read stays
// readable to them, and a private one stays private. Where the group cannot
// be kept, the new file grants its own group nothing, rather than giving a
// different group what the old one was given. A target that does not exist
// yet keeps the mode the process's umask gives.
void keep_access_of(int fd, const fs::path& replaced) {
    struct stat old_file {};
    if (::stat(replaced.c_str(), &old_file) != 0 || !S_ISREG(old_file.st_mode)) return;
    struct stat new_file {};
    if (::fstat(fd, &new_file) != 0) return;
    mode_t mode = old_file.st_mode & 0777;
    if (new_file.st_uid != old_file.st_uid) (void)::fchown(fd, old_file.st_uid, static_cast<gid_t>(-1));
    if (new_file.st_gid != old_file.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old_file.st_gid) != 0)
        mode &= ~static_cast<mode_t>(S_IRWXG);
    (void)::fchmod(fd, mode);
}
// Makes the rename itself durable. Some file systems refuse fsync on a
// folder; the new file is complete either way, so errors are not fatal.
void flush_folder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}
#endif

// Owns the temporary file until it has been renamed over the target.
// Errors name `target`, the path the caller gave; the file renamed over is
// `destination`, where target's links lead.
class TemporaryFile {
public:
    TemporaryFile(const fs::path& folder, const fs::path& destination, const fs::path& target)
        : target_(target), destination_(destination) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0;; ++attempt) {
            path_ = folder / ("." + destination.filename().string() + ".tmp" + std::to_string(process_id()) +
                              "-" + std::to_string(counter++));
            fd_ = open_exclusive(path_);
            if (fd_ >= 0) return;
            const int error = errno;
            if (error != EEXIST || attempt == 100)
                fail_save(target_, "cannot create a temporary file in " + folder.string(), error);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) close_file(fd_);
        if (!committed_) remove_file(path_);
    }

    void write_all(std::string_view bytes) {
        while (!bytes.empty()) {
            const long n = write_some(fd_, bytes.data(), std::min(bytes.size(), kWriteChunk));
            if (n < 0) {
                const int error = errno;
                if (error == EINTR) continue;
                fail_save(target_, "writing " + path_.string(), error);
            }
            if (n == 0) fail_save(target_, "writing " + path_.string(), EIO);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    void commit() {
        keep_access_of(fd_, destination_);
        if (flush_to_disk(fd_) != 0) fail_last(target_, "flushing", path_);
        const int fd = fd_;
        fd_ = -1;
        if (close_file(fd) != 0) fail_last(target_, "closing", path_);
        if (replace_file(path_, destination_) != 0) fail_last(target_, "replacing the file");
        committed_ = true;
    }

private:
    fs::path target_;
    fs::path destination_;
    fs::path path_;
    int fd_ = -1;
    bool committed_ = false;
};

// Where `target` leads: the path itself, or the end of its chain of
// symbolic links, so that a save writes the linked file instead of
// replacing the link by a plain file. A link to a file that does not exist
// yet leads to where that file will be.
fs::path link_destination(const fs::path& target) {
    constexpr int kMostLinks = 40;  // as the kernel's own limit, to end a loop of links
    fs::path path = target;
    for (int hop = 0; hop < kMostLinks; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) fail_save(target, "reading the link " + path.string(), ec.value());
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    fail_save(target, "following its links", ELOOP);
}

}  // namespace

void write_file_atomically(const fs::path& target, std::string_view bytes) {
    if (target.empty() || !target.has_filename())
        throw CaseFileError(target.string() + ": cannot save (not a file name)");
    const fs::path destination = link_destination(target);
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    TemporaryFile file(folder, destination, target);
    file.write_all(bytes);
    file.commit();
    flush_folder(folder);
}

std::string read_whole_file(const fs::path& path) {
    const std::string name = path.string();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        const int error = ec ? ec.value() : ENOENT;
        throw CaseFileError(name + ": cannot open (" + std::generic_category().message(error) + ")");
    }
    if (fs::is_directory(status)) throw CaseFileError(name + ": is a folder, not a saved case");
    if (!fs::is_regular_file(status)) throw CaseFileError(name + ": not a regular file");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) throw CaseFileError(name + ": cannot open (" + ec.message() + ")");

    std::ifstream in(path, std::ios::binary);
    if (!in) throw CaseFileError(name + ": cannot open (" + std::generic_category().message(errno) + ")");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size)
        throw CaseFileError(name + ": read error (the file changed or could not be read)");
    return bytes;
}

}  // namespace velquin::sim::casefile
