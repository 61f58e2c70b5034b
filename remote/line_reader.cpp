#include "remote/line_reader.hpp"

#include <cstdio>
#include <cstring>

#include "util/alloc_tracker.hpp"
#include "util/messages.hpp"

namespace tmod {

std::string_view command_text(std::string_view received) {
    std::string_view t = received.substr(0, received.find('\0'));
    std::size_t cut = 2;
    if (t.size() >= 2 && t.substr(t.size() - 2) == "\r\n")
        cut = 2;
    else if (!t.empty() && t.back() == '\n')
        cut = 1;
    t.remove_suffix(t.size() < cut ? t.size() : cut);
    return t;
}

line_reader::line_reader(receive_fn receive)
    : receive_(std::move(receive)),
      buffer_(static_cast<char*>(tracked_alloc_array(capacity, __FILE__, __LINE__))) {}

line_reader::~line_reader() {
    tracked_free_array(buffer_);
}

line_reader::result line_reader::read() {
    text_ = {};
    int total = 0;
    bool dropping = false; // the line outgrew the buffer: its bytes are thrown away
    for (;;) {
        char* at = dropping ? buffer_ : buffer_ + total;
        const int room = dropping ? capacity : capacity - total;
        const int n = receive_(at, room);
        if (n < 0) {
            say("Erreur de receive \n");
            return result::failed;
        }
        if (n == 0) return result::closed;
        const int got = n < room ? n : room;
        // A CR at the end of one chunk and the LF at the start of the next end
        // the line just as well: the LF is what is looked for.
        const bool complete = std::memchr(at, '\n', static_cast<std::size_t>(got)) != nullptr;
        if (dropping) {
            if (complete) return result::too_long;
            continue;
        }
        total += got;
        if (complete) {
            text_ = std::string_view(buffer_, static_cast<std::size_t>(total));
            return result::line;
        }
        if (total == capacity) dropping = true;
    }
}

} // namespace tmod
