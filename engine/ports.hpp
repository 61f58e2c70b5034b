// The edges of a patch: SOUND_OUTPUT (the patch's output point), SOUND_INPUT
// (relays a signal, a gate and a sync from the outer patch into three inner
// sources) and MICRO (the sound card's input as a level).
#pragma once

#include <cstdint>
#include <string>

#include "engine/signal.hpp"

namespace tmod {

class SOUND_OUTPUT final : public OUTPUT {
  public:
    signal_slot in;

    SOUND_OUTPUT() : OUTPUT(name_storage) {}
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class SOUND_INPUT final : public OUTPUT,
                          public OUTPUT_GATE,
                          public OUTPUT_SYNC,
                          public INPUT,
                          public INPUT_GATE,
                          public INPUT_SYNC {
  public:
    // What modules inside the patch connect to when their source is this port.
    value_source inner_output;
    OUTPUT_SYNC inner_sync;
    OUTPUT_GATE inner_gate;

    explicit SOUND_INPUT(const OUTPUT* source = nullptr);

    // Copies each connected slot into its inner source; its own value stays 0.
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class MICRO final : public OUTPUT {
  public:
    param<int> power{1};              // not consulted
    std::uint32_t sample_counter = 0; // wraps instead of overflowing

    MICRO() : OUTPUT(name_storage) {}

    // |input sample / 32767| of the sample being computed.
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
