// The container: compute order and its one-sample delays, outputs, nested
// patches through their ports, sync pulses, clearing, the rendering flag, and
// the registry's tables.
#include <algorithm>
#include <gtest/gtest.h>
#include <set>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "modules/keyboard.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vco.hpp"
#include "support/harness.hpp"
#include "util/alloc_tracker.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

TEST(Order, AnEarlierSourceIsReadInTheSameTickALaterOneATickLater) {
    GENERATOR g;
    auto* c = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1");
    auto* early = add_named<AFFICHAGE>(g, K::AFFICHAGE, "AFFICHAGE_1"); // ticks before CONSTANTE
    auto* late = add_named<VARIABLE>(g, K::VARIABLE, "VARIABLE_1");     // ticks after it
    auto* assign = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_2");
    early->in.connect(&c->value);
    late->in.connect(&c->value);
    late->in_assign.connect(&assign->value);
    assign->constant = 1.0f; // latch every tick
    c->constant = 3.0f;
    g.compute();
    EXPECT_EQ(late->value.load(), 3.0f) << "same tick";
    EXPECT_EQ(early->value.load(), 0.0f) << "previous tick: the constant was still 0";
    c->constant = 5.0f;
    g.compute();
    EXPECT_EQ(late->value.load(), 5.0f);
    EXPECT_EQ(early->value.load(), 3.0f);

    // The container's value is the oscillators of the previous tick.
    GENERATOR h;
    auto* vco = add_named<VCO>(h, K::VCO, "VCO_1");
    vco->type = wave_saw;
    vco->freq = 441.0f; // ramp step 0.01
    add_named<SOUND_OUTPUT>(h, K::SOUND_OUTPUT, "SOUND_OUTPUT_1")->in.connect(&vco->value);
    const auto v = run(h, 3);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_FLOAT_EQ(v[1], 0.01f);
    EXPECT_FLOAT_EQ(v[2], 0.02f);
}

TEST(Order, AModuleReadingItselfSeesItsPreviousValue) {
    GENERATOR g;
    auto* one = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1");
    one->constant = 1.0f;
    auto* acc = add_named<BASIC_OPERATION>(g, K::BASIC_OPERATION, "BASIC_OPERATION_1");
    acc->in2.connect(&acc->value);
    acc->in1.connect(&one->value);
    for (int t = 1; t <= 5; ++t) {
        g.compute();
        EXPECT_EQ(acc->value.load(), float(t));
    }
}

TEST(Output, TheFrontSoundOutputCountsAndAFileLoadsItsRecordsInReverse) {
    GENERATOR g;
    auto* a = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1");
    auto* b = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_2");
    a->constant = 0.25f;
    b->constant = 0.75f;
    add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_1")->in.connect(&a->value);
    add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_2")->in.connect(&b->value);
    g.compute();
    EXPECT_EQ(g.value.load(), 0.25f) << "added from the editor: the first one added";
    GENERATOR empty;
    EXPECT_EQ(run(empty, 3), std::vector<float>(3, 0.0f));

    // Loaded from a file, the last record of a type is at the front.
    const std::string path = scratch_dir() + "/two.tsy";
    write_text(path, tsy("CONSTANTE_1;VALUE=1;\nCONSTANTE_2;VALUE=2;\nSOUND_OUTPUT_1;;\n"
                         "SOUND_OUTPUT_2;;\n",
                         "SOUND_OUTPUT_1;IN=CONSTANTE_1;\nSOUND_OUTPUT_2;IN=CONSTANTE_2;\n"));
    GENERATOR loaded;
    ASSERT_EQ(load_file(loaded, path), load_ok);
    loaded.compute();
    EXPECT_EQ(loaded.value.load(), 2.0f);
    EXPECT_STREQ(loaded.at(K::CONSTANTE, 0)->name, "CONSTANTE_2");
    EXPECT_STREQ(loaded.at(K::CONSTANTE, 1)->name, "CONSTANTE_1");
}

