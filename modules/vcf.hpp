// VCF: the general biquad filter with seven responses (or none), cut-off, Q and
// gain that inputs can modulate or replace, an output level and a dry/wet mix.
#pragma once

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
struct biquad {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double inv_a0 = 1, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
    double cached_freq = 0, cached_q = 0, cached_gain = 0;
    int cached_type = -1; // invalid: the first sample computes

    double filter(double freq, double q, double gain, int type, double x);
    void compute_coefficients(double freq, double q, double gain, int type);
};

class VCF final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    relaxed<int> power{1};
    signal_slot mod_gain, mod_q, mod_freq, mod_amp;
    signal_slot alt_gain, alt_q, alt_freq, alt_amp;
    relaxed<float> mix{1.0f};
    relaxed<int> type{vcf_band_pass};
    relaxed<int> bypass{1};
    relaxed<int> hicut{300};
    relaxed<float> gain{1.0f};  // dB
    relaxed<float> level{1.0f}; // output boost: y * level + y
    relaxed<float> q{1.0f};
    biquad section;

    VCF();
    void set_hicut(int hz) { hicut = hz; }
    int compute() override;
    void write_params(std::string& out) const;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
