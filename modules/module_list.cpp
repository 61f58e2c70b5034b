// The rows of the module type registry, which the engine declares.
#include "engine/module_types.hpp"

#include <cstdio>
#include <string>

#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "modules/delay_phaser.hpp"
#include "modules/fake303.hpp"
#include "modules/keyboard.hpp"
#include "modules/multi_vco.hpp"
#include "modules/sampler.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "modules/vco.hpp"
#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
using K = module_kind;

// ---- accessors -------------------------------------------------------------

template <class T, auto Member>
signal_slot* signal_of(OUTPUT& m) {
    return &(static_cast<T&>(m).*Member);
}
template <class T, auto Member>
gate_slot* flag_of(OUTPUT& m) {
    return &(static_cast<T&>(m).*Member);
}
const sample_value* own_value(OUTPUT& m) {
    return &m.value;
}
template <class T>
const flag_value* own_gate(OUTPUT& m) {
    return &static_cast<T&>(m).gate;
}
template <class T>
const flag_value* own_pulse(OUTPUT& m) {
    return &static_cast<T&>(m).pulse;
}
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

// Palette defaults: oscillators at amplitude 1, 110 Hz, sine; CONSTANTE 4.0;
// VARIABLE 0; a GENERATOR as an empty nested patch; the rest as constructed.
template <class T>
OUTPUT* create_as() {
    return TM_NEW(T);
}
template <class T>
OUTPUT* create_oscillator() {
    return TM_NEW(T, 1.0f, 110.0f, static_cast<int>(wave_sine));
}
OUTPUT* create_constante() {
    return TM_NEW(CONSTANTE, 4.0f);
}
OUTPUT* create_variable() {
    return TM_NEW(VARIABLE, 0.0f);
}
template <class T>
void destroy_as(OUTPUT* m) {
    tracked_delete(static_cast<T*>(m));
}
template <class T>
void write_as(OUTPUT& m, std::string& out) {
    static_cast<T&>(m).write_params(out);
}

// ---- parameter keys ----------------------------------------------------------

template <class T, auto Member>
void set_int(OUTPUT& m, const field_text& f) {
    static_cast<T&>(m).*Member = parse_int(f.value);
}
template <class T, auto Member>
void set_float(OUTPUT& m, const field_text& f) {
    static_cast<T&>(m).*Member = parse_float(f.value);
}
// Read as an integer and stored in a float parameter: "0.5" loads as 0.
template <class T, auto Member>
void set_int_as_float(OUTPUT& m, const field_text& f) {
    static_cast<T&>(m).*Member = static_cast<float>(parse_int(f.value));
}
template <class T, auto Setter>
void call_int(OUTPUT& m, const field_text& f) {
    (static_cast<T&>(m).*Setter)(parse_int(f.value));
}
template <class T, auto Setter>
void call_float(OUTPUT& m, const field_text& f) {
    (static_cast<T&>(m).*Setter)(parse_float(f.value));
}

// NOTE n sets the frequency from the note table.
template <class T>
void set_note(OUTPUT& m, const field_text& f) {
    const int n = parse_int(f.value);
    if (!note_in_table(n)) {
        std::printf("[%s]: note %d is outside the note table, ignored\n", m.name, n);
        return;
    }
    static_cast<T&>(m).freq = static_cast<float>(note_frequency(n));
}

// Waveform digits of VCO and MULTI_VCO: "7" and "8" swap the two attractors.
template <class T>
void set_vco_wave(OUTPUT& m, const field_text& f) {
    const char c = f.value.empty() ? '\0' : f.value[0];
    int wave = 1;
    if ((c >= '1' && c <= '6') || c == '9') wave = c - '0';
    if (c == '7') wave = wave_lorenz;
    if (c == '8') wave = wave_rossler;
    static_cast<T&>(m).type = wave;
}

void set_fake303_wave(OUTPUT& m, const field_text& f) {
    const char c = f.value.empty() ? '\0' : f.value[0];
    static_cast<FAKE303&>(m).type = c >= '1' && c <= '5' ? c - '0' : 1;
}

