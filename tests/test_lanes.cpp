// Lanes against one module at a time: the same patch ticked both ways gives
// the same bits on every module at every tick, through the rare paths (silent
// and runaway filters, NaN, every envelope stage, mixers that divide, lists
// that read themselves in both orders) and through changes made between ticks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/generator.hpp"
#include "engine/lanes.hpp"
#include "engine/patch_ops.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vco.hpp"
#include "support/module_support.hpp"

namespace tmod {
namespace {

using test::add_named;
using test::hand_source;
using test::wire;

struct scene {
    GENERATOR g;
    hand_source gate, loud; // outside the container: a keyboard's gate, a wild input
    std::vector<VCO*> vcos;
    std::vector<VCF*> vcfs;
    std::vector<MIXER*> mixers;
};

// The most modules of each list computed in lanes at one tick.
using laned_counts = std::vector<std::size_t>;

std::string name(const char* stem, std::size_t i) {
    return std::string(stem) + "_" + std::to_string(i + 1);
}

void build(scene& s) {
    GENERATOR& g = s.g;
    // Every recordable shape at many pitches; some silent (amount 0).
    for (std::size_t i = 0; i < 27; ++i) {
        auto* v = add_named<VCO>(g, module_kind::VCO, name("VCO", i).c_str());
        v->type = 1 + static_cast<int>(i % 5);
        v->freq = 110.0f + 74.0f * static_cast<float>(i / 2); // pairs of one cycle length
        v->amount = i % 7 == 3 ? 0.0f : 0.2f + 0.03f * static_cast<float>(i);
        v->phase = 0.1f * static_cast<float>(i % 3);
        v->pulse_width = 0.3f;
        s.vcos.push_back(v);
    }
    // Oscillators reading oscillators: one earlier in the list, one later.
    wire(s.vcos[0]->mod_freq, *s.vcos[9]);
    wire(s.vcos[12]->mod_amp, *s.vcos[2]);

    // Filters of every response, mix and level; fully wet ones fed the wild
    // input, where a runaway shows.
    for (std::size_t i = 0; i < 22; ++i) {
        auto* f = add_named<VCF>(g, module_kind::VCF, name("VCF", i).c_str());
        f->bypass = 0;
        f->type = 1 + static_cast<int>(i % 7);
        f->hicut = 150 + 430 * static_cast<int>(i);
        f->q = 0.4f + 0.35f * static_cast<float>(i % 9);
        f->gain = static_cast<float>(static_cast<int>(i % 5) - 2);
        f->level = 0.5f * static_cast<float>(i % 3);
        f->mix = 0.25f * static_cast<float>(i % 5);
        if (i % 5 == 4)
            wire(f->in, s.loud);
        else
            wire(f->in, *s.vcos[i]);
        s.vcfs.push_back(f);
    }
    // A filter of filters, read from before and from after it in the list.
    wire(s.vcfs[1]->in, *s.vcfs[20]);
    wire(s.vcfs[21]->in, *s.vcfs[3]);

    // Envelopes of every kind: linear or held decays, with and without release.
    std::vector<VCA*> vcas;
    for (std::size_t i = 0; i < 19; ++i) {
        auto* a = add_named<VCA>(g, module_kind::VCA, name("VCA", i).c_str());
        a->attack = 1.0f + static_cast<float>(i % 4);
        a->peak = 1.0f - 0.05f * static_cast<float>(i);
        a->decay = 4.0f + 3.0f * static_cast<float>(i);
        a->sustain = i % 3 == 0 ? 0.0f : 0.4f;
        a->release = i % 2 ? 0.0f : 10.0f + static_cast<float>(i);
        wire(a->in, *s.vcfs[i]);
        a->gate_in.connect(&s.gate.gate);
        vcas.push_back(a);
    }
    // Mixers of 2, 3 (which divide), 5 with a muted channel, 16; the root reads
    // them from the front of the list, a second root from its back.
    auto* root = add_named<MIXER>(g, module_kind::MIXER, "MIXER_ROOT");
    const std::size_t sizes[] = {2, 3, 5, 16, 4, 7, 2, 8, 3, 6};
    std::size_t next = 0;
    for (std::size_t m = 0; m < std::size(sizes); ++m) {
        auto* x = add_named<MIXER>(g, module_kind::MIXER, name("MIXER", m).c_str());
        for (std::size_t c = 0; c < sizes[m]; ++c, ++next) {
            const OUTPUT& src = next % 3 == 0 ? static_cast<OUTPUT&>(*vcas[next % vcas.size()])
                                              : static_cast<OUTPUT&>(*s.vcos[next % s.vcos.size()]);
            x->add_channel(&src.value);
            x->volumes[c] = 0.5f + 0.1f * static_cast<float>(c % 6);
        }
        if (sizes[m] == 5) x->bypasses[2] = 1.0f;
        root->add_channel(&x->value);
        s.mixers.push_back(x);
    }
    auto* tail = add_named<MIXER>(g, module_kind::MIXER, "MIXER_TAIL");
    tail->add_channel(&s.mixers[0]->value);
    tail->add_channel(&s.mixers[3]->value);
    tail->add_channel(&root->value);
}

// Changes made between ticks, the same in both runs.
struct timed_change {
    int tick;
    void (*apply)(scene&);
};
const timed_change changes[] = {
    {50, [](scene& s) { s.loud.set(0.5f); }},
    {100, [](scene& s) { s.gate.gate = 1; }},
    {700, [](scene& s) { s.gate.gate = 0; }}, // releases
    {900, [](scene& s) { s.gate.gate = 1; }},
    {1000, [](scene& s) { s.vcos[6]->amount = 0.0f; }}, // a filter with a past goes silent
    {1100, [](scene& s) { s.loud.set(std::numeric_limits<float>::quiet_NaN()); }},
    {1200, [](scene& s) { s.loud.set(1e30f); }},       // runaway filters
    {1300, [](scene& s) { s.vcfs[4]->hicut = 2500; }}, // a plan made again
    {1400, [](scene& s) { s.gate.gate = 2; }},         // not 1: closed
    {1500, [](scene& s) { s.gate.gate = 1, s.loud.set(0.25f); }},
    {1600, [](scene& s) { s.mixers[1]->bypasses[0] = 1.0f; }}, // 3 channels become 2
    // An oscillator of the last of three whole blocks leaves with a new
    // record of the same length, and comes back to the lane it had.
    {1620, [](scene& s) { s.vcos[25]->amount = 0.1f; }},
    // Settings held in the filter's range, in lanes as one at a time.
    {1700,
     [](scene& s) { s.vcfs[8]->hicut = 40000, s.vcfs[9]->q = 1e30f, s.vcfs[10]->gain = 500; }},
    {1850, [](scene& s) { s.vcfs[4]->hicut = 3000; }},
    {1900, [](scene& s) { add_named<VCO>(s.g, module_kind::VCO, "VCO_LATE")->freq = 99.0f; }},
    {2000, [](scene& s) { remove_module(s.g, s.vcos[12]); }}, // the list shrinks
    // The last laned oscillator replaced by one of another shape and the same
    // cycle length, which takes its place in the lanes.
    {2150,
     [](scene& s) {
         const float f = s.vcos[26]->freq;
         remove_module(s.g, s.vcos[26]);
         auto* v = add_named<VCO>(s.g, module_kind::VCO, "VCO_AGAIN");
         v->freq = f, v->type = wave_square;
     }},
    {2300, [](scene& s) { s.vcfs[4]->hicut = 3500; }},
    {2350, [](scene& s) { s.vcos[7]->freq = 311.0f; }}, // a cycle recorded again
};

// More oscillators of long cycles than the room packed beside the lanes
// holds (4 MiB): the last ones read their own records.
void build_many_slow(scene& s) {
    for (std::size_t i = 0; i < 1100; ++i) {
        auto* v = add_named<VCO>(s.g, module_kind::VCO, name("VCO", i).c_str());
        v->freq = 60.0f + 0.01f * static_cast<float>(i); // cycles of 1470 samples
    }
}

// The bits of every module's value after every tick.
std::vector<std::uint32_t> render(bool lanes, void (*build)(scene&), int ticks,
                                  laned_counts& most) {
    set_lanes_enabled(lanes);
    auto s = std::make_unique<scene>();
    build(*s);
    std::vector<std::uint32_t> bits;
    for (int t = 0; t < ticks; ++t) {
        for (const timed_change& c : changes)
            if (c.tick == t && build == tmod::build) c.apply(*s);
        s->g.compute();
        for (int k = 0; k < module_kind_count; ++k) {
            const module_kind kind = static_cast<module_kind>(k);
            for (std::size_t i = 0; i < s->g.count(kind); ++i) {
                std::uint32_t b;
                const float v = s->g.at(kind, i)->value;
                std::memcpy(&b, &v, sizeof b);
                bits.push_back(b);
            }
            if (s->g.laned_count(kind) > most[k]) most[k] = s->g.laned_count(kind);
        }
    }
    return bits;
}

// Index of the first difference, or the size when there is none.
std::size_t first_difference(const std::vector<std::uint32_t>& a,
                             const std::vector<std::uint32_t>& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return a.size() == b.size() ? i : std::min(i, a.size());
}

TEST(Lanes, GiveTheBitsOfOneModuleAtATime) {
    const bool was = lanes_enabled();
    laned_counts laned(module_kind_count), unlaned(module_kind_count);
    const std::vector<std::uint32_t> one_at_a_time = render(false, build, 2400, unlaned);
    const std::vector<std::uint32_t> in_lanes = render(true, build, 2400, laned);
    laned_counts many(module_kind_count), many_unlaned(module_kind_count);
    const std::vector<std::uint32_t> slow_alone =
        render(false, build_many_slow, 2600, many_unlaned);
    const std::vector<std::uint32_t> slow_lanes = render(true, build_many_slow, 2600, many);
    set_lanes_enabled(was);
    EXPECT_EQ(unlaned, laned_counts(module_kind_count));
    if (!lanes_supported()) GTEST_SKIP() << "no AVX2 here: only one path to compare";
    // Every type with lanes had some (the counts are whole blocks).
    for (module_kind k : {module_kind::VCO, module_kind::VCF, module_kind::VCA, module_kind::MIXER})
        EXPECT_GE(laned[index_of(k)], 4u) << type_of(k).class_name;
    EXPECT_EQ(first_difference(in_lanes, one_at_a_time), one_at_a_time.size());
    EXPECT_EQ(many[index_of(module_kind::VCO)], 1096u);
    EXPECT_EQ(first_difference(slow_lanes, slow_alone), slow_alone.size());
}

} // namespace
} // namespace tmod
