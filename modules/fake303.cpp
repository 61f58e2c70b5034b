#include "modules/fake303.hpp"

#include <cmath>

#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"
#include "modules/oscillator_rows.hpp"
#include "util/dsp/runaway.hpp"
#include "util/text_format.hpp"

namespace tmod {

float sixteenth_note_samples(int bpm) {
    // (4 * tempo) / 60 sixteenths per second in whole numbers; below 15 BPM
    // that is 0, so the exact length is used instead of dividing by zero.
    const int per_second = static_cast<int>((4LL * bpm) / 60);
    if (per_second >= 1) return float(sample_rate) / static_cast<float>(per_second);
    return float(sample_rate) * 60.0f / (4.0f * static_cast<float>(bpm < 1 ? 1 : bpm));
}

FAKE303::FAKE303(float amplitude, float frequency, int wave)
    : OUTPUT(name_storage), step_length(sixteenth_note_samples(tempo_bpm)), amount(amplitude),
      freq(frequency), type(wave), filter(1400.0f) {
    set_name("Emptynamed_FAKE_303");
}

void FAKE303::set_cutoff(int hz) {
    cutoff = hz;
    filter.rest();
    damping = 0.995f;
    current_cutoff = static_cast<float>(hz);
    filter.set_cutoff(current_cutoff);
}

int FAKE303::compute() {
    float y = 0.0f;
    if (power) {
        if (sync_in.read_or(0)) ramp = 0.0f;
        float a = replaced(alt_amp, amount);
        float f = replaced(alt_freq, freq);
        float p = replaced(alt_phase, phase);
        float w = replaced(alt_pwm, pulse_width);
        if (in.connected()) {
            f = (alt_freq.connected() ? alt_freq.read_or(0.0f) : in.read_or(0.0f) * freq) / 44.0f;
            last_input_freq = f;
        }
        a = modulated(mod_amp, a);
        f = modulated(mod_freq, f);
        p = modulated(mod_phase, p); // modulated but not heard
        w = modulated(mod_pwm, w);
        (void)p, (void)w;
        if (a > 1.0f) a = 1.0f;

        ramp = ramp + f / float(sample_rate);
        if (ramp > 1.0f) ramp = -1.0f;
        step_ramp = step_ramp + f / float(sample_rate);
        if (step_ramp > 1.0f) step_ramp = step_ramp - 1.0f;
        if (step_ramp < 0.0f) step_ramp = step_ramp + 1.0f; // a negative frequency
        // An infinite or NaN frequency restarts the ramp, so the voice sounds
        // again once the frequency is a number.
        if (runaway(step_ramp)) step_ramp = 0.0f;

        step_length = sixteenth_note_samples(tempo_bpm);
        if (sine_divisor.load() == 0.0f) sine_divisor.store_quietly(1e-07f);
        if (type > 4) type.store_quietly(1);

        float x = 0.0f;
        const auto sine = [&] {
            return std::sin((sine_offset.load() + step_ramp) * 6.2831853f / sine_divisor.load());
        };
        switch (type.load()) {
        case 1:
            x = sine();
            break;
        case 2:
        case 4:
            x = step_ramp;
            break;
        case 3: {
            const float s = sine();
            x = s > 0.5f ? 1.0f : (s < -0.5f ? -1.0f : 0.0f);
            break;
        }
        default:
            break;
        }
        if (noise_switch == 1) {
            if (noise_divisor.load() == 0.0f) noise_divisor.store_quietly(0.001f);
            const int range = saturating_int(10000.0f * noise_scale.load());
            // A scale below 1/10000 leaves no range to draw from: the draw is then 1.
            const int r = (range > 0 ? random.next() % range : 0) + 1;
            x = x + noise_amount.load() / ((r / noise_divisor.load()) * noise_scale.load());
        }
        if (dist_switch == 1) {
            const float whole = std::fabs(static_cast<float>(saturating_int(x)));
            x = x / ((whole + dist_offset.load()) * dist_divisor.load()) * dist_gain.load();
        }
        if (env_switch) x = ((step_length - step_position) / step_length) * env_level.load() * x;
        if (filter_switch == 1) {
            x = (filter_level.load() / 10.0f) * filter.step(x, damping);
            current_cutoff = current_cutoff - 0.12f;
            filter.set_cutoff(current_cutoff);
        }
        y = clamp_unit(x * a);
    }
    // Every sixteenth note restarts the waveform, the envelope and the sweep.
    step_position = step_position + 1.0f;
    if (step_position > step_length) {
        step_position = 0.0f;
        current_cutoff = static_cast<float>(cutoff.load());
        filter.set_cutoff(current_cutoff);
        step_ramp = 0.0f;
    }
    value = clamp_unit(y);
    return 1;
}

template void tick_list<FAKE303>(const module_ptr*, std::size_t);

namespace {
using namespace row;

// Waveform digits 1 to 5; anything else is a sine.
void read_fake303_wave(OUTPUT& m, const field_text& f) {
    const char c = f.value.empty() ? '\0' : f.value[0];
    static_cast<FAKE303&>(m).type = c >= '1' && c <= '5' ? c - '0' : 1;
}

template <auto Member>
constexpr param_desc fake303_switch(int initial, const char* control, const char* kept_key) {
    return panel_number<FAKE303, Member>()
        .range(0, 1, initial)
        .steps(step_rule::toggle)
        .display("%d", control)
        .kept(kept_key);
}

constexpr param_desc fake303_panel_params[] = {
    panel_number<FAKE303, &FAKE303::pulse_width>()
        .range(0.001, 22050.0, 0.1)
        .steps(step_rule::bands)
        .display("%5.3f", "PWM")
        .kept("PWM"),
    panel_number<FAKE303, &FAKE303::env_level>()
        .range(0.0, 1.0, 1.0)
        .steps(step_rule::fixed, 0.01f)
        .display("%1.3f", "ENV_LVL")
        .kept("ENV_LVL"),
    panel_number<FAKE303, &FAKE303::filter_level>()
        .range(0.0, 10.0, 10.0)
        .steps(step_rule::fixed, 0.1f)
        .display("%1.3f", "FILTER_LVL")
        .kept("FILTER_LVL"),
    panel_number_set_by<FAKE303, &FAKE303::cutoff, &FAKE303::set_cutoff>()
        .range(1, 12000, 1400)
        .steps(step_rule::cutoff)
        .display("%1.3f", "FILTER_HI")
        .kept("CUTOFF"),
    fake303_switch<&FAKE303::noise_switch>(0, "NOISE_TOGGLE", "NOISE"),
    fake303_switch<&FAKE303::filter_switch>(1, "FILTER_TOGGLE", "FILTER_ON"),
    fake303_switch<&FAKE303::dist_switch>(0, "DIST_TOGGLE", "DIST"),
    fake303_switch<&FAKE303::env_switch>(1, "ENV_TOGGLE", "ENV_ON"),
    power_switch<FAKE303>(),
};
} // namespace

// Its links are written but never read back.
const module_type fake303_type = {module_kind::FAKE303,
                                  "FAKE303",
                                  "FAKE303",
                                  "FAKE303",
                                  "FAKE303",
                                  nullptr,
                                  REJECT,
                                  true,
                                  oscillator_slots<FAKE303, S>,
                                  oscillator_params<FAKE303, read_fake303_wave, 4>,
                                  fake303_panel_params,
                                  create_oscillator<FAKE303>,
                                  destroy_as<FAKE303>,
                                  tick_list<FAKE303>,
                                  nullptr,
                                  own_value,
                                  nullptr,
                                  nullptr};

} // namespace tmod
