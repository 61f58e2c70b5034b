#include "modules/vcf.hpp"

#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "engine/engine_state.hpp"
#include "engine/lanes.hpp"
#include "engine/module_tick.hpp"
#include "modules/rows.hpp"
#include "util/dsp/runaway.hpp"

namespace tmod {

namespace {
constexpr double two_pi = 6.283185307179586;

} // namespace

void biquad::compute_coefficients(double freq, double q, double gain, int type) {
    freq = held_in(freq, min_cutoff, max_cutoff);
    q = held_in(q, min_q, max_q);
    gain = held_in(gain, -max_gain, max_gain);
    const bool shelf_or_peak = type >= vcf_low_shelf;
    const double a = std::pow(10.0, gain / (shelf_or_peak ? 40.0 : 20.0));
    if (type == vcf_none) return;
    const double w = freq * two_pi / double(sample_rate);
    const double sn = std::sin(w), cs = std::cos(w);
    const double alpha = sn / (2.0 * q);
    double a0 = 1, na1 = 0, na2 = 0, nb0 = 0, nb1 = 0, nb2 = 0;
    switch (type) {
    case vcf_low_pass:
        a0 = 1 + alpha, na1 = -2 * cs, na2 = 1 - alpha;
        nb0 = a * (1 - cs) / 2, nb1 = a * (1 - cs), nb2 = nb0;
        break;
    case vcf_high_pass:
        a0 = 1 + alpha, na1 = -2 * cs, na2 = 1 - alpha;
        nb0 = a * (1 + cs) / 2, nb1 = -a * (1 + cs), nb2 = nb0;
        break;
    case vcf_band_pass:
        a0 = 1 + alpha, na1 = -2 * cs, na2 = 1 - alpha;
        nb0 = a * alpha, nb1 = 0, nb2 = -a * alpha;
        break;
    case vcf_notch:
        a0 = 1 + alpha, na1 = -2 * cs, na2 = 1 - alpha;
        nb0 = a, nb1 = -2 * a * cs, nb2 = nb0;
        break;
    case vcf_low_shelf: {
        const double beta = sn * std::sqrt((a * a + 1) / 1.0 - (a - 1) * (a - 1));
        a0 = (a + 1) + (a - 1) * cs + beta;
        na1 = -2 * ((a - 1) + (a + 1) * cs);
        na2 = (a + 1) + (a - 1) * cs - beta;
        nb0 = a * ((a + 1) - (a - 1) * cs + beta);
        nb1 = 2 * a * ((a - 1) - (a + 1) * cs);
        nb2 = a * ((a + 1) - (a - 1) * cs - beta);
        break;
    }
    case vcf_high_shelf: {
        const double beta = sn * std::sqrt((a * a + 1) / 1.0 - (a - 1) * (a - 1));
        a0 = (a + 1) - (a - 1) * cs + beta;
        na1 = 2 * ((a - 1) - (a + 1) * cs);
        na2 = (a + 1) - (a - 1) * cs - beta;
        nb0 = a * ((a + 1) + (a - 1) * cs + beta);
        nb1 = -2 * a * ((a - 1) + (a + 1) * cs);
        nb2 = a * ((a + 1) + (a - 1) * cs - beta);
        break;
    }
    case vcf_peaking:
        a0 = 1 + alpha / a, na1 = -2 * cs, na2 = 1 - alpha / a;
        nb0 = 1 + alpha * a, nb1 = na1, nb2 = 1 - alpha * a;
        break;
    }
    inv_a0 = 1.0 / a0;
    a1 = na1 * inv_a0, a2 = na2 * inv_a0;
    b0 = nb0 * inv_a0, b1 = nb1 * inv_a0, b2 = nb2 * inv_a0;
}

double biquad::step(int type, double x) {
    double y = type == vcf_none ? x : b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    if (runaway(y)) {
        // A NaN or a huge value on the input starts again from rest.
        x1 = x2 = y1 = y2 = 0.0;
        return 0.0;
    }
    y2 = y1, y1 = y, x2 = x1, x1 = x;
    return y;
}

VCF::VCF() : OUTPUT(name_storage), seen_changes(changes_seen() - 1) {}

// The TYPE wrap, stored back into the module.
static int wrapped_type(param<int>& type) {
    int t = type;
    if (t > 7) type.store_quietly(t = 0);
    if (t < 0) type.store_quietly(t = 7);
    return t;
}

void VCF::derive(std::uint32_t now) {
    seen_changes = now;
    const auto bits = [](const signal_slot& s) {
        return reinterpret_cast<std::uintptr_t>(s.source());
    };
    work_source = in.source();
    steady = power && work_source && !bypass &&
             !(bits(mod_gain) | bits(mod_q) | bits(mod_freq) | bits(mod_amp) | bits(alt_gain) |
               bits(alt_q) | bits(alt_freq) | bits(alt_amp));
    if (!steady) return;
    work_mix = mix;
    work_level = level;
    work_type = wrapped_type(type);
    float qv = q;
    if (qv <= 0.001f) qv = 0.01f;
    section.prepare(static_cast<float>(hicut.load()), qv, gain.load(), work_type);
}

int VCF::tick(std::uint32_t now) {
    if (now != seen_changes) derive(now);
    if (!steady) return compute_modulated();
    const float x = work_source->load();
    if (x == 0.0f) {
        value = 0.0f; // the filter is not run: its state stays as it is
        return 1;
    }
    double y = section.step(work_type, x);
    y = y * work_level + y;
    const float m = work_mix;
    value = clamp_unit(static_cast<float>((1.0f - m) * x + m * y));
    return 1;
}

// Off, bypassed, unconnected or with inputs that change the working values:
// everything is read every sample.
int VCF::compute_modulated() {
    if (!power) {
        value = clamp_unit(value);
        return 1;
    }
    const sample_value* source = in.source();
    if (!source) {
        value = 0.0f;
        return 1;
    }
    const float x = source->load();
    if (bypass) {
        value = clamp_unit(x);
        return 1;
    }
    float m = modulated(mod_amp, replaced(alt_amp, mix));
    float f = modulated(mod_freq, replaced(alt_freq, static_cast<float>(hicut.load())));
    float qv = modulated(mod_q, replaced(alt_q, q));
    float g = modulated(mod_gain, replaced(alt_gain, gain));
    const int t = wrapped_type(type);
    if (x == 0.0f) {
        value = 0.0f;
        return 1;
    }
    if (qv <= 0.001f) qv = 0.01f;
    double y = section.filter(f, qv, g, t, x);
    y = y * level.load() + y;
    value = clamp_unit(static_cast<float>((1.0f - m) * x + m * y));
    return 1;
}

template void tick_list<VCF>(const module_ptr*, std::size_t);

namespace {
// Steady filters four at a time: the biquad in doubles, as the scalar tick.
struct vcf_lanes : lane_traits<VCF, module_kind::VCF, 4> {
    struct block {
        alignas(32) double x1[width], x2[width], y1[width], y2[width];
        double b0[width], b1[width], b2[width], a1[width], a2[width];
        double level[width];
        float mix[width];
        const sample_value* src[width];
        sample_value* dst[width];
        VCF* module[width];
    };

