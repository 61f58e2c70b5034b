#include "modules/multi_vco.hpp"

#include "engine/module_tick.hpp"
#include "modules/oscillator_rows.hpp"

namespace tmod {

MULTI_VCO::MULTI_VCO(float amplitude, float frequency, int wave)
    : OUTPUT(name_storage), amount(amplitude), freq(frequency), type(wave) {
    set_name("Emptynamed_MULTI_VCO");
    for (VCO& v : voices) {
        v.freq = frequency;
        v.phase = 0.0f;
        v.amount = 1.0f;
        v.type = wave;
    }
}

int MULTI_VCO::compute() {
    float out = 0.0f;
    if (power) {
        if (sync_in.read_or(0))
            for (VCO& v : voices) v.restart_ramp();

        float a = replaced(alt_amp, amount);
        float f = replaced(alt_freq, freq);
        float p = replaced(alt_phase, phase);
        float w = replaced(alt_pwm, 0.1f);
        if (a > 1.0f) a = 1.0f;

        const int count = voice_count;
        const int voices_on = count < 0 ? 0 : (count > max_voices ? max_voices : count);
        for (int i = 0; i < voices_on; ++i) {
            VCO& v = voices[i];
            const float tuning = v.freq;
            if (in.connected()) {
                f = (alt_freq.connected() ? alt_freq.read_or(0.0f) : in.read_or(0.0f) * tuning) /
                    44.0f;
                last_input_freq = f;
            }
            // The working values carry over from voice to voice, so a modulation
            // compounds once more for every voice.
            a = modulated(mod_amp, a);
            f = modulated(mod_freq, f);
            p = modulated(mod_phase, p);
            w = modulated(mod_pwm, w);
            // The voice computes with F and A in place of its own FREQ and
            // AMOUNT, which stay as they are (its FREQ is its tuning factor).
            v.compute_voice(type, f, a);
            out += v.value.load() / static_cast<float>(count);
        }
        // The voices already applied A once, so the level follows A squared.
        out = a * out;
    }
    if (out >= 1.0f) out = 1.0f;
    if (out <= -1.0f) out = -1.0f;
    value = out;
    return 1;
}

template void tick_list<MULTI_VCO>(const module_ptr*, std::size_t);

namespace {
using namespace row;

// A voice's FREQ is its tuning factor, kept at the end of the record.
double get_voice_freq(const OUTPUT& m, int i) {
    return static_cast<const MULTI_VCO&>(m).voices[clamp_index(i, MULTI_VCO::max_voices)].freq;
}
void set_voice_freq(OUTPUT& m, int i, double v) {
    static_cast<MULTI_VCO&>(m).voices[clamp_index(i, MULTI_VCO::max_voices)].freq =
        static_cast<float>(v);
}
constexpr param_desc voice_tuning() {
    param_desc d;
    d.get = get_voice_freq, d.set = set_voice_freq, d.count = MULTI_VCO::max_voices;
    return d;
}

constexpr param_desc multi_vco_panel_params[] = {
    voice_tuning()
        .range(0.001, 22050.0, 110.0)
        .steps(step_rule::bands)
        .display("%5.3f", "SLD_FREQ_%02d")
        .kept("TUNING"),
    panel_number<MULTI_VCO, &MULTI_VCO::voice_count>()
        .range(1, MULTI_VCO::max_voices - 1, 4)
        .steps(step_rule::fixed, 1.0f)
        .display("%d", "SLIDER_NBR_VCO")
        .kept("VOICES"),
    power_switch<MULTI_VCO>(),
};
} // namespace

const module_type multi_vco_type = {
    module_kind::MULTI_VCO,
    "MULTI_VCO",
    "MULTI_VCO",
    "MULTI_VCO",
    "MULTI_VCO",
    "MULTI_VCO",
    REJECT,
    true,
    oscillator_slots<MULTI_VCO>,
    oscillator_params<MULTI_VCO, read_vco_wave<MULTI_VCO>, wave_random_sign>,
    multi_vco_panel_params,
    create_oscillator<MULTI_VCO>,
    destroy_as<MULTI_VCO>,
    tick_list<MULTI_VCO>,
    nullptr,
    own_value,
    nullptr,
    nullptr};

} // namespace tmod
