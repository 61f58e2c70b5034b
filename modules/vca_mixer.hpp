// VCA: multiplies its input by an attack/decay/sustain/release envelope opened
// and closed by a gate. MIXER: sums up to 24 channels, each with a volume and a
// bypass, scaled by the number of active channels.
#pragma once

#include <cstdint>
#include <string>

#include "engine/signal.hpp"

namespace tmod {

class VCA final : public OUTPUT, public INPUT, public INPUT_GATE {
  public:
    // With IN and GATE connected, the envelope's parameters and sources hold
    // until a change is made from outside; they are worked out then.
    std::uint32_t seen_changes;
    bool gated = false; // IN and GATE connected
    int work_invert = 0;
    float work_attack = 0, work_peak = 0, work_decay = 0, work_sustain = 0, work_release = 0;
    const sample_value* work_in = nullptr;
    const flag_value* work_gate = nullptr;

    float release_time = 0.0f; // seconds since the gate closed
    float gate_time = 0.0f;    // seconds since the gate opened
    param<int> invert{0};
    param<float> attack{1000.0f}; // milliseconds
    param<float> peak{1.0f};
    param<float> decay{1000.0f};
    param<float> sustain{1.0f};
    param<float> release{1000.0f};
    float env_level = 0.0f; // the release starts from it
    param<int> bypass{0};   // recomputed every sample: 1 when no gate is connected

    VCA();
    // Returns 0 without touching the value while IN is not connected.
    // Returns 0 without touching the value while IN is not connected.
    int compute() override { return tick(changes_seen()); }
    int tick(std::uint32_t now);
    void write_diagnostic(std::string& out) const;

  private:
    __attribute__((noinline)) void derive(std::uint32_t now);
    float envelope(float in, int gate, int inv, float atk, float pk, float dec, float sus,
                   float rel);

  public:
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class MIXER final : public OUTPUT {
  public:
    static constexpr int max_channels = 24;

    // The active channels (connected, not muted) with their volumes, worked
    // out again only when a change was made from outside; first, so that the
    // tick touches few cache lines.
    std::uint32_t seen_changes;
    int active = 0;
    float active_divisor = 0.0f;    // active, as a float
    float active_reciprocal = 0.0f; // 1 / active when that is exact (a power of two), else 0
    const sample_value* active_sources[max_channels] = {};
    float active_volumes[max_channels] = {};

    param<int> power{1};
    param<int> channel_count{0};
    param<float> volumes[max_channels];
    param<float> bypasses[max_channels]; // 1.0 mutes the channel
    signal_slot channels[max_channels];

    MIXER();
    // Feeds the channel at index (or at the channel count when index is -1)
    // from the source's value; the count grows by one. Returns false when all
    // 24 channels are in use or the index is outside them.
    bool add_channel(const sample_value* source, int index = -1);
    int compute() override { return tick(changes_seen()); }
    int tick(std::uint32_t now);
    // The object record's fields: "V_nn" volumes and "BYP_nn" bypasses of all
    // 24 channels (no line end).
    void write_params(std::string& out) const;

  private:
    void derive(std::uint32_t now);

  public:
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
