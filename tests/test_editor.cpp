// The editor without a window, driven through its input as a user would
// (keys, clicks at window pixels) and checked through what it saves: panels
// laid out in columns, the palette's names and places, nested levels, bad
// loads; and the editor's one row per module type against the engine's slots.
#include <SDL/SDL.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <cstring>
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/cables.hpp"
#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "editor/history.hpp"
#include "editor/levels.hpp"
#include "editor/module_rows.hpp"
#include "modules/sequencer.hpp"
#include "support/editor_input.hpp"
#include "toolkit/widgets.hpp"
#include "engine/generator.hpp"
#include "engine/midi_map.hpp"
#include "engine/patch_ops.hpp"
#include "modules/sequencer.hpp"
#include "remote/midi_learn.hpp"
#include "support/harness.hpp"
#include "toolkit/image_bank.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

// An editor working in a copy of the data directory.
class EditorDriven : public ::testing::Test {
  protected:
    void SetUp() override {
        data = scratch_dir() + "/data";
        ASSERT_EQ(shell("cp -r '" TM_SOURCE_DATA_DIR "' '" + data + "'"), 0);
        ASSERT_EQ(chdir(data.c_str()), 0);
        static bool images = false;
        std::string why;
        if (!images) {
            ASSERT_EQ(image_bank().try_load_bundle("grfx/opengl.tim", why), 1) << why;
        }
        images = true;
    }
    void key(SDLKey sym, SDLMod mod = KMOD_NONE) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        ed.input(e);
        e.type = SDL_KEYUP;
        ed.input(e);
        ed.pass();
    }
    // A mouse event at window pixels (x, y): motion, or a button down or up.
    void mouse(Uint8 type, int button, int x, int y) { ed.input(test::mouse_event(type, button, x, y)); }
    // A press at (x0, y0), moved to (x1, y1) and released there.
    void drag(int button, int x0, int y0, int x1, int y1) {
        mouse(SDL_MOUSEMOTION, 0, x0, y0);
        mouse(SDL_MOUSEBUTTONDOWN, button, x0, y0);
        ed.pass();
        mouse(SDL_MOUSEMOTION, 0, x1, y1);
        ed.pass();
        mouse(SDL_MOUSEBUTTONUP, button, x1, y1);
        ed.pass();
    }
    void click(int x, int y) { drag(SDL_BUTTON_LEFT, x, y, x, y); }
    // A right-button drag moves a panel.
    void drag_right(int x0, int y0, int x1, int y1) { drag(SDL_BUTTON_RIGHT, x0, y0, x1, y1); }
    // A line typed on standard input.
    void type_line(const std::string& line) {
        ed.poll_line = [line, given = false](std::string& out) mutable {
            if (given) return false;
            out = line;
            return given = true;
        };
    }
    // F4, the name typed: the saved text.
    std::string save(const std::string& name) {
        type_line(name);
        key(SDLK_F4);
        ed.pass(); // the prompt takes the line
        EXPECT_EQ(ed.message(), "Saved TSY/" + name);
        return read_text("TSY/" + name);
    }
    // The positions section of a saved patch, in its order.
    static std::vector<std::pair<int, int>> positions(const std::string& text) {
        std::vector<std::pair<int, int>> out;
        std::istringstream in(text.substr(text.find("BEGIN_OBJECTS_POSITION_DECLARE")));
        std::string line;
        while (std::getline(in, line)) {
            int i, x, y;
            if (std::sscanf(line.c_str(), "%d;%d;%d", &i, &x, &y) == 3) out.push_back({x, y});
        }
        return out;
    }

    std::string data;
    GENERATOR g;
    editor ed{g, nullptr};
};

