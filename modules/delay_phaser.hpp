// SFX_DELAY: a plain delay line of up to ten seconds. PHASER: six all-pass
// stages swept by a sine LFO between two corner frequencies, with feedback.
#pragma once

#include <string>

#include "engine/signal.hpp"

namespace tmod {

class SFX_DELAY final : public OUTPUT, public INPUT, public INPUT_SYNC {
  public:
    static constexpr int ring_size = 441000; // ten seconds

    int write_index = 0, read_index = 0;
    signal_slot delay_mod; // D * m + D
    signal_slot delay_alt; // replaces the delay
    float ring[ring_size] = {};
    param<float> delay{0.5f};  // samples; below 1 there is no delay
    param<float> volume{0.6f}; // saved and loaded only

    SFX_DELAY();
    // Stores |samples| and places the write index that far ahead of the read index.
    void set_delay(float samples);
    int compute() override;

  private:
    void apply_delay(float samples);

  public:
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class PHASER final : public OUTPUT, public INPUT {
  public:
    struct stage {
        float coef = 0.0f;
        float memory = 0.0f;
    };

    param<int> power{1}; // not read
    param<int> bypass{1};
    param<float> rate{0.5f}; // Hz
    stage stages[6];
    float lfo_phase = 0.0f;
    param<float> lfo_increment;
    float feedback_memory = 0.0f;
    param<float> lower{440.0f / 22050.0f}, upper{1600.0f / 22050.0f};
    param<float> feedback{0.7f};
    param<float> depth{1.0f};

    PHASER();
    void set_range(float low_hz, float high_hz);
    void set_hi(float hz) { upper = hz / 22050.0f; }
    void set_low(float hz) { lower = hz / 22050.0f; }
    void set_rate(float hz);
    void set_feedback(float f) { feedback = f; }
    void set_depth(float d) { depth = d; }
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
