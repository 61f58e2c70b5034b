// The positions section of a patch file: where the editor showed each module's
// panel when the patch was saved. One record "RANK;X;Y" per module, in the
// order the objects section lists the modules (the container's list order,
// then the order within each list). The engine never reads it.
#pragma once

#include <vector>

namespace tmod {

struct saved_place {
    int x, y;
};

// The records of the file's positions section, in their order; empty when
// the file cannot be read or has none, or when a record is not "RANK;X;Y"
// with the ranks in order (the editor then lays the panels out in columns).
std::vector<saved_place> read_positions(const char* path);

} // namespace tmod
