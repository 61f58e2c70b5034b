// The engine log ("log_standard.log" in the data directory): the start-up line
// and the remote control's lines. Each line is appended whole, the file being
// reopened for appending every time, so lines written by several connection
// threads never mix and the file can be moved away while the program runs.
//
// The log is bounded: it stops growing at engine_log_limit bytes, its last
// line then saying so; moving it away or emptying it starts a new one. A name
// that is a symbolic link (or not a regular file) is never written through.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tmod {

constexpr const char* engine_log_name = "log_standard.log";
constexpr long long engine_log_limit = 16LL << 20;
// The log's last line once it reached its limit.
constexpr std::string_view engine_log_full_line =
    "Log full (16 MiB): later lines are not written.\r\n";

// Appends `text` as one piece (any thread). When it would take the file past
// the limit, the full line is appended instead (once; also said once on
// standard output) and the text is dropped. A refused name is reported once
// on standard error until a later open succeeds. Returns true when `text` was
// written.
bool append_engine_log(const std::string& path, std::string_view text);

// Opens (creating) the log for appending without following a link, for a
// caller that holds it open across the program's start; its lines still go
// through append_engine_log so the limit holds. Null when refused (reported
// as above).
std::FILE* open_engine_log(const std::string& path);

} // namespace tmod
