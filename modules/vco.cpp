#include "modules/vco.hpp"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/engine_state.hpp"
#include "engine/lanes.hpp"
#include "engine/module_tick.hpp"
#include "modules/oscillator_rows.hpp"

namespace tmod {

namespace {
constexpr double two_pi = 6.283185307179586;
// Noise levels are spread over integers 0..32767; K = 32767/3 + 1.
constexpr float noise_k = 10923.0f;
} // namespace

VCO::VCO(float amplitude, float frequency, int wave)
    : OUTPUT(name_storage), seen_changes(changes_seen() - 1), amount(amplitude), freq(frequency),
      type(wave) {
    set_name("Emptynamed_VCO");
    lorenz.set_frequency(220.0f);
    rossler.set_frequency(220.0f);
}

namespace {
// The shapes that are pure functions of (r, a, p, w): their outputs over one
// cycle can be recorded.
bool recordable(int type) {
    return type >= wave_sine && type <= wave_pulse;
}

float ramp_shape(int type, float r, float a, float p, float w) {
    float out = 0.0f;
    switch (type) {
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
        // Four tests applied in turn: with a negative amplitude the level set
        // by one test can be flipped by the next.
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
    }
    return clamp_unit(out);
}
} // namespace

// The working values of a free-running oscillator only change with a change
// made from outside, so they are worked out then and not on every sample.
void VCO::derive(std::uint32_t now) {
    seen_changes = now;
    if (follow_record) ramp = memo_ramp[memo_pos];
    follow_record = false;
    const auto bits = [](const auto& s) { return reinterpret_cast<std::uintptr_t>(s.source()); };
    free_running = power && !(bits(in) | bits(mod_amp) | bits(mod_freq) | bits(mod_phase) |
                              bits(mod_pwm) | bits(alt_amp) | bits(alt_freq) | bits(alt_phase) |
                              bits(alt_pwm) | bits(sync_in));
    if (!free_running) return;
    const float a = amount;
    work_amp = a > 1.0f ? 1.0f : a;
    work_freq = freq;
    work_phase = phase;
    work_width = pulse_width;
    work_type = type;
    free_memo = recordable(work_type);
    update_step(work_freq);
    check_memo_key(work_amp, work_phase, work_width, work_type);
    follow_record = free_memo && memo_pos < memo_cycle;
}

void VCO::update_step(float f) {
    if (f != step_freq) {
        step_freq = f;
        step = f / float(sample_rate);
    }
}

// The recorded cycle belongs to one step, phase, amplitude and shape.
void VCO::check_memo_key(float a, float p, float w, int t) {
    if (recordable(t) && (step != memo.key_step || p != memo.key_phase || a != memo.key_amp ||
                          w != memo.key_width || t != memo.key_type)) {
        memo.key_step = step, memo.key_phase = p, memo.key_amp = a, memo.key_width = w;
        memo.key_type = t;
        memo_filled = 0;
        ++memo_version;
        memo_cycle = 0;
        memo_pos = wave_memo::capacity;
        follow_record = false;
    }
}

// Advances the ramp one step and, for the recorded shapes, looks the sample
// up in the recorded cycle. Returns false when it must be computed.
inline bool VCO::recorded_sample(bool memo_shape, float& out) {
    // The ramp restarts at exactly -1 (at exactly 1 when a negative frequency
    // runs it backwards), which marks the first sample of a cycle.
    ramp = ramp + step;
    bool cycle_start = ramp > 1.0f;
    if (cycle_start) {
        ramp = -1.0f;
    } else if (!(ramp >= -1.0f)) {
        cycle_start = ramp < -1.0f;
        if (cycle_start) {
            ramp = 1.0f;
        } else {
            // A NaN step (a NaN frequency): start again from 0 off the recorded
            // cycle, so the oscillator sounds again once the frequency is a number.
            ramp = 0.0f;
            memo_pos = wave_memo::capacity;
        }
    }
    if (!memo_shape) {
        memo_pos = wave_memo::capacity; // the ramp moves on without the cycle
        return false;
    }
    unsigned i = memo_pos;
    // A restart right after the last recorded entry: the cycle is recorded whole.
    if (cycle_start && i + 1 == memo_filled) {
        memo_cycle = memo_filled;
        follow_record = free_running; // voices and connected oscillators check every entry
    }
    i = cycle_start ? 0 : (i < wave_memo::capacity ? i + 1 : i);
    memo_pos = i;
    if (i < memo_filled && memo_ramp[i] == ramp) {
        out = memo_out[i];
        return true;
    }
    return false;
}

int VCO::tick(std::uint32_t now) {
    if (now != seen_changes) derive(now);
    if (follow_record) {
        // A free-running oscillator whose whole cycle is recorded: the
        // ramp and the output follow the record.
        unsigned i = memo_pos + 1;
        if (i == memo_cycle) i = 0;
        memo_pos = i;
        value = memo_out[i];
        return 1;
    }
    if (!free_running) return compute_connected();
    float out;
    if (!recorded_sample(free_memo, out))
        out = shape(work_amp, work_freq, work_phase, work_width, work_type, at_cycle_start());
    value = out;
    return 1;
}

// Inputs connected or power off: the working values are read every sample.
int VCO::compute_connected() {
    if (!power) {
        value = 0.0f; // the ramp and the states stay frozen
        return 1;
    }
    if (sync_in.read_or(0)) restart_ramp();
    float a = replaced(alt_amp, amount);
    float f = replaced(alt_freq, freq);
    float p = replaced(alt_phase, phase);
    float w = replaced(alt_pwm, pulse_width);
    if (in.connected())
        f = (alt_freq.connected() ? alt_freq.read_or(0) : in.read_or(0) * freq) / 44.0f;
    a = modulated(mod_amp, a);
    f = modulated(mod_freq, f);
    p = modulated(mod_phase, p);
    w = modulated(mod_pwm, w);
    if (a > 1.0f) a = 1.0f;
    const int t = type;
    update_step(f);
    check_memo_key(a, p, w, t);
    float out;
    if (!recorded_sample(recordable(t), out)) out = shape(a, f, p, w, t, at_cycle_start());
    value = out;
    return 1;
}

void VCO::compute_voice(int wave, float f, float a) {
    if (!power) {
        value = 0.0f;
        return;
    }
    if (a > 1.0f) a = 1.0f;
    const float p = phase;
    update_step(f);
    const float w = pulse_width;
    check_memo_key(a, p, w, wave);
    float out;
    if (!recorded_sample(recordable(wave), out)) out = shape(a, f, p, w, wave, at_cycle_start());
    value = out;
}

float VCO::shape(float a, float f, float p, float w, int t, bool cycle_start) {
    const float r = ramp;
    if (recordable(t)) {
        const float out = ramp_shape(t, r, a, p, w);
        const unsigned i = memo_pos;
        if (i == memo_filled && i < wave_memo::capacity) {
            memo_out[i] = out;
            memo_ramp[i] = r;
            ++memo_filled;
        }
        return out;
    }
    float out = 0.0f;
    switch (t) {
    case wave_white_noise:
        if (a == 0.0f) break;
        if (cycle_start)
            white_noise_level = static_cast<float>(random.next() / (a * 32767.0 + 1.0));
        out = static_cast<float>((6.0f * noise_k * white_noise_level - 3.0f * (noise_k - 1.0f)) /
                                 32767.0);
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
    return clamp_unit(out);
}

template void tick_list<VCO>(const module_ptr*, std::size_t);

namespace {
// Oscillators that follow their whole recorded cycle, eight at a time: the
// positions step together, each lane looks its output up in its own record.
// The recorded cycle is copied beside the blocks: the records of many
// oscillators then sit in a few pages rather than one object each.
struct vco_lanes : lane_traits<VCO, module_kind::VCO, 8, sizeof(float) * wave_memo::capacity> {
    struct alignas(64) block {
        std::uint32_t pos[width], cycle[width];
        const float* record[width];
        sample_value* dst[width];
        // Not read by the tick.
        VCO* module[width];
        std::uint32_t version[width]; // of the record copied
    };

    static bool eligible(const VCO& m) { return m.follow_record; }
    static void load(block& b, std::size_t l, VCO& m, lane_store& s) {
        float* record = s.take_spare<float>(m.memo_cycle);
        // A plan made again after a change elsewhere finds the same module
        // with the same record at the same place: the copy is still good.
        const bool kept = b.module[l] == &m && b.record[l] == record &&
                          b.version[l] == m.memo_version && b.cycle[l] == m.memo_cycle;
        if (!record)
            record = m.memo_out;
        else if (!kept)
            std::copy(m.memo_out, m.memo_out + m.memo_cycle, record);
        b.pos[l] = m.memo_pos, b.cycle[l] = m.memo_cycle, b.version[l] = m.memo_version;
        b.record[l] = record, b.dst[l] = &m.value, b.module[l] = &m;
    }
    static void store(const block& b, std::size_t l, VCO& m) { m.memo_pos = b.pos[l]; }

    [[gnu::target("avx2")]] static void run(block* blocks, std::size_t count) {
        const __m256i one = _mm256_set1_epi32(1);
        for (std::size_t i = 0; i < count; ++i) {
            block& b = blocks[i];
            auto* pos = reinterpret_cast<__m256i*>(b.pos);
            __m256i p = _mm256_add_epi32(_mm256_load_si256(pos), one);
            const __m256i cycle = _mm256_load_si256(reinterpret_cast<const __m256i*>(b.cycle));
            p = _mm256_andnot_si256(_mm256_cmpeq_epi32(p, cycle), p);
            _mm256_store_si256(pos, p);
            // The positions are read from the register: read back from the
            // store just made, they would wait for it.
            const __m128i lo = _mm256_castsi256_si128(p), hi = _mm256_extracti128_si256(p, 1);
            b.dst[0]->store(b.record[0][_mm_cvtsi128_si32(lo)]);
            b.dst[1]->store(b.record[1][_mm_extract_epi32(lo, 1)]);
            b.dst[2]->store(b.record[2][_mm_extract_epi32(lo, 2)]);
            b.dst[3]->store(b.record[3][_mm_extract_epi32(lo, 3)]);
            b.dst[4]->store(b.record[4][_mm_cvtsi128_si32(hi)]);
            b.dst[5]->store(b.record[5][_mm_extract_epi32(hi, 1)]);
            b.dst[6]->store(b.record[6][_mm_extract_epi32(hi, 2)]);
            b.dst[7]->store(b.record[7][_mm_extract_epi32(hi, 3)]);
        }
    }
};

constexpr lane_kernel vco_lane_kernel = lane_kernel_of<vco_lanes>();
} // namespace

namespace {
using namespace row;

constexpr param_desc vco_panel_params[] = {
    panel_number<VCO, &VCO::pulse_width>()
        .range(0.001, 22050.0, 0.1)
        .steps(step_rule::bands)
        .display("%5.3f", "PWM")
        .kept("PWM"),
    power_switch<VCO>(),
};
} // namespace

const module_type vco_type = {module_kind::VCO,
                              "VCO",
                              "VCO",
                              "VCO",
                              "VCO",
                              "VCO",
                              REJECT,
                              true,
                              oscillator_slots<VCO>,
                              oscillator_params<VCO, read_vco_wave<VCO>, wave_random_sign>,
                              vco_panel_params,
                              create_oscillator<VCO>,
                              destroy_as<VCO>,
                              tick_list<VCO>,
                              nullptr,
                              own_value,
                              nullptr,
                              nullptr,
                              &vco_lane_kernel};

} // namespace tmod
