#include "modules/vca_mixer.hpp"

#include <immintrin.h>

#include <cstdio>

#include "engine/lanes.hpp"
#include "engine/module_tick.hpp"
#include "modules/rows.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
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
}

namespace {
using namespace row;

// The channel number read from the field's character `from` on; -1 (with a
// message) when there is no such channel.
int channel_of(const OUTPUT& m, const field_text& f, std::size_t from) {
    const int channel = f.field.size() > from ? parse_int(f.field.substr(from)) : -1;
    if (channel >= 0 && channel < MIXER::max_channels) return channel;
    say("MIXER [%s]: no channel %d, field [%s] ignored\n", escaped_controls(m.name).c_str(),
        channel, escaped_controls(f.field).c_str());
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

// Written by the mixer itself: all 24 channels, named by number. The volumes
// have three decimals there, and a channel without input is written at 1:
// they are kept exactly at the end.
constexpr param_desc mixer_params[] = {
    channel_param<&MIXER::volumes>("V", read_volume_key)
        .range(0.0, 1.0, 1.0)
        .display("%2.1f", "SLD_CANAL_%d")
        .kept("GAINS"),
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
// button writes BYPASS, which the tick recomputes from the gate. SUSTAIN is
// read as an integer: the level between is kept at the end.
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
        .written(3, "%f")
        .kept("HOLD"),
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

namespace {
// Gated envelopes eight at a time; each stage is a mask, and a stage no lane
// is in is not computed.
struct vca_lanes : lane_traits<VCA, module_kind::VCA, 8> {
    struct block {
        alignas(32) float gate_time[width], release_time[width], env_level[width];
        float previous[width]; // the value of the last tick
        float attack[width], peak[width], decay[width], sustain[width], release[width];
        const sample_value* src[width];
        const flag_value* gate[width];
        sample_value* dst[width];
        VCA* module[width];
        bool one_gate; // every lane reads the same gate (one keyboard for all voices)
    };

    static bool eligible(const VCA& m) { return m.gated && !m.work_invert; }
    static void load(block& b, std::size_t l, VCA& m, lane_store&) {
        b.gate_time[l] = m.gate_time, b.release_time[l] = m.release_time;
        b.env_level[l] = m.env_level, b.previous[l] = m.value;
        b.attack[l] = m.work_attack, b.peak[l] = m.work_peak, b.decay[l] = m.work_decay;
        b.sustain[l] = m.work_sustain, b.release[l] = m.work_release;
        b.src[l] = m.work_in, b.gate[l] = m.work_gate, b.dst[l] = &m.value, b.module[l] = &m;
        b.one_gate = l == 0 || (b.one_gate && b.gate[l] == b.gate[0]);
    }
    static void store(const block& b, std::size_t l, VCA& m) {
        m.gate_time = b.gate_time[l], m.release_time = b.release_time[l];
        m.env_level = b.env_level[l];
    }

    [[gnu::target("avx2")]] static bool any(__m256 mask) { return _mm256_movemask_ps(mask) != 0; }
    [[gnu::target("avx2")]] static void run(block* blocks, std::size_t count) {
        const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
        const __m256 k1000 = _mm256_set1_ps(1000.0f), tick = _mm256_set1_ps(sample_seconds);
        for (std::size_t i = 0; i < count; ++i) {
            block& b = blocks[i];
            const __m256 x = _mm256_setr_ps(b.src[0]->load(), b.src[1]->load(), b.src[2]->load(),
                                            b.src[3]->load(), b.src[4]->load(), b.src[5]->load(),
                                            b.src[6]->load(), b.src[7]->load());
            const __m256i g = b.one_gate ? _mm256_set1_epi32(b.gate[0]->load())
                                         : _mm256_setr_epi32(b.gate[0]->load(), b.gate[1]->load(),
                                                             b.gate[2]->load(), b.gate[3]->load(),
                                                             b.gate[4]->load(), b.gate[5]->load(),
                                                             b.gate[6]->load(), b.gate[7]->load());
            const __m256 open = _mm256_castsi256_ps(_mm256_cmpeq_epi32(g, _mm256_set1_epi32(1)));
            const __m256 gt = _mm256_load_ps(b.gate_time), rt = _mm256_load_ps(b.release_time);
            const __m256 el = _mm256_load_ps(b.env_level), prev = _mm256_load_ps(b.previous);
            const __m256 atk = _mm256_load_ps(b.attack), pk = _mm256_load_ps(b.peak);
            const __m256 dec = _mm256_load_ps(b.decay), sus = _mm256_load_ps(b.sustain);
            const __m256 rel = _mm256_load_ps(b.release);

            // Gate open: attack, decay (linear, or towards the sustain level) or hold.
            const __m256 ms = _mm256_mul_ps(gt, k1000);
            const __m256 in_attack = _mm256_and_ps(open, _mm256_cmp_ps(ms, atk, _CMP_LT_OQ));
            const __m256 in_decay = _mm256_andnot_ps(
                in_attack,
                _mm256_and_ps(open, _mm256_cmp_ps(ms, _mm256_add_ps(atk, dec), _CMP_LT_OQ)));
            const __m256 linear = _mm256_cmp_ps(sus, zero, _CMP_EQ_OQ);
            __m256 out = prev;
            if (any(in_decay)) {
                __m256 d = zero;
                if (any(_mm256_and_ps(in_decay, linear)))
                    d = _mm256_sub_ps(
                        pk, _mm256_div_ps(_mm256_mul_ps(_mm256_sub_ps(ms, atk), pk), dec));
                if (any(_mm256_andnot_ps(linear, in_decay))) {
                    const __m256 towards = _mm256_blendv_ps(
                        _mm256_mul_ps(pk, sus), _mm256_sub_ps(prev, _mm256_div_ps(prev, k1000)),
                        _mm256_cmp_ps(prev, sus, _CMP_GT_OQ));
                    d = _mm256_blendv_ps(towards, d, linear);
                }
                out = _mm256_blendv_ps(out, d, in_decay);
            }
            if (any(in_attack))
                out = _mm256_blendv_ps(out, _mm256_div_ps(_mm256_mul_ps(ms, pk), atk), in_attack);
            const __m256 moving = _mm256_or_ps(in_attack, _mm256_and_ps(in_decay, linear));
            const __m256 gt_open = _mm256_blendv_ps(gt, _mm256_add_ps(gt, tick), moving);
            const __m256 el_next = _mm256_blendv_ps(el, out, _mm256_or_ps(in_attack, in_decay));
            const __m256 y_open = _mm256_mul_ps(_mm256_mul_ps(one, out), x);

            // Gate closed: the release from the level the envelope had, or hold.
            const __m256 releasing = _mm256_andnot_ps(
                open, _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(rel, zero, _CMP_NEQ_UQ),
                                                  _mm256_cmp_ps(prev, zero, _CMP_NEQ_UQ)),
                                    _mm256_cmp_ps(_mm256_mul_ps(rt, k1000), rel, _CMP_LE_OQ)));
            __m256 rt_next = rt, closed = prev;
            if (any(releasing)) {
                rt_next = _mm256_blendv_ps(rt, _mm256_add_ps(rt, tick), releasing);
                const __m256 r = _mm256_sub_ps(
                    el, _mm256_div_ps(_mm256_mul_ps(_mm256_mul_ps(rt_next, k1000), el), rel));
                closed = _mm256_blendv_ps(prev, r, releasing);
            }
            const __m256 y = _mm256_blendv_ps(_mm256_mul_ps(closed, x), y_open, open);

            _mm256_store_ps(b.gate_time, _mm256_and_ps(gt_open, open));
            _mm256_store_ps(b.release_time, _mm256_andnot_ps(open, rt_next));
            _mm256_store_ps(b.env_level, el_next);
            _mm256_store_ps(b.previous, y);
            store_lanes(b.dst, y);
        }
    }
};

// Mixers of two or more active channels eight at a time: channel j of each
// lane added in turn, a lane with fewer channels left as it is.
struct mixer_lanes : lane_traits<MIXER, module_kind::MIXER, 8> {
    static constexpr int channels = MIXER::max_channels;
    struct block {
        alignas(32) float volume[channels][width];
        float reciprocal[width], divisor[width];
        std::int32_t active[width];
        const sample_value* src[channels][width];
        sample_value* dst[width];
        MIXER* module[width];
        int most; // the most active channels of a lane
        bool divides;
    };

    static bool eligible(const MIXER& m) { return m.active >= 2; }
    static void load(block& b, std::size_t l, MIXER& m, lane_store&) {
        if (l == 0) b.most = 0, b.divides = false;
        for (int j = 0; j < channels; ++j) {
            // A lane past its channels reads its own value, and keeps its sum.
            b.src[j][l] = j < m.active ? m.active_sources[j] : &m.value;
            b.volume[j][l] = j < m.active ? m.active_volumes[j] : 0.0f;
        }
        b.reciprocal[l] = m.active_reciprocal;
        b.divisor[l] = m.active_divisor;
        b.active[l] = m.active;
        b.dst[l] = &m.value, b.module[l] = &m;
        if (m.active > b.most) b.most = m.active;
        if (m.active_reciprocal == 0.0f) b.divides = true;
    }
    static void store(const block&, std::size_t, MIXER&) {}

    [[gnu::target("avx2")]] static void run(block* blocks, std::size_t count) {
        const __m256 half_again = _mm256_set1_ps(1.5f);
        for (std::size_t i = 0; i < count; ++i) {
            block& b = blocks[i];
            const __m256 r = _mm256_load_ps(b.reciprocal), d = _mm256_load_ps(b.divisor);
            const __m256 divided = _mm256_cmp_ps(r, _mm256_setzero_ps(), _CMP_EQ_OQ);
            const __m256i active = _mm256_load_si256(reinterpret_cast<const __m256i*>(b.active));
            __m256 out = _mm256_setzero_ps();
            for (int j = 0; j < b.most; ++j) {
                const sample_value* const* s = b.src[j];
                const __m256 x =
                    _mm256_setr_ps(s[0]->load(), s[1]->load(), s[2]->load(), s[3]->load(),
                                   s[4]->load(), s[5]->load(), s[6]->load(), s[7]->load());
                __m256 t = _mm256_mul_ps(x, r);
                if (b.divides) t = _mm256_blendv_ps(t, _mm256_div_ps(x, d), divided);
                t = _mm256_mul_ps(_mm256_mul_ps(t, _mm256_load_ps(b.volume[j])), half_again);
                const __m256 in_use =
                    _mm256_castsi256_ps(_mm256_cmpgt_epi32(active, _mm256_set1_epi32(j)));
                out = _mm256_blendv_ps(out, _mm256_add_ps(out, t), in_use);
            }
            store_lanes(b.dst, out);
        }
    }
};

constexpr lane_kernel vca_lane_kernel = lane_kernel_of<vca_lanes>();
constexpr lane_kernel mixer_lane_kernel = lane_kernel_of<mixer_lanes>();
} // namespace

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
                                nullptr,
                                &mixer_lane_kernel};

const module_type vca_type = {
    module_kind::VCA, "VCA",          "VCA",     "VCA",      "VCA",   "VCA",
    REJECT,           true,           vca_slots, vca_params, {},      create_as<VCA>,
    destroy_as<VCA>,  tick_list<VCA>, nullptr,   own_value,  nullptr, nullptr,
    &vca_lane_kernel};

} // namespace tmod
