// The shipped layout files, read with the shipped image bundle in a real window:
// every name the editor looks up is there, every picture exists, nothing lies
// outside its face, the two faces of a panel have one size that fits the
// panel's column. A few loaded panels are saved as build/layouts.png.
#include "support/toolkit_support.hpp"

#include <GL/gl.h>
#include <filesystem>
#include <map>
#include <unistd.h>

using namespace tmod;
using namespace tmod::test;

namespace {

constexpr int screen_w = 1024, screen_h = 768;

using names = std::vector<std::string>;

names with(names a, const names& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
names numbered(const char* pattern, int first, int last) {
    names out;
    char buf[64];
    for (int i = first; i <= last; ++i) {
        std::snprintf(buf, sizeof buf, pattern, i);
        out.push_back(buf);
    }
    return out;
}

// Plugs by panel: inputs the cable rebuild looks for, and the outputs.
const names osc_plugs = {"INPUT",         "INPUT_MOD_AMP", "INPUT_MOD_FREQ", "INPUT_MOD_PHASE",
                         "INPUT_MOD_PWM", "INPUT_AMP",     "INPUT_FREQ",     "INPUT_PHASE",
                         "INPUT_PWM",     "INPUT_SYNC",    "INPUT_GATE",     "OUTPUT"};
const names filter_plugs = {"INPUT",          "INPUT_MOD_AMP",  "INPUT_MOD_FREQ", "INPUT_MOD_Q",
                            "INPUT_MOD_GAIN", "INPUT_ALT_AMP",  "INPUT_ALT_FREQ", "INPUT_ALT_Q",
                            "INPUT_ALT_GAIN", "INPUT_SYNC",     "INPUT_GATE",     "OUTPUT"};
const names gate_sources = {"OUTPUT", "OUTPUT_GATE", "OUTPUT_SYNC"};
const names osc_controls = {"SLD_FREQUENCE", "SLD_VOLUME", "SLD_PHASE", "SLD_PWM",
                            "LABEL_FREQUENCE", "LABEL_VOLUME", "LABEL_PHASE", "LABEL_PWM",
                            "label_NAME", "AFFICHAGE_TYPE_ONDE", "POWER"};
const names seq_panel = {"BUTTON_DIVIDER_UP", "BUTTON_DIVIDER_DOWN", "LABEL_DIVIDER",
                         "LABEL_WISHED_DIVIDER", "BUTTON_MAX_STEP_UP", "BUTTON_MAX_STEP_DOWN",
                         "LABEL_MAX_STEP", "BT_LOAD", "BT_SAVE", "FILE_UP", "FILE_DOWN",
                         "LABEL_FILENAME", "POWER", "VIEW", "label_NAME"};
names seq_steps() {
    names out;
    for (const char* p : {"LAMPE_STEP_%d", "SPRITE_OCT_%d", "SPRITE_NOTE_%d", "SLD_VOL_%d",
                          "LABEL_TXT_%d_VOL", "SLD_LENGHT_%d", "LABEL_TXT_%d_LENGHT",
                          "BUTTON_OCT_%d_UP", "BUTTON_OCT_%d_DOWN", "BUTTON_NOTE_%d_UP",
                          "BUTTON_NOTE_%d_DOWN", "BUTTON_BYPASS_%d", "BUTTON_ACCENT_%d",
                          "BUTTON_SLIDE_%d"})
        out = with(out, numbered(p, 1, 32));
    return out;
}

// Layout file -> the names the editor looks up in it.
const std::map<std::string, names> required = {
    {"BACK_VCO.RC", osc_plugs},
    {"VCO.RC", osc_controls},
    {"MULTI_VCO.RC", with(with({"SLIDER_NBR_VCO", "LABEL_NBR_VCO", "SLD_VOLUME", "SLD_PWM",
                                "SLD_PHASE", "LABEL_VOLUME", "LABEL_PWM", "LABEL_PHASE", "POWER",
                                "AFFICHAGE_TYPE_ONDE", "label_NAME"},
                               numbered("LABEL_FREQ_%02d", 1, 15)),
                          numbered("SLD_FREQ_%02d", 1, 15))},
    {"BACK_FAKE303.RC", osc_plugs},
    {"FAKE303.RC", with(osc_controls, {"SLD_ENV_LVL", "SLD_FILTER_LVL", "SLD_FILTER_HI",
                                       "LABEL_ENV_LVL", "LABEL_FILTER_LVL", "LABEL_FILTER_HI",
                                       "NOISE_TOGGLE", "FILTER_TOGGLE", "DIST_TOGGLE",
                                       "ENV_TOGGLE"})},
    {"BACK_VCF.RC", filter_plugs},
    {"VCF.RC", {"SLD_HICUTOFF", "SLD_GAIN", "SLD_QRATIO", "SLD_LEVEL", "LABEL_HICUTOFF",
                "LABEL_GAIN", "LABEL_QRATIO", "LABEL_LEVEL", "POWER", "BYPASS",
                "AFFICHAGE_TYPE_FILTRE", "LABEL_TYPE", "label_NAME"}},
    {"BACK_VCF_303.RC", filter_plugs},
    {"VCF_303.RC", {"SLD_HICUTOFF", "SLD_LEVEL", "SLD_RESO", "LABEL_HICUTOFF", "LABEL_LEVEL",
                    "LABEL_RESO", "POWER", "BYPASS", "label_NAME"}},
    {"BACK_FORMANT_VCF.RC", {"INPUT", "INPUT_MOD_AMP", "INPUT_MOD_FREQ", "INPUT_SYNC",
                             "INPUT_GATE", "OUTPUT"}},
    {"FORMANT_VCF.RC", {"SLD_GAIN", "LABEL_GAIN", "POWER", "BYPASS", "AFFICHAGE_TYPE_FILTRE",
                        "LABEL_TYPE", "label_NAME"}},
    {"PHASER.RC", {"SLD_DEPTH", "SLD_FEEDBACK", "SLD_RANGE_HI", "SLD_RANGE_LOW", "SLD_RATE",
                   "LABEL_DEPTH", "LABEL_FEEDBACK", "LABEL_RANGE_HI", "LABEL_RANGE_LOW",
                   "LABEL_RATE", "POWER", "BYPASS", "label_NAME"}},
    {"BACK_VCA.RC", {"INPUT", "INPUT_GATE", "OUTPUT"}},
    {"VCA.RC", {"SLD_ATTACK", "SLD_DECAY", "SLD_SUSTAIN", "SLD_RELEASE", "LABEL_ATTACK",
                "LABEL_DECAY", "LABEL_SUSTAIN", "LABEL_RELEASE", "POWER", "label_NAME"}},
    {"BACK_MIXER.RC", with(numbered("INPUT_%d", 1, 12), {"OUTPUT"})},
    {"MIXER.RC", {"POWER", "label_NAME"}},
    {"BACK_SAMPLER.RC", {"INPUT", "INPUT_MOD_AMP", "INPUT_MOD_FREQ", "INPUT_MOD_PHASE",
                         "INPUT_SYNC", "INPUT_GATE", "OUTPUT"}},
    {"SAMPLER.RC", {"SLD_FREQUENCE", "SLD_VOLUME", "SLD_PHASE", "LABEL_FREQUENCE",
                    "LABEL_VOLUME", "LABEL_PHASE", "SLD_LOOP_BEGIN_TIME", "SLD_LOOP_END_TIME",
                    "VIEW", "LOOP_MODE", "FILE_UP", "FILE_DOWN", "SMP_PLAY_AV", "SMP_PLAY_AR",
                    "SMP_PLAY_LOOPAV", "SMP_PLAY_LOOPAR", "LABEL_FILENAME", "POWER",
                    "label_NAME"}},
    {"SAMPLER_MINI.RC", {"POWER", "VIEW", "LABEL_FILENAME", "label_NAME"}},
    {"BACK_SEQUENCEUR.RC", {"INPUT_PART", "OUTPUT", "OUTPUT_GATE", "OUTPUT_SYNC"}},
    {"SEQUENCEUR.RC", with(with(seq_panel, numbered("BUTTON_PATTERN_%d", 0, 7)), seq_steps())},
    {"SEQUENCEUR_MINI.RC", with({"POWER", "VIEW", "LABEL_FILENAME", "label_NAME"},
                                numbered("BUTTON_PATTERN_%d", 0, 7))},
    {"BACK_KEYBOARD.RC", gate_sources},
    {"KEYBOARD.RC", {"POWER", "BUTTON_OCT_UP", "BUTTON_OCT_DOWN", "SPRITE_OCT", "label_NAME"}},
    {"BACK_GENERATOR.RC", {"INPUT", "INPUT_SYNC", "INPUT_GATE", "OUTPUT"}},
    {"GENERATOR.RC", {"AFFICHAGE_TYPE_ONDE", "label_TSY_NAME", "label_NAME"}},
    {"BACK_SOUND_OUTPUT.RC", {"INPUT", "OUTPUT"}},
    {"SOUND_OUTPUT.RC", {"label_NAME"}},
    {"BACK_SOUND_INPUT.RC", gate_sources},
    {"SOUND_INPUT.RC", {"label_NAME"}},
    {"BACK_VARIABLE.RC", {"INPUT", "INPUT_ASSIGN", "OUTPUT"}},
    {"VARIABLE.RC", {"LABEL_VAR_VALUE", "label_NAME"}},
    {"BACK_OPERATION.RC", {"INPUT1", "INPUT2", "INPUT_IF", "OUTPUT"}},
    {"OPERATION.RC", {"BUTTON_TYPE", "LABEL_OPERATION", "label_NAME"}},
    {"BACK_CONSTANTE.RC", {"OUTPUT"}},
    {"CONSTANTE.RC", {"SLD_VALUE", "LABEL_CST_VALUE", "BUTTON_OCT_UP", "BUTTON_OCT_DOWN",
                      "label_NAME"}},
    {"BACK_AFFICHAGE.RC", {"INPUT", "OUTPUT"}},
    {"AFFICHAGE.RC", {"LABEL_CST_VALUE", "LAMPE", "label_NAME"}},
    {"BACK_SFX_DELAY.RC", {"INPUT", "INPUT_MOD_FREQ", "INPUT_ALT_FREQ", "OUTPUT"}},
    {"SFX_DELAY.RC", {"SLD_DELAY", "LABEL_DELAY", "POWER", "label_NAME"}},
    {"SYSTEM_DASH.RC", {"BUTTON_LOAD", "BUTTON_SAVE", "BUTTON_FILS"}},
    {"DASH.RC", {}},
    {"LOAD.RC", {"BUTTON_OCT_UP", "BUTTON_OCT_DOWN"}},
};

// The palette's type words, in the order the palette tests them.
const names palette_words = {"AFFICHAGE", "BASIC_OPERATION", "CONSTANTE", "FAKE303", "GENERATOR",
                             "KEYBOARD",  "MIXER",           "MICRO",     "PHASER",  "SEQUENCER",
                             "SAMPLER",   "SFX_DELAY",       "SOUND_INPUT", "SOUND_OUTPUT",
                             "VARIABLE",  "VCA",             "FORMANT_VCF", "VCF303", "VCF",
                             "MULTI_VCO", "VCO"};

// Panels: back face, front face, width of the editor's column for the type.
struct pair_of_faces {
    const char *back, *front;
    int column;
};
const pair_of_faces panels[] = {
    {"BACK_KEYBOARD.RC", "KEYBOARD.RC", 128},       {"BACK_SEQUENCEUR.RC", "SEQUENCEUR.RC", 544},
    {"BACK_VCO.RC", "MULTI_VCO.RC", 256},           {"BACK_VCO.RC", "VCO.RC", 256},
    {"BACK_FAKE303.RC", "FAKE303.RC", 256},         {"BACK_SAMPLER.RC", "SAMPLER.RC", 416},
    {"BACK_VCA.RC", "VCA.RC", 256},                 {"BACK_VCF_303.RC", "VCF_303.RC", 256},
    {"BACK_VCF.RC", "VCF.RC", 256},                 {"BACK_MIXER.RC", "MIXER.RC", 256},
    {"BACK_SOUND_OUTPUT.RC", "SOUND_OUTPUT.RC", 128}, {"BACK_SOUND_INPUT.RC", "SOUND_INPUT.RC", 128},
    {"BACK_VARIABLE.RC", "VARIABLE.RC", 128},       {"BACK_OPERATION.RC", "OPERATION.RC", 128},
    {"BACK_CONSTANTE.RC", "CONSTANTE.RC", 128},     {"BACK_AFFICHAGE.RC", "AFFICHAGE.RC", 128},
    {"BACK_GENERATOR.RC", "GENERATOR.RC", 416},     {"BACK_FORMANT_VCF.RC", "PHASER.RC", 128},
    {"BACK_SFX_DELAY.RC", "SFX_DELAY.RC", 128},     {"BACK_FORMANT_VCF.RC", "FORMANT_VCF.RC", 128},
};

class layouts : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string cwd = std::filesystem::current_path().string();
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
        init_video(screen_w, screen_h, "T_Modular layouts", "grfx/opengl.tim");
        font_table().load_font_list("Fonts/Fonts.FNTS");
        ASSERT_EQ(chdir(cwd.c_str()), 0);
    }
    static void TearDownTestSuite() {
        font_table().release_all();
        close_video();
    }
    // A panel named "12" with the layout read into its front face.
    static std::unique_ptr<OBJET> load(const std::string& file) {
        auto p = std::make_unique<OBJET>(0, 0, "12");
        EXPECT_EQ(p->load_rc((std::string(TM_SOURCE_DATA_DIR) + "/RC/" + file).c_str()), 1) << file;
        return p;
    }
};

