#include "io/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace glyphora {

namespace {

// strerror_r comes in two flavours (GNU returns the text, POSIX fills the buffer); either way no static
// buffer is shared between threads, as strerror's may be.
[[maybe_unused]] const char* error_text(int rc, const char* buffer) {
    return rc == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char* error_text(const char* text, const char*) {
    return text;
}

std::string describe(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + errno_message(err);
}

// Creates a new, empty temporary file beside path. The file is created with the ordinary mode of a new
// file, so the kernel applies the umask: reading the umask would mean changing it, and that is process-wide
// state a writer on a worker thread must not touch.
int create_temporary(const std::string& path, std::string& tmp) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = path + ".";
        for (int i = 0; i < 6; ++i) tmp += kLetters[pick(random)];
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Where the new content has to go: through a symbolic link to the file it names, so that a linked file
// (a library or settings file kept with the user's other dotfiles, say) stays linked.
std::string write_target(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string errno_message(int err) {
    char buffer[256] = {};
    return error_text(::strerror_r(err, buffer, sizeof buffer), buffer);
}

IoResult read_whole_file(const std::string& path, std::string& out) {
    IoResult result;
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = describe("cannot open", path, errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        result.error = describe("cannot read", path, EISDIR);
        return result;
    }
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            result.error = describe("cannot read", path, err);
            return result;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    result.ok = true;
    return result;
}

IoResult write_file_atomically(const std::string& given_path, std::string_view content) {
    IoResult result;
    const std::string path = write_target(given_path);
    std::string tmp;
    const int fd = create_temporary(path, tmp);
    if (fd < 0) {
        result.error = describe("cannot write in the folder of", path, errno);
        return result;
    }
    // A replaced file keeps its permissions; a new one has those the umask gave it.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    const char* p = content.data();
    std::size_t left = content.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (err == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        result.error = describe("cannot write", path, err);
        return result;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    result.ok = true;
    return result;
}

}  // namespace glyphora
