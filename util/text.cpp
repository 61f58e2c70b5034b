#include "util/text.hpp"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>


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

namespace {
// Length of the well-formed UTF-8 sequence of 2 to 4 bytes at s[i]
// (no overlong form, surrogate or code point past U+10FFFF), or 0.
std::size_t utf8_length(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = at(0);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    if (n == 0 || i + n > s.size() || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(k) < 0x80 || at(k) > 0xBF) return 0;
    return n;
}
} // namespace

std::string escaped_controls(std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t n = c >= 0x80 ? utf8_length(text, i) : 0;
        // C2 80 .. C2 9F encode the C1 controls (CSI is U+009B).
        const bool c1 = n > 0 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (n > 0 && !c1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
        ++i;
    }
    return out;
}

const char* unfit_for_patch(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u)) return "a blank";
        if (c == ';') return "a ';'";
        if (c == '=') return "an '='";
        if (u < 0x20 || u == 0x7f) return "a control character";
    }
    return nullptr;
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
