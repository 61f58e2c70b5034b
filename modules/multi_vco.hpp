// MULTI_VCO: up to 16 VCO voices sharing one waveform and one set of inputs;
// each voice's FREQ is its tuning factor, so a frequency on IN becomes a chord.
#pragma once

#include <string>

#include "modules/vco.hpp"

namespace tmod {

class MULTI_VCO final : public OUTPUT {
  public:
    static constexpr int max_voices = 16;

    param<int> power{1};
    signal_slot in, mod_phase, mod_freq, mod_amp, mod_pwm;
    signal_slot alt_phase, alt_freq, alt_amp, alt_pwm;
    gate_slot gate_in;
    sync_slot sync_in;
    VCO voices[max_voices];
    param<int> voice_count{4}; // the panel allows 1 to 15
    param<float> phase{0.0f};
    param<float> amount;
    param<float> freq;
    float last_input_freq = 0.0f;
    param<int> type;

    MULTI_VCO(float amplitude = 1.0f, float frequency = 110.0f, int wave = wave_sine);

    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