TEST_F(EditorDriven, ModulesStandInColumnsByType) {
    write_text("TSY/five.tsy",
               tsy("KEYBOARD_1;OCTAVE=4;\nKEYBOARD_2;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=110;AMOUNT=1;"
                   "PHASE=0;\nVCO_2;TYPE=1;FREQ=110;AMOUNT=1;PHASE=0;\nVCO_3;TYPE=1;FREQ=110;"
                   "AMOUNT=1;PHASE=0;\n"));
    ed.load("TSY/five.tsy");
    EXPECT_TRUE(ed.message().empty()) << ed.message();
    // Columns by type from the left, each stacked downward by its panels'
    // height from below the dashboards' band (y 150).
    std::map<int, std::vector<int>> columns;
    for (auto [x, y] : positions(save("five_saved.tsy"))) columns[x].push_back(y);
    ASSERT_EQ(columns.size(), 2u);
    ASSERT_EQ(columns[0].size(), 2u);   // the keyboards
    ASSERT_EQ(columns[128].size(), 3u); // no sequencer, no bank: the oscillators next
    for (auto& [x, ys] : columns) {
        std::sort(ys.begin(), ys.end());
        EXPECT_EQ(ys[0], 150) << x;
        for (std::size_t i = 1; i < ys.size(); ++i) EXPECT_EQ(ys[i] - ys[i - 1], ys[1] - ys[0]);
    }
    // A multi-oscillator bank and an oscillator share the first column, the
    // oscillator below the bank, not over it.
    write_text("TSY/pair.tsy", tsy("MULTI_VCO_1;TYPE=3;FREQ=110;AMOUNT=0.9;PHASE=0;\nVCO_1;TYPE="
                                   "1;FREQ=110;AMOUNT=1;PHASE=0;\n"));
    ed.load("TSY/pair.tsy");
    const auto pair = positions(save("pair_saved.tsy"));
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0].first, 0);
    EXPECT_EQ(pair[1].first, 0);
    EXPECT_EQ(std::min(pair[0].second, pair[1].second), 150);
    EXPECT_GT(std::max(pair[0].second, pair[1].second), 150 + 100);
}

TEST_F(EditorDriven, ANestedPatchIsEnteredByAClickAndLeftByEsc) {
    ed.load("TSY/demo_nested.tsy");
    const std::size_t top = positions(save("top.tsy")).size();
    EXPECT_EQ(top, g.total_count());
    // Dashboards away (F5), then a click on the wave picture of the first
    // nested patch's panel (the GENERATOR column is the last on screen, from
    // x 768; the picture at 8, 58 of the panel, 64 x 32, drawn 15 lower).
    key(SDLK_F5);
    click(800, 240);
    const std::string inner = save("inner.tsy");
    const auto* nested = static_cast<GENERATOR*>(g.at(module_kind::GENERATOR, 1));
    EXPECT_EQ(positions(inner).size(), nested->total_count());
    EXPECT_NE(inner.find("BEGIN_OBJECTS_DECLARE"), std::string::npos);
    key(SDLK_ESCAPE);
    EXPECT_TRUE(ed.running());
    EXPECT_EQ(positions(save("back.tsy")).size(), top);
    key(SDLK_ESCAPE);
    EXPECT_FALSE(ed.running());
}

TEST_F(EditorDriven, PaletteNamesAndPlacesNewModulesWhereTheyHideNothing) {
    ed.load("TSY/EMPTY.tsy");
    // The palette's VCO button, twice: VCO_1 and VCO_2, the second beside
    // the first on the 32-pixel grid, both below the dashboards.
    click(717, 133);
    // It adds, it does not switch: the button is not left lit.
    const auto* button = dynamic_cast<BUTTON*>(ed.dashboards().palette()->find_element("BUTTON_VCO"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->state, 0);
    click(717, 133);
    EXPECT_EQ(g.count(module_kind::VCO), 2u);
    EXPECT_NE(g.find(module_kind::VCO, "VCO_1"), nullptr);
    EXPECT_NE(g.find(module_kind::VCO, "VCO_2"), nullptr);
    const auto placed = positions(save("two_vcos.tsy"));
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[0], std::make_pair(10, 150));
    EXPECT_EQ(placed[1].second, 150);
    EXPECT_GT(placed[1].first, 10 + 200); // past the first panel's width
    EXPECT_EQ((placed[1].first - 10) % 32, 0);
    // "VCF303" is not a VCF, "MULTI_VCO" not a VCO.
    click(717, 119);
    click(637, 133);
    EXPECT_EQ(g.count(module_kind::VCF303), 1u);
    EXPECT_EQ(g.count(module_kind::VCF), 0u);
    EXPECT_EQ(g.count(module_kind::MULTI_VCO), 1u);
    EXPECT_EQ(g.count(module_kind::VCO), 2u);
    EXPECT_NE(g.find(module_kind::VCF303, "VCF303_1"), nullptr);
}

