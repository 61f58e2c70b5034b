// Bounds on what one remote connection can make the program write (the engine
// log, standard output). A client may send lines of up to 100 000 bytes as
// fast as the network carries them; what reaches a disk or a terminal stays
// small. Only what is shown is bounded: every line is still played or answered.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tmod {

// A line is shown up to this many bytes; a longer one is cut there and marked
// "...(cut, N bytes)" with its whole length. What is kept is shown with its
// control characters escaped (escaped_controls), so a client cannot send
// escape sequences to the terminal or into the log.
constexpr std::size_t shown_line_bytes = 256;
std::string shown_line(std::string_view line);

// Decides which lines of one connection are shown: at most lines_per_second
// in each one-second window (a window opens with the first line after the
// last one closed). The first line over the budget gets the notice instead,
// the others nothing. One connection's thread.
class output_budget {
  public:
    static constexpr int lines_per_second = 100;
    using clock = std::chrono::steady_clock;
    enum class verdict { show, notice, quiet };

    verdict take(clock::time_point now);
    verdict take() { return take(clock::now()); }

    // "Remote control: more than 100 lines a second on one connection; ..."
    static std::string notice_text();

  private:
    clock::time_point window_{};
    int taken_ = 0;
    bool open_ = false;
};

} // namespace tmod
