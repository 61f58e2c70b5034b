#include "util/atomic_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tmod {

namespace {
bool fail(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
}
} // namespace

atomic_output::~atomic_output() {
    abandon();
}

void atomic_output::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tmp_.empty()) ::unlink(tmp_.c_str());
    tmp_.clear();
}

bool atomic_output::open(const char* path, std::string* error) {
    abandon();
    if (!path || !*path) {
        errno = EINVAL;
        return fail(error, "no file name");
    }
    target_ = path;
    std::string tmp = target_ + ".tmp.XXXXXX";
    fd_ = ::mkstemp(&tmp[0]);
    if (fd_ < 0) return fail(error, "cannot create a temporary file beside the target");
    tmp_ = tmp;
    return true;
}

bool atomic_output::commit(std::string* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return fail(error, "nothing to write");
    }
    auto failed = [&](const char* what) {
        fail(error, what);
        abandon();
        return false;
    };
    if (::fsync(fd_) != 0) return failed("cannot flush to disk");
    // mkstemp creates the file 0600: a replaced file keeps its permissions,
    // a new one gets the ordinary ones.
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::fchmod(fd_, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return failed("cannot close");
    if (::rename(tmp_.c_str(), target_.c_str()) != 0) return failed("cannot replace the file");
    tmp_.clear();
    return true;
}

bool write_file_atomically(const char* path, const void* data, std::size_t size,
                           std::string* error) {
    atomic_output out;
    if (!out.open(path, error)) return false;
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(out.fd(), p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(error, "cannot write");
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return out.commit(error);
}

} // namespace tmod
