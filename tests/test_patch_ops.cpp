// The editing seam: what removing, connecting and setting leave behind, and
// edits of every kind made while another thread renders the patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "audio/audio_pump.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/patch_ops.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {
namespace {

module_ref ref(OUTPUT* m, module_kind k) {
    return {m, &type_of(k)};
}

const slot_desc& slot_named(module_kind k, const char* key) {
    const slot_desc* s = find_slot(type_of(k), key);
    EXPECT_NE(s, nullptr) << key;
    return *s;
}

// Every slot of every module of the container (nested ones too) whose source is `field`.
int slots_referring_to(const GENERATOR& g, const void* field) {
    int n = 0;
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        for (std::size_t i = 0; i < g.count(t.kind); ++i) {
            OUTPUT& m = *g.at(t.kind, i);
            for (const slot_desc& s : t.slots) {
                if (s.kind == slot_kind::signal) n += s.signal(m)->source() == field;
                if (s.kind == slot_kind::gate || s.kind == slot_kind::sync)
                    n += s.flag(m)->source() == field;
                if (s.kind == slot_kind::channel)
                    for (int c = 0; c < s.channel_max; ++c) n += s.channel(m, c)->source() == field;
            }
            if (t.kind == module_kind::GENERATOR)
                n += slots_referring_to(static_cast<GENERATOR&>(m), field);
        }
    }
    return n;
}

TEST(PatchOps, RemovingAModuleLeavesNoSlotReferringToIt) {
    GENERATOR g;
    OUTPUT* vco = add_module(g, module_kind::VCO, "VCO_1");
    OUTPUT* key = add_module(g, module_kind::KEYBOARD, "KEY_1");
    OUTPUT* vca = add_module(g, module_kind::VCA, "VCA_1");
    OUTPUT* vcf = add_module(g, module_kind::VCF, "VCF_1");
    OUTPUT* mix = add_module(g, module_kind::MIXER, "MIXER_1");
    auto* inner = static_cast<GENERATOR*>(add_module(g, module_kind::GENERATOR, "GENERATOR_1"));
    OUTPUT* port = add_module(*inner, module_kind::SOUND_INPUT, "SOUND_IN_1");
    ASSERT_EQ(g.total_count(), 6u);

    EXPECT_TRUE(connect(*vca, slot_named(module_kind::VCA, "IN"), ref(vco, module_kind::VCO)));
    EXPECT_TRUE(connect(*vca, slot_named(module_kind::VCA, "GATE"),
                        ref(key, module_kind::KEYBOARD)));
    EXPECT_TRUE(connect(*vcf, slot_named(module_kind::VCF, "MOD_FREQ"),
                        ref(vco, module_kind::VCO)));
    EXPECT_TRUE(connect(*vcf, slot_named(module_kind::VCF, "SYNC"),
                        ref(key, module_kind::KEYBOARD)));
    const slot_desc& channels = slot_named(module_kind::MIXER, "ADD_CHANELL");
    EXPECT_TRUE(connect(*mix, channels, ref(vca, module_kind::VCA)));
    EXPECT_TRUE(connect(*mix, channels, ref(vco, module_kind::VCO)));
    EXPECT_TRUE(connect(*inner, slot_named(module_kind::GENERATOR, "IN"),
                        ref(vco, module_kind::VCO)));
    inner->compute(); // the nested port takes its copy of the container's IN
    const void* vco_value = &vco->value;
    ASSERT_EQ(slot_named(module_kind::SOUND_INPUT, "IN").signal(*port)->source(), vco_value);
    ASSERT_EQ(slots_referring_to(g, vco_value), 5);

    ASSERT_TRUE(remove_module(g, vco));
    EXPECT_EQ(g.total_count(), 5u);
    EXPECT_EQ(g.find(module_kind::VCO, "VCO_1"), nullptr);
    EXPECT_EQ(slots_referring_to(g, vco_value), 0);
    // The other connections stay.
    EXPECT_TRUE(slot_named(module_kind::VCA, "GATE").flag(*vca)->connected());
    EXPECT_EQ(channels.channel(*mix, 0)->source(), &vca->value);
    EXPECT_EQ(channels.channel_count(*mix), 2); // the emptied channel keeps its number

    const void* key_gate = type_of(module_kind::KEYBOARD).gate_out(*key);
    const void* key_pulse = type_of(module_kind::KEYBOARD).sync_out(*key);
    ASSERT_TRUE(remove_module(g, key));
    EXPECT_EQ(slots_referring_to(g, key_gate), 0);
    EXPECT_EQ(slots_referring_to(g, key_pulse), 0);
    EXPECT_FALSE(remove_module(g, key)) << "no longer in the container";
}

TEST(PatchOps, RefusesSourcesWithoutTheOutputAndA25thChannel) {
    GENERATOR g;
    OUTPUT* vco = add_module(g, module_kind::VCO, "VCO_1");
    OUTPUT* vca = add_module(g, module_kind::VCA, "VCA_1");
    OUTPUT* vcf = add_module(g, module_kind::VCF, "VCF_1");
    OUTPUT* mix = add_module(g, module_kind::MIXER, "MIXER_1");

    edit_result r = connect(*vca, slot_named(module_kind::VCA, "GATE"), ref(vco, module_kind::VCO));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("[VCO_1]: it has no gate output"), std::string::npos) << r.message;
    EXPECT_FALSE(slot_named(module_kind::VCA, "GATE").flag(*vca)->connected());

    r = connect(*vcf, slot_named(module_kind::VCF, "SYNC"), ref(vca, module_kind::VCA));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("no sync output"), std::string::npos) << r.message;

    const slot_desc& channels = slot_named(module_kind::MIXER, "ADD_CHANELL");
    for (int i = 0; i < 24; ++i)
        ASSERT_TRUE(connect(*mix, channels, ref(vco, module_kind::VCO))) << i;
    r = connect(*mix, channels, ref(vco, module_kind::VCO));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("no more than 24 channels"), std::string::npos) << r.message;
    EXPECT_EQ(channels.channel_count(*mix), 24);
    // Plugging a used channel again is not a new channel.
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(connect(*mix, channels, ref(vca, module_kind::VCA), 3));
    EXPECT_EQ(channels.channel_count(*mix), 24);
    EXPECT_EQ(channels.channel(*mix, 3)->source(), &vca->value);
}

