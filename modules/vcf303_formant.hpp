// VCF303: a resonant two-pole low-pass built as a damped spring whose cut-off
// slides down and jumps back on every sync pulse. FORMANT_VCF: a tenth-order
// all-pole filter with five vowel coefficient sets.
#pragma once

#include <string>

#include "engine/signal.hpp"
#include "util/dsp/spring.hpp"

namespace tmod {

class VCF303 final : public OUTPUT {
  public:
    param<int> power{1};
    signal_slot mod_gain, mod_q, mod_freq, mod_amp;
    signal_slot alt_gain, alt_q, alt_freq, alt_amp;
    signal_slot in;
    gate_slot gate_in;
    sync_slot sync_in;
    param<int> bypass{1};
    param<int> hicut{1400};  // Hz, where every sweep starts
    param<float> mix{10.0f}; // wet share in tenths
    float current_cutoff = 1400.0f;
    param<float> q{0.995f}; // damping of the spring
    spring_lowpass spring;

    VCF303();
    // Stores the cut-off, restarts the spring from rest and the damping at 0.995.
    void set_hicut(int hz);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class FORMANT_VCF final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    static constexpr int vowel_count = 5;
    static const double coefficients[vowel_count][11];

    param<int> power{1};
    signal_slot mod_freq, mod_phase, mod_amp; // accepted and saved, not read
    param<float> mix{1.0f};
    param<int> bypass{1};
    param<float> gain{1.0f}; // saved and loaded only
    param<float> vowelnum{0.0f};
    double memory[10] = {}; // last ten outputs, newest first

    FORMANT_VCF();
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
