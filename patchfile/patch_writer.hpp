// The patch writer: the objects section from the container's lists, the link
// and position records from an ordered list of placed modules (the editor gives
// its panels; headless callers give the container's modules in list order).
#pragma once

#include <string>
#include <vector>

#include "engine/module_types.hpp"

namespace tmod {

class GENERATOR;

struct placed_module {
    OUTPUT* module;
    module_kind kind;
    float x = 0.0f, y = 0.0f; // editor coordinates of its panel
};

// Every module of the container, lists in list order, at (0, 0).
std::vector<placed_module> modules_in_list_order(const GENERATOR& container);

// The whole file text. Writing a SEQUENCER without a partition file saves its
// patterns to a new partition file first.
std::string patch_text(GENERATOR& container, const std::vector<placed_module>& placed);

// Writes the file beside the target under a temporary name and renames it over
// the target; on failure nothing is replaced and `error` says why.
bool save_patch(GENERATOR& container, const std::vector<placed_module>& placed, const char* path,
                std::string* error = nullptr);

} // namespace tmod