// GAIN g also sets the output level to g / 10, replacing an AMOUNT read before.
void set_vcf_gain(OUTPUT& m, const field_text& f) {
    const int g = parse_int(f.value);
    static_cast<VCF&>(m).gain = static_cast<float>(g);
    static_cast<VCF&>(m).level = static_cast<float>(g / 10);
}

void load_sampler_file(OUTPUT& m, const field_text& f) {
    static_cast<SAMPLER&>(m).load_sample(std::string(f.value).c_str());
}

// A nested patch is loaded completely while its FILE field is applied.
void load_nested_file(OUTPUT& m, const field_text& f) {
    if (!load_nested_patch) {
        std::printf("[%s]: no patch reader to load %.*s\n", m.name,
                    static_cast<int>(f.value.size()), f.value.data());
        return;
    }
    load_nested_patch(static_cast<GENERATOR&>(m), std::string(f.value).c_str());
}

template <class T>
constexpr param_desc oscillator_params[] = {
    {"TYPE", set_vco_wave<T>},
    {"FREQ", set_float<T, &T::freq>},
    {"AMOUNT", set_float<T, &T::amount>},
    {"NOTE", set_note<T>},
    {"PHASE", set_float<T, &T::phase>},
};

constexpr param_desc fake303_params[] = {
    {"TYPE", set_fake303_wave},
    {"FREQ", set_float<FAKE303, &FAKE303::freq>},
    {"AMOUNT", set_float<FAKE303, &FAKE303::amount>},
    {"NOTE", set_note<FAKE303>},
    {"PHASE", set_float<FAKE303, &FAKE303::phase>},
};

constexpr param_desc sequencer_params[] = {
    {"PARTITION_FILE_NAME", SEQUENCER::apply_partition_file_name},
    {"DIVIDER", SEQUENCER::apply_divider_key},
    {"NBR_STEP", SEQUENCER::apply_nbr_step_key},
    {"NOTE", SEQUENCER::apply_note_key},
    {"BYPASS", SEQUENCER::apply_bypass_key},
    {"VOLUME", SEQUENCER::apply_volume_key},
    {"LENGHT", SEQUENCER::apply_length_key},
};

constexpr param_desc sfx_delay_params[] = {
    {"DELAY", call_float<SFX_DELAY, &SFX_DELAY::set_delay>},
    {"VOLUME", set_float<SFX_DELAY, &SFX_DELAY::volume>},
};

constexpr param_desc phaser_params[] = {
    {"BYPASS", set_int<PHASER, &PHASER::bypass>},
    {"HI", call_float<PHASER, &PHASER::set_hi>},
    {"LOW", call_float<PHASER, &PHASER::set_low>},
    {"RATE", call_float<PHASER, &PHASER::set_rate>},
    {"DEPTH", set_float<PHASER, &PHASER::depth>},
    {"FEEDBACK", set_float<PHASER, &PHASER::feedback>},
};

constexpr param_desc formant_params[] = {
    {"BYPASS", set_int<FORMANT_VCF, &FORMANT_VCF::bypass>},
    {"VOWELNUM", set_int_as_float<FORMANT_VCF, &FORMANT_VCF::vowelnum>},
    {"GAIN", set_int_as_float<FORMANT_VCF, &FORMANT_VCF::gain>},
};

constexpr param_desc vcf303_params[] = {
    {"BYPASS", set_int<VCF303, &VCF303::bypass>},
    {"HICUT", call_int<VCF303, &VCF303::set_hicut>},
    {"MIX", set_float<VCF303, &VCF303::mix>},
    {"Q", set_float<VCF303, &VCF303::q>},
};

constexpr param_desc vcf_params[] = {
    {"BYPASS", set_int<VCF, &VCF::bypass>},
    {"HICUT", call_int<VCF, &VCF::set_hicut>},
    {"AMOUNT", set_float<VCF, &VCF::level>},
    {"TYPE", set_int<VCF, &VCF::type>},
    {"GAIN", set_vcf_gain},
    {"Q", set_float<VCF, &VCF::q>},
};

