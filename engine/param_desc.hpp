// A module parameter described once: the key the patch reader matches, the
// place and format the writer gives it, and what a panel needs to bind a
// control to it (get and set as a number, range, stepping, display format).
// The descriptions are tables beside each module's code; the reader, the
// writer and the panels read them and never cast to the concrete type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "engine/signal.hpp"

namespace tmod {

template <class T>
struct table_view {
    const T* first = nullptr;
    std::size_t size = 0;
    const T* begin() const { return first; }
    const T* end() const { return first + size; }
    const T& operator[](std::size_t i) const { return first[i]; }
    bool empty() const { return size == 0; }
    template <std::size_t N>
    constexpr table_view(const T (&a)[N]) : first(a), size(N) {}
    constexpr table_view() = default;
};

class nested_loader; // engine/nested_loader.hpp

// A field of an object record: "KEY=VALUE", the value up to the next "=".
struct field_text {
    std::string_view field;
    std::string_view key;
    std::string_view value;
    // The load reading the field, for a field that names a patch to nest;
    // null when the field is applied outside a load (nothing is nested then).
    nested_loader* nested = nullptr;
};

// How a panel control steps a parameter. Steps are 32-bit float constants
// applied to the value as a float, as the panels always did.
enum class step_rule : std::uint8_t {
    none,            // not stepped (set from a slider angle, a file or a click elsewhere)
    bands,           // frequency-like: the band table, never below 0.001
    amplitude_bands, // the band table, with the amplitude floors (0 and 0.001)
    cutoff,          // integer Hz by the cut-off band tables
    resonance,       // by r/100, r/1000 or r/10000, kept in 0.00002 .. 0.995
    fixed,           // +- step_size, kept in min .. max
    toggle,          // |1 - v|
    cycle,           // +- 1 through min .. max: past max is min, below min is max
    phase,           // +- 1, then the truncated value's remainder by 360
    doubling,        // doubled up, halved down
};

constexpr double unbounded = std::numeric_limits<double>::infinity();

// A file a module writes itself (a sequencer's partition), which a patch
// names: what a patch save needs to bring it up to date first. Main thread.
struct own_file_ops {
    // True when the file at `path` is missing or holds other than the module's data.
    bool (*differs)(OUTPUT&, const char* path);
    // Writes the module's data there (atomically) and keeps the name; false
    // with `error` set when it cannot.
    bool (*write)(OUTPUT&, const char* path, std::string* error);
    // A path no file has yet, for a module that has none.
    std::string (*new_path)(OUTPUT&);
};

struct param_desc {
    // The key the reader matches anywhere in a field, in table order; the
    // writer writes it as "KEY=". Null for parameters files do not carry.
    const char* key = nullptr;
    // The reader's conversion of a field (null: not read).
    void (*apply)(OUTPUT&, const field_text&) = nullptr;
    // As a number; null for text parameters and for keys only the reader knows.
    // Plain parameters ignore the index; indexed ones (mixer channels,
    // sequencer steps) take 0 .. count - 1.
    double (*get)(const OUTPUT&, int index) = nullptr;
    void (*set)(OUTPUT&, int index, double value) = nullptr;
    // Text parameters (file names).
    const char* (*text)(const OUTPUT&) = nullptr;
    // File names of a file the module writes itself (a sequencer's partition):
    // writes it under that path and keeps the name. False when it cannot.
    bool (*save)(OUTPUT&, const char* path) = nullptr;
    const own_file_ops* own_file = nullptr;
    // The key of a field after the ranked ones that keeps the value exactly,
    // for what the ranked field does not carry or carries inexactly (rounded,
    // read back as an integer): "KEY=VALUE", an indexed parameter's values
    // all in one field, "KEY=V0,V1,...". Null: not kept there.
    const char* kept_key = nullptr;
    // Kept in the file the module writes itself, not in the patch.
    bool in_own_file = false;

    double min = 0.0, max = 0.0, initial = 0.0;
    step_rule step = step_rule::none;
    float step_size = 0.0f;
    // The setter writes more than one word the audio thread reads: the
    // editing seam applies it on the audio thread.
    bool audio_thread = false;
    // The engine moves it as it plays (a sequencer's step): no edit, and
    // nothing a patch keeps.
    bool moving = false;
    std::uint16_t count = 1;
    std::int8_t rank = -1;             // place in the object record; -1: not written there
    double scale = 1.0;                // the file and the display show value * scale
    const char* shown = nullptr;       // display format ("%5.3f"; "%8s" with names)
    const char* file_format = nullptr; // format in the object record ("%f", "%3.2f", "%d", "%s")
    const char* control = nullptr;     // the panel control word bound to it ("FREQUENCE")
    table_view<const char*> names;     // enumeration names, the first for min

