#include "modules/vcf303_formant.hpp"

#include <cmath>

#include "engine/module_tick.hpp"
#include "util/dsp/runaway.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {} // namespace

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

void VCF303::write_params(std::string& out) const {
    appendf(out, "%s;HICUT=%d;Q=%f;MIX=%f;BYPASS=%d;\n", name, hicut.load(), q.load(), mix.load(),
            bypass.load());
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

void FORMANT_VCF::write_params(std::string& out) const {
    appendf(out, "%s;GAIN=%f;VOWELNUM=%d;BYPASS=%d;\n", name, gain.load(), saturating_int(vowelnum),
            bypass.load());
}

template void tick_list<VCF303>(const module_ptr*, std::size_t);
template void tick_list<FORMANT_VCF>(const module_ptr*, std::size_t);

} // namespace tmod
