// The signal model every module shares.
//
// A module derives from OUTPUT (its current value and the one virtual
// operation compute) and may add the mix-ins OUTPUT_GATE, OUTPUT_SYNC, INPUT,
// INPUT_GATE, INPUT_SYNC. A slot is a live reference to a field of its source
// (value, gate or pulse), never a copy. Slots, parameters, gates and pulses are
// written by the editor and remote threads while the audio thread ticks, so they
// are relaxed atomic words (plain loads and stores on x86).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/num.hpp"

namespace tmod {

using sample_value = relaxed<float>;
using flag_value = relaxed<std::int32_t>;

// Counts the changes made to modules from outside their own computation: a
// parameter written by the editor, the reader or a remote connection, a slot
// connected or cleared. A module that caches what it derives from its
// parameters and connections re-derives it when the count has moved, so a
// steady module does not redo that work on every sample, and a change still
// takes effect from the next sample.
extern std::atomic<std::uint32_t> change_count;
inline std::uint32_t changes_seen() {
    return change_count.load(std::memory_order_acquire);
}
inline void announce_change() {
    change_count.fetch_add(1, std::memory_order_release);
}

// A parameter: a word the editor, the reader or a remote connection writes
// while the audio thread reads it. Writing it announces a change.
template <class T>
class param {
  public:
    using value_type = T;
    constexpr param(T v = T()) noexcept : v_(v) {}
    param(const param&) = delete;
    param& operator=(const param& o) noexcept { return *this = o.load(); }
    param& operator=(T v) noexcept {
        v_.store(v);
        announce_change();
        return *this;
    }
    operator T() const noexcept { return v_.load(); }
    T load() const noexcept { return v_.load(); }
    // For the module's own computation, which keeps what it derives up to date.
    void store_quietly(T v) noexcept { v_.store(v); }

  private:
    relaxed<T> v_;
};

constexpr std::size_t module_name_capacity = 80; // names hold up to 79 characters

// The storage of a module's name: the last member of every module, so that
// the fields read every sample share as few cache lines as possible.
using module_name = char[module_name_capacity];

// The values of all modules live in one pool, in the order the modules were
// made (a loaded patch's in file order), so the values a tick writes and reads
// share a few cache lines instead of taking one line per module object.
// Taken and given back by module construction and destruction (never by the
// audio thread); a cell taken again starts at 0.
sample_value& take_value_cell();
void give_value_cell(sample_value& cell);

// Base of every module. No virtual destructor: modules are destroyed through
// their concrete type by the container's typed lists.
struct OUTPUT {
    sample_value& value; // the module's output, in the pool of values
    char* const name;    // the identity in files, the editor and remote control

    OUTPUT(const OUTPUT&) = delete;
    OUTPUT& operator=(const OUTPUT&) = delete;

    // Sets the name, cut to 79 characters.
    void set_name(std::string_view text);

    // One tick: computes one sample and returns 1.
    virtual int compute() { return 1; }

  protected:
    explicit OUTPUT(char* name_storage) : value(take_value_cell()), name(name_storage) {}
    ~OUTPUT() { give_value_cell(value); }
};

// A bare OUTPUT object (the value proxy of a SOUND_INPUT).
struct value_source final : OUTPUT {
    value_source() : OUTPUT(name_storage) {}
    module_name name_storage = {};
};

struct OUTPUT_GATE {
    relaxed<float> age{0.0f}; // ticks since the last trigger
    flag_value gate{0};       // the level gate slots read

    void step_age() { age = age + 1.0f; }
    void trigger() {
        gate = 1;
        age = 0.0f;
    }
    void release() { gate = 0; }
};

struct OUTPUT_SYNC {
    flag_value pending{0};
    flag_value pulse{0}; // what sync slots read: 1 during exactly one tick

    void request_pulse() { pending = 1; }
    // Turns a pending request into a pulse of one tick.
    void step_pulse() {
        pulse = 0;
        if (pending) {
            pending = 0;
            pulse = 1;
        }
    }
};

// A slot refers to a source field or to nothing.
template <class Field>
class slot {
  public:
    using field_type = Field;
    bool connected() const { return src_.load() != nullptr; }
    const Field* source() const { return src_.load(); }
    // Connecting to the same field again is no change.
    void connect(const Field* field) {
        if (src_.load() == field) return;
        src_ = field;
        announce_change();
    }
    void disconnect() { connect(nullptr); }
    // The referenced value, or the fallback when unconnected.
    typename Field::value_type read_or(typename Field::value_type fallback) const {
        const Field* p = src_.load();
        return p ? p->load() : fallback;
    }

  private:
    relaxed<const Field*> src_{nullptr};
};

using signal_slot = slot<sample_value>; // refers to a value
using gate_slot = slot<flag_value>;     // refers to a gate
using sync_slot = slot<flag_value>;     // refers to a pulse

struct INPUT {
    signal_slot in;
};
struct INPUT_GATE {
    gate_slot gate_in;
};
struct INPUT_SYNC {
    sync_slot sync_in;
};

// The replace/modulate convention of the oscillators and filters: a replacing
// input takes the place of the parameter, a modulating input m turns x into
// x * m + x. Inputs are read once per sample; the parameter is not changed.
inline float replaced(const signal_slot& alt, float parameter) {
    return alt.read_or(parameter);
}
inline float modulated(const signal_slot& mod, float x) {
    const sample_value* p = mod.source();
    return p ? x * p->load() + x : x;
}

} // namespace tmod