TEST_F(EditorDriven, ABadLoadKeepsTheEditorAndSaysWhy) {
    ed.load("TSY/missing.tsy");
    EXPECT_NE(ed.message().find("missing.tsy"), std::string::npos) << ed.message();
    EXPECT_TRUE(ed.running());

    // A record that cannot be read: the rest of the patch is shown.
    write_text("TSY/half.tsy", tsy("VCO_1;TYPE=1;FREQ=110;AMOUNT=1;PHASE=0;\nNOTHING_KNOWN_1;X=1;\n"
                                   "KEYBOARD_1;OCTAVE=4;\n",
                                   "VCO_1;IN=NO_SUCH_MODULE;\n"));
    ed.load("TSY/half.tsy");
    EXPECT_FALSE(ed.message().empty());
    const std::string saved = save("half_saved.tsy");
    EXPECT_NE(saved.find("VCO_1;"), std::string::npos);
    EXPECT_NE(saved.find("KEY"), std::string::npos);
    EXPECT_EQ(positions(saved).size(), 2u);
    ed.load("TSY/half.tsy");
    EXPECT_FALSE(ed.message().empty()) << "said again on every load";

    // A file that cannot be read changes nothing: the patch plays on with
    // its panels, and saves as it was.
    ed.load("TSY/sine440.tsy");
    ASSERT_EQ(mkfifo("TSY/fifo.tsy", 0600), 0);
    for (const char* unreadable : {"TSY/vanished.tsy", "TSY/fifo.tsy"}) {
        ed.load(unreadable);
        EXPECT_NE(ed.message().find(unreadable), std::string::npos) << ed.message();
        EXPECT_EQ(g.total_count(), 2u);
    }
    const std::string kept = save("kept.tsy");
    EXPECT_NE(kept.find("SOUND_OUTPUT_1;IN=VCO_1;"), std::string::npos) << kept;
    EXPECT_EQ(positions(kept).size(), 2u);
}

TEST_F(EditorDriven, PanelsComeBackWhereTheyWereSaved) {
    // One module of every type, from the palette.
    ed.load("TSY/EMPTY.tsy");
    for (module_kind k : palette_order) ASSERT_TRUE(ed.palette_create(k));
    // The panel under the view's top left below the band is dragged away
    // with the right button (and snaps to the grid).
    drag_right(60, 250, 600, 500);
    const std::string a = save("every_a.tsy");
    const auto placed = positions(a);
    ASSERT_EQ(placed.size(), static_cast<std::size_t>(module_kind_count));
    EXPECT_EQ(std::count(placed.begin(), placed.end(), std::make_pair(576, 480)), 1);
    ed.load("TSY/every_a.tsy");
    EXPECT_EQ(save("every_b.tsy"), a) << "saved, loaded and saved again";

    // Two panels of one type keep their own places, though a load lists a
    // type's modules in the reverse of the file's order.
    ed.load("TSY/EMPTY.tsy");
    click(717, 133);
    click(717, 133);
    std::map<std::string, std::pair<float, float>> before;
    for (const panel_ptr& p : ed.levels().panels())
        if (auto* m = dynamic_cast<MODULE_GUI*>(p.get())) before[m->module->name] = {m->x, m->y};
    ASSERT_NE(before["VCO_1"], before["VCO_2"]);
    save("two_places.tsy");
    ed.load("TSY/two_places.tsy");
    for (const panel_ptr& p : ed.levels().panels())
        if (auto* m = dynamic_cast<MODULE_GUI*>(p.get()))
            EXPECT_EQ((std::pair<float, float>{m->x, m->y}), before[m->module->name]) << m->module->name;

    // A nested level's panels, saved as a patch of their own, come back too.
    ed.load("TSY/demo_nested.tsy");
    key(SDLK_F5);
    click(800, 240);
    const std::string inner = save("inner_a.tsy");
    ed.load("TSY/inner_a.tsy");
    EXPECT_EQ(save("inner_b.tsy"), inner);
}

