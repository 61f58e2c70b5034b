#include "modules/vcf303_formant.hpp"

#include <cmath>

#include "engine/module_tick.hpp"
#include "modules/rows.hpp"
#include "util/dsp/runaway.hpp"

namespace tmod {

VCF303::VCF303() : OUTPUT(name_storage), spring(1400.0f) {}

void VCF303::set_hicut(int hz) {
    hicut = hz;
    spring.rest();
    q = 0.995f;
    current_cutoff = static_cast<float>(hz);
    spring.set_cutoff(current_cutoff);
}

int VCF303::compute() {
    if (!power) {
        value = clamp_unit(value);
        return 1;
    }
    const sample_value* source = in.source();
    if (!source || bypass) {
        value = clamp_unit(source ? source->load() : 0.0f);
        return 1;
    }
    const float f = modulated(mod_freq, replaced(alt_freq, static_cast<float>(hicut.load())));
    if (sync_in.read_or(0)) {
        current_cutoff = f;
        spring.set_cutoff(current_cutoff);
    }
    const float x = source->load();
    const float y = spring.step(x, q.load());
    // The cut-off keeps falling until the next sync pulse; nothing stops it at 0.
    current_cutoff = current_cutoff - 0.12f;
    spring.set_cutoff(current_cutoff);
    const float wet = mix.load() / 10.0f;
    value = clamp_unit((1.0f - wet) * x + wet * y);
    return 1;
}

// Vowels A, E, I, O, U: c0 weighs the input, c1..c10 the last ten outputs.
const double FORMANT_VCF::coefficients[vowel_count][11] = {
    {3.11044e-06, 8.943665402, -36.83889529, 92.01697887, -154.337906, 181.6233289, -151.8651235,
     89.09614114, -35.10298511, 8.388101016, -0.923313471},
    {4.36215e-06, 8.90438318, -36.55179099, 91.05750846, -152.422234, 179.1170248, -149.6496211,
     87.78352223, -34.60687431, 8.282228154, -0.914150747},
    {3.33819e-06, 8.893102966, -36.49532826, 90.96543286, -152.4545478, 179.4835618, -150.315433,
     88.43409371, -34.98612086, 8.407803364, -0.932568035},
    {1.13572e-06, 8.994734087, -37.2084849, 93.22900521, -156.6929844, 184.596544, -154.3755513,
     90.49663749, -35.58964535, 8.478996281, -0.929252233},
    {4.09431e-07, 8.997322763, -37.20218544, 93.11385476, -156.2530937, 183.7080141, -153.2631681,
     89.59539726, -35.12454591, 8.338655623, -0.910251753},
};

FORMANT_VCF::FORMANT_VCF() : OUTPUT(name_storage) {}

int FORMANT_VCF::compute() {
    const sample_value* source = in.source();
    if (!power || !source) {
        value = clamp_unit(value);
        return 1;
    }
    const float x = source->load();
    if (bypass) {
        value = clamp_unit(x);
        return 1;
    }
    if (x == 0.0f) {
        value = 0.0f;
        return 1;
    }
    // Only vowels 0..4 exist: a VOWELNUM outside 0..4.99 sings the nearest one.
    const int v = clamp_index(saturating_int(vowelnum), vowel_count);
    const double* c = coefficients[v];
    long double sum = static_cast<long double>(c[0]) * x;
    for (int i = 0; i < 10; ++i) sum += static_cast<long double>(c[i + 1]) * memory[i];
    float y = static_cast<float>(sum);
    if (runaway(y)) {
        for (double& m : memory) m = 0.0;
        y = 0.0f;
    } else {
        for (int i = 9; i > 0; --i) memory[i] = memory[i - 1];
        memory[0] = y;
    }
    const float wet = mix;
    value = clamp_unit((1.0f - wet) * x + wet * y);
    return 1;
}

template void tick_list<VCF303>(const module_ptr*, std::size_t);
template void tick_list<FORMANT_VCF>(const module_ptr*, std::size_t);

namespace {
using namespace row;

// The record "HICUT;Q;MIX;BYPASS", Q and MIX with six decimals (kept exactly
// at the end). Setting HICUT restarts the spring and resets Q: several words
// the tick reads.
constexpr param_desc vcf303_params[] = {
    bypass_switch<VCF303>(1).written(3, "%d"),
    number_set_by<VCF303, &VCF303::hicut, &VCF303::set_hicut>("HICUT")
        .range(1, 12000, 1400)
        .steps(step_rule::cutoff)
        .display("%5d", "HICUTOFF")
        .written(0, "%d"),
    number<VCF303, &VCF303::mix>("MIX")
        .range(0.0, 10.0, 10.0)
        .steps(step_rule::fixed, 0.1f)
        .display("%2.3f", "LEVEL")
        .written(2, "%f")
        .kept("WET"),
    number<VCF303, &VCF303::q>("Q")
        .range(0.00002, 0.995, 0.995)
        .steps(step_rule::resonance)
        .display("%3.5f", "RESO")
        .written(1, "%f")
        .kept("DAMPING"),
};

constexpr param_desc vcf303_panel_params[] = {power_switch<VCF303>()};

constexpr const char* vowel_names[] = {"A", "E", "I", "O", "U"};

// The record "GAIN;VOWELNUM;BYPASS", both read as integers (kept exactly at
// the end). The panel's GAIN slider moves the vowel; GAIN itself is only kept.
constexpr param_desc formant_params[] = {
    bypass_switch<FORMANT_VCF>(1).written(2, "%d"),
    whole_number<FORMANT_VCF, &FORMANT_VCF::vowelnum>("VOWELNUM")
        .range(0, FORMANT_VCF::vowel_count - 1, 0)
        .steps(step_rule::fixed, 0.01f)
        .named(vowel_names)
        .display("%3.2f", "GAIN")
        .written(1, "%d")
        .kept("SHAPE"),
    whole_number<FORMANT_VCF, &FORMANT_VCF::gain>("GAIN")
        .range(-unbounded, unbounded, 1.0)
        .written(0, "%f")
        .kept("BOOST"),
};

constexpr param_desc formant_panel_params[] = {power_switch<FORMANT_VCF>()};

constexpr slot_desc formant_slots[] = {
    sig<FORMANT_VCF, &FORMANT_VCF::in>("IN", RS, "INPUT"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_amp>("MOD_AMP", RS, "INPUT_MOD_AMP"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_freq>("MOD_FREQ", RS, "INPUT_MOD_FREQ"),
    sig<FORMANT_VCF, &FORMANT_VCF::mod_phase>("MOD_PHASE", RS, "INPUT_MOD_PHASE"),
    gate<FORMANT_VCF, &FORMANT_VCF::gate_in>("GATE", RS, "INPUT_GATE", key_then_sequencer),
    sync<FORMANT_VCF, &FORMANT_VCF::sync_in>("SYNC", RS, "INPUT_SYNC", sequencer_then_key),
};
} // namespace

const module_type formant_vcf_type = {module_kind::FORMANT_VCF,
                                      "FORMANT_VCF",
                                      "FORMANT_VCF",
                                      "FORMANT_VCF",
                                      "FORMANT_VCF",
                                      "FORMANT_VCF",
                                      SKIP,
                                      true,
                                      formant_slots,
                                      formant_params,
                                      formant_panel_params,
                                      create_as<FORMANT_VCF>,
                                      destroy_as<FORMANT_VCF>,
                                      tick_list<FORMANT_VCF>,
                                      nullptr,
                                      own_value,
                                      nullptr,
                                      nullptr};

const module_type vcf303_type = {module_kind::VCF303,
                                 "VCF303",
                                 "VCF303",
                                 "VCF303",
                                 "VCF303",
                                 "VCF303",
                                 SKIP,
                                 true,
                                 filter_slots<VCF303>,
                                 vcf303_params,
                                 vcf303_panel_params,
                                 create_as<VCF303>,
                                 destroy_as<VCF303>,
                                 tick_list<VCF303>,
                                 nullptr,
                                 own_value,
                                 nullptr,
                                 nullptr};

} // namespace tmod
