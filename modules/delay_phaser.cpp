#include "modules/delay_phaser.hpp"

#include <cmath>

#include "engine/module_tick.hpp"
#include "modules/rows.hpp"
#include "util/dsp/runaway.hpp"

namespace tmod {

SFX_DELAY::SFX_DELAY() : OUTPUT(name_storage) {}

void SFX_DELAY::set_delay(float samples) {
    apply_delay(samples);
    announce_change();
}

void SFX_DELAY::apply_delay(float samples) {
    const float d = std::fabs(samples);
    delay.store_quietly(d);
    // A delay of a whole ring or more wraps (so gives a shorter delay); the
    // modulo also keeps absurd values from files or inputs inside the ring.
    const long long offset = saturating_int(d) % ring_size;
    write_index = static_cast<int>((read_index + offset) % ring_size);
}

int SFX_DELAY::compute() {
    const sample_value* source = in.source();
    if (!source) {
        value = 0.0f;
        return 1;
    }
    const float stored = delay;
    const float d = modulated(delay_mod, replaced(delay_alt, stored));
    apply_delay(d);
    const float x = source->load();
    // A non-finite input would sit in the ring for up to ten seconds.
    ring[write_index] = std::isfinite(x) ? x : 0.0f;
    value = delay.load() == 0.0f ? x : ring[read_index];
    if (++write_index >= ring_size) write_index = 0;
    if (++read_index >= ring_size) read_index = 0;
    delay.store_quietly(stored); // modulation never accumulates
    return 1;
}

namespace {
constexpr float lfo_two_pi = 6.28318f;
}

PHASER::PHASER() : OUTPUT(name_storage), lfo_increment(0.5f / 44100.0f * lfo_two_pi) {}

void PHASER::set_range(float low_hz, float high_hz) {
    set_low(low_hz);
    set_hi(high_hz);
}

void PHASER::set_rate(float hz) {
    rate = hz;
    lfo_increment = hz / 44100.0f * lfo_two_pi;
}

int PHASER::compute() {
    const sample_value* source = in.source();
    if (!source) {
        value = 0.0f;
        return 1;
    }
    const float input = source->load();
    if (bypass) {
        value = input;
        return 1;
    }
    const float lo = lower, hi = upper;
    // The corner as a fraction of 22050 Hz: the stages are stable for any
    // corner above 0, even past 22050 Hz, but run away below 0 (a negative
    // LOW or HI from a file) and turn NaN at infinity.
    const float d = held_in(lo + (hi - lo) * (std::sin(lfo_phase) + 1.0f) / 2.0f, 0.0f, 1e6f);
    lfo_phase = lfo_phase + lfo_increment.load();
    if (lfo_phase >= lfo_two_pi) lfo_phase = lfo_phase - lfo_two_pi;
    if (!(lfo_phase < lfo_two_pi))
        lfo_phase = std::isfinite(lfo_phase) ? std::fmod(lfo_phase, lfo_two_pi) : 0.0f;

    const float a = (1.0f - d) / (1.0f + d);
    float x = input + feedback_memory * feedback.load();
    for (stage& s : stages) {
        s.coef = a;
        const float y = -a * x + s.memory;
        s.memory = y * a + x;
        x = y;
    }
    if (runaway(x)) {
        for (stage& s : stages) s.memory = 0.0f;
        x = 0.0f;
    }
    feedback_memory = x;
    value = x * depth.load() + input;
    return 1;
}

template void tick_list<SFX_DELAY>(const module_ptr*, std::size_t);
template void tick_list<PHASER>(const module_ptr*, std::size_t);

namespace {
using namespace row;

// The record "DELAY;VOLUME" with three decimals, kept exactly at the end.
// Setting the delay moves the write index too.
constexpr param_desc sfx_delay_params[] = {
    number_set_by<SFX_DELAY, &SFX_DELAY::delay, &SFX_DELAY::set_delay>("DELAY")
        .range(0.0, SFX_DELAY::ring_size - 1, 0.5)
        .steps(step_rule::fixed, 0.05f)
        .display("%4.4f", "DELAY")
        .written(0, "%3.3f")
        .kept("TIME"),
    number<SFX_DELAY, &SFX_DELAY::volume>("VOLUME")
        .range(0.0, 1.0, 0.6)
        .written(1, "%3.3f")
        .kept("LEVEL"),
};

// The delay's modulation and replacement inputs are made in the editor only.
constexpr slot_desc sfx_delay_slots[] = {
    sig<SFX_DELAY, &SFX_DELAY::in>("IN", RS, "INPUT"),
    sig<SFX_DELAY, &SFX_DELAY::delay_mod>("MOD_FREQ", 0, "INPUT_MOD_FREQ"),
    sig<SFX_DELAY, &SFX_DELAY::delay_alt>("ALT_FREQ", 0, "INPUT_ALT_FREQ"),
};

// The corner frequencies are kept as fractions of 22050 Hz and shown and
// saved in Hz; the files give Hz to set_hi and set_low.
template <auto Member, auto Setter>
constexpr param_desc corner(const char* key, double initial, const char* control, int place,
                            const char* kept_key) {
    return number<PHASER, Member>(key)
        .read_by(read_through<PHASER, Setter>)
        .range(0.0, 1.0, initial)
        .steps(step_rule::fixed, 0.001f)
        .scaled(22050.0)
        .display("%2.1f", control)
        .written(place, "%f")
        .kept(kept_key);
}

template <auto Member>
constexpr param_desc unit_amount(const char* key, double initial, int place, const char* kept_key) {
    return number<PHASER, Member>(key)
        .range(0.0, 1.0, initial)
        .steps(step_rule::fixed, 0.01f)
        .display("%2.1f", key)
        .written(place, "%f")
        .kept(kept_key);
}

// The record "RATE;DEPTH;FEEDBACK;HI;LOW;BYPASS" with six decimals (the
// corners in Hz), every number kept exactly at the end. Setting the rate
// also sets the LFO's increment.
constexpr param_desc phaser_params[] = {
    bypass_switch<PHASER>(1).written(5, "%d"),
    corner<&PHASER::upper, &PHASER::set_hi>("HI", 1600.0 / 22050.0, "RANGE_HI", 3, "TOP"),
    corner<&PHASER::lower, &PHASER::set_low>("LOW", 440.0 / 22050.0, "RANGE_LOW", 4, "BOTTOM"),
    number_set_by<PHASER, &PHASER::rate, &PHASER::set_rate>("RATE")
        .range(0.0, unbounded, 0.5)
        .steps(step_rule::fixed, 0.1f)
        .display("%2.2f", "RATE")
        .written(0, "%f")
        .kept("SPEED"),
    unit_amount<&PHASER::depth>("DEPTH", 1.0, 1, "WET"),
    unit_amount<&PHASER::feedback>("FEEDBACK", 0.7, 2, "REGEN"),
};

constexpr param_desc phaser_panel_params[] = {power_switch<PHASER>()};
} // namespace

const module_type phaser_type = {module_kind::PHASER,
                                 "PHASER",
                                 "PHASER",
                                 "PHASER",
                                 "PHASER",
                                 "PHASER",
                                 SKIP,
                                 true,
                                 single_input_slot<PHASER>,
                                 phaser_params,
                                 phaser_panel_params,
                                 create_as<PHASER>,
                                 destroy_as<PHASER>,
                                 tick_list<PHASER>,
                                 nullptr,
                                 own_value,
                                 nullptr,
                                 nullptr};

const module_type sfx_delay_type = {module_kind::SFX_DELAY,
                                    "SFX_DELAY",
                                    "SFX_DELAY",
                                    "SFX_DELAY",
                                    "SFX_DELAY",
                                    "SFX_DELAY",
                                    SKIP,
                                    true,
                                    sfx_delay_slots,
                                    sfx_delay_params,
                                    {},
                                    create_as<SFX_DELAY>,
                                    destroy_as<SFX_DELAY>,
                                    tick_list<SFX_DELAY>,
                                    nullptr,
                                    own_value,
                                    nullptr,
                                    nullptr};

} // namespace tmod
