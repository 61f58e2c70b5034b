// Edit-mode cables without a window: the rebuild draws exactly the engine's
// connections, and the gestures connect only what the rules allow.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>

#include "editor/cables.hpp"
#include "editor/levels.hpp"
#include "engine/generator.hpp"
#include "engine/patch_ops.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/harness.hpp"
#include "toolkit/image_bank.hpp"
#include "util/messages.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

// (input module, input plug, source module, source plug, colour)
using cable_row = std::tuple<std::string, std::string, std::string, std::string, std::uint32_t>;

class Cables : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
        std::string why;
        ASSERT_EQ(image_bank().try_load_bundle("grfx/opengl.tim", why), 1) << why;
        dir = scratch_dir();
    }
    void load(const std::string& objects, const std::string& links) {
        write_text(dir + "/p.tsy", tsy(objects, links));
        cables.clear();
        panels.clear(); // they show the modules about to go
        ASSERT_EQ(load_patch(g, (dir + "/p.tsy").c_str()), load_ok);
        build();
    }
    // The level's panels as the editor builds them from the patch.
    void build() {
        cables.clear();
        panels.clear();
        build_panels(panels, g);
    }
    MODULE_GUI* panel(const std::string& module) {
        for (auto& p : panels)
            if (auto* m = dynamic_cast<MODULE_GUI*>(p.get()); m && module == m->module->name)
                return m;
        ADD_FAILURE() << "no panel for " << module;
        return nullptr;
    }
    std::set<cable_row> rebuilt() {
        cables.rebuild(g, panels);
        std::set<cable_row> rows;
        for (auto& c : cables.cables) {
            auto* a = dynamic_cast<MODULE_GUI*>(c->panel_a);
            auto* b = dynamic_cast<MODULE_GUI*>(c->panel_b);
            if (!a || !b || !c->widget_a || !c->widget_b) {
                ADD_FAILURE() << "cable with a missing end";
                continue;
            }
            rows.insert({a->module->name, strip_panel_prefix(c->widget_a->name), b->module->name,
                         strip_panel_prefix(c->widget_b->name), c->colour});
        }
        EXPECT_EQ(rows.size(), cables.cables.size()) << "two cables for one connection";
        return rows;
    }
    // The module that feeds the slot, found by comparing the slot's source
    // with every module's outputs.
    std::string source_of(const std::string& module, const char* key, int channel = 0) {
                OUTPUT* m = g.find_any(module);
        const module_type* t = g.type_of_module(m);
        const slot_desc* s = t ? find_slot(*t, key) : nullptr;
        if (!s) return "?";
        const void* field = s->kind == slot_kind::channel ? static_cast<const void*>(s->channel(*m, channel)->source())
                            : s->kind == slot_kind::signal ? static_cast<const void*>(s->signal(*m)->source())
                                                           : static_cast<const void*>(s->flag(*m)->source());
        if (!field) return "";
        for (int k = 0; k < module_kind_count; ++k)
            for (std::size_t i = 0; i < g.count(type_of(k).kind); ++i) {
                OUTPUT* o = g.at(type_of(k).kind, i);
                const module_type& ot = type_of(k);
                if ((ot.signal_out && field == ot.signal_out(*o)) ||
                    (ot.gate_out && field == ot.gate_out(*o)) ||
                    (ot.sync_out && field == ot.sync_out(*o)))
                    return o->name;
            }
        return "elsewhere";
    }
    // Press a plug, move, release over another (or over nothing).
    void drag(const char* from, const char* from_plug, const char* to, const char* to_plug,
              bool right_ctrl = false, bool del = false, bool shift = false) {
        MODULE_GUI* p = panel(from);
        ASSERT_TRUE(p);
        SPRITE* w = find_plug(*p, from_plug);
        ASSERT_TRUE(w) << from << " " << from_plug;
        EXPECT_EQ(cables.press(p, w, shift), 1);
        cables.right_ctrl_held = right_ctrl;
        if (del) cables.unplug();
        cables.motion(500, 500);
        MODULE_GUI* t = to ? panel(to) : nullptr;
        cables.drop(t, t ? find_plug(*t, to_plug) : nullptr);
        cables.right_ctrl_held = cables.delete_held = false;
        EXPECT_EQ(relink, 1);
    }

    GENERATOR g;
    panel_list panels;
    int relink = 0;
    cable_editor cables{relink};
    std::string dir;
};

