// The editing seam: every change made to a running patch from outside the
// audio thread (the editor, remote control, scripted events, the reader's
// links) goes through these functions, so that a tick never meets a module
// half-changed or a slot that refers to freed memory.
//
// Slots and ordinary parameters are single words: they are stored directly.
// Parameters whose setter writes several words the tick reads (marked
// audio_thread) are queued and applied by the audio callback at the start of
// its next buffer. While no pump drains the queue (offline renders, loads,
// tests), they are applied at once under the exclusive patch lock, which no
// callback is waiting on then.
//
// Callers: not while holding the patch lock shared (a removal, or a
// multi-word parameter without a pump, takes it exclusively). A queued
// change names its module: queue only for modules of a container, whose
// removal or clearing applies what is queued before freeing them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/module_types.hpp"

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

// Sets a parameter (index: the channel or step of an indexed one).
void set_param(OUTPUT& m, const param_desc& d, int index, double value);

// Audio thread, at the start of a buffer, holding the patch lock shared; or
// any thread holding it exclusively. Applies the queued parameter changes.
void apply_pending_edits();

// The pump says whether a running stream drains the queue. When it stops,
// what is left is applied at once.
void set_audio_drains_edits(bool draining);

} // namespace tmod
