// The patch reader: fills a GENERATOR from a ".tsy" file (objects, then links,
// then the MIDI mappings after the positions; the positions are for the editor
// and never read here). Nested GENERATOR modules
// load their own files completely while their FILE field is applied.
//
// Bad records never end the program: the record (or the links) is skipped with
// its message and the load counts and reports it. A patch that includes itself,
// directly or through nested GENERATORs, is refused, and so is the rest of a
// load that passes 100 000 modules, 10 000 nested patches or 2 GiB of module
// memory in all (what was loaded before stays).
#pragma once

#include <string>
#include <vector>

namespace tmod {

class GENERATOR;

enum load_status : int {
    load_failed = 0,       // no path, unreadable file, or a patch that includes itself
    load_ok = 1,           // read without problems
    load_with_errors = -1, // read, but records were skipped (messages printed)
};

// What a load could not read: every record of the patch and of its nested
// patches that was not read whole (an unknown type, a field that ends the
// record, a link naming a missing module or source, a nested patch, sample or
// partition file that could not be loaded, a word too long, a record past the
// load's limits), counted once each.
struct load_report {
    load_status status = load_failed;
    int dropped = 0;
    // "FILE word N: why", one per dropped record, the first max_report_lines.
    std::vector<std::string> messages;
};
constexpr int max_report_lines = 100;

// Reads the whole tree of files into a private container, then replaces the
// container's modules under the patch lock, holding rendering off
// (audio_enabled 0) for that swap only. A load that read nothing
// (load_failed) leaves the container as it was. Each call is a load of its
// own: its chain of files and its budget start afresh and are seen by no other
// load, so loads into different containers may run on several threads.
// The status is load_with_errors exactly when records were dropped; `report`
// (when given) says which. Without `read_mappings` the reader stops where
// readers that know no MIDI mappings stop (the container gets none).
load_status load_patch(GENERATOR& container, const char* path, load_report* report = nullptr,
                       bool read_mappings = true);

// The reader's word buffer: longer words are skipped with a message.
constexpr int max_word_length = 3799;

} // namespace tmod