constexpr param_desc keyboard_params[] = {{"OCTAVE", set_int<KEYBOARD, &KEYBOARD::octave>}};
constexpr param_desc sampler_params[] = {{"FILE", load_sampler_file}};
constexpr param_desc generator_params[] = {{"FILE", load_nested_file}};

constexpr param_desc vca_params[] = {
    {"ATTACK", set_int_as_float<VCA, &VCA::attack>},
    {"INVERT", set_int<VCA, &VCA::invert>},
    {"BYPASS", set_int<VCA, &VCA::bypass>},
    {"DECAY", set_int_as_float<VCA, &VCA::decay>},
    {"SUSTAIN", set_int_as_float<VCA, &VCA::sustain>},
    {"RELEASE", set_int_as_float<VCA, &VCA::release>},
};

constexpr param_desc basic_operation_params[] = {
    {"TYPE", set_int<BASIC_OPERATION, &BASIC_OPERATION::type>}};
constexpr param_desc constante_params[] = {
    {"VALUE", set_int_as_float<CONSTANTE, &CONSTANTE::constant>}};

constexpr param_desc mixer_params[] = {
    {"V", MIXER::apply_volume_key},
    {"BYP", MIXER::apply_bypass_key},
};

// ---- slots -------------------------------------------------------------------
// In the order the writer writes them; the reader connects those marked read.

constexpr std::uint8_t RS = slot_read | slot_saved;
constexpr std::uint8_t R = slot_read;
constexpr std::uint8_t S = slot_saved;

constexpr source_rule key_then_sequencer[] = {{"KEY", K::KEYBOARD}, {"SEQUENCER", K::SEQUENCER}};
constexpr source_rule sequencer_then_key[] = {{"SEQUENCER", K::SEQUENCER}, {"KEY", K::KEYBOARD}};
constexpr source_rule key_then_seq[] = {{"KEY", K::KEYBOARD}, {"SEQ", K::SEQUENCER}};
constexpr source_rule key_only[] = {{"KEY", K::KEYBOARD}};
constexpr source_rule vca_gate_sources[] = {
    {"KEY", K::KEYBOARD}, {"SEQUENCER", K::SEQUENCER}, {"SOUND_IN", K::SOUND_INPUT}};

template <class T, auto M>
constexpr slot_desc sig(const char* key, std::uint8_t flags, const char* plug) {
    return {key, slot_kind::signal, flags, plug, signal_of<T, M>, nullptr, {}};
}
template <class T, auto M, std::size_t N>
constexpr slot_desc gate(const char* key, std::uint8_t flags, const char* plug,
                         const source_rule (&rules)[N]) {
    return {key, slot_kind::gate, flags, plug, nullptr, flag_of<T, M>, rules};
}
template <class T, auto M, std::size_t N>
constexpr slot_desc sync(const char* key, std::uint8_t flags, const char* plug,
                         const source_rule (&rules)[N]) {
    return {key, slot_kind::sync, flags, plug, nullptr, flag_of<T, M>, rules};
}

// VCO and MULTI_VCO: the modulation and replacement inputs are read from files,
// GATE and SYNC are only saved.
template <class T>
constexpr slot_desc oscillator_slots[] = {
    sig<T, &T::in>("IN", RS, "INPUT"),
    sig<T, &T::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<T, &T::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<T, &T::mod_phase>("MOD_PHASE", RS, "INPUT_MOD_PHASE"),
    sig<T, &T::mod_pwm>("MOD_PWM", RS, "INPUT_MOD_PWM"),
    sig<T, &T::alt_amp>("ALT_AMP", RS, "INPUT_AMP"),
    sig<T, &T::alt_freq>("ALT_FREQ", RS, "INPUT_FREQ"),
    sig<T, &T::alt_phase>("ALT_PHASE", RS, "INPUT_PHASE"),
    sig<T, &T::alt_pwm>("ALT_PWM", RS, "INPUT_PWM"),
    gate<T, &T::gate_in>("GATE", S, "INPUT_GATE", key_then_sequencer),
    sync<T, &T::sync_in>("SYNC", S, "INPUT_SYNC", sequencer_then_key),
};

