#include "modules/delay_phaser.hpp"

#include <cmath>

#include "engine/module_tick.hpp"
#include "util/dsp/runaway.hpp"
#include "util/text_format.hpp"

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

void SFX_DELAY::write_params(std::string& out) const {
    appendf(out, "%s;DELAY=%3.3f;VOLUME=%3.3f;\n", name, delay.load(), volume.load());
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
    const float d = lo + (hi - lo) * (std::sin(lfo_phase) + 1.0f) / 2.0f;
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

void PHASER::write_params(std::string& out) const {
    appendf(out, "%s;RATE=%f;DEPTH=%f;FEEDBACK=%f;HI=%f;LOW=%f;BYPASS=%d;\n", name, rate.load(),
            depth.load(), feedback.load(), upper.load() * 22050.0, lower.load() * 22050.0,
            bypass.load());
}

template void tick_list<SFX_DELAY>(const module_ptr*, std::size_t);
template void tick_list<PHASER>(const module_ptr*, std::size_t);

} // namespace tmod
