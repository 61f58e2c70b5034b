#include "util/atomic_file.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tmod {

namespace {
bool fail(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
}

constexpr char tmp_infix[] = ".tmp.";
constexpr int unique_length = 6; // mkstemp's XXXXXX

// The writer's pid of a name "NAME.tmp.PID.XXXXXX", or 0 when the name is not
// one of our temporaries.
pid_t temporary_owner(const std::string& name) {
    if (name.size() < unique_length + 1) return 0;
    const std::size_t dot = name.size() - unique_length - 1;
    if (name[dot] != '.') return 0;
    for (std::size_t i = dot + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return 0;
    const std::size_t infix = name.rfind(tmp_infix, dot);
    if (infix == std::string::npos || infix == 0) return 0;
    const std::size_t digits = infix + sizeof tmp_infix - 1;
    if (digits >= dot || name[digits] == '0') return 0;
    long long pid = 0;
    for (std::size_t i = digits; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        pid = pid * 10 + (name[i] - '0');
        if (pid > INT_MAX) return 0;
    }
    return static_cast<pid_t>(pid);
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
    std::string tmp = target_ + tmp_infix + std::to_string(::getpid()) + ".XXXXXX";
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

bool atomic_output::write(const void* data, std::size_t size, std::string* error) {
    if (fd_ < 0) {
        errno = EBADF;
        return fail(error, "nothing to write to");
    }
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(error, "cannot write");
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_file_atomically(const char* path, const void* data, std::size_t size,
                           std::string* error) {
    atomic_output out;
    return out.open(path, error) && out.write(data, size, error) && out.commit(error);
}

int remove_stale_temporaries(const char* dir) {
    DIR* d = ::opendir(dir);
    if (!d) return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const pid_t owner = temporary_owner(e->d_name);
        struct stat st;
        // Only a process that is gone for sure: one of another user answers EPERM.
        if (owner <= 0 || ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        if (::unlinkat(::dirfd(d), e->d_name, 0) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace tmod
