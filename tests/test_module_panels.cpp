// Module panels built on real modules: slider and button messages change the
// module's parameters by the documented steps. No layouts are read (the tests
// run away from the data directory): the widgets a test needs are appended by
// name, the way a layout would create them.
#include <filesystem>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "editor/levels.hpp"
#include "editor/module_rows.hpp"
#include "editor/panels/param_panel.hpp"
#include "editor/panels/sequencer_panel.hpp"
#include "engine/generator.hpp"
#include "modules/control.hpp"
#include "modules/multi_vco.hpp"
#include "modules/sampler.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "modules/vco.hpp"
#include "support/toolkit_support.hpp"
#include "toolkit/image_bank.hpp"
#include "util/messages.hpp"

namespace tmod {
namespace {

struct built {
    module_ptr module;
    panel_ptr panel;
};

built panel_for(module_kind kind) {
    built b{create_module(kind), nullptr};
    b.panel = make_module_panel(kind, *b.module, 12);
    return b;
}

SPRITE* add_slider(OBJET& p, const char* local) {
    return p.append(std::make_unique<SLIDER>((std::string("12_") + local).c_str(), "SLD2"));
}
SPRITE* add_button(OBJET& p, const char* local) {
    return p.append(std::make_unique<BUTTON>((std::string("12_") + local).c_str(), "B_OFF", "0", "B_ON"));
}
LABEL* add_label(OBJET& p, const char* local) {
    auto l = std::make_unique<LABEL>("", 0, 0, 10, 10, 0, 10, 0);
    l->set_name((std::string("12_") + local).c_str());
    return static_cast<LABEL*>(p.append(std::move(l)));
}
void slide(OBJET& p, SPRITE* s, const char* text, int times = 1) {
    for (int i = 0; i < times; ++i) p.post(GUI_MESSAGE::command(text, s));
    p.update();
}
void click(OBJET& p, SPRITE* b, int mouse_button) {
    p.post(GUI_MESSAGE::mouse(event_button_up, mouse_button, b));
    p.update();
}

TEST(ModulePanels, EveryTypeGetsItsNamedPanelWithoutLayouts) {
    const struct {
        module_kind kind;
        const char* name;
        int play_mode;
    } cases[] = {
        {module_kind::VCO, "VCO_12", 1},          {module_kind::AFFICHAGE, "VAL_12", 1},
        {module_kind::SEQUENCER, "SEQUEN_12", 2}, {module_kind::SAMPLER, "SAMPLER_12", 2},
        {module_kind::MICRO, "KEY_12", 1},        {module_kind::PHASER, "VCF_12", 1},
        {module_kind::GENERATOR, "GENERATOR_12", 1},
    };
    for (const auto& c : cases) {
        const built b = panel_for(c.kind);
        ASSERT_TRUE(b.panel);
        EXPECT_STREQ(b.panel->panel_name, c.name);
        EXPECT_EQ(play_display_mode(*b.panel), c.play_mode) << c.name;
    }
    // Every other type builds too, and updates with nothing queued.
    for (int k = 0; k < module_kind_count; ++k) {
        built b = panel_for(static_cast<module_kind>(k));
        ASSERT_TRUE(b.panel) << k;
        EXPECT_EQ(b.panel->update(), 0);
    }
}

TEST(ModulePanels, OscillatorSlidersStepByBandsAndPhaseWraps) {
    built b = panel_for(module_kind::VCO);
    auto& vco = static_cast<VCO&>(*b.module);
    OBJET& p = *b.panel;
    SPRITE* freq = add_slider(p, "SLD_FREQUENCE");
    SPRITE* volume = add_slider(p, "SLD_VOLUME");
    SPRITE* phase = add_slider(p, "SLD_PHASE");
    LABEL* freq_label = add_label(p, "LABEL_FREQUENCE");

    // Dragged up raises: 49.9 + 0.5 (one band); down lowers: 50.2 - 1.0 - 0.5
    // (two bands).
    vco.freq = 49.9f;
    slide(p, freq, "SLD_UP");
    EXPECT_NEAR(vco.freq.load(), 50.4, 1e-4);
    EXPECT_STREQ(freq_label->caption, "50.400");
    vco.freq = 50.2f;
    slide(p, freq, "SLD_DOWN");
    EXPECT_NEAR(vco.freq.load(), 48.7, 1e-4);

    vco.freq = 110.0f;
    vco.amount = 5.0f;
    slide(p, volume, "SLD_UP");
    EXPECT_NEAR(vco.amount.load(), 5.0125, 1e-6);
    EXPECT_EQ(vco.freq.load(), 110.0f);

    vco.phase = 359.0f;
    slide(p, phase, "SLD_UP");
    EXPECT_EQ(vco.phase.load(), 0.0f);
    slide(p, phase, "SLD_DOWN");
    EXPECT_EQ(vco.phase.load(), -1.0f);
}

TEST(ModulePanels, WaveformDisplayCyclesOneToNineWithItsPicture) {
    built b = panel_for(module_kind::VCO);
    auto& vco = static_cast<VCO&>(*b.module);
    SPRITE* display = add_button(*b.panel, "AFFICHAGE_TYPE_ONDE");
    vco.type = 1;
    click(*b.panel, display, 5); // wheel down
    EXPECT_EQ(vco.type.load(), 9);
    EXPECT_STREQ(display->image, "DISP_NOISE_TAM");
    click(*b.panel, display, 1); // left
    EXPECT_EQ(vco.type.load(), 1);
    EXPECT_STREQ(display->image, "DISP_SIN");
    click(*b.panel, display, 4); // wheel up
    EXPECT_EQ(vco.type.load(), 2);
}

TEST(ModulePanels, FilterCutoffAndResonanceStepByTheirOwnRules) {
    built f = panel_for(module_kind::VCF);
    auto& vcf = static_cast<VCF&>(*f.module);
    SPRITE* cutoff = add_slider(*f.panel, "SLD_HICUTOFF");
    const struct {
        int from;
        const char* text;
        int to;
    } cutoffs[] = {
        {300, "SLD_DOWN", 290},   // lowers by 10
        {300, "SLD_UP", 310},     // raises by 10
        {1000, "SLD_DOWN", 965},  // 25 in 1000.., then 10 in 100..1000
        {1000, "SLD_UP", 1025},   // one step only
        {5000, "SLD_DOWN", 4850}, // 100, then 50
    };
    for (const auto& c : cutoffs) {
        vcf.hicut = c.from;
        slide(*f.panel, cutoff, c.text);
        EXPECT_EQ(vcf.hicut.load(), c.to) << c.from << " " << c.text;
    }

    built r = panel_for(module_kind::VCF303);
    auto& vcf303 = static_cast<VCF303&>(*r.module);
    SPRITE* reso = add_slider(*r.panel, "SLD_RESO");
    const struct {
        float from;
        const char* text;
        double to;
    } resonances[] = {
        {0.5f, "SLD_DOWN", 0.5 - 0.5 / 100},    // lowers by r/100
        {0.85f, "SLD_UP", 0.85 + 0.85 / 1000},  // raises by r/1000
        {0.95f, "SLD_UP", 0.95 + 0.95 / 10000}, // r/10000 near the top
        {0.995f, "SLD_UP", 0.995},              // kept at the ceiling
    };
    for (const auto& c : resonances) {
        vcf303.q = c.from;
        slide(*r.panel, reso, c.text);
        EXPECT_NEAR(vcf303.q.load(), c.to, 1e-6) << c.from << " " << c.text;
    }
}

TEST(ModulePanels, MixerHasTwentyFourChannelStripsStepsOf1800thsAndKnobsShowTheLevel) {
    built b = panel_for(module_kind::MIXER);
    auto& mixer = static_cast<MIXER&>(*b.module);
    OBJET& p = *b.panel;
    EXPECT_NE(p.find_element("SLD_CANAL_23"), nullptr);
    EXPECT_NE(p.find_element("BYPASS_CANAL_23"), nullptr);
    EXPECT_NE(p.find_element("LABEL_CANAL_23_TXT"), nullptr);
    EXPECT_EQ(p.find_element("SLD_CANAL_24"), nullptr);

    mixer.volumes[23] = 0.5f;
    p.update(); // nothing queued: the panel does not move the level by itself
    SPRITE* last = p.find_element("SLD_CANAL_23");
    slide(p, last, "SLD_UP");
    EXPECT_NEAR(mixer.volumes[23].load(), 901.0 / 1800.0, 1e-6);
    EXPECT_STREQ(static_cast<LABEL*>(p.find_element("LABEL_CANAL_23"))->caption, "0.5");
    // The pointer turns clockwise from seven o'clock (135) to five (-135).
    slide(p, last, "SLD_DOWN", 901);
    EXPECT_EQ(mixer.volumes[23].load(), 0.0f);
    EXPECT_EQ(last->angle, 135);
    slide(p, last, "SLD_UP", 1440);
    EXPECT_EQ(last->angle, 135 - 216); // 0.8 of the turn
    slide(p, last, "SLD_UP", 400);
    EXPECT_EQ(mixer.volumes[23].load(), 1.0f);
    EXPECT_EQ(last->angle, -135);

    // A knob named for a 25th channel changes nothing.
    SPRITE* extra = add_slider(p, "SLD_CANAL_24");
    slide(p, extra, "SLD_DOWN", 5);
    for (int n = 0; n < MIXER::max_channels; ++n)
        EXPECT_EQ(mixer.volumes[n].load(), n == 23 ? mixer.volumes[23].load() : 1.0f) << n;

    click(p, p.find_element("BYPASS_CANAL_3"), 1);
    EXPECT_EQ(mixer.bypasses[3].load(), 1.0f);
}

TEST(ModulePanels, SequencerVolumeStaysOnTheTenthsGrid) {
    built b = panel_for(module_kind::SEQUENCER);
    auto& seq = static_cast<SEQUENCER&>(*b.module);
    OBJET& p = *b.panel;
    EXPECT_NE(p.find_element("SLD_VOL_32"), nullptr);
    EXPECT_NE(p.find_element("BUTTON_SLIDE_32"), nullptr);
    EXPECT_EQ(p.find_element("SLD_VOL_33"), nullptr);

    seq.memory.vol[0][0] = 0.0f;
    slide(p, p.find_element("SLD_VOL_1"), "SLD_UP", 10);
    EXPECT_EQ(seq.memory.vol[0][0], 1.0f); // exactly: the step plays only at 1.0
    slide(p, p.find_element("SLD_VOL_1"), "SLD_DOWN", 13);
    EXPECT_EQ(seq.memory.vol[0][0], -0.3f);

    seq.memory.length[0][4] = 1.0f;
    slide(p, p.find_element("SLD_LENGHT_5"), "SLD_UP");
    EXPECT_EQ(seq.memory.length[0][4], 2.0f);

    seq.memory.note[0][1] = 12;
    click(p, p.find_element("BUTTON_NOTE_2_UP"), 1);
    EXPECT_EQ(seq.memory.note[0][1], 12);
    seq.memory.octave[0][1] = 0;
    click(p, p.find_element("BUTTON_OCT_2_DOWN"), 1);
    EXPECT_EQ(seq.memory.octave[0][1], 0);
    click(p, p.find_element("BUTTON_ACCENT_2"), 1);
    EXPECT_EQ(seq.memory.accent[0][1], 1);
    EXPECT_EQ(static_cast<BUTTON*>(p.find_element("BUTTON_ACCENT_2"))->state, 1);
}

// Changes the working directory for one test.
struct in_directory {
    explicit in_directory(const std::string& dir) : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~in_directory() { std::filesystem::current_path(previous); }
    std::filesystem::path previous;
};

TEST(ModulePanels, PartitionNamesTypedInTheWindowStayInsidePartitions) {
    const std::string dir = test::scratch_dir();
    std::filesystem::create_directories(dir + "/PARTITIONS");
    in_directory here(dir);
    built b = panel_for(module_kind::SEQUENCER);
    OBJET& p = *b.panel;
    SPRITE* save = add_button(p, "BT_SAVE");
    SPRITE* load = add_button(p, "BT_LOAD");
    // The editor's prompt, answered here with `typed`: what it says back.
    std::string typed, refused;
    ask_user = [&](name_request r) { refused = r.accept(typed); };

    for (const char* bad : {"../escape", "sub/x", "", "my part", "semi;colon", "a=b", "bell\a"}) {
        typed = bad;
        refused.clear();
        click(p, save, 1);
        EXPECT_FALSE(refused.empty()) << bad;
    }
    EXPECT_TRUE(std::filesystem::is_empty("PARTITIONS"));
    EXPECT_FALSE(std::filesystem::exists("escape.PAR"));

    auto& seq = static_cast<SEQUENCER&>(*b.module);
    seq.memory.note[0][7] = 5;
    typed = "mine";
    click(p, save, 1);
    EXPECT_EQ(refused, "");
    ASSERT_EQ(std::filesystem::file_size("PARTITIONS/mine.PAR"), sizeof(partition_block));
    seq.memory.note[0][7] = 0;
    click(p, load, 1);
    EXPECT_EQ(seq.memory.note[0][7], 5);
    // Another partition is never written over from the panel; a missing one
    // is not loaded.
    test::write_text("PARTITIONS/other.PAR", "theirs");
    typed = "other";
    click(p, save, 1);
    EXPECT_FALSE(refused.empty());
    EXPECT_EQ(test::read_text("PARTITIONS/other.PAR"), "theirs");
    typed = "nothing";
    click(p, load, 1);
    EXPECT_FALSE(refused.empty());
    ask_user = nullptr;
}

TEST(ModulePanels, WheelOverAKnobRaisesUpAndLowersDown) {
    built b = panel_for(module_kind::VCO);
    auto& vco = static_cast<VCO&>(*b.module);
    OBJET& p = *b.panel;
    SPRITE* freq = add_slider(p, "SLD_FREQUENCE");
    SPRITE* phase = add_slider(p, "SLD_PHASE");
    vco.freq = 110.0f;
    click(p, freq, 4);
    EXPECT_EQ(vco.freq.load(), 111.0f);
    click(p, freq, 5);
    click(p, freq, 5);
    EXPECT_EQ(vco.freq.load(), 109.0f);
    vco.phase = 10.0f;
    click(p, phase, 4);
    EXPECT_EQ(vco.phase.load(), 11.0f);

    built s = panel_for(module_kind::SEQUENCER);
    auto& seq = static_cast<SEQUENCER&>(*s.module);
    seq.memory.vol[0][2] = 0.5f;
    click(*s.panel, s.panel->find_element("SLD_VOL_3"), 4);
    EXPECT_EQ(seq.memory.vol[0][2], 0.6f);
}

TEST(ModulePanels, MultiVcoTunesEachVoiceAndShowsTheVoiceCount) {
    built b = panel_for(module_kind::MULTI_VCO);
    auto& m = static_cast<MULTI_VCO&>(*b.module);
    OBJET& p = *b.panel;
    SPRITE* third = add_slider(p, "SLD_FREQ_03");
    SPRITE* last = add_slider(p, "SLD_FREQ_16");
    LABEL* third_label = add_label(p, "LABEL_FREQ_03");
    SPRITE* count = add_slider(p, "SLIDER_NBR_VCO");
    LABEL* count_label = add_label(p, "LABEL_NBR_VCO");

    slide(p, third, "SLD_UP", 2); // 110 by bands of 1.0
    EXPECT_EQ(m.voices[2].freq.load(), 112.0f);
    EXPECT_EQ(m.voices[1].freq.load(), 110.0f);
    EXPECT_STREQ(third_label->caption, "112.000");
    m.voices[15].freq = 20.0f;
    slide(p, last, "SLD_DOWN"); // 20 - 0.5 - 0.025: the lowering crosses a band
    EXPECT_NEAR(m.voices[15].freq.load(), 19.475, 1e-5);

    slide(p, count, "SLD_UP", 20); // 4 up to the panel's limit of 15
    EXPECT_EQ(m.voice_count.load(), 15);
    EXPECT_STREQ(count_label->caption, "15");
}

TEST(ModulePanels, SamplerLoopRegionStepsByHundredthsShownInSeconds) {
    built b = panel_for(module_kind::SAMPLER);
    auto& smp = static_cast<SAMPLER&>(*b.module);
    OBJET& p = *b.panel;
    SPRITE* begin = add_slider(p, "SLD_LOOP_BEGIN_TIME");
    SPRITE* end = add_slider(p, "SLD_LOOP_END_TIME");
    LABEL* end_label = add_label(p, "LABEL_LOOP_END_TIME");
    smp.loop_begin = 0.0f;
    smp.loop_end = 44100.0f;
    slide(p, end, "SLD_UP");
    EXPECT_EQ(smp.loop_end.load(), 44541.0f);
    EXPECT_STREQ(end_label->caption, "1.010");
    slide(p, begin, "SLD_DOWN"); // never before the start
    EXPECT_EQ(smp.loop_begin.load(), 0.0f);
    slide(p, begin, "SLD_UP", 3);
    EXPECT_EQ(smp.loop_begin.load(), 1323.0f);
}

TEST(ModulePanels, SequencerPatternButtonsAndPartitionStepping) {
    const std::string dir = test::scratch_dir();
    std::filesystem::create_directories(dir + "/PARTITIONS");
    in_directory here(dir);
    built b = panel_for(module_kind::SEQUENCER);
    auto& seq = static_cast<SEQUENCER&>(*b.module);
    OBJET& p = *b.panel;
    SPRITE* pattern3 = add_button(p, "BUTTON_PATTERN_3");
    SPRITE* pattern0 = add_button(p, "BUTTON_PATTERN_0");
    seq.memory.note[0][0] = 10;
    seq.memory.note[3][0] = 7;
    seq.memory.vol[3][1] = 0.9f;
    seq.memory.length[3][1] = 2.0f;
    click(p, pattern3, 1);
    EXPECT_EQ(seq.wished_pattern.load(), 3);
    EXPECT_EQ(static_cast<BUTTON*>(pattern3)->state, 1);
    EXPECT_EQ(static_cast<BUTTON*>(pattern0)->state, 0);
    // The chosen pattern shows and is edited at once, while pattern 0 plays on.
    EXPECT_EQ(seq.current_pattern.load(), 0);
    EXPECT_STREQ(p.find_element("SPRITE_NOTE_1")->image, "LED_NUMERIC_1_7");
    EXPECT_STREQ(static_cast<LABEL*>(p.find_element("LABEL_TXT_2_VOL"))->caption, ".9");
    EXPECT_STREQ(static_cast<LABEL*>(p.find_element("LABEL_TXT_2_LENGHT"))->caption, "2");
    click(p, p.find_element("BUTTON_NOTE_1_UP"), 1);
    EXPECT_EQ(seq.memory.note[3][0], 8);
    EXPECT_EQ(seq.memory.note[0][0], 10);
    // A choice made elsewhere (a file, the remote) shows on the next update.
    seq.wished_pattern = 0;
    p.update();
    EXPECT_STREQ(p.find_element("SPRITE_NOTE_1")->image, "LED_NUMERIC_1_10");

    // The lamp of the step that plays next is lit on the next update.
    seq.current_step = 4;
    p.update();
    EXPECT_STREQ(p.find_element("LAMPE_STEP_5")->image, "LAMP_LED_1_1");
    EXPECT_STREQ(p.find_element("LAMPE_STEP_1")->image, "LAMP_LED_1_0");

    // A partition with a 7 on its first step, stepped to with FILE_UP.
    partition_block block{};
    block.note[0][0] = 7;
    {
        std::FILE* f = std::fopen("PARTITIONS/a.par", "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(&block, sizeof block, 1, f);
        std::fclose(f);
    }
    seq.timer = 5000.0f;
    click(p, add_button(p, "FILE_UP"), 1);
    EXPECT_EQ(seq.memory.note[0][0], 7);
    EXPECT_EQ(seq.current_step.load(), 31);
    EXPECT_EQ(seq.timer, 0.0f);
    seq.timer = 5000.0f;
    click(p, add_button(p, "FILE_DOWN"), 1); // keeps the time
    EXPECT_EQ(seq.timer, 5000.0f);
}

TEST(ModulePanels, NestedPatchPanelIsNamedAfterItsModule) {
    module_ptr g = create_module(module_kind::GENERATOR);
    g->set_name("GENERATOR_4");
    panel_ptr panel = make_module_panel(module_kind::GENERATOR, *g, 3);
    EXPECT_STREQ(panel->name, "GENERATOR_4");
    EXPECT_STREQ(panel->panel_name, "GENERATOR_3");
}

TEST(ModulePanels, LayoutControlsAreFoundUnderTheShortPrefixAndShowTheModule) {
    const std::string dir = test::scratch_dir();
    std::filesystem::create_directories(dir + "/RC");
    test::write_text(dir + "/RC/VCO.RC",
                     "THIS\nCOLOR=0;WIDTH=256;HEIGHT=248;ALPHA=255;\n"
                     "SLIDER\tSLD_FREQUENCE\tSLD2\t18\t54\t0\t0\t0\t1.000000\t0\n"
                     "LABEL\tLABEL_FREQUENCE\t-\t11\t90\t1\t10\t7929775\n"
                     "LABEL\tlabel_NAME\t-\t12\t24\t1\t10\t14211806\n"
                     "BUTTON\tAFFICHAGE_TYPE_ONDE\tDISP_SIN\tDISP_SIN\tDISP_SIN\t64\t116\t0\t0\t0\t1.000000\t0\n");
    in_directory here(dir);
    module_ptr module = create_module(module_kind::VCO);
    module->set_name("VCO_7");
    auto& vco = static_cast<VCO&>(*module);
    vco.type = 4;
    panel_ptr panel = make_module_panel(module_kind::VCO, *module, 7);
    EXPECT_STREQ(panel->panel_name, "VCO_7");
    SPRITE* freq = panel->find_element("SLD_FREQUENCE");
    ASSERT_NE(freq, nullptr);
    EXPECT_STREQ(freq->name, "7_SLD_FREQUENCE");
    EXPECT_EQ(freq->angle, -50); // 135 - 270 x ln(110 / 0.001) / ln(22050 / 0.001)
    EXPECT_STREQ(static_cast<LABEL*>(panel->find_element("LABEL_FREQUENCE"))->caption, "110.000");
    EXPECT_STREQ(static_cast<LABEL*>(panel->find_element("label_NAME"))->caption, "VCO_7");
    SPRITE* display = panel->find_element("AFFICHAGE_TYPE_ONDE");
    ASSERT_NE(display, nullptr);
    display->update(); // the button shows its state image, which is the picture
    EXPECT_STREQ(display->image, "DISP_SQR");
    slide(*panel, freq, "SLD_DOWN");
    EXPECT_EQ(vco.freq.load(), 109.0f);
}

TEST(ModulePanels, ValueDisplaysFollowTheEngineOnEachUpdate) {
    built b = panel_for(module_kind::AFFICHAGE);
    LABEL* shown = add_label(*b.panel, "LABEL_CST_VALUE");
    SPRITE* lamp = b.panel->append(std::make_unique<SPRITE>("CHK_1_OFF", 0, 0, 0, 0, 0, 1.0f, 0, 255));
    lamp->set_name("12_LAMPE");
    b.module->value = 0.25f;
    b.panel->update();
    EXPECT_STREQ(shown->caption, " 0.250");
    EXPECT_STREQ(lamp->image, "CHK_1_ON");
    b.module->value = -2.0f;
    b.panel->update();
    EXPECT_STREQ(shown->caption, "-2.000");
    EXPECT_STREQ(lamp->image, "CHK_1_OFF");
}

TEST(ModulePanels, PanelsReadTheirFacesOnlyWhenNeededAndStopWithTheLoad) {
    const std::string dir = test::scratch_dir();
    std::filesystem::create_directories(dir + "/RC");
    test::write_text(dir + "/RC/VCO.RC",
                     "THIS\nCOLOR=0;WIDTH=200;HEIGHT=150;ALPHA=255;\n"
                     "LABEL\tLABEL_FREQUENCE\t-\t11\t90\t1\t10\t7929775\n");
    test::write_text(dir + "/p.tsy", test::tsy("VCO_1;FREQ=110;\nVCO_2;FREQ=220;\nVCO_3;FREQ=330;\n"
                                               "VCO_4;FREQ=440;\nVCO_5;FREQ=550;\n"));
    in_directory here(dir);
    image_bank().clear(); // sizes measured in another directory are stale
    GENERATOR g;
    ASSERT_EQ(test::load_file(g, dir + "/p.tsy"), load_ok);
    panel_list panels;
    ASSERT_TRUE(build_panels(panels, g));
    ASSERT_EQ(panels.size(), 5u);
    // The first panel made was measured; the others wait with its sizes.
    int waiting = 0;
    for (const panel_ptr& p : panels) {
        waiting += !p->faces_built();
        EXPECT_EQ(p->w, 200);
        EXPECT_EQ(p->h, 150);
    }
    EXPECT_EQ(waiting, 4);
    auto& last = static_cast<PARAM_GUI&>(*panels.front()); // VCO_5, placed last
    ASSERT_FALSE(last.faces_built());
    last.refresh(); // what an undo does to every panel of the level
    last.update();
    pointer_x = pointer_y = -1000;
    EXPECT_EQ(last.element_at_pointer(), nullptr);
    EXPECT_FALSE(last.faces_built());
    // Read when looked into, showing the module as it is then.
    static_cast<VCO&>(*last.module).freq = 600.0f;
    auto* freq = dynamic_cast<LABEL*>(last.find_element("LABEL_FREQUENCE"));
    ASSERT_NE(freq, nullptr);
    EXPECT_STREQ(freq->caption, "600.000");

    // A load told to stop keeps the panels made so far.
    panels.clear();
    int asked = 0;
    EXPECT_FALSE(build_panels(panels, g, [&] { return ++asked < 2; }));
    EXPECT_EQ(panels.size(), 2u);
}

} // namespace
} // namespace tmod
