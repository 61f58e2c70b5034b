#include "modules/sampler.hpp"

#include <cmath>
#include <cstdio>

#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"
#include "engine/sound_file.hpp"
#include "engine/sound_resample.hpp"
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
        load_sound_file(file_name, fresh) && convert_to_engine_rate(file_name, fresh, max_frames);
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

void SAMPLER::write_params(std::string& out) const {
    appendf(out, "%s;FILE=%s;\n", name, file);
}

template void tick_list<SAMPLER>(const module_ptr*, std::size_t);

} // namespace tmod
