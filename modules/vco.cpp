#include "modules/vco.hpp"

#include <cmath>
#include <cstdint>

#include "engine/module_tick.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {
constexpr double two_pi = 6.283185307179586;
// Noise levels are spread over integers 0..32767; K = 32767/3 + 1.
constexpr float noise_k = 10923.0f;
} // namespace

VCO::VCO(float amplitude, float frequency, int wave)
    : OUTPUT(name_storage), amount(amplitude), freq(frequency), type(wave) {
    set_name("Emptynamed_VCO");
    lorenz.set_frequency(220.0f);
    rossler.set_frequency(220.0f);
}

namespace {
// The sine and square shapes for ramp r: pure functions of (r, a, p).
float periodic_shape(int type, float r, float a, float p) {
    if (type == wave_sine) return static_cast<float>(a * std::sin(two_pi * r + p));
    // Four tests applied in turn: with a negative amplitude the level set by
    // one test can be flipped by the next.
    const float h = a / 4.0f;
    float out = static_cast<float>(std::sin((p + r) * two_pi));
    if (out > 0.5f) out = h;
    if (out >= 0.0f && out <= 0.5f) out = h;
    if (out >= -0.5f && out < 0.0f) out = -h;
    if (out < -0.5f) out = -h;
    return out;
}
} // namespace

int VCO::compute() {
    float out = 0.0f;
    if (power) {
        if (sync_in.read_or(0)) ramp = 0.0f;

        float a = amount, f = freq, p = phase, w = pulse_width;
        const auto bits = [](const signal_slot& s) { return reinterpret_cast<std::uintptr_t>(s.source()); };
        if (bits(in) | bits(mod_amp) | bits(mod_freq) | bits(mod_phase) | bits(mod_pwm) | bits(alt_amp) |
            bits(alt_freq) | bits(alt_phase) | bits(alt_pwm)) {
            a = replaced(alt_amp, a);
            f = replaced(alt_freq, f);
            p = replaced(alt_phase, p);
            w = replaced(alt_pwm, w);
            if (in.connected())
                f = (alt_freq.connected() ? alt_freq.read_or(0) : in.read_or(0) * freq) / 44.0f;
            a = modulated(mod_amp, a);
            f = modulated(mod_freq, f);
            p = modulated(mod_phase, p);
            w = modulated(mod_pwm, w);
        }
        if (a > 1.0f) a = 1.0f;

        if (f != memo.step_freq) {
            memo.step_freq = f;
            memo.step = f / 44100.0f;
        }
        const float step = memo.step;
        const int t = type;
        const bool memo_shape = t == wave_sine || t == wave_square;
        if (memo_shape && (step != memo.key_step || p != memo.key_phase || a != memo.key_amp || t != memo.key_type)) {
            memo.key_step = step, memo.key_phase = p, memo.key_amp = a, memo.key_type = t;
            memo.filled = 0;
            memo.pos = -1;
        }

        // The ramp restarts at exactly -1, which marks the first sample of a cycle.
        ramp = ramp + step;
        const bool cycle_start = ramp > 1.0f;
        if (cycle_start) ramp = -1.0f;
        const float r = ramp;

        switch (t) {
        case wave_sine:
        case wave_square: {
            if (cycle_start)
                memo.pos = 0;
            else if (memo.pos >= 0 && memo.pos < wave_memo::capacity)
                ++memo.pos;
            const int i = memo.pos;
            if (i >= 0 && i < memo.filled && memo.table[i].ramp == r) {
                out = memo.table[i].out;
            } else {
                out = periodic_shape(t, r, a, p);
                if (i >= 0 && i == memo.filled && i < wave_memo::capacity) {
                    memo.table[i] = {r, out};
                    ++memo.filled;
                }
            }
            break;
        }
        case wave_triangle:
            if (r >= -1.0f && r < 0.0f) out = -(2.0f * a * r);
            if (r >= 0.0f && r <= 1.0f) out = 2.0f * a * r;
            out = (out - a) * 2.0f;
            break;
        case wave_saw:
            out = r * a;
            break;
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
