// The damped-spring low-pass of VCF303 and FAKE303: a mass pulled towards the
// input, its velocity damped every sample. The coefficient follows a sliding
// cut-off; a state that runs away is reset.
#pragma once

#include <cmath>

#include "util/dsp/runaway.hpp"
#include "util/num.hpp"

namespace tmod {

struct spring_lowpass {
    static constexpr float max_damping = 0.9999f;
    float coef;
    float position = 0.0f, velocity = 0.0f;

    explicit spring_lowpass(float cutoff_hz) : coef(coefficient(cutoff_hz)) {}

    // 2 - 2 cos(2 pi cutoff / 44100).
    static float coefficient(float cutoff_hz) {
        return 2.0f - 2.0f * std::cos(cutoff_hz * 6.2831855f / 44100.0f);
    }
    void set_cutoff(float cutoff_hz) { coef = coefficient(cutoff_hz); }
    void rest() { position = velocity = 0.0f; }

    // One sample; returns the position. The spring is stable while the
    // damping is below 1 and the coefficient below 2 + 2 damping: a cut-off
    // past 11 kHz with heavy damping or 21 kHz with the lightest (or a sweep
    // fallen as far below 0 Hz, which mirrors) is held just under that.
    float step(float x, float damping) {
        const float d = held_in(damping, 0.0f, max_damping);
        const float c = held_in(coef, 0.0f, (2.0f + 2.0f * d) * 0.99f);
        velocity = velocity + (x - position) * c;
        position = position + velocity;
        velocity = velocity * d;
        if (runaway(position) || runaway(velocity)) rest();
        return position;
    }
};

} // namespace tmod
