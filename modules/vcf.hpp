// VCF: the general biquad filter with seven responses (or none), cut-off, Q and
// gain that inputs can modulate or replace, an output level and a dry/wet mix.
#pragma once

#include <cstdint>
#include <string>

#include "engine/signal.hpp"

namespace tmod {

enum vcf_type : int {
    vcf_none = 0,
    vcf_low_pass,
    vcf_high_pass,
    vcf_band_pass,
    vcf_notch,
    vcf_low_shelf,
    vcf_high_shelf,
    vcf_peaking
};

// The second-order section with coefficients cached for the parameters they
// were computed for (compared exactly, so a steady filter never recomputes).
// The coefficients are worked out from the parameters held in the ranges
// below, where every response is stable with room to spare; values inside
// are used as they are.
struct biquad {
    // At or past half the sample rate, or at 0 Hz and below, a pole reaches
    // the unit circle: an envelope opening a high cut-off four times made the
    // filter scream. 20 kHz is the top of hearing.
    static constexpr double min_cutoff = 1.0, max_cutoff = 20000.0; // Hz
    // Q at 0 or infinity puts a pole on the circle too; a thousand rings for
    // seconds already.
    static constexpr double min_q = 0.001, max_q = 1000.0;
    // Beyond +-60 dB the output is clipped or silent anyway, and a resonant
    // peak times the gain stays far below the runaway bound.
    static constexpr double max_gain = 60.0; // dB, either way

    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double inv_a0 = 1, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
    double cached_freq = 0, cached_q = 0, cached_gain = 0;
    int cached_type = -1; // invalid: the first sample computes

    double filter(double freq, double q, double gain, int type, double x) {
        prepare(freq, q, gain, type);
        return step(type, x);
    }
    // Brings the coefficients up to date with the parameters (compared exactly).
    void prepare(double freq, double q, double gain, int type) {
        if (freq != cached_freq || q != cached_q || gain != cached_gain || type != cached_type) {
            cached_freq = freq, cached_q = q, cached_gain = gain, cached_type = type;
            compute_coefficients(freq, q, gain, type);
        }
    }
    // One sample with the current coefficients.
    double step(int type, double x);
    void compute_coefficients(double freq, double q, double gain, int type);
};

class VCF final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    // A filter with its input connected, running, and no modulation or
    // replacement input keeps its working values until a change is made from
    // outside; they are worked out then. First, with the filter's state, so
    // that the tick touches few cache lines.
    std::uint32_t seen_changes;
    bool steady = false;
    int work_type = 0;
    float work_mix = 0.0f, work_level = 0.0f;
    const sample_value* work_source = nullptr;
    biquad section;

    param<int> power{1};
    signal_slot mod_gain, mod_q, mod_freq, mod_amp;
    signal_slot alt_gain, alt_q, alt_freq, alt_amp;
    param<float> mix{1.0f};
    param<int> type{vcf_band_pass};
    param<int> bypass{1};
    param<int> hicut{300};
    param<float> gain{1.0f};  // dB
    param<float> level{1.0f}; // output boost: y * level + y
    param<float> q{1.0f};

    VCF();
    void set_hicut(int hz) { hicut = hz; }
    int compute() override { return tick(changes_seen()); }
    int tick(std::uint32_t now);

  private:
    __attribute__((noinline)) void derive(std::uint32_t now);
    __attribute__((noinline)) int compute_modulated();

  public:
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