TEST(Nested, PortsPassSignalGateAndSyncIntoTheNestedPatch) {
    const std::string dir = scratch_dir();
    // Inside: a VCA gated by the port, fed by the port's signal.
    write_text(
        dir + "/inner.tsy",
        tsy("SOUND_INPUT_1;;\nVCA_1;ATTACK=0;DECAY=0;SUSTAIN=1;RELEASE=0;\n"
            "SOUND_OUTPUT_1;;\n",
            "VCA_1;IN=SOUND_INPUT_1;GATE=SOUND_INPUT_1;\nSOUND_OUTPUT_1;IN=SOUND_INPUT_1;\n"));
    write_text(dir + "/outer.tsy", tsy("CONSTANTE_1;VALUE=3;\nKEY_1;OCTAVE=4;\nGENERATOR_1;FILE=" +
                                           dir + "/inner.tsy;\nSOUND_OUTPUT_1;;\n",
                                       "GENERATOR_1;IN=CONSTANTE_1;GATE=KEY_1;SYNC=KEY_1;\n"
                                       "SOUND_OUTPUT_1;IN=GENERATOR_1;\n"));
    GENERATOR g;
    ASSERT_EQ(load_file(g, dir + "/outer.tsy"), load_ok);
    ASSERT_EQ(g.count(K::GENERATOR), 1u);
    auto* nested = static_cast<GENERATOR*>(g.at(K::GENERATOR, 0));
    auto* port = static_cast<SOUND_INPUT*>(nested->at(K::SOUND_INPUT, 0));
    auto* vca = static_cast<VCA*>(nested->at(K::VCA, 0));
    EXPECT_EQ(vca->gate_in.source(), &port->inner_gate.gate);
    EXPECT_EQ(vca->in.source(), &port->inner_output.value);

    run(g, 4);
    EXPECT_EQ(port->inner_output.value.load(), 3.0f);
    EXPECT_EQ(g.value.load(), 3.0f) << "signal in, through the nested output, out";
    EXPECT_EQ(port->inner_gate.gate.load(), 0);
    static_cast<KEYBOARD*>(g.at(K::KEYBOARD, 0))->play(22, true);
    int pulses = 0;
    for (int i = 0; i < 4; ++i) g.compute(), pulses += port->inner_sync.pulse.load();
    EXPECT_EQ(port->inner_gate.gate.load(), 1);
    EXPECT_EQ(pulses, 1) << "one pulse of one tick";

    // Without a port the nested patch ignores its inputs.
    GENERATOR outer;
    auto* c = add_named<CONSTANTE>(outer, K::CONSTANTE, "CONSTANTE_1");
    auto* bare = add_named<GENERATOR>(outer, K::GENERATOR, "GENERATOR_1");
    bare->in.connect(&c->value);
    add_named<SOUND_OUTPUT>(*bare, K::SOUND_OUTPUT, "SOUND_OUTPUT_1");
    run(outer, 5);
    EXPECT_EQ(bare->value.load(), 0.0f);
}

TEST(Sync, APulseLastsExactlyOneTickAndTwoRequestsGiveOne) {
    GENERATOR g;
    auto* key = add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1");
    key->request_pulse();
    key->request_pulse();
    std::vector<int> pulses;
    for (int i = 0; i < 4; ++i) g.compute(), pulses.push_back(key->pulse.load());
    EXPECT_EQ(pulses, (std::vector<int>{1, 0, 0, 0}));
    key->trigger();
    key->age = 5.0f;
    key->trigger();
    EXPECT_EQ(key->gate.load(), 1);
    EXPECT_EQ(key->age.load(), 0.0f) << "a trigger restarts the age";
}

TEST(Clear, DestroysEveryModuleAndNestedContainers) {
    const std::string dir = scratch_dir();
    write_text(dir + "/inner.tsy", tsy("VCO_1;TYPE=1;\nSOUND_OUTPUT_1;;\n"));
    write_text(dir + "/outer.tsy",
               tsy("GENERATOR_1;FILE=" + dir + "/inner.tsy;\nGENERATOR_2;FILE=" + dir +
                   "/inner.tsy;\nMIXER_1;;\n"));
    const std::size_t before = tracked_count();
    {
        GENERATOR g;
        ASSERT_EQ(load_file(g, dir + "/outer.tsy"), load_ok);
        EXPECT_EQ(g.total_count(), 3u);
        EXPECT_GT(tracked_count(), before + 6) << "outer modules and the nested ones are tracked";
        g.clear();
        EXPECT_EQ(g.total_count(), 0u);
        EXPECT_EQ(tracked_count(), before);
        EXPECT_EQ(run(g, 2), std::vector<float>(2, 0.0f));
    }
    EXPECT_EQ(tracked_count(), before);
}

TEST(RenderingFlag, StaysOffUntilTheOutermostChangeEnds) {
    audio_enabled = 1;
    {
        patch_rebuild outer;
        EXPECT_EQ(audio_enabled.load(), 0);
        GENERATOR nested;
        nested.clear(); // a clear inside a load
        EXPECT_EQ(audio_enabled.load(), 0);
        load_patch(nested, nullptr); // a nested load
        EXPECT_EQ(audio_enabled.load(), 0);
    }
    EXPECT_EQ(audio_enabled.load(), 1);
}

