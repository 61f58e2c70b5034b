#include "engine/ports.hpp"

#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"

namespace tmod {

int SOUND_OUTPUT::compute() {
    value = in.read_or(0.0f);
    return 1;
}

SOUND_INPUT::SOUND_INPUT(const OUTPUT* source) : OUTPUT(name_storage) {
    if (source) in.connect(&source->value);
}

int SOUND_INPUT::compute() {
    if (const sample_value* v = in.source()) inner_output.value = v->load();
    if (const flag_value* g = gate_in.source()) inner_gate.gate = g->load();
    if (const flag_value* s = sync_in.source()) inner_sync.pulse = s->load();
    return 1;
}

int MICRO::compute() {
    ++sample_counter;
    const double v = current_input_sample.load() / 32767.0;
    value = static_cast<float>(v < 0.0 ? -v : v);
    return 1;
}

template void tick_list<SOUND_OUTPUT>(const module_ptr*, std::size_t);
template void tick_list<SOUND_INPUT>(const module_ptr*, std::size_t);
template void tick_list<MICRO>(const module_ptr*, std::size_t);

} // namespace tmod
