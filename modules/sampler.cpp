#include "modules/sampler.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"
#include "engine/nested_loader.hpp"
#include "modules/rows.hpp"
#include "util/sound_file.hpp"
#include "util/text_format.hpp"

namespace tmod {

SAMPLER::SAMPLER() : OUTPUT(name_storage) {
    load_sample("sounds/guitare.wav");
}

bool SAMPLER::load_sample(const char* file_name) {
    busy = 1;
    loop_switch = 0;
    loop_begin = 0.0f;
    loop_end = 0.0f;
    play_mode = smp_play_av;

    decoded_sound fresh;
    // Converted once here, never on the audio path: every sample plays at its
    // own pitch and speed. Positions are floats counted in values, so the
    // converted sample keeps the loader's limit of 2^24 values.
    const int max_frames = (1 << 24) / 2;
    const bool ok =
        load_sound_file(file_name, fresh) && convert_to_rate(file_name, fresh, sample_rate, max_frames);
    if (!ok) fresh.data.reset();
    {
        // The tick may be running: the sample is swapped under the patch lock,
        // and a failed load leaves the sampler silent with no sample.
        patch_edit edit(patch_mutex());
        data = std::move(fresh.data);
        length = ok ? fresh.frames : 0;
        channels = ok ? fresh.channels : 0;
        bits = ok ? 16 : 0;
        byte_length = length * channels * bits / 8;
        default_frequency = static_cast<float>(fresh.rate);
        position = 0.0f;
    }
    if (ok) loop_end = 44100.0f;
    // The name is kept even when the file could not be read, so saving the
    // patch keeps the reference and the sample comes back once the file does.
    copy_text(file, file_name ? file_name : "");
    busy = 0;
    return ok;
}

int SAMPLER::compute() {
    if (busy || byte_length == 0 || !data || !gate_in.connected()) return 1;
    const flag_value* gate = gate_in.source();
    if (!gate || gate->load() == 0) {
        position = 0.0f;
        value = 0.0f;
        return 1;
    }
    if (sync_in.read_or(0)) position = 0.0f;

    const float base_pitch = pitch, base_volume = volume;
    float r = in.connected() ? in.read_or(0.0f) / 440.0f + base_pitch - 1.0f : base_pitch;
    float v = base_volume;
    if (const sample_value* m = mod_amp.source()) v = v * m->load() + base_volume;
    if (const sample_value* m = mod_freq.source()) r = r * m->load() + base_pitch;

    const int mode = play_mode;
    if (static_cast<float>(length) < position) {
        position = 0.0f;
        // Playing once: the end of the sample ends the note for every module on
        // that gate, so the source's gate is written here.
        if (mode == smp_play_av || mode == smp_play_ar) const_cast<flag_value*>(gate)->store(0);
    }
    if (loop_switch && position >= loop_end.load()) position = loop_begin;
    if (saturating_int(position) > length) position = static_cast<float>(length - 1);

    // Every read stays inside the data: backward play starts one past the last
    // value, which is read as the last value.
    const int total = length * channels;
    int index = saturating_int(position);
    if (mode == smp_play_ar || mode == smp_play_loopar) index = total - index;
    index = clamp_index(index, total);
    value = static_cast<float>(data[static_cast<std::size_t>(index)] * v / 32768.0f);
    position = position + static_cast<float>(channels) * std::fabs(r);
    if (!std::isfinite(position)) position = 0.0f;
    return 1;
}

template void tick_list<SAMPLER>(const module_ptr*, std::size_t);

namespace {
using namespace row;

void load_sampler_file(OUTPUT& m, const field_text& f) {
    const std::string file(f.value);
    // An empty name is a sampler saved without a sample: nothing is missing.
    if (!static_cast<SAMPLER&>(m).load_sample(file.c_str()) && f.nested && !file.empty())
        f.nested->file_not_loaded(file.c_str());
}
const char* sampler_file(const OUTPUT& m) {
    return static_cast<const SAMPLER&>(m).file;
}

constexpr param_desc sampler_params[] = {
    file_name("FILE", load_sampler_file, sampler_file).written(0, "%s")};

constexpr const char* play_mode_names[] = {"SMP_PLAY_AV", "SMP_PLAY_AR", "SMP_PLAY_LOOPAV",
                                           "SMP_PLAY_LOOPAR"};

// The panel's FREQUENCE, VOLUME and PHASE move the pitch factor, the volume
// and the third parameter as an oscillator's. All are kept after FILE, so
// they come back after the sample is loaded.
constexpr param_desc sampler_panel_params[] = {
    panel_number<SAMPLER, &SAMPLER::pitch>()
        .range(0.001, 22050.0, 1.0)
        .steps(step_rule::bands)
        .display("%5.3f", "FREQUENCE")
        .kept("SPEED"),
    panel_number<SAMPLER, &SAMPLER::volume>()
        .range(0.0, 22050.0, 1.0)
        .steps(step_rule::amplitude_bands)
        .display("%5.3f", "VOLUME")
        .kept("VOLUME"),
    panel_number<SAMPLER, &SAMPLER::third>()
        .range(-359.0, 359.0, 0.0)
        .steps(step_rule::phase)
        .display("%d", "PHASE")
        .kept("PHASE"),
    panel_number<SAMPLER, &SAMPLER::play_mode>()
        .range(smp_play_av, smp_play_loopar, smp_play_av)
        .named(play_mode_names)
        .kept("PLAY"),
    // The loop region in positions, shown in seconds; steps of 10 ms up to
    // the longest sample the loader keeps. Both 0 until a sample is loaded
    // (the end is then one second).
    panel_number<SAMPLER, &SAMPLER::loop_begin>()
        .range(0.0, 16777216.0, 0.0)
        .steps(step_rule::fixed, 441.0f)
        .scaled(1.0 / 44100.0)
        .display("%5.3f", "LOOP_BEGIN_TIME")
        .kept("LOOP_BEGIN"),
    panel_number<SAMPLER, &SAMPLER::loop_end>()
        .range(0.0, 16777216.0, 0.0)
        .steps(step_rule::fixed, 441.0f)
        .scaled(1.0 / 44100.0)
        .display("%5.3f", "LOOP_END_TIME")
        .kept("LOOP_END"),
    panel_number<SAMPLER, &SAMPLER::loop_switch>()
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%d", "LOOP_MODE")
        .kept("LOOPING"),
    power_switch<SAMPLER>(),
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
} // namespace

const module_type sampler_type = {module_kind::SAMPLER,
                                  "SAMPLER",
                                  "SAMPLER",
                                  "SAMPLER",
                                  "SAMPLER",
                                  "SAMPLER",
                                  REJECT,
                                  true,
                                  sampler_slots,
                                  sampler_params,
                                  sampler_panel_params,
                                  create_as<SAMPLER>,
                                  destroy_as<SAMPLER>,
                                  tick_list<SAMPLER>,
                                  nullptr,
                                  own_value,
                                  nullptr,
                                  nullptr};

} // namespace tmod
