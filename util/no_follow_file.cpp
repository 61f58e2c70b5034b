#include "util/no_follow_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tmod {

int open_no_follow(const char* path, write_mode mode, std::string& why, bool readable) {
    int flags = (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    if (mode == write_mode::append) flags |= O_APPEND;
    const int fd = ::open(path, flags, 0666);
    if (fd < 0) {
        // ENXIO: a FIFO nobody reads, a socket, a device without its driver.
        why = errno == ELOOP   ? "it is a symbolic link"
              : errno == ENXIO ? "it is not a regular file"
                               : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "it is not a regular file";
    else if (st.st_nlink > 1)
        why = "it has other hard links";
    else if (mode == write_mode::truncate && ::ftruncate(fd, 0) != 0)
        why = std::strerror(errno);
    else if (::fcntl(fd, F_SETFL, flags & O_APPEND) != 0)
        why = std::strerror(errno);
    else
        return fd;
    ::close(fd);
    return -1;
}

std::FILE* fopen_no_follow(const char* path, write_mode mode, std::string& why) {
    const int fd = open_no_follow(path, mode, why);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, mode == write_mode::append ? "a" : "w");
    if (!f) {
        why = std::strerror(errno);
        ::close(fd);
    }
    return f;
}

} // namespace tmod