bool has_picture(const char* name) {
    return image_bank().find(name) >= 0;
}

TEST_F(layouts, EveryNameTheEditorLooksUpIsThereAndEveryElementFitsItsFace) {
    for (const auto& [file, wanted] : required) {
        auto p = load(file);
        for (const std::string& n : wanted) {
            EXPECT_NE(p->find_element(n.c_str()), nullptr) << file << " " << n;
        }
        SPRITE* fond = p->find_element("IMAGE_FOND");
        ASSERT_NE(fond, nullptr) << file;
        const int w = static_cast<int>(p->w), h = static_cast<int>(p->h);
        EXPECT_EQ(w, static_cast<int>(p->width)) << file << ": background and THIS record agree";
        EXPECT_EQ(h, static_cast<int>(p->height)) << file;
        for (const element_ptr& e : *p->elements) {
            e->update();
            auto* button = dynamic_cast<BUTTON*>(e.get());
            if (!dynamic_cast<LABEL*>(e.get())) {
                EXPECT_TRUE(has_picture(e->image)) << file << " " << e->name << " " << e->image;
                if (e->has_mask()) {
                    EXPECT_TRUE(has_picture(e->mask)) << file << " " << e->mask;
                }
            }
            if (button) {
                EXPECT_TRUE(has_picture(button->image_on)) << file << " " << e->name;
                EXPECT_TRUE(has_picture(button->image_touched)) << file << " " << e->name;
            }
            const float right = e->x + e->w * e->zoom, bottom = e->y + e->h * e->zoom;
            EXPECT_TRUE(e->x >= 0 && e->y >= 0 && right <= w && bottom <= h)
                << file << " " << e->name << " at " << e->x << "," << e->y << " size " << e->w
                << "x" << e->h << " outside " << w << "x" << h;
        }
    }
}

