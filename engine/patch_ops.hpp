// The editing seam: every change made to a running patch from outside the
// audio thread (the editor, remote control, scripted events, the reader's
// links) goes through these functions and those of engine/param_edits.hpp, so
// that a tick never meets a module half-changed or a slot that refers to
// freed memory. Slots are single words: they are stored directly.
//
// Callers: not while holding the patch lock shared (a removal takes it
// exclusively).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/module_types.hpp"
#include "engine/param_edits.hpp"

namespace tmod {

class GENERATOR;

// A module with its type (slots refer to fields the type knows how to find).
struct module_ref {
    OUTPUT* module = nullptr;
    const module_type* type = nullptr;
};

// Done, or refused with a message for the user.
struct edit_result {
    bool ok = true;
    std::string message;
    explicit operator bool() const { return ok; }
};

// A new module of the kind with its defaults and the name, appended to the
// container under the patch lock (or put at `at` of its type's list).
OUTPUT* add_module(GENERATOR& g, module_kind kind, std::string_view name,
                   std::size_t at = SIZE_MAX);

// Disconnects every slot of the container (nested containers included) that
// refers to the module's value, gate or pulse, takes the module out under the
// exclusive patch lock and frees it once no tick can reach it. False when the
// module is not in this container.
bool remove_module(GENERATOR& g, OUTPUT* module);

// Connects a slot of the target to the source. Channel slots: channel -1
// adds the next channel (a null source still takes its place), channel >= 0
// feeds that one. Refused: a gate slot from a module without a gate output,
// a sync slot from one without a sync output, a channel past the last.
edit_result connect(OUTPUT& target, const slot_desc& slot, module_ref source, int channel = -1);
// Clears the slot (a channel slot: that channel, which stays counted).
void disconnect(OUTPUT& target, const slot_desc& slot, int channel = 0);

} // namespace tmod