TEST_F(EditorDriven, SavingAsksBeforeReplacingAnotherFileAndRefusesBadNames) {
    ed.load("TSY/sine440.tsy");
    const std::string demo = read_text("TSY/demo_subtractive.tsy");
    // A name that cannot be read back: the prompt stays open and says why;
    // Esc leaves it.
    type_line("my part");
    key(SDLK_F4);
    ed.pass();
    EXPECT_TRUE(ed.message().empty());
    key(SDLK_ESCAPE);
    EXPECT_TRUE(ed.running()) << "the Esc that closed the prompt quits nothing";
    // Another patch's name: "n" keeps it, "y" replaces it.
    for (const char* answer : {"n", "y"}) {
        type_line("demo_subtractive");
        key(SDLK_F4);
        ed.pass(); // the name, then the question
        type_line(answer);
        ed.pass();
        ed.pass();
    }
    EXPECT_NE(read_text("TSY/demo_subtractive.tsy"), demo);
    EXPECT_EQ(ed.message(), "Saved TSY/demo_subtractive.tsy");
    // Ctrl+S now writes there without a question.
    std::remove("TSY/demo_subtractive.tsy");
    key(SDLK_s, KMOD_LCTRL);
    EXPECT_NE(read_text("TSY/demo_subtractive.tsy").find("SOUND_OUTPUT_1;IN=VCO_1;"),
              std::string::npos);
}

// The message of a save names the partitions it wrote too, and only those.
TEST_F(EditorDriven, ASaveSaysWhichPartitionsItWrote) {
    ed.load("TSY/demo_bassline.tsy");
    static_cast<SEQUENCER*>(g.at(module_kind::SEQUENCER, 0))->memory.note[0][3] = 4;
    type_line("bass2.tsy");
    key(SDLK_F4);
    ed.pass();
    EXPECT_EQ(ed.message(), "Saved TSY/bass2.tsy and PARTITIONS/demo_bassline.PAR");
    save("bass3.tsy");
}

