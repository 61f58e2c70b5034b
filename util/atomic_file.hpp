// Replacing a file without ever leaving it half-written: the data goes to a
// temporary file beside the target, is flushed to disk, and is renamed over the
// target. On any failure the target is untouched and the temporary removed.
#pragma once

#include <cstddef>
#include <string>

namespace tmod {

// Returns true on success; on failure `error` (if given) says why.
bool write_file_atomically(const char* path, const void* data, std::size_t size,
                           std::string* error = nullptr);

} // namespace tmod
