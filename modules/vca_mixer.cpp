#include "modules/vca_mixer.hpp"

#include <cstdio>

#include "engine/module_tick.hpp"
#include "modules/rows.hpp"
#include "util/messages.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {
constexpr float sample_seconds = 2.2675737e-05f; // 1 / 44100

// Inversion: |int(out) - 1|, so an envelope below 1 gives 1 and exactly 1 gives 0.
float inverted(float out) {
    const long long i = static_cast<long long>(saturating_int(out)) - 1;
    return static_cast<float>(i < 0 ? -i : i);
}
} // namespace

VCA::VCA() : OUTPUT(name_storage), seen_changes(changes_seen() - 1) {}

void VCA::derive(std::uint32_t now) {
    seen_changes = now;
    work_in = in.source();
    work_gate = gate_in.source();
    gated = work_in && work_gate;
    // BYPASS follows the GATE connection: a value written into it from outside
    // (which is a change) lasts until the next sample.
    if (gated) bypass.store_quietly(0);
    work_invert = invert;
    work_attack = attack, work_peak = peak, work_decay = decay;
    work_sustain = sustain, work_release = release;
}

int VCA::tick(std::uint32_t now) {
    if (now != seen_changes) derive(now);
    if (gated) {
        value = envelope(work_in->load(), work_gate->load(), work_invert, work_attack, work_peak,
                         work_decay, work_sustain, work_release);
        return 1;
    }
    if (!in.connected()) return 0;
    bypass.store_quietly(gate_in.connected() ? 0 : 1);
    if (bypass) {
        value = 1.0f;
        return 1;
    }
    value = envelope(in.read_or(0.0f), gate_in.read_or(0), invert, attack, peak, decay, sustain,
                     release);
    return 1;
}

// One sample of the envelope times the input.
inline float VCA::envelope(float x, int gate, int inv, float atk, float pk, float dec, float sus,
                           float rel) {
    const float previous = value;
    float out;
    if (gate == 1) {
        release_time = 0.0f;
        const float ms = gate_time * 1000.0f;
        if (ms < atk) {
            out = gate_time * 1000.0f * pk / atk;
            gate_time += sample_seconds;
            env_level = out;
        } else if (ms < atk + dec) {
            if (sus == 0.0f) {
                out = pk - (gate_time * 1000.0f - atk) * pk / dec;
                gate_time += sample_seconds;
            } else {
                // Falls by a thousandth of itself per sample down to the sustain
                // level; the gate time stands still, so this lasts while the gate does.
                out = previous > sus ? previous - previous / 1000.0f : pk * sus;
            }
            env_level = out;
        } else {
            out = previous;
        }
        if (inv) out = inverted(out);
        return 1.0f * out * x;
    }
    gate_time = 0.0f;
    if (rel != 0.0f && previous != 0.0f && release_time * 1000.0f <= rel) {
        release_time += sample_seconds;
        out = env_level - release_time * 1000.0f * env_level / rel;
    } else {
        out = previous;
    }
    if (inv) out = inverted(out);
    return out * x;
}

void VCA::write_diagnostic(std::string& out) const {
    appendf(out, "VCA [%d][%f][%f][%f][%f] \n", gate_in.connected() ? 1 : 0, attack.load(),
            decay.load(), sustain.load(), release.load());
}

MIXER::MIXER() : OUTPUT(name_storage), seen_changes(changes_seen() - 1) {
    for (auto& v : volumes) v = 1.0f;
    for (auto& b : bypasses) b = 0.0f;
}

bool MIXER::add_channel(const sample_value* source, int index) {
    const int count = channel_count;
    // -1 appends a channel (the reader's ADD_CHANELL); an index plugs that
    // channel, so plugging a used channel again does not count a new one.
    if (index == -1) index = count;
    // There are 24 channel slots and no more: a 25th channel is refused.
    if (index < 0 || index >= max_channels) return false;
    channels[index].connect(source);
    if (index >= count) channel_count = index + 1;
    return true;
}

