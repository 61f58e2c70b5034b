#include "modules/vco.hpp"

#include <cmath>

#include "engine/module_tick.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {
constexpr double two_pi = 6.283185307179586;
// Noise levels are spread over integers 0..32767; K = 32767/3 + 1.
constexpr float noise_k = 10923.0f;
} // namespace

VCO::VCO(float amplitude, float frequency, int wave) : amount(amplitude), freq(frequency), type(wave) {
    copy_text(name, "Emptynamed_VCO");
    lorenz.set_frequency(220.0f);
    rossler.set_frequency(220.0f);
}

int VCO::compute() {
    float out = 0.0f;
    if (power) {
        if (sync_in.read_or(0)) ramp = 0.0f;

        float a = replaced(alt_amp, amount);
        float f = replaced(alt_freq, freq);
        float p = replaced(alt_phase, phase);
        float w = replaced(alt_pwm, pulse_width);
        if (in.connected()) f = (alt_freq.connected() ? alt_freq.read_or(0) : in.read_or(0) * freq) / 44.0f;
        a = modulated(mod_amp, a);
        f = modulated(mod_freq, f);
        p = modulated(mod_phase, p);
        w = modulated(mod_pwm, w);
        if (a > 1.0f) a = 1.0f;

        // The ramp restarts at exactly -1, which marks the first sample of a cycle.
        ramp = ramp + f / 44100.0f;
        if (ramp > 1.0f) ramp = -1.0f;
        const float r = ramp;
        const bool cycle_start = r == -1.0f;

        switch (type.load()) {
        case wave_sine:
            out = static_cast<float>(a * std::sin(two_pi * r + p));
            break;
        case wave_triangle:
            if (r >= -1.0f && r < 0.0f) out = -(2.0f * a * r);
            if (r >= 0.0f && r <= 1.0f) out = 2.0f * a * r;
            out = (out - a) * 2.0f;
            break;
        case wave_saw:
            out = r * a;
            break;
        case wave_square: {
            // Four tests applied in turn: with a negative amplitude the level
            // set by one test can be flipped by the next.
            const float h = a / 4.0f;
            out = static_cast<float>(std::sin((p + r) * two_pi));
            if (out > 0.5f) out = h;
            if (out >= 0.0f && out <= 0.5f) out = h;
            if (out >= -0.5f && out < 0.0f) out = -h;
            if (out < -0.5f) out = -h;
            break;
        }
        case wave_pulse:
            out = p + r > w ? -a : a;
            break;
        case wave_white_noise:
            if (a == 0.0f) break;
            if (cycle_start) white_noise_level = static_cast<float>(random.next() / (a * 32767.0 + 1.0));
            out = static_cast<float>((6.0f * noise_k * white_noise_level - 3.0f * (noise_k - 1.0f)) / 32767.0);
            break;
        case wave_rossler:
            if (cycle_start) rossler.set_frequency(f);
            out = a * rossler.next();
            break;
        case wave_lorenz:
            if (cycle_start) lorenz.set_frequency(f);
            out = a * lorenz.next();
            break;
        case wave_random_sign:
            if (a == 0.0f) break;
            if (cycle_start) {
                const int d = saturating_int(a * 32767.0 + 1.0);
                random_sign_level = d ? static_cast<float>(random.next() % d) : 0.0f;
            }
            if (random.next() & 1) random_sign_level = -random_sign_level;
            // 32676, not 32767: a full-scale level lands just above 1 and is clamped.
            out = static_cast<float>(random_sign_level / 32676.0);
            break;
        default:
            break;
        }
    }
    if (out >= 1.0f) out = 1.0f;
    if (out <= -1.0f) out = -1.0f;
    value = out;
    return 1;
}

void VCO::write_params(std::string& out) const {
    appendf(out, "%s;TYPE=%d;FREQ=%f;AMOUNT=%3.2f;PHASE=%d;\n", name, type.load(), freq.load(),
            amount.load(), saturating_int(phase));
}

template void tick_list<VCO>(const module_ptr*, std::size_t);

} // namespace tmod
