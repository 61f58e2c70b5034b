#include "util/text.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "util/text_format.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace tmod {

void copy_text(char* dest, std::size_t capacity, std::string_view src) {
    if (capacity == 0) return;
    std::size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    // A NUL inside the source ends the text, as it would for a C string.
    const void* nul = std::memchr(src.data(), '\0', n);
    if (nul) n = static_cast<std::size_t>(static_cast<const char*>(nul) - src.data());
    std::memcpy(dest, src.data(), n);
    dest[n] = '\0';
}

int parse_int(std::string_view text) {
    std::string s(text);
    errno = 0;
    long v = std::strtol(s.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

double parse_double(std::string_view text) {
    std::string s(text);
    return std::strtod(s.c_str(), nullptr);
}

void appendf(std::string& out, const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
    } else {
        std::vector<char> big(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        out.append(big.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
}

bool is_regular_file(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool path_exists(const char* path) {
    struct stat st;
    return path && ::lstat(path, &st) == 0;
}

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    return a && b && ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace tmod