void MIXER::derive(std::uint32_t now) {
    seen_changes = now;
    active = 0;
    int count = channel_count;
    if (count > max_channels) count = max_channels;
    // Switched off: nothing is read, not even the sources of the last derive.
    active_divisor = 0.0f;
    active_reciprocal = 0.0f;
    if (!power) return;
    for (int i = 0; i < count; ++i) {
        const sample_value* src = channels[i].source();
        if (!src || bypasses[i].load() == 1.0f) continue;
        active_sources[active] = src;
        active_volumes[active] = volumes[i];
        ++active;
    }
    active_divisor = static_cast<float>(active);
    // Dividing by a power of two is exactly multiplying by its reciprocal.
    active_reciprocal = active > 0 && (active & (active - 1)) == 0 ? 1.0f / active_divisor : 0.0f;
}

int MIXER::tick(std::uint32_t now) {
    if (now != seen_changes) derive(now);
    // Each channel is (input / n) * volume, times 1.5 with two or more, summed
    // in channel order.
    const int n = active;
    float out = 0.0f;
    if (active_reciprocal != 0.0f) {
        const float r = active_reciprocal;
        if (n >= 2)
            for (int j = 0; j < n; ++j)
                out += active_sources[j]->load() * r * active_volumes[j] * 1.5f;
        else
            out += active_sources[0]->load() * r * active_volumes[0];
    } else if (n >= 2) {
        const float d = active_divisor;
        for (int j = 0; j < n; ++j) out += active_sources[j]->load() / d * active_volumes[j] * 1.5f;
    }
    value = out;
    return 1;
}

void MIXER::write_params(std::string& out) const {
    appendf(out, "%s;", name);
    for (int i = 0; i < max_channels; ++i)
        appendf(out, "V_%02d=%3.3f;", i, channels[i].connected() ? volumes[i].load() : 1.0f);
    for (int i = 0; i < max_channels; ++i)
        appendf(out, "BYP_%02d=%1d;", i, saturating_int(bypasses[i]));
    out += '\n';
}