TEST_F(layouts, PanelFacesShareOneSizeWithinTheirColumnAndPlugsShowTheirKind) {
    for (const pair_of_faces& f : panels) {
        auto back = load(f.back), front = load(f.front);
        EXPECT_EQ(back->w, front->w) << f.front;
        EXPECT_EQ(back->h, front->h) << f.front;
        EXPECT_LE(front->w, f.column) << f.front;
        for (const OBJET* face : {back.get(), front.get()}) {
            const auto* title = dynamic_cast<const LABEL*>(face->find_element("TITLE"));
            ASSERT_NE(title, nullptr) << f.front;
            EXPECT_TRUE(title->caption[0] && title->size > 0 && title->x > 0) << f.front;
        }
        // Jacks are coloured by kind: gate red, sync blue, the rest white.
        for (const element_ptr& e : *back->elements) {
            const std::string n = strip_panel_prefix(e->name), image = e->image;
            if (n.rfind("INPUT", 0) != 0 && n.rfind("OUTPUT", 0) != 0) continue;
            const char* kind = n.find("GATE") != std::string::npos   ? "GATE"
                               : n.find("SYNC") != std::string::npos ? "SYNC"
                                                                     : "SIGNAL";
            EXPECT_NE(image.find(kind), std::string::npos) << f.back << " " << n << " " << image;
            EXPECT_NE(image.find(n.rfind("OUTPUT", 0) == 0 ? "JACK_OUT" : "JACK_IN"),
                      std::string::npos)
                << f.back << " " << n;
        }
    }
}