    constexpr param_desc range(double lo, double hi, double init) const {
        param_desc d = *this;
        d.min = lo, d.max = hi, d.initial = init;
        return d;
    }
    constexpr param_desc steps(step_rule r, float size = 0.0f) const {
        param_desc d = *this;
        d.step = r, d.step_size = size;
        return d;
    }
    constexpr param_desc display(const char* format, const char* control_word = nullptr) const {
        param_desc d = *this;
        d.shown = format, d.control = control_word;
        return d;
    }
    constexpr param_desc written(int place, const char* format) const {
        param_desc d = *this;
        d.rank = static_cast<std::int8_t>(place), d.file_format = format;
        return d;
    }
    constexpr param_desc on_audio_thread() const {
        param_desc d = *this;
        d.audio_thread = true;
        return d;
    }
    constexpr param_desc moves() const {
        param_desc d = *this;
        d.moving = true;
        return d;
    }
    constexpr param_desc named(table_view<const char*> n) const {
        param_desc d = *this;
        d.names = n;
        return d;
    }
    constexpr param_desc scaled(double s) const {
        param_desc d = *this;
        d.scale = s;
        return d;
    }
    constexpr param_desc saved_by(bool (*writer)(OUTPUT&, const char*)) const {
        param_desc d = *this;
        d.save = writer;
        return d;
    }
    constexpr param_desc read_by(void (*reader)(OUTPUT&, const field_text&)) const {
        param_desc d = *this;
        d.apply = reader;
        return d;
    }
    constexpr param_desc kept(const char* key_at_end) const {
        param_desc d = *this;
        d.kept_key = key_at_end;
        return d;
    }
    constexpr param_desc in_file() const {
        param_desc d = *this;
        d.in_own_file = true;
        return d;
    }
    constexpr param_desc writes_own_file(const own_file_ops& ops) const {
        param_desc d = *this;
        d.own_file = &ops;
        return d;
    }
};

// Whether the parameter is part of what the user sets and a patch keeps:
// it reads and writes as a number and the engine does not move it.
inline bool user_state(const param_desc& d) {
    return d.get && d.set && !d.moving;
}

// The kept field "KEY=VALUE;" (every index of an indexed parameter, comma
// separated), in the fewest digits that read back to the very same value.
void append_kept_field(std::string& out, const param_desc& d, const OUTPUT& m);
// Sets the parameter from the value of its kept field; indices the list does
// not reach keep their values.
void apply_kept_field(const param_desc& d, OUTPUT& m, std::string_view value);

// The value after one step; direction > 0 raises, < 0 lowers. Values the rule
// does not apply to come back unchanged (within its floors and range).
double step_value(const param_desc& d, double value, int direction);

// Whether a control can be set from a position along its range (a MIDI
// controller): a plain number with a finite range.
bool spans_range(const param_desc& d);

// The value at `position` (0 .. 1) along the whole range, on the grid the
// control's steps reach: frequency-like rules (bands, cut-offs, doubling)
// run logarithmically (an amplitude's 0 is at position 0 only), the others
// linearly; cut-offs land on their bands, fixed steps on their multiples,
// enumerations and toggles on whole values (a toggle is on from 0.5).
double value_at(const param_desc& d, double position);

// Where a value sits in the parameter's range, 0 .. 1, as a knob shows it:
// on the scale value_at uses; an open range around its initial value
// (which sits at the middle of the turn).
double knob_position(const param_desc& d, double value);

// The direction of a slider message: the pointer moved up (SLD_UP) raises
// every control, as on any hardware panel; moved down lowers.
int slider_direction(bool sld_down);

// printf of one number with a format of one conversion: "%d"-like formats get
// the value's integer part (saturated), the others the value as a double.
void append_number(std::string& out, const char* format, double value);

// The text a panel label shows: the name for an enumeration, else the value
// times the scale in the display format.
std::string shown_text(const param_desc& d, double value);

} // namespace tmod
