// SAMPLER: plays a sound file while its gate is open, forward or backward, once
// or looping, at a speed that follows a frequency on IN relative to 440 Hz.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/signal.hpp"
#include "util/sound_file.hpp"

namespace tmod {

enum sampler_mode : int { smp_play_av = 0, smp_play_ar, smp_play_loopav, smp_play_loopar };

class SAMPLER final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    sample_buffer data; // the loaded sample as signed 16-bit values; null when none
    signal_slot mod_phase, mod_freq, mod_amp;
    param<int> loop_switch{0};
    param<int> play_mode{smp_play_av};
    int length = 0;       // frames
    relaxed<int> busy{0}; // 1 while a file is being loaded: the tick does nothing
    param<int> power{1};
    float position = 0.0f; // in 16-bit values
    param<float> pitch{1.0f};
    param<float> volume{1.0f};
    param<float> third{0.0f}; // the panel's PHASE; does not reach the sound
    char file[800] = {};
    param<float> loop_begin{0.0f}, loop_end{0.0f};
    int byte_length = 0;
    int channels = 0;
    int bits = 0;
    float default_frequency = 0.0f;

    // A new sampler loads "sounds/guitare.wav".
    SAMPLER();
    // Loads a sound file; on failure prints the message and leaves the sampler silent.
    bool load_sample(const char* file_name);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
