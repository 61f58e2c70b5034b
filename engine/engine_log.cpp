#include "engine/engine_log.hpp"

#include <cstdio>
#include <mutex>

namespace tmod {

bool append_engine_log(const std::string& path, std::string_view text) {
    static std::mutex one_line_at_a_time;
    std::lock_guard<std::mutex> hold(one_line_at_a_time);
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
}

} // namespace tmod