// Every kind of edit, undone and redone: the patch saves to the bytes it
// had before the edit, then to those it had after.
TEST_F(EditorDriven, UndoAndRedoTakeBackEveryKindOfEdit) {
    auto left_drag = [&](int x0, int y0, int x1, int y1) { drag(SDL_BUTTON_LEFT, x0, y0, x1, y1); };
    auto ctrl = [&](SDLKey sym) { key(sym, KMOD_LCTRL); };
    // demo_subtractive: keyboard at x 0, oscillator at 128, the two
    // envelopes at 384, the filter at 640, the output at 896 (window pixels).
    const struct {
        const char* what;
        std::function<void()> gesture;
    } edits[] = {
        {"knob drag", [&] { left_drag(160, 235, 160, 242); }},
        {"wheel run",
         [&] {
             mouse(SDL_MOUSEMOTION, 0, 160, 235);
             for (int i = 0; i < 3; ++i) {
                 mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_WHEELUP, 160, 235);
                 mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_WHEELUP, 160, 235);
                 ed.pass();
             }
         }},
        {"button", [&] { click(816, 202); }},
        {"palette", [&] { click(717, 133); }},
        {"panel move", [&] { drag_right(700, 330, 300, 600); }},
        {"remove a module with cables both ways",
         [&] {
             mouse(SDL_MOUSEMOTION, 0, 700, 330);
             key(SDLK_BACKSPACE);
         }},
        // Edit mode (plugs 32 wide on the panels' backs): the filter's
        // INPUT_MOD_FREQ end (92, 26) moved to the oscillator's free
        // INPUT_MOD_AMP (52, 26).
        {"cable moved",
         [&] {
             key(SDLK_F6);
             left_drag(748, 207, 196, 207);
         }},
        // The filter's INPUT (12, 26) picked up, unplugged with Delete.
        {"cable removed",
         [&] {
             key(SDLK_F6);
             mouse(SDL_MOUSEMOTION, 0, 670, 207);
             mouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 670, 207);
             ed.pass();
             mouse(SDL_MOUSEMOTION, 0, 600, 400);
             key(SDLK_DELETE);
             mouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 600, 400);
             ed.pass();
         }},
    };
    int n = 0;
    for (const auto& c : edits) {
        SCOPED_TRACE(c.what);
        // Each save under a name of its own: no question about replacing.
        auto saved = [&](const char* name) { return save(std::to_string(n) + name); };
        ++n;
        ed.load("TSY/demo_subtractive.tsy");
        const std::string before = saved("before.tsy");
        c.gesture();
        // The edit ends once no gesture goes on (a wheel run: half a second on).
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        ed.pass();
        const std::string after = saved("after.tsy");
        ASSERT_NE(after, before);
        ctrl(SDLK_z);
        EXPECT_NE(ed.message().find("undo: "), std::string::npos) << ed.message();
        EXPECT_EQ(saved("undone.tsy"), before);
        ctrl(SDLK_y);
        EXPECT_EQ(saved("redone.tsy"), after);
        ctrl(SDLK_z);
        EXPECT_EQ(saved("undone_again.tsy"), before);
        if (ed.edit_mode()) key(SDLK_F6);
    }
    // A nested patch and a sequencer removed come back with what they held:
    // the nested patch's modules, the sequencer's partition and steps.
    const struct {
        const char* patch;
        int x, y;
    } holders[] = {{"TSY/demo_nested.tsy", 800, 240}, {"TSY/demo_bassline.tsy", 300, 300}};
    for (const auto& h : holders) {
        SCOPED_TRACE(h.patch);
        auto saved = [&](const char* name) { return save(std::to_string(++n) + name); };
        ed.load(h.patch);
        const std::string before = saved("before.tsy");
        const std::size_t modules = g.total_count();
        mouse(SDL_MOUSEMOTION, 0, h.x, h.y);
        key(SDLK_BACKSPACE);
        EXPECT_LT(g.total_count(), modules);
        ctrl(SDLK_z);
        EXPECT_EQ(saved("undone.tsy"), before);
        std::size_t nested = 0;
        for (std::size_t i = 0; i < g.count(module_kind::GENERATOR); ++i)
            nested += static_cast<GENERATOR*>(g.at(module_kind::GENERATOR, i))->total_count();
        EXPECT_EQ(nested, std::string(h.patch) == "TSY/demo_nested.tsy" ? 8u : 0u);
    }

    // A new edit after an undo drops what could be redone.
    ed.load("TSY/demo_subtractive.tsy");
    click(816, 202);
    ctrl(SDLK_z);
    click(717, 133);
    ctrl(SDLK_y);
    EXPECT_EQ(ed.message(), "Nothing to redo");
}

