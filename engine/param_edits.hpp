// The parameter half of the editing seam (engine/patch_ops.hpp is the whole
// seam; it includes this). Below the container, so that a container being
// cleared can apply what is queued for its modules.
//
// Ordinary parameters are single words: they are stored directly. Parameters
// whose setter writes several words the tick reads (marked audio_thread) are
// queued and applied by the audio callback at the start of its next buffer.
// While no pump drains the queue (offline renders, loads, tests), they are
// applied at once under the exclusive patch lock, which no callback is
// waiting on then.
//
// Callers: not while holding the patch lock shared (a multi-word parameter
// without a pump takes it exclusively). A queued change names its module:
// queue only for modules of a container, whose removal or clearing applies
// what is queued before freeing them.
#pragma once

#include <mutex>

#include "engine/param_desc.hpp"

namespace tmod {

// Sets a parameter (index: the channel or step of an indexed one).
void set_param(OUTPUT& m, const param_desc& d, int index, double value);

// The same without waiting, for a thread that holds the patch lock shared (the
// MIDI worker): a one-word parameter is stored, a multi-word one queued. False
// when it cannot be queued now (no pump drains the queue, or it is full): the
// caller then sets it with the patch lock held exclusively.
bool try_set_param(OUTPUT& m, const param_desc& d, int index, double value);

// Audio thread, at the start of a buffer, holding the patch lock shared; or
// any thread holding it exclusively. Applies the queued parameter changes.
void apply_pending_edits();

// Whether changes wait in the queue for the audio thread (any thread).
bool edits_pending();

// The pump says whether a running stream drains the queue. When it stops,
// what is left is applied at once.
void set_audio_drains_edits(bool draining);

// Serialises the editing threads among themselves (never taken by the audio
// thread). Taken after the patch lock when both are needed.
std::mutex& edit_mutex();

} // namespace tmod