// FAKE303 links are written but never read back.
constexpr slot_desc fake303_slots[] = {
    sig<FAKE303, &FAKE303::in>("IN", S, "INPUT"),
    sig<FAKE303, &FAKE303::mod_amp>("MOD_AMP", S, "INPUT_MOD_AMP"),
    sig<FAKE303, &FAKE303::mod_freq>("MOD_FREQ", S, "INPUT_MOD_FREQ"),
    sig<FAKE303, &FAKE303::mod_phase>("MOD_PHASE", S, "INPUT_MOD_PHASE"),
    sig<FAKE303, &FAKE303::mod_pwm>("MOD_PWM", S, "INPUT_MOD_PWM"),
    sig<FAKE303, &FAKE303::alt_amp>("ALT_AMP", S, "INPUT_AMP"),
    sig<FAKE303, &FAKE303::alt_freq>("ALT_FREQ", S, "INPUT_FREQ"),
    sig<FAKE303, &FAKE303::alt_phase>("ALT_PHASE", S, "INPUT_PHASE"),
    sig<FAKE303, &FAKE303::alt_pwm>("ALT_PWM", S, "INPUT_PWM"),
    gate<FAKE303, &FAKE303::gate_in>("GATE", S, "INPUT_GATE", key_then_sequencer),
    sync<FAKE303, &FAKE303::sync_in>("SYNC", S, "INPUT_SYNC", sequencer_then_key),
};

template <class T>
constexpr slot_desc filter_slots[] = {
    sig<T, &T::in>("IN", RS, "INPUT"),
    sig<T, &T::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<T, &T::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<T, &T::mod_q>("MOD_Q", RS, "INPUT_MOD_Q"),
    sig<T, &T::mod_gain>("MOD_GAIN", RS, "INPUT_MOD_GAIN"),
    sig<T, &T::alt_amp>("ALT_AMP", RS, "INPUT_ALT_AMP"),
    sig<T, &T::alt_freq>("ALT_FREQ", RS, "INPUT_ALT_FREQ"),
    sig<T, &T::alt_q>("ALT_Q", RS, "INPUT_ALT_Q"),
    sig<T, &T::alt_gain>("ALT_GAIN", RS, "INPUT_ALT_GAIN"),
    gate<T, &T::gate_in>("GATE", RS, "INPUT_GATE", key_then_sequencer),
    sync<T, &T::sync_in>("SYNC", RS, "INPUT_SYNC", sequencer_then_key),
};

