#include "modules/vca_mixer.hpp"

#include <cstdio>

#include "engine/module_tick.hpp"
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

void VCA::write_params(std::string& out) const {
    appendf(out, "%s;BYPASS=%d;ATTACK=%f;DECAY=%f;SUSTAIN=%f;RELEASE=%f;INVERT=%d;\n", name,
            bypass.load(), attack.load(), decay.load(), sustain.load(), release.load(),
            invert.load());
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
    if (index == -1) index = count;
    // There are 24 channel slots and no more: a 25th channel is refused.
    if (index < 0 || index >= max_channels || count >= max_channels) return false;
    channels[index].connect(source);
    channel_count = count + 1;
    return true;
}

void MIXER::derive(std::uint32_t now) {
    seen_changes = now;
    active = 0;
    int count = channel_count;
    if (count > max_channels) count = max_channels;
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

// "V_nn=volume": the channel number is read from the key's third character on.
namespace {
// The channel number read from the field's character `from` on; -1 (with a
// message) when there is no such channel.
int channel_of(const OUTPUT& m, const field_text& f, std::size_t from) {
    const int channel = f.field.size() > from ? parse_int(f.field.substr(from)) : -1;
    if (channel >= 0 && channel < MIXER::max_channels) return channel;
    std::printf("MIXER [%s]: no channel %d, field [%.*s] ignored\n", m.name, channel,
                static_cast<int>(f.field.size()), f.field.data());
    return -1;
}
} // namespace

void MIXER::apply_volume_key(OUTPUT& m, const field_text& f) {
    const int channel = channel_of(m, f, 2);
    if (channel >= 0) static_cast<MIXER&>(m).volumes[channel] = parse_float(f.value);
}

// "BYP_nn=flag": the channel number is read from the key's fifth character on.
void MIXER::apply_bypass_key(OUTPUT& m, const field_text& f) {
    const int channel = channel_of(m, f, 4);
    if (channel >= 0)
        static_cast<MIXER&>(m).bypasses[channel] = static_cast<float>(parse_int(f.value));
}

template void tick_list<VCA>(const module_ptr*, std::size_t);
template void tick_list<MIXER>(const module_ptr*, std::size_t);

} // namespace tmod