TEST_F(Cables, RebuildGivesOneCablePerConnectedSlotOfEveryPanelType) {
    load("KEY_1;OCTAVE=4;\n", "");
    // One module of each type, connected through the seam.
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        ASSERT_TRUE(add_module(g, t.kind, std::string(t.editor_word) + "_9")) << t.editor_word;
    }
    build();
    auto ref = [&](const char* name) {
        OUTPUT* m = g.find_any(name);
        return module_ref{m, g.type_of_module(m)};
    };
    auto link = [&](const char* target, const char* key, const char* source, int channel = -1) {
        OUTPUT* m = g.find_any(target);
        ASSERT_TRUE(m) << target;
        const slot_desc* s = find_slot(*g.type_of_module(m), key);
        ASSERT_TRUE(s) << target << " " << key;
        EXPECT_TRUE(connect(*m, *s, source ? ref(source) : module_ref{}, channel)) << target << key;
    };
    link("VCO_9", "IN", "KEY_1");
    link("VCO_9", "GATE", "KEYBOARD_9");
    link("VCO_9", "SYNC", "SEQUENCER_9");
    link("VCF_9", "MOD_FREQ", "VCO_9");
    link("VCF303_9", "IN", "FAKE303_9");
    link("FAKE303_9", "ALT_PWM", "CONSTANTE_9");
    link("FORMANT_VCF_9", "IN", "MULTI_VCO_9");
    link("MULTI_VCO_9", "MOD_AMP", "VCO_9");
    link("MIXER_9", "ADD_CHANELL", "VCF_9");
    link("MIXER_9", "ADD_CHANELL", nullptr); // an empty channel has no cable
    link("MIXER_9", "ADD_CHANELL", "VCF303_9");
    link("VCA_9", "IN", "MIXER_9");
    link("VCA_9", "GATE", "SEQUENCER_9");
    link("SOUND_OUTPUT_9", "IN", "VCA_9");
    link("SAMPLER_9", "MOD_AMP", "CONSTANTE_9");
    link("SAMPLER_9", "SYNC", "KEYBOARD_9");
    link("SFX_DELAY_9", "ALT_FREQ", "MICRO_9");
    link("PHASER_9", "IN", "SFX_DELAY_9");
    link("AFFICHAGE_9", "IN", "PHASER_9");
    link("BASIC_OPERATION_9", "IN_IF", "VARIABLE_9");
    link("VARIABLE_9", "IN_ASSIGN", "AFFICHAGE_9");
    link("SEQUENCER_9", "INPUT_PART", "BASIC_OPERATION_9");
    link("GENERATOR_9", "IN", "SAMPLER_9");
    link("GENERATOR_9", "GATE", "KEY_1");
    link("SOUND_INPUT_9", "IN", "VCO_9"); // the port's inputs are not drawn

    const std::uint32_t W = 0xFFFFFF, R = 0xFF0000, B = 0x0000FF;
    const std::set<cable_row> expected = {
        {"VCO_9", "INPUT", "KEY_1", "OUTPUT", W},
        {"VCO_9", "INPUT_GATE", "KEYBOARD_9", "OUTPUT_GATE", R},
        {"VCO_9", "INPUT_SYNC", "SEQUENCER_9", "OUTPUT_SYNC", B},
        {"VCF_9", "INPUT_MOD_FREQ", "VCO_9", "OUTPUT", W},
        {"VCF303_9", "INPUT", "FAKE303_9", "OUTPUT", W},
        {"FAKE303_9", "INPUT_PWM", "CONSTANTE_9", "OUTPUT", W},
        {"FORMANT_VCF_9", "INPUT", "MULTI_VCO_9", "OUTPUT", W},
        {"MULTI_VCO_9", "INPUT_MOD_AMP", "VCO_9", "OUTPUT", W},
        {"MIXER_9", "INPUT_1", "VCF_9", "OUTPUT", W},
        {"MIXER_9", "INPUT_3", "VCF303_9", "OUTPUT", W},
        {"VCA_9", "INPUT", "MIXER_9", "OUTPUT", W},
        {"VCA_9", "INPUT_GATE", "SEQUENCER_9", "OUTPUT_GATE", R},
        {"SOUND_OUTPUT_9", "INPUT", "VCA_9", "OUTPUT", W},
        {"SAMPLER_9", "INPUT_MOD_AMP", "CONSTANTE_9", "OUTPUT", W},
        {"SAMPLER_9", "INPUT_SYNC", "KEYBOARD_9", "OUTPUT_SYNC", B},
        {"SFX_DELAY_9", "INPUT_ALT_FREQ", "MICRO_9", "OUTPUT", W},
        {"PHASER_9", "INPUT", "SFX_DELAY_9", "OUTPUT", W},
        {"AFFICHAGE_9", "INPUT", "PHASER_9", "OUTPUT", W},
        {"BASIC_OPERATION_9", "INPUT_IF", "VARIABLE_9", "OUTPUT", W},
        {"VARIABLE_9", "INPUT_ASSIGN", "AFFICHAGE_9", "OUTPUT", W},
        {"SEQUENCER_9", "INPUT_PART", "BASIC_OPERATION_9", "OUTPUT", W},
        {"GENERATOR_9", "INPUT", "SAMPLER_9", "OUTPUT", W},
        {"GENERATOR_9", "INPUT_GATE", "KEY_1", "OUTPUT_GATE", R},
    };
    message_capture said;
    EXPECT_EQ(rebuilt(), expected);
    EXPECT_EQ(relink, 0);
    // A source without a panel on this level is said and skipped.
    for (auto& p : panels)
        if (auto* m = dynamic_cast<MODULE_GUI*>(p.get()); m && m->kind == module_kind::KEYBOARD)
            p->elements_back.clear(); // its plugs are gone
    const std::size_t before = expected.size();
    EXPECT_EQ(rebuilt().size(), before - 4); // KEYBOARD_9 and KEY_1 lost their plugs
    EXPECT_NE(said.text().find("Cannot find OUTPUT of Object connected"), std::string::npos)
        << said.text();
}

