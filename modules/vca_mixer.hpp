// VCA: multiplies its input by an attack/decay/sustain/release envelope opened
// and closed by a gate. MIXER: sums up to 24 channels, each with a volume and a
// bypass, scaled by the number of active channels.
#pragma once

#include <string>

#include "engine/module_types.hpp"
#include "engine/signal.hpp"

namespace tmod {

class VCA final : public OUTPUT, public INPUT, public INPUT_GATE {
  public:
    float release_time = 0.0f; // seconds since the gate closed
    float gate_time = 0.0f;    // seconds since the gate opened
    relaxed<int> invert{0};
    relaxed<float> attack{1000.0f}; // milliseconds
    relaxed<float> peak{1.0f};
    relaxed<float> decay{1000.0f};
    relaxed<float> sustain{1.0f};
    relaxed<float> release{1000.0f};
    float env_level = 0.0f; // the release starts from it
    relaxed<int> bypass{0}; // recomputed every sample: 1 when no gate is connected

    VCA();
    // Returns 0 without touching the value while IN is not connected.
    int compute() override;
    void write_params(std::string& out) const;
    void write_diagnostic(std::string& out) const;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class MIXER final : public OUTPUT {
  public:
    static constexpr int max_channels = 24;

    relaxed<int> power{1};
    relaxed<int> channel_count{0};
    relaxed<float> volumes[max_channels];
    relaxed<float> bypasses[max_channels]; // 1.0 mutes the channel
    signal_slot channels[max_channels];

    MIXER();
    // Feeds the channel at index (or at the channel count when index is -1)
    // from the source's value; the count grows by one. Returns false when all
    // 24 channels are in use or the index is outside them.
    bool add_channel(const sample_value* source, int index = -1);
    int compute() override;
    void write_params(std::string& out) const;

    // Object-record keys: "V_nn" volumes and "BYP_nn" bypasses.
    static void apply_volume_key(OUTPUT& m, const field_text& f);
    static void apply_bypass_key(OUTPUT& m, const field_text& f);
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