constexpr slot_desc formant_slots[] = {
    sig<FORMANT_VCF, &FORMANT_VCF::in>("IN", RS, "INPUT"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_phase>("MOD_PHASE", RS, "INPUT_MOD_PHASE"),
    gate<FORMANT_VCF, &FORMANT_VCF::gate_in>("GATE", RS, "INPUT_GATE", key_then_sequencer),
    sync<FORMANT_VCF, &FORMANT_VCF::sync_in>("SYNC", RS, "INPUT_SYNC", sequencer_then_key),
};

// MOD_PHASE is read from files but not saved.
constexpr slot_desc sampler_slots[] = {
    sig<SAMPLER, &SAMPLER::in>("IN", RS, "INPUT"),
    sig<SAMPLER, &SAMPLER::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<SAMPLER, &SAMPLER::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<SAMPLER, &SAMPLER::mod_phase>("MOD_PHASE", R, "INPUT_MOD_PHASE"),
    gate<SAMPLER, &SAMPLER::gate_in>("GATE", RS, "INPUT_GATE", key_then_sequencer),
    sync<SAMPLER, &SAMPLER::sync_in>("SYNC", RS, "INPUT_SYNC", sequencer_then_key),
};

constexpr slot_desc generator_slots[] = {
    sig<GENERATOR, &GENERATOR::in>("IN", RS, "INPUT"),
    gate<GENERATOR, &GENERATOR::gate_in>("GATE", RS, "INPUT_GATE", key_then_seq),
    sync<GENERATOR, &GENERATOR::sync_in>("SYNC", RS, "INPUT_SYNC", key_then_seq),
};

constexpr slot_desc vca_slots[] = {
    sig<VCA, &VCA::in>("IN", RS, "INPUT"),
    gate<VCA, &VCA::gate_in>("GATE", RS, "INPUT_GATE", vca_gate_sources),
};

// The port's connections are read from files but never saved.
constexpr slot_desc sound_input_slots[] = {
    sig<SOUND_INPUT, &SOUND_INPUT::in>("IN", R, "INPUT"),
    gate<SOUND_INPUT, &SOUND_INPUT::gate_in>("IN_GATE", R, nullptr, sequencer_then_key),
    sync<SOUND_INPUT, &SOUND_INPUT::sync_in>("IN_SYNC", R, nullptr, sequencer_then_key),
};

constexpr slot_desc sequencer_slots[] = {
    sig<SEQUENCER, &SEQUENCER::input_part>("INPUT_PART", RS, "INPUT_PART"),
    sync<SEQUENCER, &SEQUENCER::sync_in>("SYNC", RS, nullptr, key_only),
};

// The delay's modulation and replacement inputs are made in the editor only.
constexpr slot_desc sfx_delay_slots[] = {
    sig<SFX_DELAY, &SFX_DELAY::in>("IN", RS, "INPUT"),
    sig<SFX_DELAY, &SFX_DELAY::delay_mod>("MOD_FREQ", 0, "INPUT_MOD_FREQ"),
    sig<SFX_DELAY, &SFX_DELAY::delay_alt>("ALT_FREQ", 0, "INPUT_ALT_FREQ"),
};

constexpr slot_desc basic_operation_slots[] = {
    sig<BASIC_OPERATION, &BASIC_OPERATION::in2>("IN2", RS, "INPUT2"),
    sig<BASIC_OPERATION, &BASIC_OPERATION::in1>("IN1", RS, "INPUT1"),
    sig<BASIC_OPERATION, &BASIC_OPERATION::in_if>("IN_IF", RS, "INPUT_IF"),
};

constexpr slot_desc variable_slots[] = {
    sig<VARIABLE, &VARIABLE::in>("IN", RS, "INPUT"),
    sig<VARIABLE, &VARIABLE::in_assign>("IN_ASSIGN", RS, "INPUT_ASSIGN"),
};

template <class T>
constexpr slot_desc single_input_slot[] = {sig<T, &T::in>("IN", RS, "INPUT")};

// One channel is added per ADD_CHANELL field; the editor's plugs are "INPUT_n".
constexpr slot_desc mixer_slots[] = {
    {"ADD_CHANELL", slot_kind::channel, RS, "INPUT_%d", nullptr, nullptr, {}}};

// ---- the table ---------------------------------------------------------------

constexpr empty_field NOT_READ = empty_field::not_read;
constexpr empty_field REJECT = empty_field::reject_record;
constexpr empty_field SKIP = empty_field::skip_field;
constexpr empty_field END = empty_field::end_record;

const module_type types[module_kind_count] = {
    {K::AFFICHAGE,
     "AFFICHAGE",
     "AFFICHAGE",
     "AFFICHAGE",
     "AFFICHAGE",
     "AFFICHAGE",
     NOT_READ,
     true,
     single_input_slot<AFFICHAGE>,
     {},
     create_as<AFFICHAGE>,
     destroy_as<AFFICHAGE>,
     tick_list<AFFICHAGE>,
     write_as<AFFICHAGE>,
     own_value,
     nullptr,
     nullptr},
    {K::BASIC_OPERATION, "BASIC_OPERATION", "BASIC_OPERATION", "BASIC_OPERATION", "BASIC_OPERATION",
     "BASIC_OPERATION", REJECT, true, basic_operation_slots, basic_operation_params,
     create_as<BASIC_OPERATION>, destroy_as<BASIC_OPERATION>, tick_list<BASIC_OPERATION>,
     write_as<BASIC_OPERATION>, own_value, nullptr, nullptr},
    {K::CONSTANTE,
     "CONSTANTE",
     "CONSTANTE",
     "CONSTANTE",
     "CONSTANTE",
     nullptr,
     REJECT,
     false,
     {},
     constante_params,
     create_constante,
     destroy_as<CONSTANTE>,
     tick_list<CONSTANTE>,
     write_as<CONSTANTE>,
     own_value,
     nullptr,
     nullptr},
    {K::FAKE303, "FAKE303", "FAKE303", "FAKE303", "FAKE303", nullptr, REJECT, true, fake303_slots,
     fake303_params, create_oscillator<FAKE303>, destroy_as<FAKE303>, tick_list<FAKE303>,
     write_as<FAKE303>, own_value, nullptr, nullptr},
    {K::GENERATOR, "GENERATOR", "GENERATOR", "GENERATOR", "GENERATOR", "GENERATOR", REJECT, true,
     generator_slots, generator_params, create_as<GENERATOR>, destroy_as<GENERATOR>,
     tick_list<GENERATOR>, write_as<GENERATOR>, own_value, nullptr, nullptr},
    {K::KEYBOARD,
     "KEYBOARD",
     "KEY",
     "KEYBOARD",
     "KEY",
     nullptr,
     SKIP,
     false,
     {},
     keyboard_params,
     create_as<KEYBOARD>,
     destroy_as<KEYBOARD>,
     tick_list<KEYBOARD>,
     write_as<KEYBOARD>,
     own_value,
     own_gate<KEYBOARD>,
     own_pulse<KEYBOARD>},
    {K::MIXER, "MIXER", "MIXER", "MIXER", "MIXER", "MIXER", END, true, mixer_slots, mixer_params,
     create_as<MIXER>, destroy_as<MIXER>, tick_list<MIXER>, write_as<MIXER>, own_value, nullptr,
     nullptr},
    {K::MICRO,
     "MICRO",
     "MICRO",
     "MICRO",
     "MICRO",
     nullptr,
     NOT_READ,
     false,
     {},
     {},
     create_as<MICRO>,
     destroy_as<MICRO>,
     tick_list<MICRO>,
     write_as<MICRO>,
     own_value,
     nullptr,
     nullptr},
    {K::PHASER, "PHASER", "PHASER", "PHASER", "PHASER", "PHASER", SKIP, true,
     single_input_slot<PHASER>, phaser_params, create_as<PHASER>, destroy_as<PHASER>,
     tick_list<PHASER>, write_as<PHASER>, own_value, nullptr, nullptr},
    {K::SEQUENCER, "SEQUENCER", "SEQUENCER", "SEQUENCER", "SEQUENCER", "SEQUENCER", REJECT, true,
     sequencer_slots, sequencer_params, create_as<SEQUENCER>, destroy_as<SEQUENCER>,
     tick_list<SEQUENCER>, write_as<SEQUENCER>, own_value, own_gate<SEQUENCER>,
     own_pulse<SEQUENCER>},
    {K::SAMPLER, "SAMPLER", "SAMPLER", "SAMPLER", "SAMPLER", "SAMPLER", REJECT, true, sampler_slots,
     sampler_params, create_as<SAMPLER>, destroy_as<SAMPLER>, tick_list<SAMPLER>, write_as<SAMPLER>,
     own_value, nullptr, nullptr},
    {K::SFX_DELAY, "SFX_DELAY", "SFX_DELAY", "SFX_DELAY", "SFX_DELAY", "SFX_DELAY", SKIP, true,
     sfx_delay_slots, sfx_delay_params, create_as<SFX_DELAY>, destroy_as<SFX_DELAY>,
     tick_list<SFX_DELAY>, write_as<SFX_DELAY>, own_value, nullptr, nullptr},
    {K::SOUND_INPUT,
     "SOUND_INPUT",
     "SOUND_IN",
     "SOUND_INPUT",
     "SOUND_INPUT",
     "SOUND_IN",
     NOT_READ,
     true,
     sound_input_slots,
     {},
     create_as<SOUND_INPUT>,
     destroy_as<SOUND_INPUT>,
     tick_list<SOUND_INPUT>,
     write_as<SOUND_INPUT>,
     port_value,
     port_gate,
     port_pulse},
    {K::SOUND_OUTPUT,
     "SOUND_OUTPUT",
     "SOUND_OUT",
     "SOUND_OUTPUT",
     "SOUND_OUTPUT",
     "SOUND_OUTPUT",
     NOT_READ,
     true,
     single_input_slot<SOUND_OUTPUT>,
     {},
     create_as<SOUND_OUTPUT>,
     destroy_as<SOUND_OUTPUT>,
     tick_list<SOUND_OUTPUT>,
     write_as<SOUND_OUTPUT>,
     own_value,
     nullptr,
     nullptr},
    {K::VARIABLE,
     "VARIABLE",
     "VARIABLE",
     "VARIABLE",
     "VARIABLE",
     "VARIABLE",
     NOT_READ,
     true,
     variable_slots,
     {},
     create_variable,
     destroy_as<VARIABLE>,
     tick_list<VARIABLE>,
     write_as<VARIABLE>,
     own_value,
     nullptr,
     nullptr},
    {K::VCA, "VCA", "VCA", "VCA", "VCA", "VCA", REJECT, true, vca_slots, vca_params, create_as<VCA>,
     destroy_as<VCA>, tick_list<VCA>, write_as<VCA>, own_value, nullptr, nullptr},
    {K::FORMANT_VCF, "FORMANT_VCF", "FORMANT_VCF", "FORMANT_VCF", "FORMANT_VCF", "FORMANT_VCF",
     SKIP, true, formant_slots, formant_params, create_as<FORMANT_VCF>, destroy_as<FORMANT_VCF>,
     tick_list<FORMANT_VCF>, write_as<FORMANT_VCF>, own_value, nullptr, nullptr},
    {K::VCF303, "VCF303", "VCF303", "VCF303", "VCF303", "VCF303", SKIP, true, filter_slots<VCF303>,
     vcf303_params, create_as<VCF303>, destroy_as<VCF303>, tick_list<VCF303>, write_as<VCF303>,
     own_value, nullptr, nullptr},
    {K::VCF, "VCF", "VCF", "VCF", "VCF", "VCF", SKIP, true, filter_slots<VCF>, vcf_params,
     create_as<VCF>, destroy_as<VCF>, tick_list<VCF>, write_as<VCF>, own_value, nullptr, nullptr},
    {K::MULTI_VCO, "MULTI_VCO", "MULTI_VCO", "MULTI_VCO", "MULTI_VCO", "MULTI_VCO", REJECT, true,
     oscillator_slots<MULTI_VCO>, oscillator_params<MULTI_VCO>, create_oscillator<MULTI_VCO>,
     destroy_as<MULTI_VCO>, tick_list<MULTI_VCO>, write_as<MULTI_VCO>, own_value, nullptr, nullptr},
    {K::VCO, "VCO", "VCO", "VCO", "VCO", "VCO", REJECT, true, oscillator_slots<VCO>,
     oscillator_params<VCO>, create_oscillator<VCO>, destroy_as<VCO>, tick_list<VCO>, write_as<VCO>,
     own_value, nullptr, nullptr},
};
} // namespace

const module_type& type_of(module_kind kind) {
    return types[index_of(kind)];
}

} // namespace tmod