    static bool eligible(const VCF& m) { return m.steady && m.work_type != vcf_none; }
    static void load(block& b, std::size_t l, VCF& m, lane_store&) {
        const biquad& q = m.section;
        b.x1[l] = q.x1, b.x2[l] = q.x2, b.y1[l] = q.y1, b.y2[l] = q.y2;
        b.b0[l] = q.b0, b.b1[l] = q.b1, b.b2[l] = q.b2, b.a1[l] = q.a1, b.a2[l] = q.a2;
        b.level[l] = m.work_level;
        b.mix[l] = m.work_mix;
        b.src[l] = m.work_source;
        b.dst[l] = &m.value;
        b.module[l] = &m;
    }
    static void store(const block& b, std::size_t l, VCF& m) {
        biquad& q = m.section;
        q.x1 = b.x1[l], q.x2 = b.x2[l], q.y1 = b.y1[l], q.y2 = b.y2[l];
    }

    [[gnu::target("avx2")]] static void run(block* blocks, std::size_t count) {
        const __m256d bound = _mm256_set1_pd(runaway_bound);
        const __m256d sign = _mm256_set1_pd(-0.0);
        const __m128 one = _mm_set1_ps(1.0f), minus_one = _mm_set1_ps(-1.0f);
        for (std::size_t i = 0; i < count; ++i) {
            block& b = blocks[i];
            const __m128 xf =
                _mm_setr_ps(b.src[0]->load(), b.src[1]->load(), b.src[2]->load(), b.src[3]->load());
            const __m256d x = _mm256_cvtps_pd(xf);
            const __m256d x1 = _mm256_load_pd(b.x1), x2 = _mm256_load_pd(b.x2);
            const __m256d y1 = _mm256_load_pd(b.y1), y2 = _mm256_load_pd(b.y2);
            __m256d y = _mm256_add_pd(_mm256_mul_pd(_mm256_load_pd(b.b0), x),
                                      _mm256_mul_pd(_mm256_load_pd(b.b1), x1));
            y = _mm256_add_pd(y, _mm256_mul_pd(_mm256_load_pd(b.b2), x2));
            y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_load_pd(b.a1), y1));
            y = _mm256_sub_pd(y, _mm256_mul_pd(_mm256_load_pd(b.a2), y2));
            // A runaway lane starts again from rest and gives 0; a silent
            // input leaves its lane's state as it is. Both are rare: the
            // blends are only made when a lane needs them.
            const __m256d ok = _mm256_cmp_pd(_mm256_andnot_pd(sign, y), bound, _CMP_LT_OQ);
            const __m128 silent = _mm_cmpeq_ps(xf, _mm_setzero_ps());
            const bool all_ok = _mm256_movemask_pd(ok) == 0xF;
            const bool none_silent = _mm_movemask_ps(silent) == 0;
            if (all_ok && none_silent) {
                _mm256_store_pd(b.y2, y1);
                _mm256_store_pd(b.y1, y);
                _mm256_store_pd(b.x2, x1);
                _mm256_store_pd(b.x1, x);
            } else {
                const __m256d keep = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_EQ_OQ);
                _mm256_store_pd(b.y2, _mm256_blendv_pd(_mm256_and_pd(y1, ok), y2, keep));
                _mm256_store_pd(b.y1, _mm256_blendv_pd(_mm256_and_pd(y, ok), y1, keep));
                _mm256_store_pd(b.x2, _mm256_blendv_pd(_mm256_and_pd(x1, ok), x2, keep));
                _mm256_store_pd(b.x1, _mm256_blendv_pd(_mm256_and_pd(x, ok), x1, keep));
                y = _mm256_and_pd(y, ok);
            }
            y = _mm256_add_pd(_mm256_mul_pd(y, _mm256_load_pd(b.level)), y);
            const __m128 m = _mm_load_ps(b.mix);
            const __m128 dry = _mm_mul_ps(_mm_sub_ps(one, m), xf);
            __m128 out = _mm256_cvtpd_ps(
                _mm256_add_pd(_mm256_cvtps_pd(dry), _mm256_mul_pd(_mm256_cvtps_pd(m), y)));
            // clamp_unit: min and max return their second operand for a NaN,
            // so a NaN passes as it does there.
            out = _mm_max_ps(minus_one, _mm_min_ps(one, out));
            if (!none_silent) out = _mm_andnot_ps(silent, out);
            store_lanes(b.dst, out);
        }
    }
};