// Random edits through the seam (parameters, connections, modules made and
// removed, panels moved), undone and redone at random: after every step the
// engine's modules and connections and the panels are those of the model,
// the list of states the edits went through.
TEST(History, RandomEditsUndosAndRedosFollowTheModel) {
    ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
    std::string why;
    ASSERT_EQ(image_bank().try_load_bundle("grfx/opengl.tim", why), 1) << why;
    GENERATOR g;
    panel_list panels;
    std::mt19937 rng(20261207);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    int made = 0;
    auto make = [&](module_kind k) {
        OUTPUT* m = add_module(g, k, std::string(type_of(k).editor_word) + "_" + std::to_string(++made));
        panels.insert(panels.begin(), make_module_panel(k, *m, made % 100));
    };
    for (module_kind k : {module_kind::VCO, module_kind::VCF, module_kind::VCA, module_kind::KEYBOARD})
        make(k);
    auto any_module = [&]() -> MODULE_GUI* {
        std::vector<MODULE_GUI*> all;
        for (auto& p : panels) all.push_back(static_cast<MODULE_GUI*>(p.get()));
        return all.empty() ? nullptr : all[pick(all.size())];
    };
    history h;
    std::vector<level_state> model = {capture_level(g, panels)};
    std::size_t at = 0;
    int undone = 0, redone = 0;
    for (int step = 0; step < 3000; ++step) {
        const int action = static_cast<int>(pick(8));
        if (action < 5) {
            const level_state before = capture_level(g, panels);
            MODULE_GUI* p = any_module();
            if (action == 0 && p) {
                const module_type& t = type_of(p->kind);
                for (const auto& table : {t.params, t.panel_params})
                    for (const param_desc& d : table)
                        if (user_state(d) && pick(3) == 0)
                            set_param(*p->module, d, static_cast<int>(pick(d.count)),
                                      d.min + (std::isfinite(d.max) ? (d.max - d.min) * (rng() % 100) / 100.0
                                                                     : static_cast<double>(rng() % 100)));
            } else if (action == 1 && p) {
                const module_type& t = type_of(p->kind);
                MODULE_GUI* source = any_module();
                if (!t.slots.empty() && source) {
                    const slot_desc& s = t.slots[pick(t.slots.size)];
                    if (s.kind != slot_kind::channel) {
                        if (pick(3))
                            (void)connect(*p->module, s, {source->module, &type_of(source->kind)});
                        else
                            disconnect(*p->module, s);
                    }
                }
            } else if (action == 2 && panels.size() < 12) {
                make(palette_order[pick(module_kind_count)]);
            } else if (action == 3 && p && panels.size() > 2) {
                OUTPUT* m = p->module;
                panels.erase(std::find_if(panels.begin(), panels.end(),
                                          [&](const panel_ptr& q) { return q.get() == p; }));
                remove_module(g, m);
            } else if (action == 4 && p) {
                p->set_position(static_cast<float>(pick(2000)), static_cast<float>(pick(2000)), 0);
            }
            const level_state after = capture_level(g, panels);
            edit e = compare(before, after);
            if (e.changes.empty()) continue;
            h.push(std::move(e));
            model.resize(++at);
            model.push_back(after);
        } else if (action < 7) {
            if (const edit* e = h.undo()) {
                apply(*e, false, g, panels);
                --at, ++undone;
            }
        } else if (const edit* e = h.redo()) {
            apply(*e, true, g, panels);
            ++at, ++redone;
        }
        ASSERT_EQ(capture_level(g, panels), model[at]) << "step " << step;
    }
    EXPECT_GT(undone, 300);
    EXPECT_GT(redone, 100);
}

// One editor row per registered type, agreeing with what the engine says.
TEST_F(EditorDriven, EveryTypeHasOneRowThatAgreesWithItsSlots) {
    std::set<module_kind> columns(std::begin(column_order), std::end(column_order));
    EXPECT_EQ(columns.size(), static_cast<std::size_t>(module_kind_count)) << "a column each";
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& type = type_of(k);
        const editor_row& row = row_of(type.kind);
        SCOPED_TRACE(type.class_name);
        EXPECT_EQ(row.kind, type.kind);
        EXPECT_TRUE(row.play_mode == 1 || row.play_mode == 2);
        // A type offers gates and pulses to cables only when it has them.
        EXPECT_TRUE(!row.plugs.offers_to_outputs || type.gate_out || type.sync_out);
        // Cables take only connections the slots have.
        auto has_slot = [&](slot_kind wanted) {
            for (const slot_desc& s : type.slots)
                if (s.kind == wanted && s.plug) return true;
            return false;
        };
        EXPECT_TRUE(!row.plugs.takes_gate || has_slot(slot_kind::gate));
        EXPECT_TRUE(!row.plugs.takes_sync || has_slot(slot_kind::sync));
        // Every slot a plug shows has that plug on the back of the panel.
        module_ptr m = create_module(type.kind);
        panel_ptr panel = make_module_panel(type.kind, *m, 7);
        for (const slot_desc& s : type.slots) {
            if (!s.plug) continue;
            char plug[32];
            std::snprintf(plug, sizeof plug, s.kind == slot_kind::channel ? "INPUT_1" : "%s",
                          s.plug);
            EXPECT_NE(find_plug(*panel, plug), nullptr) << plug;
        }
        // The parameters a control row names exist.
        for (const step_button& b : row.step_buttons) {
            bool found = false;
            for (const param_desc& d : type.params)
                found = found || (d.key && !std::strcmp(d.key, b.key));
            EXPECT_TRUE(found) << b.key;
        }
    }
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

