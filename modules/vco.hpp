// VCO: the basic oscillator, nine waveforms (five periodic shapes, four noises,
// two of them chaotic attractors integrated step by step).
#pragma once

#include <cstdint>
#include <string>

#include "engine/signal.hpp"
#include "modules/vco_waves.hpp"
#include "util/dsp/runaway.hpp"
#include "util/rand15.hpp"

namespace tmod {

// Shared layout of the two attractor generators (all 32-bit floats).
struct attractor_state {
    float dx = 0, dy = 0, dz = 0;
    float step = 0;
    float frequency = 440.0f;
    float x = 1.0f, y = 1.0f, z = 1.0f;
    float p1, p2, p3;
    float rate = 44100.0f;

    attractor_state(float a, float b, float c) : p1(a), p2(b), p3(c) {}
    // A state thrown out of the attractor (a huge, infinite or NaN frequency)
    // starts again instead of staying infinite or NaN.
    void restart_if_runaway() {
        if (runaway(x) || runaway(y) || runaway(z)) x = y = z = 1.0f;
    }
};

struct LORENZ_ATTRACTOR : attractor_state {
    // sigma, rho and beta; beta is the float 2.666, not 8/3.
    LORENZ_ATTRACTOR() : attractor_state(10.0f, 28.0f, 2.666f) { update_step(); }
    void set_rate(float r) { rate = r, update_step(); }
    void set_frequency(float f) { frequency = f, update_step(); }
    float next() {
        dx = (y - x) * p1;
        dy = (p2 - z) * x - y;
        dz = x * y - p3 * z;
        x = x + dx * step;
        y = y + dy * step;
        z = z + dz * step;
        restart_if_runaway();
        return 0.05107f * x;
    }

  private:
    void update_step() { step = frequency / rate; }
};

struct ROSSLER_ATTRACTOR : attractor_state {
    ROSSLER_ATTRACTOR() : attractor_state(0.15f, 0.2f, 10.0f) { update_step(); }
    void set_rate(float r) { rate = r, update_step(); }
    void set_frequency(float f) { frequency = f, update_step(); }
    float next() {
        dx = -y - z;
        dy = x + p1 * y;
        dz = p2 + z * (x - p3);
        x = x + dx * step;
        y = y + dy * step;
        z = z + dz * step;
        restart_if_runaway();
        return 0.05757f * x;
    }

  private:
    void update_step() { step = 2.91f * frequency / rate; }
};

// Remembers the outputs of one ramp cycle of the shapes that depend on the
// ramp alone (sine, triangle, saw, square, pulse).
// Every cycle restarts at exactly -1 (at 1 going backwards) and steps by the
// same float increment, so while the increment, phase, amplitude and shape stay
// the same each cycle passes through the same ramp values, and the outputs
// recorded during one cycle are the exact outputs of the next ones. Each entry
// keeps the ramp it was computed for and is used only when the ramp matches, so
// a ramp moved from outside (a sync, a MULTI_VCO) can never read a wrong value.
struct wave_memo {
    static constexpr unsigned capacity = 2048; // cycles of up to 2048 samples: 43 Hz and up
    float key_step = 0.0f, key_phase = 0.0f, key_amp = 0.0f, key_width = 0.0f;
    int key_type = 0; // no shape: the first sample starts recording
};

class VCO final : public OUTPUT {
  public:
    // Read and written every sample; first, so that a free-running sine
    // touches one cache line besides its recorded cycle.
    // Running phase in [-1, 1]. While the oscillator follows a whole recorded
    // cycle it is memo_ramp[memo_pos] and is written back when it stops.
    float ramp = 0.0f;
    float step = 0.0f; // frequency / 44100
    std::uint32_t seen_changes;
    unsigned memo_pos = wave_memo::capacity; // index in the recorded cycle; capacity when unknown
    unsigned memo_filled = 0;                // entries recorded for the memo's key
    unsigned memo_cycle = 0;    // length of the cycle once it is recorded whole, else 0
    unsigned memo_version = 0;  // counts the records started (a copy of one can be kept)
    bool free_running = false;  // power on and nothing connected: the working values hold
    bool free_memo = false;     // free running with a recorded shape
    bool follow_record = false; // free running on a whole recorded cycle

    int work_type = 0;
    float work_amp = 0.0f, work_freq = 0.0f, work_phase = 0.0f, work_width = 0.0f;
    float step_freq = -1.0f; // the frequency `step` was divided from
    wave_memo memo;
    float memo_out[wave_memo::capacity]; // the recorded cycle: outputs...

    param<int> power{1};
    signal_slot in, mod_phase, mod_freq, mod_amp, mod_pwm;
    signal_slot alt_phase, alt_freq, alt_amp, alt_pwm;
    gate_slot gate_in; // kept and saved, never read
    sync_slot sync_in; // restarts the ramp at 0
    param<float> phase{0.0f};
    param<float> amount;
    param<float> freq; // Hz, or the tuning factor while IN is connected
    param<float> pulse_width{0.1f};
    param<int> type;
    float random_sign_level = 0.0f;
    float white_noise_level = 0.0f;
    LORENZ_ATTRACTOR lorenz;
    ROSSLER_ATTRACTOR rossler;
    rand15 random;
    float memo_ramp[wave_memo::capacity]; // ...and the ramps they were computed for

    // The palette builds (1.0, 110.0, sine).
    VCO(float amplitude = 1.0f, float frequency = 110.0f, int wave = wave_sine);

    int compute() override { return tick(changes_seen()); }
    // Restarts the ramp at 0 (a sync): off the recorded cycle until its next start.
    void restart_ramp() {
        ramp = 0.0f;
        memo_pos = wave_memo::capacity;
        follow_record = false;
    }
    // One tick, given the change count (read once for a whole list).
    int tick(std::uint32_t now);
    // One sample as a voice of a MULTI_VCO: the given shape, frequency and
    // amplitude, the voice's own phase and width, no inputs.
    void compute_voice(int wave, float f, float a);

  private:
    bool recorded_sample(bool memo_shape, float& out);
    // The ramp sits where its cycle restarts.
    bool at_cycle_start() const { return ramp == (step < 0.0f ? 1.0f : -1.0f); }
    __attribute__((noinline)) int compute_connected();
    __attribute__((noinline)) float shape(float a, float f, float p, float w, int t,
                                          bool cycle_start);
    __attribute__((noinline)) void derive(std::uint32_t now);
    void update_step(float f);
    void check_memo_key(float a, float p, float w, int t);

  public:
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
