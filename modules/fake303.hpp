// FAKE303: a self-contained bass voice whose waveform, envelope and filter sweep
// restart on every sixteenth note of the global tempo.
#pragma once

#include <string>

#include "engine/signal.hpp"
#include "modules/vco.hpp"
#include "util/dsp/spring.hpp"
#include "util/rand15.hpp"

namespace tmod {

class FAKE303 final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    // INPUT::in is the frequency input; of GATE and SYNC only SYNC is read.
    float step_ramp = 0.0f;
    param<float> sine_divisor{1.0f};
    param<float> sine_offset{1.0f};
    float step_length; // samples in one sixteenth note
    float step_position = 0.0f;
    param<int> power{1};
    signal_slot mod_phase, mod_freq, mod_amp, mod_pwm;
    signal_slot alt_phase, alt_freq, alt_amp, alt_pwm;
    float ramp = 0.0f;
    param<float> phase{0.0f};
    param<float> amount;
    param<float> freq;
    param<float> pulse_width{0.1f};
    float last_input_freq = 0.0f;
    param<int> type;
    param<int> noise_switch{0};
    param<float> noise_amount{0.5f};
    param<float> noise_scale{1.0f};
    param<float> noise_divisor{1.0f};
    param<int> dist_switch{0};
    param<float> dist_gain{1.0f}, dist_divisor{1.0f}, dist_offset{0.1f};
    param<int> env_switch{1};
    param<float> env_level{1.0f};
    param<int> filter_switch{1};
    param<int> cutoff{1400}; // Hz, where every step's sweep starts
    param<float> filter_level{10.0f};
    float current_cutoff = 1400.0f;
    float damping = 0.995f;
    spring_lowpass filter;
    rand15 random;

    FAKE303(float amplitude = 1.0f, float frequency = 110.0f, int wave = 1);

    // Stores the cutoff and restarts the filter from rest.
    void set_cutoff(int hz);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

// Samples in one sixteenth note at the tempo (a sane length below 15 BPM).
float sixteenth_note_samples(int tempo_bpm);

} // namespace tmod
