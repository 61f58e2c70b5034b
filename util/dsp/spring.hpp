// The damped-spring low-pass of VCF303 and FAKE303: a mass pulled towards the
// input, its velocity damped every sample. The coefficient follows a sliding
// cut-off; a state that runs away is reset.
#pragma once

#include <cmath>

#include "util/dsp/runaway.hpp"

namespace tmod {

struct spring_lowpass {
    float coef;
    float position = 0.0f, velocity = 0.0f;

    explicit spring_lowpass(float cutoff_hz) : coef(coefficient(cutoff_hz)) {}

    // 2 - 2 cos(2 pi cutoff / 44100).
    static float coefficient(float cutoff_hz) {
        return 2.0f - 2.0f * std::cos(cutoff_hz * 6.2831855f / 44100.0f);
    }
    void set_cutoff(float cutoff_hz) { coef = coefficient(cutoff_hz); }
    void rest() { position = velocity = 0.0f; }

    // One sample; returns the position.
    float step(float x, float damping) {
        velocity = velocity + (x - position) * coef;
        position = position + velocity;
        velocity = velocity * damping;
        if (runaway(position) || runaway(velocity)) rest();
        return position;
    }
};

} // namespace tmod
