// The patch reader: fills a GENERATOR from a ".tsy" file (objects, then links;
// the positions are for the editor and never read). Nested GENERATOR modules
// load their own files completely while their FILE field is applied.
//
// Bad records never end the program: the record (or the links) is skipped with
// its message and the load reports the problem. A patch that includes itself,
// directly or through nested GENERATORs, is refused.
#pragma once

namespace tmod {

class GENERATOR;

enum load_status : int {
    load_failed = 0,       // no path, unreadable file, or a patch that includes itself
    load_ok = 1,           // read without problems
    load_with_errors = -1, // read, but records were skipped (messages printed)
};

// Main thread only. Holds rendering off (audio_enabled 0) until the outermost
// load ends. Clears the container first.
load_status load_patch(GENERATOR& container, const char* path);

// The reader's word buffer: longer words are skipped with a message.
constexpr int max_word_length = 3799;

} // namespace tmod
