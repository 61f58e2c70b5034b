// Allocation tracker: the program's own leak detector.
//
// Blocks obtained through tracked_alloc carry the source file and line of their
// allocation site until tracked_free releases them; report_leaks writes what is
// left to "MEMLEAKS.log" with a dump of each block and prints the total.
// Thread-safe (a mutex guards the records), so remote-control threads and
// loaders may allocate; never call it from the audio callback.
#pragma once

#include <cstddef>
#include <cstdio>
#include <new>
#include <utility>

namespace tmod {

void* tracked_alloc(std::size_t size, const char* file, int line);
void* tracked_alloc_array(std::size_t size, const char* file, int line);
void tracked_free(void* block);
void tracked_free_array(void* block);

// Removes the block's record; an unknown address is reported in the log and on
// standard output. Returns true when a record was found.
bool unregister(void* block);

// Opens the leak log afresh; report_leaks writes into it and closes it. A name
// that is a symbolic link or not a regular file is refused with a message on
// standard error and nothing is written through it (false).
// Without an open log (and none refused), report_leaks opens "MEMLEAKS.log" in
// the working directory.
bool open_leak_log(const char* path = "MEMLEAKS.log");
void report_leaks();

// Number of live records and their total size (for tests and diagnostics).
std::size_t tracked_count();
std::size_t tracked_bytes();

// Object entry points: construct in a tracked block, destroy through the
// concrete type (modules have no virtual destructor).
template <class T, class... Args>
T* tracked_new(const char* file, int line, Args&&... args) {
    void* p = tracked_alloc(sizeof(T), file, line);
    try {
        return ::new (p) T(std::forward<Args>(args)...);
    } catch (...) {
        tracked_free(p);
        throw;
    }
}

template <class T>
void tracked_delete(T* p) {
    if (!p) return;
    p->~T();
    tracked_free(p);
}

// Base of the graphics classes: `new (__FILE__, __LINE__) SPRITE(...)` allocates
// through the tracker and `delete` releases through it.
class LeakWrapper {
  public:
    static void* operator new(std::size_t size, const char* file, int line) {
        return tracked_alloc(size, file, line);
    }
    static void operator delete(void* p, const char*, int) { tracked_free(p); }
    static void operator delete(void* p) { tracked_free(p); }
    // Plain new is kept so that any allocation of a wrapper is tracked.
    static void* operator new(std::size_t size) { return tracked_alloc(size, "?", 0); }
    virtual ~LeakWrapper() = default;
};

} // namespace tmod

#define TM_NEW(T, ...) ::tmod::tracked_new<T>(__FILE__, __LINE__, ##__VA_ARGS__)
