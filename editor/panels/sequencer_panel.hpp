// The sequencer's panel: 32 step strips of the pattern it plays, the pattern
// buttons, divider and step count, and partition files loaded and saved by
// a name typed in the window or stepped through PARTITIONS.
#pragma once


namespace tmod {

constexpr const char* partitions_dir = "PARTITIONS";

} // namespace tmod
