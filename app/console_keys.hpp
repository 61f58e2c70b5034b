// Single key presses for the console dialogues: read raw (no echo, no line
// wait) from a terminal, byte by byte from anything else, so a start can be
// scripted (printf '41\033' | tmodular). End of input counts as ESC.
#pragma once

#include <termios.h>

namespace tmod {

constexpr int key_escape = 27;

class console_keys {
  public:
    explicit console_keys(int fd = 0);
    ~console_keys();
    console_keys(const console_keys&) = delete;
    console_keys& operator=(const console_keys&) = delete;

    // The next key; key_escape at end of input or on a read error.
    int get();
    bool terminal() const { return raw_; }

  private:
    int fd_;
    bool raw_ = false;
    termios saved_{};
};

} // namespace tmod
