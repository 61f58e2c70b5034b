// File listing: the files of a directory and its subdirectories with a given
// extension, and stepping to the next or previous one (patches, samples,
// partitions). Built on std::filesystem; no shell is involved.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tmod {

// Every regular file under `directory` whose extension is `extension`, or one
// of a comma-separated list of them (without the dot, compared without case), as paths starting with `directory`. Files of
// a directory come first, ordered by name without case, then the files of each
// subdirectory in the same order, recursively. Symbolic links to directories
// are not followed. A directory that cannot be read gives an empty list.
std::vector<std::string> list_files(const char* directory, const char* extension);

// The part of a path after its last "/", "\" or line break.
std::string base_name(const std::string& path);

// With an empty `current`: the first (next_file) or last (previous_file) entry.
// Otherwise the entry after (before) the one that is the file `current` names
// (by its path as listed, or any other path to that same file); after the last
// comes the first, before the first the last. The result is copied into `out`
// (cut to capacity - 1 characters) and `out` is returned; null, with `out`
// unchanged, when `current` is not in the listing or the directory holds no
// such file. With `keep`, the files whose path it refuses are not listed.
using path_filter = bool (*)(std::string_view path);
char* next_file(const char* current, const char* directory, const char* extension, char* out,
                std::size_t capacity, path_filter keep = nullptr);
char* previous_file(const char* current, const char* directory, const char* extension, char* out,
                    std::size_t capacity, path_filter keep = nullptr);

} // namespace tmod