TEST(PatchOps, MultiWordParametersWaitForTheNextBufferWhileAPumpPlays) {
    GENERATOR g;
    OUTPUT* delay = add_module(g, module_kind::SFX_DELAY, "SFX_DELAY_1");
    const param_desc* d = nullptr;
    for (const param_desc& p : type_of(module_kind::SFX_DELAY).params)
        if (p.audio_thread) d = &p;
    ASSERT_NE(d, nullptr);

    // No pump: at once.
    set_param(*delay, *d, 0, 100.0);
    EXPECT_EQ(d->get(*delay, 0), 100.0);

    audio_pump pump;
    pump.generator_table[0] = &g;
    audio_enabled = 1;
    set_audio_drains_edits(true);
    set_param(*delay, *d, 0, 200.0);
    EXPECT_EQ(d->get(*delay, 0), 100.0);
    std::int16_t buffer[2 * 64];
    pump.callback(buffer, sizeof buffer);
    EXPECT_EQ(d->get(*delay, 0), 200.0);

    // What is still queued when the pump stops is applied then.
    set_param(*delay, *d, 0, 300.0);
    set_audio_drains_edits(false);
    EXPECT_EQ(d->get(*delay, 0), 300.0);
    pump.generator_table[0] = nullptr;
}

// A value inside the description's range, at fraction f of it.
double value_in_range(const param_desc& d, double f) {
    const double lo = std::isfinite(d.min) ? d.min : d.initial - 10.0;
    const double hi = std::isfinite(d.max) ? d.max : std::max(lo, d.initial) + 10.0;
    return lo + (hi - lo) * f;
}

TEST(PatchOps, EditsWhileThePumpPlays) {
    const std::size_t blocks_before = tracked_count();
    {
        GENERATOR g;
        std::vector<std::pair<OUTPUT*, module_kind>> modules;
        for (module_kind k : palette_order)
            modules.push_back({add_module(g, k, type_of(k).editor_word), k});

        audio_pump pump;
        pump.generator_table[0] = &g;
        audio_enabled = 1;
        set_audio_drains_edits(true);
        std::atomic<bool> stop{false};
        std::atomic<long> buffers{0};
        std::thread audio([&] {
            std::vector<std::int16_t> buffer(2 * 256);
            while (!stop) {
                pump.callback(buffer.data(), static_cast<int>(buffer.size() * 2));
                ++buffers;
            }
        });

        std::mt19937 rng(7);
        auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
        auto turn_and_patch = [&] {
            for (auto [m, k] : modules) {
                const module_type& t = type_of(k);
                for (auto table : {t.params, t.panel_params})
                    for (const param_desc& d : table)
                        if (d.set && d.get)
                            set_param(*m, d, static_cast<int>(pick(d.count)),
                                      value_in_range(d, (rng() % 1001) / 1000.0));
            }
            auto [target, tk] = modules[pick(modules.size())];
            auto [source, sk] = modules[pick(modules.size())];
            const module_type& t = type_of(tk);
            if (t.slots.empty()) return;
            const slot_desc& s = t.slots[pick(t.slots.size)];
            if (rng() % 3)
                (void)connect(*target, s, ref(source, sk));
            else
                disconnect(*target, s, static_cast<int>(pick(24)));
        };
        auto run_for = [&](double seconds, auto step) {
            const auto end = std::chrono::steady_clock::now() +
                             std::chrono::duration<double>(seconds);
            while (std::chrono::steady_clock::now() < end) step();
        };

        // Parameters and connections only: no buffer is rendered as silence.
        const long rendered_before = buffers;
        const long skipped_before = pump.skipped_buffers;
        run_for(1.0, turn_and_patch);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (buffers <= rendered_before + 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_GT(buffers, rendered_before + 1) << "the audio thread rendered meanwhile";
        EXPECT_EQ(pump.skipped_buffers - skipped_before, 0);

        // With modules added and removed as well (undo and redo of a module
        // made or removed do these).
        int added = 0;
        run_for(1.0, [&] {
            turn_and_patch();
            if (rng() % 2 && modules.size() > 4) {
                const std::size_t i = pick(modules.size());
                const void* gone = &modules[i].first->value;
                ASSERT_TRUE(remove_module(g, modules[i].first));
                EXPECT_EQ(slots_referring_to(g, gone), 0);
                modules.erase(modules.begin() + static_cast<long>(i));
            } else {
                // Anywhere in its list, as undo puts a removed module back.
                const module_kind k = palette_order[pick(module_kind_count)];
                const std::size_t at = pick(g.count(k) + 1);
                OUTPUT* m = add_module(g, k, std::string(type_of(k).editor_word) +
                                                 std::to_string(++added), at);
                EXPECT_EQ(g.at(k, at), m);
                modules.push_back({m, k});
            }
            EXPECT_EQ(g.total_count(), modules.size());
        });

        stop = true;
        audio.join();
        set_audio_drains_edits(false);
        pump.generator_table[0] = nullptr;
    }
    EXPECT_EQ(tracked_count(), blocks_before);
}

} // namespace
} // namespace tmod
