// The editor without a window: panels laid out in columns from the engine,
// the palette's names and places, the view's limits and grid, the load
// dialog's window and the names the console accepts.
#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "engine/generator.hpp"
#include "support/harness.hpp"
#include "toolkit/image_bank.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

class EditorPanels : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
        static bool images = false;
        std::string why;
        if (!images) {
            ASSERT_EQ(image_bank().try_load_bundle("grfx/opengl.tim", why), 1) << why;
        }
        images = true;
    }
    // The module panels of the shown level, with the module's name.
    std::vector<MODULE_GUI*> module_panels(editor& e) {
        std::vector<MODULE_GUI*> out;
        for (auto& p : *e.current_panels)
            if (auto* m = dynamic_cast<MODULE_GUI*>(p.get())) out.push_back(m);
        return out;
    }
    MODULE_GUI* panel_of(editor& e, const char* module) {
        for (MODULE_GUI* m : module_panels(e))
            if (std::string(m->module->name) == module) return m;
        ADD_FAILURE() << "no panel for " << module;
        return nullptr;
    }
    GENERATOR g;
};

TEST_F(EditorPanels, ModulesStandInColumnsByType) {
    const std::string dir = scratch_dir();
    write_text(dir + "/five.tsy",
               tsy("KEYBOARD_1;OCTAVE=4;\nKEYBOARD_2;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=110;AMOUNT=1;"
                   "PHASE=0;\nVCO_2;TYPE=1;FREQ=110;AMOUNT=1;PHASE=0;\nVCO_3;TYPE=1;FREQ=110;"
                   "AMOUNT=1;PHASE=0;\n"));
    editor e(g, nullptr);
    e.load((dir + "/five.tsy").c_str());
    EXPECT_TRUE(e.message_line.empty()) << e.message_line;
    // The dashboards lead the list, then one panel per module.
    ASSERT_EQ(e.current_panels->size(), 3u + 5u);
    EXPECT_EQ((*e.current_panels)[0].get(), e.info_dash);
    EXPECT_EQ((*e.current_panels)[1].get(), e.module_dash);
    EXPECT_EQ((*e.current_panels)[2].get(), e.system_dash);

    // Within a column, panels stack downward by their height from the top.
    auto column = [&](std::vector<const char*> names, float x) {
        std::vector<float> ys;
        float h = 0;
        for (const char* n : names) {
            const MODULE_GUI* p = panel_of(e, n);
            if (!p) return;
            EXPECT_EQ(p->x, x) << n;
            ys.push_back(p->y);
            h = p->h;
        }
        ASSERT_GT(h, 0);
        std::sort(ys.begin(), ys.end());
        // Below the band of the docked dashboards.
        for (std::size_t i = 0; i < ys.size(); ++i) EXPECT_EQ(ys[i], 150 + i * h);
    };
    column({"KEYBOARD_1", "KEYBOARD_2"}, 0);
    // No sequencer, no multi-oscillator: the oscillators come next.
    column({"VCO_1", "VCO_2", "VCO_3"}, 128);

    // A multi-oscillator bank and an oscillator share the first column, the
    // oscillator below the bank, not over it.
    write_text(dir + "/pair.tsy", tsy("MULTI_VCO_1;TYPE=3;FREQ=110;AMOUNT=0.9;PHASE=0;\nVCO_1;TYPE="
                                      "1;FREQ=110;AMOUNT=1;PHASE=0;\n"));
    e.load((dir + "/pair.tsy").c_str());
    const MODULE_GUI* bank = panel_of(e, "MULTI_VCO_1");
    const MODULE_GUI* vco = panel_of(e, "VCO_1");
    ASSERT_TRUE(bank && vco);
    EXPECT_EQ(bank->x, 0);
    EXPECT_EQ(bank->y, 150);
    EXPECT_EQ(vco->x, 0);
    EXPECT_EQ(vco->y, 150 + bank->h);
}

TEST_F(EditorPanels, NestedPatchesGetTheirOwnLevel) {
    editor e(g, nullptr);
    e.load("TSY/demo_nested.tsy");
    int nested = 0;
    for (auto& p : *e.current_panels)
        if (auto* gui = dynamic_cast<GENERATOR_GUI*>(p.get())) {
            ++nested;
            // One panel per module of the nested patch, and no dashboards there.
            EXPECT_EQ(gui->panels.size(), gui->generator().total_count());
            EXPECT_GT(gui->panels.size(), 0u);
            for (auto& q : gui->panels) EXPECT_NE(dynamic_cast<MODULE_GUI*>(q.get()), nullptr);
        }
    EXPECT_EQ(nested, 2);
    EXPECT_EQ(e.level_stack.size(), 1u);
    EXPECT_EQ(e.level_depth, 0);
}

