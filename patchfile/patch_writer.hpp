// The patch writer: the objects section from the container's lists, the link
// and position records from an ordered list of placed modules (the editor gives
// its panels; headless callers give the container's modules in list order),
// then the level's MIDI mappings, when it has any, in a section of their own.
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

// The whole file text. A module that writes a file of its own (a sequencer's
// partition) and has none yet gets a new one, written first, so that any
// text made (a recovery set too) names data that exists; files that exist
// are left as they are (save_patch brings them up to date).
std::string patch_text(GENERATOR& container, const std::vector<placed_module>& placed);

// Why the container cannot be saved as it stands: a module name or a file
// name the reader would split, cut or misread (a blank, ";", "=", a control
// character, another key of its record); the message names the module and
// the text. Empty when it can.
std::string unsaveable_text(GENERATOR& container);

// Saves the patch to `path`. First the files the modules write themselves
// (partitions): each one that is missing, or holds other than its module's
// data, is written (atomically), under a new name for a module that has none
// or whose file another module of the container has just written with other
// data; `written` (when given) lists them. Then the patch is written beside
// the target under a temporary name and renamed over it. Returns false with
// `error` saying why when a text cannot be saved, the patch's folder cannot
// be written or a module's file cannot: the patch file is then untouched (the
// module files written before the failure stay).
bool save_patch(GENERATOR& container, const std::vector<placed_module>& placed, const char* path,
                std::string* error = nullptr, std::vector<std::string>* written = nullptr);

} // namespace tmod
