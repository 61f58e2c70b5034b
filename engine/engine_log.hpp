// The engine log ("log_standard.log" in the data directory): the start-up line
// and the remote control's lines. Each line is appended whole, the file being
// reopened for appending every time, so lines written by several connection
// threads never mix and the file can be moved away while the program runs.
#pragma once

#include <string>
#include <string_view>

namespace tmod {

constexpr const char* engine_log_name = "log_standard.log";

// Appends `text` as one piece (any thread). Returns false when the file
// cannot be opened or written.
bool append_engine_log(const std::string& path, std::string_view text);

} // namespace tmod