TEST_F(EditorPanels, PaletteNamesAndPlacesNewModulesWhereTheyHideNothing) {
    editor e(g, nullptr);
    e.load("TSY/EMPTY.tsy");
    e.scroll_x = 64, e.scroll_y = 128;
    OBJET* first = e.palette_create(module_kind::VCO);
    OBJET* second = e.palette_create(module_kind::VCO);
    ASSERT_TRUE(first && second);
    EXPECT_STREQ(static_cast<MODULE_GUI*>(first)->module->name, "VCO_1");
    EXPECT_STREQ(static_cast<MODULE_GUI*>(second)->module->name, "VCO_2");
    // The first at the view's top left below the dashboards, the second
    // beside it on the 32-pixel grid, not over it.
    EXPECT_EQ(first->x, 64 + 10);
    EXPECT_EQ(first->y, 128 + 150);
    EXPECT_EQ(second->y, first->y);
    EXPECT_GE(second->x, first->x + first->w);
    EXPECT_LT(second->x, first->x + first->w + 32);
    EXPECT_EQ(static_cast<int>(second->x - first->x) % 32, 0);
    // The newest panel is on top.
    EXPECT_EQ((*e.current_panels)[0].get(), second);
    EXPECT_EQ(g.count(module_kind::VCO), 2u);

    // Released palette buttons: "VCF303" is not a VCF, "MULTI_VCO" not a VCO.
    for (const char* button : {"BUTTON_VCF303", "BUTTON_MULTI_VCO"}) {
        SPRITE* b = e.module_dash->find_button(button);
        ASSERT_TRUE(b) << button;
        e.module_dash->post(GUI_MESSAGE::mouse(event_button_up, 1, b));
        e.take_dashboard_actions();
        e.module_dash->update();
    }
    EXPECT_EQ(g.count(module_kind::VCF303), 1u);
    EXPECT_EQ(g.count(module_kind::VCF), 0u);
    EXPECT_EQ(g.count(module_kind::MULTI_VCO), 1u);
    EXPECT_EQ(g.count(module_kind::VCO), 2u);
    EXPECT_NE(g.find(module_kind::VCF303, "VCF303_1"), nullptr);
}

TEST_F(EditorPanels, ABadLoadKeepsTheEditorAndSaysWhy) {
    const std::string dir = scratch_dir();
    editor e(g, nullptr);
    e.load((dir + "/missing.tsy").c_str());
    EXPECT_NE(e.message_line.find("missing.tsy"), std::string::npos) << e.message_line;
    // Still an editor to work in: the dashboards and an empty level.
    EXPECT_EQ(e.current_panels->size(), 3u);
    EXPECT_EQ(e.running, 1);

    // A record that cannot be read: the rest of the patch is shown.
    write_text(dir + "/half.tsy",
               tsy("VCO_1;TYPE=1;FREQ=110;AMOUNT=1;PHASE=0;\nNOTHING_KNOWN_1;X=1;\n"
                   "KEYBOARD_1;OCTAVE=4;\n",
                   "VCO_1;IN=NO_SUCH_MODULE;\n"));
    e.load((dir + "/half.tsy").c_str());
    EXPECT_FALSE(e.message_line.empty());
    EXPECT_NE(panel_of(e, "VCO_1"), nullptr);
    EXPECT_NE(panel_of(e, "KEYBOARD_1"), nullptr);
    e.message_line.clear();
    e.load((dir + "/half.tsy").c_str());
    EXPECT_FALSE(e.message_line.empty()) << "said again on every load";
}

TEST(EditorLayout, ScrollLimitsAndGrid) {
    EXPECT_EQ(clamp_scroll_x(-35), 0);
    EXPECT_EQ(clamp_scroll_x(2200), 2176);
    EXPECT_EQ(clamp_scroll_x(1000), 1000);
    EXPECT_EQ(clamp_scroll_y(-1), 0);
    EXPECT_EQ(clamp_scroll_y(2500), 2432);
    // A panel dropped at world (100, 70) lands at (96, 64).
    EXPECT_EQ(snap_to_grid(100), 96);
    EXPECT_EQ(snap_to_grid(70), 64);
    EXPECT_EQ(snap_to_grid(64), 64);
}

TEST(EditorLayout, APaletteModuleGoesWhereItHidesNoPanel) {
    // A 1024 x 768 view at (0, 0): the band below the dashboards starts at y 150.
    // A 300 x 200 panel at (0, 150) and one at (320, 150) leave x 10..42 taken
    // in the first rows, so a 256 x 100 panel goes right of the second (x 650,
    // the grid from 10 by 32) on the first row.
    const std::vector<panel_box> two = {{0, 150, 300, 200}, {320, 150, 300, 200}};
    const panel_box a = palette_spot(two, 256, 100, 0, 0, 1024, 768, 5);
    EXPECT_EQ(a.x, 650);
    EXPECT_EQ(a.y, 150);
    // Too wide for that gap: under the first two, on the first row below y 350.
    const panel_box b = palette_spot(two, 500, 100, 0, 0, 1024, 768, 5);
    EXPECT_EQ(b.x, 10);
    EXPECT_EQ(b.y, 374); // 150 + 7 * 32, the first grid row at or below 350
    // A full view: stacked down the left edge by the index, as before.
    const std::vector<panel_box> full = {{64, 128, 1024, 768}};
    const panel_box c = palette_spot(full, 100, 100, 64, 128, 1024, 768, 2);
    EXPECT_EQ(c.x, 64 + 10);
    EXPECT_EQ(c.y, 128 + 150 + 2 * 64);
}

TEST(EditorLayout, LoadDialogScrollsWithinTheList) {
    // 25 names, the down button held: the window stops at 15.
    int first = 0;
    for (int pass = 0; pass < 40; ++pass) first = dialog_scroll(first, +1, 25);
    EXPECT_EQ(first, 15);
    for (int pass = 0; pass < 40; ++pass) first = dialog_scroll(first, -1, 25);
    EXPECT_EQ(first, 0);
    // Fewer names than rows never scroll.
    EXPECT_EQ(dialog_scroll(0, +1, 4), 0);
}

TEST(EditorLayout, ConsoleNamesArePlainFileNames) {
    std::string why;
    EXPECT_TRUE(plain_file_name("my_patch.tsy", why));
    for (const char* bad : {"", "../evil.tsy", "sub/x.tsy", "/etc/passwd", "..", "a\tb"}) {
        why.clear();
        EXPECT_FALSE(plain_file_name(bad, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

} // namespace
