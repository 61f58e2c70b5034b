// The shared pieces of the registry rows that each module source defines
// beside its code: factories, output and slot accessors, the reader's
// conversions and the parameter description builders. Templates over the
// module class and its member, so that no row casts by hand.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "engine/module_types.hpp"
#include "util/alloc_tracker.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

namespace tmod {

// The rows, in the sources of their modules; module_list.cpp lists them.
extern const module_type affichage_type, basic_operation_type, constante_type, fake303_type,
    generator_type, keyboard_type, mixer_type, micro_type, phaser_type, sequencer_type,
    sampler_type, sfx_delay_type, sound_input_type, sound_output_type, variable_type, vca_type,
    formant_vcf_type, vcf303_type, vcf_type, multi_vco_type, vco_type;

namespace row {

// ---- factories and outputs ---------------------------------------------------

template <class T>
OUTPUT* create_as() {
    return TM_NEW(T);
}
template <class T>
void destroy_as(OUTPUT* m) {
    tracked_delete(static_cast<T*>(m));
}
inline const sample_value* own_value(OUTPUT& m) {
    return &m.value;
}
template <class T>
const flag_value* own_gate(OUTPUT& m) {
    return &static_cast<T&>(m).gate;
}
template <class T>
const flag_value* own_pulse(OUTPUT& m) {
    return &static_cast<T&>(m).pulse;
}

// What the objects pass does with an empty field.
inline constexpr empty_field NOT_READ = empty_field::not_read;
inline constexpr empty_field REJECT = empty_field::reject_record;
inline constexpr empty_field SKIP = empty_field::skip_field;
inline constexpr empty_field END = empty_field::end_record;

// ---- slots ---------------------------------------------------------------------
// In the order the writer writes them; the reader connects those marked read.

inline constexpr std::uint8_t RS = slot_read | slot_saved;
inline constexpr std::uint8_t R = slot_read;
inline constexpr std::uint8_t S = slot_saved;

inline constexpr source_rule key_then_sequencer[] = {{"KEY", module_kind::KEYBOARD},
                                                     {"SEQUENCER", module_kind::SEQUENCER}};
inline constexpr source_rule sequencer_then_key[] = {{"SEQUENCER", module_kind::SEQUENCER},
                                                     {"KEY", module_kind::KEYBOARD}};

template <class T, auto Member>
signal_slot* signal_of(OUTPUT& m) {
    return &(static_cast<T&>(m).*Member);
}
template <class T, auto Member>
gate_slot* flag_of(OUTPUT& m) {
    return &(static_cast<T&>(m).*Member);
}

template <class T, auto M>
constexpr slot_desc sig(const char* key, std::uint8_t flags, const char* plug) {
    return {key, slot_kind::signal, flags, plug, signal_of<T, M>, nullptr, {}};
}
template <class T, auto M, std::size_t N>
constexpr slot_desc gate(const char* key, std::uint8_t flags, const char* plug,
                         const source_rule (&rules)[N]) {
    return {key, slot_kind::gate, flags, plug, nullptr, flag_of<T, M>, rules};
}
template <class T, auto M, std::size_t N>
constexpr slot_desc sync(const char* key, std::uint8_t flags, const char* plug,
                         const source_rule (&rules)[N]) {
    return {key, slot_kind::sync, flags, plug, nullptr, flag_of<T, M>, rules};
}

template <class T>
inline constexpr slot_desc single_input_slot[] = {sig<T, &T::in>("IN", RS, "INPUT")};

// VCF and VCF303.
template <class T>
inline constexpr slot_desc filter_slots[] = {
    sig<T, &T::in>("IN", RS, "INPUT"),
    sig<T, &T::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<T, &T::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<T, &T::mod_q>("MOD_Q", RS, "INPUT_MOD_Q"),
    sig<T, &T::mod_gain>("MOD_GAIN", RS, "INPUT_MOD_GAIN"),
    sig<T, &T::alt_amp>("ALT_AMP", RS, "INPUT_ALT_AMP"),
    sig<T, &T::alt_freq>("ALT_FREQ", RS, "INPUT_ALT_FREQ"),
    sig<T, &T::alt_q>("ALT_Q", RS, "INPUT_ALT_Q"),
    sig<T, &T::alt_gain>("ALT_GAIN", RS, "INPUT_ALT_GAIN"),
    gate<T, &T::gate_in>("GATE", RS, "INPUT_GATE", key_then_sequencer),
    sync<T, &T::sync_in>("SYNC", RS, "INPUT_SYNC", sequencer_then_key),
};

// ---- parameters ------------------------------------------------------------------

// The value type (int or float) of a parameter member.
template <class T, auto Member>
using value_of = typename std::remove_reference_t<decltype(std::declval<T&>().*Member)>::value_type;

template <class V>
V number_as(double v) {
    if constexpr (std::is_same_v<V, int>)
        return saturating_int(v);
    else
        return static_cast<V>(v);
}
template <class V>
V parsed_as(std::string_view text) {
    if constexpr (std::is_same_v<V, int>)
        return parse_int(text);
    else
        return parse_float(text);
}

template <class Setter>
struct setter_arg;
template <class C, class A>
struct setter_arg<void (C::*)(A)> {
    using type = A;
};

// A plain store of one word.
template <class T, auto Member>
double get_member(const OUTPUT& m, int) {
    return (static_cast<const T&>(m).*Member).load();
}
template <class T, auto Member>
void set_member(OUTPUT& m, int, double v) {
    static_cast<T&>(m).*Member = number_as<value_of<T, Member>>(v);
}
template <class T, auto Setter>
void set_through(OUTPUT& m, int, double v) {
    (static_cast<T&>(m).*Setter)(number_as<typename setter_arg<decltype(Setter)>::type>(v));
}

// The reader's conversions: the member's own kind, or an integer into a float
// member ("0.5" loads as 0), or through the module's setter.
template <class T, auto Member>
void read_member(OUTPUT& m, const field_text& f) {
    static_cast<T&>(m).*Member = parsed_as<value_of<T, Member>>(f.value);
}
template <class T, auto Member>
void read_int_as_float(OUTPUT& m, const field_text& f) {
    static_cast<T&>(m).*Member = static_cast<float>(parse_int(f.value));
}
template <class T, auto Setter>
void read_through(OUTPUT& m, const field_text& f) {
    (static_cast<T&>(m).*Setter)(parsed_as<typename setter_arg<decltype(Setter)>::type>(f.value));
}

// A parameter with a file key, read as its own kind.
template <class T, auto Member>
constexpr param_desc number(const char* key) {
    param_desc d;
    d.key = key;
    d.apply = read_member<T, Member>;
    d.get = get_member<T, Member>;
    d.set = set_member<T, Member>;
    return d;
}
// A float parameter the reader takes as an integer.
template <class T, auto Member>
constexpr param_desc whole_number(const char* key) {
    return number<T, Member>(key).read_by(read_int_as_float<T, Member>);
}
// Set through the module's setter, which writes several words the tick reads.
template <class T, auto Member, auto Setter>
constexpr param_desc number_set_by(const char* key) {
    param_desc d = number<T, Member>(key).read_by(read_through<T, Setter>).on_audio_thread();
    d.set = set_through<T, Setter>;
    return d;
}
// A parameter files do not carry.
template <class T, auto Member>
constexpr param_desc panel_number() {
    param_desc d;
    d.get = get_member<T, Member>;
    d.set = set_member<T, Member>;
    return d;
}
template <class T, auto Member, auto Setter>
constexpr param_desc panel_number_set_by() {
    param_desc d = panel_number<T, Member>().on_audio_thread();
    d.set = set_through<T, Setter>;
    return d;
}
// A key only the reader knows (it sets several fields, or loads a file).
constexpr param_desc read_only(const char* key, void (*reader)(OUTPUT&, const field_text&)) {
    param_desc d;
    d.key = key;
    d.apply = reader;
    return d;
}
// A file name: read by loading, written as text.
constexpr param_desc file_name(const char* key, void (*reader)(OUTPUT&, const field_text&),
                               const char* (*text)(const OUTPUT&)) {
    param_desc d = read_only(key, reader);
    d.text = text;
    return d;
}

template <class T>
constexpr param_desc power_switch() {
    return panel_number<T, &T::power>()
        .range(0, 1, 1)
        .steps(step_rule::toggle)
        .display("%d", "POWER")
        .kept("POWER");
}
// BYPASS fields: 1 passes the input through.
template <class T>
constexpr param_desc bypass_switch(double initial) {
    return number<T, &T::bypass>("BYPASS")
        .range(0, 1, initial)
        .steps(step_rule::toggle)
        .display("%d", "BYPASS");
}

} // namespace row
} // namespace tmod
