// Lines typed on standard input (a terminal, a pipe or a file), taken
// without ever waiting: the editor's prompts take them as answers, so a
// script can answer what the window asks. Main thread only.
#pragma once

#include <string>

namespace tmod {

class typed_lines {
  public:
    explicit typed_lines(int fd = 0) : fd_(fd) {}
    // The next whole line (without its end) when one has come; the last
    // line of the input counts without its end.
    bool next(std::string& line);

  private:
    int fd_;
    bool ended_ = false;
    std::string pending_;
};

} // namespace tmod
