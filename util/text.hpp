// Small text helpers shared by the file readers and writers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tmod {

// Bounded copy: at most capacity - 1 characters, always terminated.
void copy_text(char* dest, std::size_t capacity, std::string_view src);

template <std::size_t N>
void copy_text(char (&dest)[N], std::string_view src) {
    copy_text(dest, N, src);
}

inline bool contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

// Text from outside (a remote client, a file, a device or port name) as it is
// printed or logged: every byte of a control character (C0, DEL, the C1 range)
// or of something that is not well-formed UTF-8 becomes "\xHH", so no escape
// sequence reaches a terminal; printable text, UTF-8 included, stays as it is.
std::string escaped_controls(std::string_view text);
inline std::string escaped_controls(const char* text) { // null as ""
    return escaped_controls(std::string_view(text ? text : ""));
}

// Why a text (a module or file name) cannot stand in a record of a patch
// file, whose reader splits words at blanks and fields at ";" and "=": "a
// blank", "a ';'", "an '='" or "a control character"; null when it can.
const char* unfit_for_patch(std::string_view text);
inline bool fits_patch(std::string_view text) {
    return unfit_for_patch(text) == nullptr;
}

// C-library style conversions of a value text: leading blanks and a sign, then
// digits; trailing text is ignored and no digits gives 0. Integers saturate at
// the int range instead of overflowing.
int parse_int(std::string_view text);
double parse_double(std::string_view text);
inline float parse_float(std::string_view text) {
    return static_cast<float>(parse_double(text));
}

} // namespace tmod

namespace tmod {
// True when the path names a regular file. Readers refuse anything else, so a
// patch naming a device or a pipe (/dev/zero, /dev/stdin) cannot hang a load.
bool is_regular_file(const char* path);
// True when something (a file, a folder, a link) is there.
bool path_exists(const char* path);
// True when both paths name one existing file (device and inode).
bool same_file(const char* a, const char* b);
} // namespace tmod