TEST(Registry, OrdersArePermutationsOfTheTypes) {
    for (const module_kind* order :
         {compute_order, object_word_order, find_word_order, palette_order}) {
        std::set<int> seen;
        for (int i = 0; i < module_kind_count; ++i) seen.insert(index_of(order[i]));
        EXPECT_EQ(seen.size(), std::size_t(module_kind_count));
    }
    std::set<int> links;
    for (module_kind k : link_word_order) {
        EXPECT_TRUE(links.insert(index_of(k)).second) << "listed twice: " << index_of(k);
    }
    for (K none : {K::MICRO, K::KEYBOARD, K::CONSTANTE, K::FAKE303})
        EXPECT_EQ(links.count(index_of(none)), 0u);
}

TEST(Registry, TypeWordsSettleTheTraps) {
    const std::pair<const char*, K> rows[] = {
        {"VCF303_2", K::VCF303},
        {"VCF_1", K::VCF},
        {"FORMANT_VCF_1", K::FORMANT_VCF},
        {"MULTI_VCO_3", K::MULTI_VCO},
        {"VCO_12", K::VCO},
        {"SOUND_OUTPUT_1", K::SOUND_OUTPUT},
        {"SOUND_INPUT_1", K::SOUND_INPUT},
        {"SEQUENCER_1", K::SEQUENCER},
        {"BASIC_OPERATION_2", K::BASIC_OPERATION},
    };
    for (const auto& [name, kind] : rows) {
        SCOPED_TRACE(name);
        ASSERT_NE(type_for_object_name(name), nullptr);
        EXPECT_EQ(type_for_object_name(name)->kind, kind);
        ASSERT_NE(type_for_link_name(name), nullptr);
        EXPECT_EQ(type_for_link_name(name)->kind, kind);
    }
    EXPECT_EQ(type_for_object_name("KEY_1")->kind, K::KEYBOARD);
    EXPECT_EQ(type_for_object_name("KEYBOARD_1")->kind, K::KEYBOARD);
    EXPECT_EQ(type_for_link_name("KEY_1"), nullptr) << "keyboards have no link records";
    EXPECT_EQ(type_for_object_name("OSCILLATOR"), nullptr);
    EXPECT_EQ(type_for_palette_name("BT_VCF303")->kind, K::VCF303);
    EXPECT_EQ(type_for_palette_name("BT_MULTI_VCO")->kind, K::MULTI_VCO);

    GENERATOR g;
    auto* key = add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1");
    auto* kb = add_named<KEYBOARD>(g, K::KEYBOARD, "KEYBOARD_1");
    add_named<SOUND_INPUT>(g, K::SOUND_INPUT, "SOUND_IN_1");
    auto* formant = add_named<OUTPUT>(g, K::FORMANT_VCF, "FORMANT_VCF_VCF");
    add_named<OUTPUT>(g, K::VCF, "FORMANT_VCF_VCF2");
    EXPECT_EQ(g.find_any("KEY_1"), key);
    EXPECT_EQ(g.find_any("KEYBOARD_1"), kb);
    EXPECT_EQ(g.find_any("SOUND_IN_1"), nullptr) << "ports are found only by their full word";
    EXPECT_EQ(g.find_any("FORMANT_VCF_VCF"), formant);
    EXPECT_EQ(g.find_any("FORMANT_VCF_VCF2"), nullptr) << "only the FORMANT_VCF list is searched";
    EXPECT_EQ(g.find(K::KEYBOARD, "KEY_"), nullptr) << "names compare whole";
}

// Modules cache what they derive from their parameters until a change is
// announced: their own computation must never announce one.
TEST(ChangeCount, TickingAPatchAnnouncesNoChange) {
    GENERATOR g;
    load_file(g, std::string(TM_TEST_DATA_DIR) + "/patches/valid_voice.tsy");
    for (int k = 0; k < module_kind_count; ++k)
        g.add_module(create_module(static_cast<K>(k)))
            ->set_name(std::string(type_of(k).class_name) + "_X");
    for (int i = 0; i < 100; ++i) g.compute(); // settle: first derivations, recorded cycles
    const std::uint32_t before = changes_seen();
    for (int i = 0; i < 5000; ++i) g.compute();
    EXPECT_EQ(changes_seen(), before);
}
