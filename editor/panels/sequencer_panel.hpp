// The sequencer's panel: 32 step strips of the pattern it plays, the pattern
// buttons, divider and step count, and partition files loaded and saved by
// name from the console or stepped through PARTITIONS.
#pragma once

#include <iosfwd>
#include <string>

namespace tmod {

constexpr const char* partitions_dir = "PARTITIONS";

// A partition name typed on the console: a plain name inside PARTITIONS. An
// empty line, "/" or ".." cancel; the message says why (empty when accepted).
std::string partition_name_refusal(const std::string& name);

// Where the panel reads typed names (standard input unless a test says otherwise).
void set_console_input(std::istream* in);

} // namespace tmod