TEST_F(layouts, ThePaletteHasOneButtonPerTypeAndEachIsFoundByItsOwnWord) {
    auto p = load("MODULE_DASH.RC");
    for (const std::string& word : palette_words) {
        // The first word of the palette's order contained in the button's name
        // must be the button's own type.
        SPRITE* b = p->find_button(("BUTTON_" + word).c_str());
        ASSERT_NE(b, nullptr) << word;
        std::string first;
        for (const std::string& w : palette_words)
            if (first.empty() && std::string(b->name).find(w) != std::string::npos) first = w;
        EXPECT_EQ(first, word);
    }
}

TEST_F(layouts, AFewPanelsDrawnForALook) {
    push_ortho(0, 0, screen_w, screen_h);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<std::unique_ptr<OBJET>> shown;
    // As the editor does: built at (0, 0), then placed.
    auto at = [&](const char* file, int x, int y) {
        shown.push_back(load(file));
        shown.back()->set_position(static_cast<float>(x), static_cast<float>(y), 0);
    };
    at("VCO.RC", 0, 0);
    at("BACK_VCO.RC", 0, 210);
    at("VCF.RC", 256, 0);
    at("BACK_VCF.RC", 256, 210);
    at("SEQUENCEUR.RC", 512, 0);
    at("KEYBOARD.RC", 0, 420);
    at("VCA.RC", 128, 420);
    at("CONSTANTE.RC", 384, 420);
    at("MODULE_DASH.RC", 512, 330);
    at("SYSTEM_DASH.RC", 768, 460);
    at("SAMPLER.RC", 512, 560);
    at("FORMANT_VCF.RC", 0, 548);
    at("OPERATION.RC", 128, 548);
    at("AFFICHAGE.RC", 256, 548);
    draw_visible_panels(shown, 0, 0, 1);
    const rgb_image frame = read_frame(screen_w, screen_h);
    pop_ortho();
    // Drawn: the faces cover a good part of the window.
    int lit = 0;
    for (int y = 0; y < screen_h; y += 4)
        for (int x = 0; x < screen_w; x += 4) {
            int r, g, b;
            frame.at(x, y, r, g, b);
            lit += r + g + b > 30;
        }
    EXPECT_GT(lit, screen_w * screen_h / 16 / 3);
    EXPECT_TRUE(write_png(std::string(TM_BINARY_DIR) + "/layouts.png", frame));
}

} // namespace
