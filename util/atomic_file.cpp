#include "util/atomic_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tmod {

bool write_file_atomically(const char* path, const void* data, std::size_t size,
                           std::string* error) {
    auto fail = [&](const char* what, const std::string& tmp) {
        const int e = errno;
        if (error) *error = std::string(what) + ": " + std::strerror(e);
        if (!tmp.empty()) ::unlink(tmp.c_str());
        return false;
    };
    if (!path || !*path) {
        errno = EINVAL;
        return fail("no file name", "");
    }
    std::string tmp = std::string(path) + ".tmp.XXXXXX";
    const int fd = ::mkstemp(&tmp[0]);
    if (fd < 0) return fail("cannot create a temporary file beside the target", "");
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return fail("cannot write", tmp);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        return fail("cannot flush to disk", tmp);
    }
    // mkstemp creates the file 0600; a patch is an ordinary user file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0) return fail("cannot close", tmp);
    if (::rename(tmp.c_str(), path) != 0) return fail("cannot replace the file", tmp);
    return true;
}

} // namespace tmod
