// The slots and parameters VCO, MULTI_VCO and FAKE303 share in their rows.
#pragma once

#include <cstdio>

#include "engine/note_table.hpp"
#include "modules/rows.hpp"
#include "modules/vco_waves.hpp"
#include "util/messages.hpp"

namespace tmod::row {

// NOTE n sets the frequency from the note table.
template <class T>
void read_note(OUTPUT& m, const field_text& f) {
    const int n = parse_int(f.value);
    if (!note_in_table(n)) {
        say("[%s]: note %d is outside the note table, ignored\n", m.name, n);
        return;
    }
    static_cast<T&>(m).freq = static_cast<float>(note_frequency(n));
}

// Waveform digits of VCO and MULTI_VCO: "7" and "8" swap the two attractors.
template <class T>
void read_vco_wave(OUTPUT& m, const field_text& f) {
    const char c = f.value.empty() ? '\0' : f.value[0];
    int wave = 1;
    if ((c >= '1' && c <= '6') || c == '9') wave = c - '0';
    if (c == '7') wave = wave_lorenz;
    if (c == '8') wave = wave_rossler;
    static_cast<T&>(m).type = wave;
}

// The palette builds oscillators at amplitude 1, 110 Hz, sine.
template <class T>
OUTPUT* create_oscillator() {
    return TM_NEW(T, 1.0f, 110.0f, static_cast<int>(wave_sine));
}

template <class T>
constexpr param_desc frequency() {
    return number<T, &T::freq>("FREQ")
        .range(0.001, 22050.0, 110.0)
        .steps(step_rule::bands)
        .display("%5.3f", "FREQUENCE");
}
template <class T>
constexpr param_desc amplitude() {
    return number<T, &T::amount>("AMOUNT")
        .range(0.0, 22050.0, 1.0)
        .steps(step_rule::amplitude_bands)
        .display("%5.3f", "VOLUME");
}
template <class T>
constexpr param_desc phase_offset() {
    return number<T, &T::phase>("PHASE")
        .range(-359.0, 359.0, 0.0)
        .steps(step_rule::phase)
        .display("%d", "PHASE");
}

// The record "TYPE;FREQ;AMOUNT;PHASE", the phase without decimals. The
// waveform digits swap 7 and 8, the frequency has six decimals and the
// amplitude two: the fields at the end keep them exactly.
template <class T, void (*WaveReader)(OUTPUT&, const field_text&), int LastWave>
inline constexpr param_desc oscillator_params[] = {
    number<T, &T::type>("TYPE")
        .read_by(WaveReader)
        .range(1, LastWave, 1)
        .steps(step_rule::cycle)
        .display("%d", "AFFICHAGE_TYPE_ONDE")
        .written(0, "%d")
        .kept("WAVE"),
    frequency<T>().written(1, "%f").kept("PITCH"),
    amplitude<T>().written(2, "%3.2f").kept("LEVEL"),
    read_only("NOTE", read_note<T>),
    phase_offset<T>().written(3, "%d"),
};

// GATE and SYNC are only saved; the signal inputs are read from files too
// (FAKE303: saved only).
template <class T, std::uint8_t In = RS>
inline constexpr slot_desc oscillator_slots[] = {
    sig<T, &T::in>("IN", In, "INPUT"),
    sig<T, &T::mod_amp>("MOD_AMP", In, "INPUT_MOD_AMP"),
    sig<T, &T::mod_freq>("MOD_FREQ", In, "INPUT_MOD_FREQ"),
    sig<T, &T::mod_phase>("MOD_PHASE", In, "INPUT_MOD_PHASE"),
    sig<T, &T::mod_pwm>("MOD_PWM", In, "INPUT_MOD_PWM"),
    sig<T, &T::alt_amp>("ALT_AMP", In, "INPUT_AMP"),
    sig<T, &T::alt_freq>("ALT_FREQ", In, "INPUT_FREQ"),
    sig<T, &T::alt_phase>("ALT_PHASE", In, "INPUT_PHASE"),
    sig<T, &T::alt_pwm>("ALT_PWM", In, "INPUT_PWM"),
    gate<T, &T::gate_in>("GATE", S, "INPUT_GATE", key_then_sequencer),
    sync<T, &T::sync_in>("SYNC", S, "INPUT_SYNC", sequencer_then_key),
};

} // namespace tmod::row
