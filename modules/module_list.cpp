// The registry the engine declares: the rows, defined beside each module's
// code, in the order of the container's lists.
#include "engine/module_types.hpp"
#include "modules/rows.hpp"

namespace tmod {

namespace {
const module_type* const types[module_kind_count] = {
    &affichage_type, &basic_operation_type, &constante_type,   &fake303_type,      &generator_type,
    &keyboard_type,  &mixer_type,           &micro_type,       &phaser_type,       &sequencer_type,
    &sampler_type,   &sfx_delay_type,       &sound_input_type, &sound_output_type, &variable_type,
    &vca_type,       &formant_vcf_type,     &vcf303_type,      &vcf_type,          &multi_vco_type,
    &vco_type,
};
} // namespace

const module_type& type_of(module_kind kind) {
    return *types[index_of(kind)];
}

} // namespace tmod