TEST_F(Cables, GesturesConnectOnlyWhatTheRulesAllow) {
    const std::string objects =
        "KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=110;AMOUNT=1;PHASE=0;\nVCO_2;TYPE=1;FREQ=110;"
        "AMOUNT=1;PHASE=0;\nVCF_1;HICUT=350;Q=1;GAIN=0;TYPE=1;BYPASS=0;\n";
    const std::string linked = "VCF_1;IN=VCO_1;MOD_FREQ=VCO_1;\n";
    struct step {
        const char *from, *from_plug, *to, *to_plug;
        bool right_ctrl, del, shift = false;
    };
    struct expect {
        const char *module, *key, *source;
    };
    const struct {
        const char* name;
        step gesture;
        std::vector<expect> after;
        std::size_t cables;
    } cases[] = {
        {"signal output onto a modulation input",
         {"VCO_2", "OUTPUT", "VCO_1", "INPUT_MOD_FREQ", false, false},
         {{"VCO_1", "MOD_FREQ", "VCO_2"}, {"VCF_1", "MOD_FREQ", "VCO_1"}},
         3},
        {"gate cable onto a sync plug connects nothing",
         {"KEY_1", "OUTPUT_GATE", "VCO_1", "INPUT_SYNC", false, false},
         {{"VCO_1", "SYNC", ""}, {"VCO_1", "GATE", ""}},
         2},
        {"gate cable onto a gate plug",
         {"KEY_1", "OUTPUT_GATE", "VCO_2", "INPUT_GATE", false, false},
         {{"VCO_2", "GATE", "KEY_1"}},
         3},
        {"drop on empty space connects nothing",
         {"VCO_2", "OUTPUT", nullptr, nullptr, false, false},
         {{"VCO_1", "MOD_FREQ", ""}, {"VCF_1", "MOD_FREQ", "VCO_1"}},
         2},
        {"input end moved: the old input is cleared",
         {"VCF_1", "INPUT_MOD_FREQ", "VCO_2", "INPUT_MOD_AMP", false, false},
         {{"VCF_1", "MOD_FREQ", ""}, {"VCO_2", "MOD_AMP", "VCO_1"}},
         2},
        {"input end moved with right Ctrl: the old one stays",
         {"VCF_1", "INPUT_MOD_FREQ", "VCO_2", "INPUT_MOD_AMP", true, false},
         {{"VCF_1", "MOD_FREQ", "VCO_1"}, {"VCO_2", "MOD_AMP", "VCO_1"}},
         3},
        {"output end moved to another source (Shift)",
         {"VCO_1", "OUTPUT", "VCO_2", "OUTPUT", false, false, true},
         {{"VCF_1", "IN", "VCO_2"}, {"VCF_1", "MOD_FREQ", "VCO_1"}},
         2},
        {"a connected output feeds one more input",
         {"VCO_1", "OUTPUT", "VCO_2", "INPUT_MOD_AMP", false, false},
         {{"VCO_2", "MOD_AMP", "VCO_1"}, {"VCF_1", "IN", "VCO_1"}, {"VCF_1", "MOD_FREQ", "VCO_1"}},
         3},
        {"Delete on a held input end unplugs it",
         {"VCF_1", "INPUT", "VCO_2", "INPUT_MOD_AMP", false, true},
         {{"VCF_1", "IN", ""}, {"VCO_2", "MOD_AMP", ""}},
         1},
        {"Delete on a new cable from an output: nothing connected",
         {"VCO_2", "OUTPUT", "VCO_1", "INPUT_MOD_AMP", false, true},
         {{"VCO_1", "MOD_AMP", ""}, {"VCF_1", "IN", "VCO_1"}},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(objects, linked);
        cables.rebuild(g, panels);
        ASSERT_EQ(cables.cables.size(), 2u);
        message_capture said;
        const step& s = c.gesture;
        drag(s.from, s.from_plug, s.to, s.to_plug, s.right_ctrl, s.del, s.shift);
        for (const expect& x : c.after) EXPECT_EQ(source_of(x.module, x.key), x.source) << x.module << " " << x.key;
        EXPECT_EQ(rebuilt().size(), c.cables);
        if (s.del && std::string(s.from_plug) == "OUTPUT") {
            EXPECT_NE(said.text().find("Mauvais branchment : Vous essayer de mettre une connexion "
                                       "INPUT dans une OUTPUT"),
                      std::string::npos)
                << said.text();
        }
    }
}

} // namespace
