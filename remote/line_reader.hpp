// Line reading of the remote control, chunk by chunk as the bytes arrive.
//
// A line is everything received up to and including the chunk that holds its
// end of line; bytes that came after the end in that same chunk stay in the
// line (commands are searched anywhere in it). The end is a CR LF, possibly
// split across two chunks; a bare LF also ends a line, so `nc` without -C can
// play. The text handed out stops at the first zero byte and loses its line
// end (CR LF or LF; otherwise its last two characters, as when other bytes
// followed the end in the same chunk).
//
// Memory is bounded: a line longer than `capacity` bytes is not kept. Its bytes
// are received and dropped until the chunk holding its end, and the whole line
// is reported as too long and ignored.
#pragma once

#include <functional>
#include <string_view>

namespace tmod {

class line_reader {
  public:
    static constexpr int capacity = 100000;

    // Receives up to `max` bytes into `buffer`: the count, 0 when the peer
    // closed, -1 on an error (as tcp_receive does).
    using receive_fn = std::function<int(char* buffer, int max)>;

    enum class result {
        line,     // a complete line; see text()
        closed,   // the peer closed; an unfinished line is dropped
        failed,   // receive error ("Erreur de receive " was printed)
        too_long, // a line longer than capacity was dropped
    };

    // The buffer is allocated through the allocation tracker (any thread).
    explicit line_reader(receive_fn receive);
    ~line_reader();
    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    result read();
    // The last complete line, valid until the next read.
    std::string_view text() const { return text_; }

  private:
    receive_fn receive_;
    char* buffer_;
    std::string_view text_;
};

// The command text of a received line: cut at its first zero byte, then
// without its CR LF or LF (or its last two characters when it does not end
// with one; a shorter text becomes empty).
std::string_view command_text(std::string_view received);

} // namespace tmod
