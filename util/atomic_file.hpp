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

// The same for a file written piece by piece through a descriptor (a sound
// file of any length): open() creates the temporary "TARGET.tmp.PID.XXXXXX",
// commit() flushes, closes and renames it over the target. Until commit()
// succeeds the target is untouched; the destructor removes an uncommitted
// temporary. Not thread-safe; main thread.
class atomic_output {
  public:
    atomic_output() = default;
    ~atomic_output();
    atomic_output(const atomic_output&) = delete;
    atomic_output& operator=(const atomic_output&) = delete;

    bool open(const char* path, std::string* error = nullptr);
    int fd() const { return fd_; }
    // Appends to the temporary; false (with `error`) when not all could be written.
    bool write(const void* data, std::size_t size, std::string* error = nullptr);
    const std::string& temporary() const { return tmp_; }
    bool commit(std::string* error = nullptr);
    // Closes and removes the temporary (also done by the destructor).
    void abandon();

  private:
    std::string target_, tmp_;
    int fd_ = -1;
};

// Temporaries carry the writer's process id, so that one left by a process
// killed while writing can be told from one being written now. Removes from
// `dir` the regular files (links are never followed) named as temporaries
// whose process no longer runs; returns how many went. Main thread, at start.
int remove_stale_temporaries(const char* dir);

} // namespace tmod
