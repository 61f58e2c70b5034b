// Every module type, created and ticked through the registry with all its
// slots wired to sweeping sources and its parameter keys swept: no heap
// allocation while ticking, and outputs that stay finite.
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

#include "modules/sampler.hpp"
#include "modules/vca_mixer.hpp"
#include "support/module_support.hpp"
#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace {
std::atomic<long> allocations{0};
std::atomic<bool> counting{false};

void* counted(std::size_t n) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

// Every operator new of this executable counts while `counting` is set.
void* operator new(std::size_t n) {
    return counted(n);
}
void* operator new[](std::size_t n) {
    return counted(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (counting.load()) ++allocations;
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

namespace {

// Sources that sweep over the ranges the modules meet in patches.
struct sweep {
    hand_source audio, freq, mod, level, part, toggle, key;
    int n = 0;
    void step() {
        const double t = n / 44100.0;
        audio.set(static_cast<float>(0.1 + 0.8 * std::sin(2 * 3.14159 * 220 * t)));
        freq.set(static_cast<float>(20.0 *
                                    std::pow(1000.0, std::fmod(t, 2.0) / 2.0))); // 20 Hz .. 20 kHz
        mod.set(static_cast<float>(-0.9 + 2.9 * std::fmod(t * 3, 1.0)));
        level.set(static_cast<float>(std::fmod(t * 5, 1.0)));
        part.set(static_cast<float>(10 + (n / 20000) % 60));
        toggle.set(static_cast<float>((n / 1000) % 2));
        if (n % 3000 == 0) (n / 3000) % 2 ? key.release() : key.trigger();
        key.step_pulse();
        if (n % 5000 == 0) key.request_pulse();
        ++n;
    }
    const hand_source& for_slot(K kind, std::string_view slot) const {
        const bool oscillator =
            kind == K::VCO || kind == K::MULTI_VCO || kind == K::FAKE303 || kind == K::SAMPLER;
        if (slot == "INPUT_PART") return part;
        if (slot == "IN_ASSIGN" || slot == "IN_IF") return toggle;
        if (contains(slot, "MOD")) return mod;
        if (contains(slot, "FREQ")) return freq;
        if (contains(slot, "AMP") || contains(slot, "Q") || contains(slot, "GAIN")) return level;
        if (slot == "IN" && oscillator) return freq;
        return audio;
    }
};

void wire_all(OUTPUT& m, K kind, const sweep& s) {
    for (const slot_desc& slot : type_of(kind).slots) {
        switch (slot.kind) {
        case slot_kind::signal:
            slot.signal(m)->connect(&s.for_slot(kind, slot.key).value);
            break;
        case slot_kind::gate:
            slot.flag(m)->connect(&s.key.gate);
            break;
        case slot_kind::sync:
            slot.flag(m)->connect(&s.key.pulse);
            break;
        case slot_kind::channel:
            for (const hand_source* src : {&s.audio, &s.mod, &s.level})
                static_cast<MIXER&>(m).add_channel(&src->value);
            break;
        }
    }
}

// The field text of a parameter key with a value, in the form files use.
std::string field_for(K kind, std::string_view key, const std::string& value) {
    if (kind == K::MIXER) return std::string(key) + "_01=" + value;
    if (kind == K::SEQUENCER) {
        if (key == "DIVIDER") return "DIVIDER_001=" + value;
        if (key == "NOTE") return "NOTE_001_05=" + value;
        if (key == "BYPASS" || key == "VOLUME" || key == "LENGHT")
            return std::string(key) + "_001_05=" + value;
    }
    return std::string(key) + "=" + value;
}

bool loads_a_file(std::string_view key) {
    return key == "FILE" || key == "PARTITION_FILE_NAME";
}

} // namespace

TEST(EveryModule, TicksWithoutAllocatingAndStaysFinite) {
    // The counter itself works: a vector that grows is seen.
    counting = true;
    std::vector<int> grown(1000);
    counting = false;
    ASSERT_GE(allocations.load(), 1);
    const std::vector<std::string> values = {"1", "3",   "0",   "7",   "2",    "-2",
                                             "5", "0.5", "100", "440", "2000", "9"};
    tempo_scope tempo(240);
    for (int k = 0; k < module_kind_count; ++k) {
        const K kind = static_cast<K>(k);
        SCOPED_TRACE(type_of(kind).class_name);
        module_ptr m;
        stdout_of([&] {
            m = create_module(kind);
            if (kind == K::SAMPLER)
                static_cast<SAMPLER&>(*m).load_sample(TM_SOURCE_DATA_DIR "/sounds/guitare.wav");
        });
        m->set_name(std::string(type_of(kind).class_name) + "_1");
        sweep s;
        wire_all(*m, kind, s);

        for (const std::string& v : values) {
            SCOPED_TRACE(v);
            stdout_of([&] {
                for (const param_desc& p : type_of(kind).params) {
                    if (loads_a_file(p.key)) continue;
                    const std::string text = field_for(kind, p.key, v);
                    const std::size_t eq = text.find('=');
                    const std::string_view field(text);
                    p.apply(*m, field_text{field, field.substr(0, eq), field.substr(eq + 1)});
                }
            });
            const std::size_t tracked = tracked_count();
            bool finite = true;
            allocations = 0;
            counting = true;
            for (int i = 0; i < 20000; ++i) {
                s.step();
                type_of(kind).tick(&m, 1);
                finite = finite && std::isfinite(m->value.load());
            }
            counting = false;
            EXPECT_EQ(allocations.load(), 0);
            EXPECT_EQ(tracked_count(), tracked);
            EXPECT_TRUE(finite);
        }
    }
}