namespace {
using namespace row;

// The channel number read from the field's character `from` on; -1 (with a
// message) when there is no such channel.
int channel_of(const OUTPUT& m, const field_text& f, std::size_t from) {
    const int channel = f.field.size() > from ? parse_int(f.field.substr(from)) : -1;
    if (channel >= 0 && channel < MIXER::max_channels) return channel;
    say("MIXER [%s]: no channel %d, field [%.*s] ignored\n", m.name, channel,
        static_cast<int>(f.field.size()), f.field.data());
    return -1;
}

// "V_nn=volume": the channel number is read from the key's third character on.
void read_volume_key(OUTPUT& m, const field_text& f) {
    const int channel = channel_of(m, f, 2);
    if (channel >= 0) static_cast<MIXER&>(m).volumes[channel] = parse_float(f.value);
}

// "BYP_nn=flag": the channel number is read from the key's fifth character on.
void read_bypass_key(OUTPUT& m, const field_text& f) {
    const int channel = channel_of(m, f, 4);
    if (channel >= 0)
        static_cast<MIXER&>(m).bypasses[channel] = static_cast<float>(parse_int(f.value));
}

template <param<float> (MIXER::*Channels)[MIXER::max_channels]>
double get_channel(const OUTPUT& m, int i) {
    return (static_cast<const MIXER&>(m).*Channels)[clamp_index(i, MIXER::max_channels)];
}
template <param<float> (MIXER::*Channels)[MIXER::max_channels]>
void set_channel(OUTPUT& m, int i, double v) {
    (static_cast<MIXER&>(m).*Channels)[clamp_index(i, MIXER::max_channels)] = static_cast<float>(v);
}

template <param<float> (MIXER::*Channels)[MIXER::max_channels]>
constexpr param_desc channel_param(const char* key, void (*reader)(OUTPUT&, const field_text&)) {
    param_desc d = read_only(key, reader);
    d.get = get_channel<Channels>;
    d.set = set_channel<Channels>;
    d.count = MIXER::max_channels;
    return d;
}

// Written by the mixer itself: all 24 channels, named by number.
constexpr param_desc mixer_params[] = {
    channel_param<&MIXER::volumes>("V", read_volume_key)
        .range(0.0, 1.0, 1.0)
        .display("%2.1f", "SLD_CANAL_%d"),
    channel_param<&MIXER::bypasses>("BYP", read_bypass_key)
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%1.0f", "BYPASS_CANAL_%d"),
};

constexpr param_desc mixer_panel_params[] = {power_switch<MIXER>()};

void write_mixer(OUTPUT& m, std::string& out) {
    static_cast<MIXER&>(m).write_params(out);
}

int mixer_channel_count(const OUTPUT& m) {
    return static_cast<const MIXER&>(m).channel_count;
}
signal_slot* mixer_channel(OUTPUT& m, int index) {
    return &static_cast<MIXER&>(m).channels[index];
}
bool mixer_add_channel(OUTPUT& m, const sample_value* source, int index) {
    return static_cast<MIXER&>(m).add_channel(source, index);
}

// One channel is added per ADD_CHANELL field; the editor's plugs are "INPUT_n".
constexpr slot_desc mixer_slots[] = {{"ADD_CHANELL", slot_kind::channel, RS, "INPUT_%d", nullptr,
                                      nullptr, {}, MIXER::max_channels, mixer_channel_count,
                                      mixer_channel, mixer_add_channel}};

// The record "BYPASS;ATTACK;DECAY;SUSTAIN;RELEASE;INVERT". The panel's POWER
// button writes BYPASS, which the tick recomputes from the gate.
template <auto Member>
constexpr param_desc envelope_time(const char* key, const char* control, int place) {
    return whole_number<VCA, Member>(key)
        .range(0.0, unbounded, 1000.0)
        .steps(step_rule::fixed, 1.0f)
        .display("%4.1f", control)
        .written(place, "%f");
}

constexpr param_desc vca_params[] = {
    envelope_time<&VCA::attack>("ATTACK", "ATTACK", 1),
    number<VCA, &VCA::invert>("INVERT").range(0, 1, 0).steps(step_rule::toggle).written(5, "%d"),
    number<VCA, &VCA::bypass>("BYPASS")
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%d", "POWER")
        .written(0, "%d"),
    envelope_time<&VCA::decay>("DECAY", "DECAY", 2),
    whole_number<VCA, &VCA::sustain>("SUSTAIN")
        .range(0.0, 1.0, 1.0)
        .steps(step_rule::fixed, 0.01f)
        .display("%4.2f", "SUSTAIN")
        .written(3, "%f"),
    envelope_time<&VCA::release>("RELEASE", "RELEASE", 4),
};

constexpr source_rule vca_gate_sources[] = {{"KEY", module_kind::KEYBOARD},
                                            {"SEQUENCER", module_kind::SEQUENCER},
                                            {"SOUND_IN", module_kind::SOUND_INPUT}};
constexpr slot_desc vca_slots[] = {
    sig<VCA, &VCA::in>("IN", RS, "INPUT"),
    gate<VCA, &VCA::gate_in>("GATE", RS, "INPUT_GATE", vca_gate_sources),
};
} // namespace

template void tick_list<VCA>(const module_ptr*, std::size_t);
template void tick_list<MIXER>(const module_ptr*, std::size_t);

const module_type mixer_type = {module_kind::MIXER,
                                "MIXER",
                                "MIXER",
                                "MIXER",
                                "MIXER",
                                "MIXER",
                                END,
                                true,
                                mixer_slots,
                                mixer_params,
                                mixer_panel_params,
                                create_as<MIXER>,
                                destroy_as<MIXER>,
                                tick_list<MIXER>,
                                write_mixer,
                                own_value,
                                nullptr,
                                nullptr};

const module_type vca_type = {
    module_kind::VCA, "VCA",          "VCA",     "VCA",      "VCA",   "VCA",
    REJECT,           true,           vca_slots, vca_params, {},      create_as<VCA>,
    destroy_as<VCA>,  tick_list<VCA>, nullptr,   own_value,  nullptr, nullptr};

} // namespace tmod