constexpr lane_kernel vcf_lane_kernel = lane_kernel_of<vcf_lanes>();
} // namespace

namespace {
using namespace row;

// GAIN g also sets the output level to g / 10, replacing an AMOUNT read before.
void read_vcf_gain(OUTPUT& m, const field_text& f) {
    const int g = parse_int(f.value);
    static_cast<VCF&>(m).gain = static_cast<float>(g);
    static_cast<VCF&>(m).level = static_cast<float>(g / 10);
}

constexpr const char* vcf_type_names[] = {"LOWPASS",  "HIGHPASS",  "BANDPASS", "NOTCH",
                                          "LOWSHELF", "HIGHSHELF", "PEAKING"};

// The record "HICUT;Q;GAIN;TYPE;BYPASS". GAIN is read as an integer and also
// sets the level (to GAIN / 10); the level, Q and the gain as they are come
// back from the fields at the end.
constexpr param_desc vcf_params[] = {
    bypass_switch<VCF>(1).written(4, "%d"),
    number<VCF, &VCF::hicut>("HICUT")
        .range(1, 12000, 300)
        .steps(step_rule::cutoff)
        .display("%4d", "HICUTOFF")
        .written(0, "%d"),
    number<VCF, &VCF::level>("AMOUNT")
        .range(0.0, 1.0, 1.0)
        .steps(step_rule::fixed, 0.05f)
        .display("%2.1f", "LEVEL")
        .kept("LEVEL"),
    number<VCF, &VCF::type>("TYPE")
        .range(vcf_low_pass, vcf_peaking, vcf_band_pass)
        .steps(step_rule::cycle)
        .named(vcf_type_names)
        .display("%8s", "AFFICHAGE_TYPE_FILTRE")
        .written(3, "%d"),
    number<VCF, &VCF::gain>("GAIN")
        .read_by(read_vcf_gain)
        .range(-unbounded, unbounded, 1.0)
        .steps(step_rule::fixed, 0.01f)
        .display("%2.3f", "GAIN")
        .written(2, "%f")
        .kept("DECIBELS"),
    number<VCF, &VCF::q>("Q")
        .range(0.001, unbounded, 1.0)
        .steps(step_rule::fixed, 0.01f)
        .display("%2.3f", "QRATIO")
        .written(1, "%f")
        .kept("RESONANCE"),
};

constexpr param_desc vcf_panel_params[] = {power_switch<VCF>()};
} // namespace

const module_type vcf_type = {module_kind::VCF,
                              "VCF",
                              "VCF",
                              "VCF",
                              "VCF",
                              "VCF",
                              SKIP,
                              true,
                              filter_slots<VCF>,
                              vcf_params,
                              vcf_panel_params,
                              create_as<VCF>,
                              destroy_as<VCF>,
                              tick_list<VCF>,
                              nullptr,
                              own_value,
                              nullptr,
                              nullptr,
                              &vcf_lane_kernel};

} // namespace tmod
