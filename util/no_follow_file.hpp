// Opening a file for writing by name without following a symbolic link at that
// name, for files the program writes in directories other people may share
// (the engine log, the leak report): a link planted under the name would
// otherwise let the program overwrite or append to any file the user can write.
// Only regular files with a single name are accepted; a FIFO does not block
// the open. Any thread.
#pragma once

#include <cstdio>
#include <string>

namespace tmod {

enum class write_mode { truncate, append };

// A descriptor open for writing (reading too with `readable`), created with
// mode 0666 (less the umask) when missing; -1 with `why` ("it is a symbolic
// link", "it is not a regular file", "it has other hard links", or the
// system's reason). Truncation happens only after the checks passed.
int open_no_follow(const char* path, write_mode mode, std::string& why, bool readable = false);

// The same as a stream ("w" or "a"); null with `why`.
std::FILE* fopen_no_follow(const char* path, write_mode mode, std::string& why);

} // namespace tmod