TEST(EditorLayout, TypedNamesAreOneWordInsideTheirFolder) {
    std::string why;
    EXPECT_EQ(typed_file_name("my_first_patch", ".tsy", why), "my_first_patch.tsy");
    EXPECT_EQ(typed_file_name("bass-2.tsy", ".tsy", why), "bass-2.tsy");
    EXPECT_EQ(typed_file_name("lead", ".PAR", why), "lead.PAR");
    EXPECT_EQ(typed_file_name("m\xc3\xa9lodie", ".tsy", why), "m\xc3\xa9lodie.tsy");
    for (const char* bad : {"", "   ", "my part", "semi;colon", "a=b", "../evil", "sub/x", "/etc/passwd",
                            "..", ".hidden", "a\tb", "bell\a"}) {
        EXPECT_EQ(typed_file_name(bad, ".tsy", why), "") << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
    EXPECT_EQ(typed_file_name(std::string(121, 'a'), ".tsy", why), "");
}

} // namespace

// MIDI learn's gestures on the cut-off knob (binding itself needs the MIDI
// worker: test_midi_live): Ctrl + left arms, Esc cancels without quitting,
// Ctrl + right forgets the knob's mappings as one edit that undo takes back.
TEST_F(EditorDriven, MidiLearnArmsCancelsAndForgetsAsAnEdit) {
    write_text("TSY/learn.tsy",
               tsy("VCF_1;HICUT=300;Q=1.0;GAIN=0.0;TYPE=1;BYPASS=0;\n", "VCF_1;\n") +
                   "BEGIN_MIDI_MAP_DECLARE\n74;1;VCF_1;HICUT;0\n"
                   "71;2;VCF_1;HICUT;1\n1;1;VCF_1;TYPE;0\nEND_MIDI_MAP_DECLARE\n");
    ed.load("TSY/learn.tsy");
    ASSERT_EQ(g.midi.list().size(), 3u);
    auto ctrl_click = [&](int button, SDLMod mod = KMOD_LCTRL) {
        SDL_SetModState(mod);
        drag(button, 34, 250, 34, 250);
        SDL_SetModState(KMOD_NONE);
    };
    ctrl_click(SDL_BUTTON_LEFT);
    EXPECT_EQ(ed.message(), "move a controller for VCF_1 HICUT");
    EXPECT_TRUE(midi_learn().armed());
    key(SDLK_ESCAPE);
    EXPECT_EQ(ed.message(), "MIDI learn cancelled");
    EXPECT_FALSE(midi_learn().armed());
    EXPECT_TRUE(ed.running()) << "Esc cancelled the learn only";
    ctrl_click(SDL_BUTTON_LEFT, static_cast<SDLMod>(KMOD_LCTRL | KMOD_LSHIFT));
    EXPECT_EQ(ed.message(), "move a controller for VCF_1 HICUT (inverted)");
    ctrl_click(SDL_BUTTON_LEFT);
    EXPECT_EQ(ed.message(), "MIDI learn cancelled");
    EXPECT_FALSE(midi_learn().armed());
    EXPECT_EQ(g.find_any("VCF_1")->name, std::string("VCF_1"));

    const std::vector<midi_mapping> before = g.midi.list();
    ctrl_click(SDL_BUTTON_RIGHT);
    EXPECT_EQ(ed.message(), "VCF_1 HICUT: 2 MIDI mapping(s) forgotten");
    EXPECT_EQ(g.midi.list(), (std::vector<midi_mapping>{before[2]}));
    EXPECT_TRUE(ed.unsaved());
    key(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(ed.message(), "undo: MIDI mappings of VCF_1");
    std::vector<midi_mapping> back = g.midi.list();
    EXPECT_TRUE(std::is_permutation(back.begin(), back.end(), before.begin(), before.end()));
    EXPECT_FALSE(ed.unsaved());
}

TEST_F(EditorDriven, DeleteStopsEverySequencerAndItsPowerButtonStartsItAgain) {
    ed.load("TSY/demo_bassline.tsy");
    auto& seq = static_cast<SEQUENCER&>(*g.find(module_kind::SEQUENCER, "SEQUENCER_1"));
    // Steps counted by the gate's rising edges over a second of ticks.
    auto triggers = [&] {
        int n = 0, was = seq.gate.load();
        for (int i = 0; i < 44100; ++i) {
            g.GENERATOR::compute();
            const int now = seq.gate.load();
            n += now && !was;
            was = now;
        }
        return n;
    };
    ASSERT_GT(triggers(), 0) << "the demo's sequencer plays";
    ASSERT_GT(seq.current_step.load(), 0);
    key(SDLK_DELETE);
    EXPECT_EQ(seq.running.load(), 0);
    EXPECT_EQ(seq.current_step.load(), 0) << "back to its first step";
    EXPECT_EQ(seq.gate.load(), 0);
    EXPECT_EQ(triggers(), 0) << "stopped, it stays silent";
    // The power button of the sequencer's panel (column x 128, y 150; the
    // button at 472, 22 of the panel, 32 x 32, drawn 15 lower).
    click(128 + 472 + 16, 150 + 22 + 16 + 15);
    EXPECT_EQ(seq.running.load(), 1);
    EXPECT_EQ(seq.power.load(), 1) << "the click started it, it did not switch it off";
    EXPECT_GT(triggers(), 0);
}

TEST_F(EditorDriven, TheWordsUnderThePointerGoWhenThePointerLeaves) {
    ed.load("TSY/demo_subtractive.tsy");
    auto shown = [&] {
        return std::string(static_cast<LABEL*>(ed.dashboards().info()->find_element("CIBLE_NAME"))->caption);
    };
    // The oscillator's FREQ knob (column x 128, y 150; the knob 18, 70 into
    // the panel, drawn 15 lower).
    mouse(SDL_MOUSEMOTION, 0, 160, 235);
    ed.pass();
    EXPECT_EQ(shown(), "VCO_1 FREQ 88.000");
    mouse(SDL_MOUSEMOTION, 0, 900, 600);
    ed.pass();
    EXPECT_EQ(shown(), "");
}

TEST_F(EditorDriven, AnUndoneKnobShowsItsValueAgain) {
    ed.load("TSY/demo_subtractive.tsy");
    // The oscillator's FREQ knob, dragged up seven pixels: 88 -> 95.
    drag(SDL_BUTTON_LEFT, 160, 235, 160, 228);
    const LABEL* shown = nullptr;
    for (const panel_ptr& p : ed.levels().panels())
        if (auto* m = dynamic_cast<MODULE_GUI*>(p.get()); m && std::string(m->module->name) == "VCO_1")
            shown = static_cast<LABEL*>(m->find_element("LABEL_FREQUENCE"));
    ASSERT_NE(shown, nullptr);
    EXPECT_STREQ(shown->caption, "95.000");
    key(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(ed.message(), "undo: VCO_1 FREQ 88 -> 95");
    EXPECT_STREQ(shown->caption, "88.000");
}
