#include "util/alloc_tracker.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "util/messages.hpp"
#include "util/no_follow_file.hpp"

namespace tmod {
namespace {

struct allocation_record {
    int kind = 0;
    void* address = nullptr;
    int size = 0; // as reported; saturated at the int range
    int line = 0;
    char file[60] = {};
    unsigned long long order = 0; // allocation order, for the report
    std::size_t bytes = 0;        // the real size, for the running total
};

struct tracker_state {
    std::mutex lock;
    // Keyed by address so a release is O(log n); the report sorts by order.
    std::map<std::uintptr_t, allocation_record> records;
    unsigned long long next_order = 0;
    std::size_t bytes = 0;
    std::FILE* log = nullptr;
    bool refused = false; // the log's name was refused: no report file this run
};

tracker_state& state() {
    // Never destroyed: blocks may be released by static destructors at exit.
    static tracker_state* s = new tracker_state;
    return *s;
}

void* record_block(void* p, std::size_t size, const char* file, int line) {
    if (!p) throw std::bad_alloc();
    allocation_record r;
    r.address = p;
    r.size = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    r.bytes = size;
    r.line = line;
    std::snprintf(r.file, sizeof r.file, "%s", file ? file : "");
    tracker_state& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    r.order = s.next_order++;
    s.bytes += size;
    s.records[reinterpret_cast<std::uintptr_t>(p)] = r;
    return p;
}

void release(void* block) {
    if (!block) return;
    // Unknown blocks are reported and not released again: they were most likely
    // freed before, and a second free would corrupt the heap.
    if (unregister(block)) std::free(block);
}

// Fresh log, never written through a link planted under its name.
std::FILE* open_log(tracker_state& s, const char* path) {
    std::string why;
    std::FILE* f = fopen_no_follow(path, write_mode::truncate, why);
    s.refused = !f;
    if (!f) std::fprintf(stderr, "tmodular: %s is not written: %s\n", path, why.c_str());
    return f;
}

} // namespace

void* tracked_alloc(std::size_t size, const char* file, int line) {
    return record_block(std::malloc(size ? size : 1), size, file, line);
}

void* tracked_alloc_array(std::size_t size, const char* file, int line) {
    return tracked_alloc(size, file, line);
}

void tracked_free(void* block) {
    release(block);
}
void tracked_free_array(void* block) {
    release(block);
}

bool unregister(void* block) {
    tracker_state& s = state();
    {
        std::lock_guard<std::mutex> g(s.lock);
        auto it = s.records.find(reinterpret_cast<std::uintptr_t>(block));
        if (it != s.records.end()) {
            s.bytes -= it->second.bytes;
            s.records.erase(it);
            return true;
        }
        if (s.log) {
            std::fprintf(s.log, "Damn Bitches [%p] already freed ???\n", block);
            std::fflush(s.log);
        }
    }
    say("Damn Bitches [%p] already freed ???\n", block);
    return false;
}

bool open_leak_log(const char* path) {
    tracker_state& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.log) std::fclose(s.log);
    s.log = open_log(s, path);
    return s.log != nullptr;
}

void report_leaks() {
    tracker_state& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.log && !s.refused) s.log = open_log(s, "MEMLEAKS.log");
    std::FILE* log = s.log;
    if (s.records.empty()) {
        if (log) std::fputs("Doesn't seem to leak, u work right!!! :)\n", log);
    } else {
        std::vector<const allocation_record*> in_order;
        in_order.reserve(s.records.size());
        for (const auto& kv : s.records) in_order.push_back(&kv.second);
        std::sort(in_order.begin(), in_order.end(),
                  [](const allocation_record* a, const allocation_record* b) {
                      return a->order < b->order;
                  });
        long long total = 0;
        // The address format keeps the log's historical layout; the 0 flag is
        // meaningless for %p, so it is given at run time to keep -Wformat quiet.
        const char* record_format = "%08p - Lost %8d bytes in file [%s] on line %05d\n";
        int i = 0;
        for (const allocation_record* r : in_order) {
            total += r->size;
            if (!log) continue;
            std::fprintf(log, "%04d - ", i++);
            std::fprintf(log, record_format, r->address, r->size, r->file, r->line);
            std::fputs("Mem Dump [", log);
            std::fwrite(r->address, 1, static_cast<std::size_t>(r->size), log);
            std::fputs("]\n", log);
        }
        const int count = static_cast<int>(in_order.size());
        const int bytes = total > INT_MAX ? INT_MAX : static_cast<int>(total);
        if (log) std::fprintf(log, "For a total of %d elements and %d bytes\n", count, bytes);
        say("For a total of %d elements and %d bytes\n", count, bytes);
    }
    if (log) {
        std::fclose(log);
        s.log = nullptr;
    }
    s.refused = false;
}

std::size_t tracked_count() {
    tracker_state& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.records.size();
}

std::size_t tracked_bytes() {
    tracker_state& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.bytes;
}

} // namespace tmod
