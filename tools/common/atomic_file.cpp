#include "tools/common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvs {

namespace {

bool Failed(std::string* error, const std::string& path, const std::string& cause) {
    if (error) *error = "cannot write " + path + ": " + cause;
    return false;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = EIO;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

bool ResolveWriteTarget(const std::string& path, std::string* target, std::string* error) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = p;
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size())
            return Failed(error, path, "cannot read the symbolic link " + p);
        link.resize(static_cast<size_t>(n));
        p = link[0] == '/' ? link : FolderOf(p) + "/" + link;
    }
    return Failed(error, path, "too many symbolic links");
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
    if (path.empty()) return Failed(error, path, "no file name");
    std::string target;
    if (!ResolveWriteTarget(path, &target, error)) return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return Failed(error, path, KindOf(old.st_mode));
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    std::string tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return Failed(error, path, std::strerror(errno));
    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size) && ::fchmod(fd, mode) == 0 &&
              ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return Failed(error, path, std::strerror(saved));
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool ReadRegularFile(const std::string& path, size_t max_bytes, std::string* out,
                     std::string* error) {
    auto fail = [&](const std::string& cause) {
        if (error) *error = "cannot read " + path + ": " + cause;
        return false;
    };
    // O_NONBLOCK: opening a FIFO without a writer must not hang before the check below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        ::close(fd);
        return fail(S_ISREG(st.st_mode) ? std::strerror(e) : KindOf(st.st_mode));
    }
    if (static_cast<uint64_t>(st.st_size) > max_bytes) {
        ::close(fd);
        return fail(std::to_string(st.st_size) + " bytes, more than the " +
                    std::to_string(max_bytes) + " bytes allowed");
    }
    // Bounded even for a file that grows while it is read.
    out->clear();
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(std::strerror(e));
        }
        if (n == 0) break;
        out->append(buf, static_cast<size_t>(n));
        if (out->size() > max_bytes) {
            ::close(fd);
            out->clear();
            return fail("more than the " + std::to_string(max_bytes) + " bytes allowed");
        }
    }
    ::close(fd);
    return true;
}

}  // namespace kvs
