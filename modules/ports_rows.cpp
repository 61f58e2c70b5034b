// The rows of the types whose classes the engine defines: the patch's edges
// (SOUND_OUTPUT, SOUND_INPUT, MICRO) and the nested patch (GENERATOR).
#include <cstdio>
#include <string>

#include "engine/generator.hpp"
#include "engine/nested_loader.hpp"
#include "engine/ports.hpp"
#include "modules/rows.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
using namespace row;

// Inside a nested patch, a SOUND_INPUT source means its three inner sources.
const sample_value* port_value(OUTPUT& m) {
    return &static_cast<SOUND_INPUT&>(m).inner_output.value;
}
const flag_value* port_gate(OUTPUT& m) {
    return &static_cast<SOUND_INPUT&>(m).inner_gate.gate;
}
const flag_value* port_pulse(OUTPUT& m) {
    return &static_cast<SOUND_INPUT&>(m).inner_sync.pulse;
}

// A nested patch is loaded completely while its FILE field is applied, by
// the load that reads the field.
void load_nested_file(OUTPUT& m, const field_text& f) {
    if (!f.nested) {
        say("[%s]: no patch reader to load %s\n", escaped_controls(m.name).c_str(),
            escaped_controls(f.value).c_str());
        return;
    }
    f.nested->load_nested(static_cast<GENERATOR&>(m), std::string(f.value).c_str());
}
// A container loaded from no file is saved as the empty patch.
const char* nested_file(const OUTPUT& m) {
    const GENERATOR& g = static_cast<const GENERATOR&>(m);
    return g.file_name[0] ? g.file_name : "TSY/empty.tsy";
}

constexpr param_desc generator_params[] = {
    file_name("FILE", load_nested_file, nested_file).written(0, "%s")};

constexpr source_rule key_then_seq[] = {{"KEY", module_kind::KEYBOARD},
                                        {"SEQ", module_kind::SEQUENCER}};
constexpr slot_desc generator_slots[] = {
    sig<GENERATOR, &GENERATOR::in>("IN", RS, "INPUT"),
    gate<GENERATOR, &GENERATOR::gate_in>("GATE", RS, "INPUT_GATE", key_then_seq),
    sync<GENERATOR, &GENERATOR::sync_in>("SYNC", RS, "INPUT_SYNC", key_then_seq),
};

// The port's connections are read from files but never saved.
constexpr slot_desc sound_input_slots[] = {
    sig<SOUND_INPUT, &SOUND_INPUT::in>("IN", R, "INPUT"),
    gate<SOUND_INPUT, &SOUND_INPUT::gate_in>("IN_GATE", R, nullptr, sequencer_then_key),
    sync<SOUND_INPUT, &SOUND_INPUT::sync_in>("IN_SYNC", R, nullptr, sequencer_then_key),
};

// The microphone's power switch is shown but not consulted.
constexpr param_desc micro_panel_params[] = {power_switch<MICRO>()};
} // namespace

const module_type generator_type = {module_kind::GENERATOR,
                                    "GENERATOR",
                                    "GENERATOR",
                                    "GENERATOR",
                                    "GENERATOR",
                                    "GENERATOR",
                                    REJECT,
                                    true,
                                    generator_slots,
                                    generator_params,
                                    {},
                                    create_as<GENERATOR>,
                                    destroy_as<GENERATOR>,
                                    tick_list<GENERATOR>,
                                    nullptr,
                                    own_value,
                                    nullptr,
                                    nullptr};

const module_type micro_type = {module_kind::MICRO,
                                "MICRO",
                                "MICRO",
                                "MICRO",
                                "MICRO",
                                nullptr,
                                NOT_READ,
                                false,
                                {},
                                {},
                                micro_panel_params,
                                create_as<MICRO>,
                                destroy_as<MICRO>,
                                tick_list<MICRO>,
                                nullptr,
                                own_value,
                                nullptr,
                                nullptr};

const module_type sound_input_type = {module_kind::SOUND_INPUT,
                                      "SOUND_INPUT",
                                      "SOUND_IN",
                                      "SOUND_INPUT",
                                      "SOUND_INPUT",
                                      "SOUND_IN",
                                      NOT_READ,
                                      true,
                                      sound_input_slots,
                                      {},
                                      {},
                                      create_as<SOUND_INPUT>,
                                      destroy_as<SOUND_INPUT>,
                                      tick_list<SOUND_INPUT>,
                                      nullptr,
                                      port_value,
                                      port_gate,
                                      port_pulse};

const module_type sound_output_type = {module_kind::SOUND_OUTPUT,
                                       "SOUND_OUTPUT",
                                       "SOUND_OUT",
                                       "SOUND_OUTPUT",
                                       "SOUND_OUTPUT",
                                       "SOUND_OUTPUT",
                                       NOT_READ,
                                       true,
                                       single_input_slot<SOUND_OUTPUT>,
                                       {},
                                       {},
                                       create_as<SOUND_OUTPUT>,
                                       destroy_as<SOUND_OUTPUT>,
                                       tick_list<SOUND_OUTPUT>,
                                       nullptr,
                                       own_value,
                                       nullptr,
                                       nullptr};

} // namespace tmod
