#include "editor/module_rows.hpp"

#include <cstdio>
#include <iterator>

#include "editor/panels/panel_factories.hpp"
#include "engine/generator.hpp"

namespace tmod {

namespace {

constexpr const char* wave_pictures[] = {
    "DISP_SIN",         "DISP_TRI",           "DISP_SAW",          "DISP_SQR",      "DISP_PULSE",
    "DISP_NOISE_WHITE", "DISP_NOISE_ROSSLER", "DISP_NOISE_LORENZ", "DISP_NOISE_TAM"};
constexpr const char* mini_wave_pictures[] = {
    "MINI_DISP_SIN",         "MINI_DISP_TRI",          "MINI_DISP_SAW",
    "MINI_DISP_SQR",         "MINI_DISP_PULSE",        "MINI_DISP_NOISE_WHITE",
    "MINI_DISP_NOISE_ROSSLER", "MINI_DISP_NOISE_LORENZ", "MINI_DISP_NOISE_TAM"};
constexpr const char* filter_pictures[] = {
    "DISP_FILTRE_LOWPASS",  "DISP_FILTRE_HIGHPASS",  "DISP_FILTRE_BANDPASS", "DISP_FILTRE_NOTCH",
    "DISP_FILTRE_LOWSHELF", "DISP_FILTRE_HIGHSHELF", "DISP_FILTRE_PEAKING"};

constexpr cycle_display wave_display[] = {
    {"AFFICHAGE_TYPE_ONDE", "AFFICHAGE_TYPE_ONDE", wave_pictures, nullptr}};
constexpr cycle_display mini_wave_display[] = {
    {"AFFICHAGE_TYPE_ONDE", "AFFICHAGE_TYPE_ONDE", mini_wave_pictures, nullptr}};
constexpr cycle_display filter_display[] = {
    {"AFFICHAGE_TYPE_FILTRE", "AFFICHAGE_TYPE_FILTRE", filter_pictures, "LABEL_TYPE"}};
// The vowel is bound to the GAIN slider; the display steps it by whole vowels.
constexpr cycle_display vowel_display[] = {
    {"AFFICHAGE_TYPE_FILTRE", "GAIN", filter_pictures, "LABEL_TYPE"}};
constexpr cycle_display operation_displays[] = {
    {"TYPE", "TYPE", {}, "LABEL_OPERATION"},
    {"BUTTON_TYPE", "TYPE", {}, "LABEL_OPERATION"},
};

constexpr step_button constant_buttons[] = {
    {"BUTTON_OCT_UP", "VALUE", 1},
    {"BUTTON_OCT_DOWN", "VALUE", -1},
};
constexpr step_button octave_buttons[] = {
    {"BUTTON_OCT_UP", "OCTAVE", 1},
    {"BUTTON_OCT_DOWN", "OCTAVE", -1},
};

constexpr control_view constant_view[] = {{"VALUE", "LABEL_CST_VALUE"}};
constexpr control_view multi_vco_view[] = {{"SLIDER_NBR_VCO", "LABEL_NBR_VCO"}};
// A knob turn a second of the sample (its length is the file's, not a range).
constexpr control_view sampler_views[] = {
    {"LOOP_BEGIN_TIME", "LABEL_LOOP_BEGIN_TIME", 360.0 / 44100.0},
    {"LOOP_END_TIME", "LABEL_LOOP_END_TIME", 360.0 / 44100.0},
};

constexpr live_view display_live[] = {{"LABEL_CST_VALUE", "LAMPE"}};
constexpr live_view variable_live[] = {{"LABEL_VAR_VALUE", nullptr}};

constexpr digit_view octave_digit[] = {{"SPRITE_OCT", "OCTAVE", "LED_NUMERIC_1_%d"}};

constexpr bool Y = true, N = false;
// takes gate, takes sync, clears gate, clears sync, offers to inputs, offers
// to outputs, sync warns
constexpr plug_rules plain{N, N, N, N, N, N, N};
constexpr plug_rules both{Y, Y, Y, Y, N, N, N};
constexpr plug_rules offers_both{N, N, N, N, Y, Y, N};

// In list order (indexed by module_kind).
constexpr editor_row rows[] = {
    {module_kind::AFFICHAGE, "VAL_%s", {"RC/BACK_AFFICHAGE.RC", "RC/AFFICHAGE.RC"},
     make_param_panel, 1, true, nullptr, nullptr, 128, plain, {}, {}, {}, display_live, {}},
    {module_kind::BASIC_OPERATION, "OPERATION_%s", {"RC/BACK_OPERATION.RC", "RC/OPERATION.RC"},
     make_param_panel, 1, false, nullptr, "%02d basic_Operation\n", 128, plain,
     operation_displays, {}, {}, {}, {}},
    {module_kind::CONSTANTE, "CONSTANTE_%s", {"RC/BACK_CONSTANTE.RC", "RC/CONSTANTE.RC"},
     make_param_panel, 1, false, nullptr, "%02d constantes\n", 128, plain, {}, constant_buttons,
     constant_view, {}, {}},
    {module_kind::FAKE303, "FAKE303_%s", {"RC/BACK_FAKE303.RC", "RC/FAKE303.RC"},
     make_param_panel, 1, false, nullptr, "%02d fake303s\n", 256, both,
     mini_wave_display, {}, {}, {}, {}},
    {module_kind::GENERATOR, "GENERATOR_%s", {"RC/BACK_GENERATOR.RC", "RC/GENERATOR.RC"},
     make_generator_panel, 1, false, nullptr, "%02d Generators\n", 416, {Y, Y, N, N, N, N, N}, {}, {}, {}, {},
     {}},
    {module_kind::KEYBOARD, "KEY_%s", {"RC/BACK_KEYBOARD.RC", "RC/KEYBOARD.RC"},
     make_param_panel, 1, false, nullptr, "%02d Keyboards\n", 128, offers_both, {},
     octave_buttons, {}, {}, octave_digit},
    {module_kind::MIXER, "MIXER_%s", {"RC/BACK_MIXER.RC", "RC/MIXER.RC"}, make_mixer_panel, 1,
     false, nullptr, "%02d mixers\n", 256, plain, {}, {}, {}, {}, {}},
    {module_kind::MICRO, "KEY_%s", {"RC/BACK_KEYBOARD.RC", "RC/KEYBOARD.RC"}, make_param_panel, 1,
     false, nullptr, "%02d Micros\n", 128, plain, {}, {}, {}, {}, {}},
    {module_kind::PHASER, "VCF_%s", {"RC/BACK_FORMANT_VCF.RC", "RC/PHASER.RC"}, make_param_panel,
     1, false, nullptr, "%02d Phasers\n", 128, plain, {}, {}, {}, {}, {}},
    {module_kind::SEQUENCER, "SEQUEN_%s", {"RC/BACK_SEQUENCEUR.RC", "RC/SEQUENCEUR.RC"},
     make_sequencer_panel, 2, true, "SEQUENCEUR", "%02d Sequencers\n", 544, offers_both, {}, {},
     {}, {}, {}, "RC/SEQUENCEUR_MINI.RC"},
    {module_kind::SAMPLER, "SAMPLER_%s", {"RC/BACK_SAMPLER.RC", "RC/SAMPLER.RC"},
     make_sampler_panel, 2, false, nullptr, "%02d Samplers\n", 416, {Y, Y, Y, N, N, N, Y}, {}, {},
     sampler_views, {}, {}, "RC/SAMPLER_MINI.RC"},
    {module_kind::SFX_DELAY, "SFX_DELAY_%s", {"RC/BACK_SFX_DELAY.RC", "RC/SFX_DELAY.RC"},
     make_param_panel, 1, false, nullptr, "%02d Delays\n", 128, plain, {}, {}, {}, {}, {}},
    {module_kind::SOUND_INPUT, "VARIABLE_%s", {"RC/BACK_SOUND_INPUT.RC", "RC/SOUND_INPUT.RC"},
     make_param_panel, 1, false, nullptr, "%02d Sound In\n", 128, {N, N, N, N, Y, N, N}, {}, {}, {},
     {}, {}},
    {module_kind::SOUND_OUTPUT, "VARIABLE_%s", {"RC/BACK_SOUND_OUTPUT.RC", "RC/SOUND_OUTPUT.RC"},
     make_param_panel, 1, false, nullptr, "%02d sound_outputs\n", 128, plain, {}, {}, {}, {}, {}},
    {module_kind::VARIABLE, "VARIABLE_%s", {"RC/BACK_VARIABLE.RC", "RC/VARIABLE.RC"},
     make_param_panel, 1, true, nullptr, "%02d variables\n", 128, plain, {}, {}, {},
     variable_live, {}},
    {module_kind::VCA, "VCA_%s", {"RC/BACK_VCA.RC", "RC/VCA.RC"}, make_param_panel, 1, false,
     nullptr, "%02d Vcas\n", 256, {Y, N, Y, N, N, N, N}, {}, {}, {}, {}, {}},
    // Its sync slot is set by files only: a cable brings it no pulse.
    {module_kind::FORMANT_VCF, "VCF_%s", {"RC/BACK_FORMANT_VCF.RC", "RC/FORMANT_VCF.RC"},
     make_param_panel, 1, false, nullptr, "%02d FormantVCF\n", 128, {Y, N, Y, Y, N, N, N}, vowel_display,
     {}, {}, {}, {}},
    {module_kind::VCF303, "VCF_%s", {"RC/BACK_VCF_303.RC", "RC/VCF_303.RC"}, make_param_panel, 1,
     false, nullptr, "%02d vcf303s\n", 256, both, {}, {}, {}, {}, {}},
    {module_kind::VCF, "VCF_%s", {"RC/BACK_VCF.RC", "RC/VCF.RC"}, make_param_panel, 1, false,
     nullptr, "%02d vcfs\n", 256, both, filter_display, {}, {}, {}, {}},
    {module_kind::MULTI_VCO, "MULTI_VCO_%s", {"RC/BACK_VCO.RC", "RC/MULTI_VCO.RC"},
     make_param_panel, 1, false, nullptr, "%02d Multi_Vcos\n", 0, both, mini_wave_display, {},
     multi_vco_view, {}, {}},
    {module_kind::VCO, "VCO_%s", {"RC/BACK_VCO.RC", "RC/VCO.RC"}, make_param_panel, 1, false,
     nullptr, "%02d Vcos\n", 256, both, wave_display, {}, {}, {}, {}},
};
static_assert(std::size(rows) == module_kind_count, "one editor row per module type");
constexpr bool rows_in_list_order() {
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (static_cast<std::size_t>(rows[i].kind) != i) return false;
    return true;
}
static_assert(rows_in_list_order(), "editor rows are indexed by module_kind");

} // namespace

const module_kind column_order[module_kind_count] = {
    module_kind::KEYBOARD,    module_kind::SEQUENCER,   module_kind::MULTI_VCO,
    module_kind::VCO,         module_kind::FAKE303,     module_kind::SAMPLER,
    module_kind::VCA,         module_kind::VCF303,      module_kind::VCF,
    module_kind::MIXER,       module_kind::SOUND_OUTPUT, module_kind::SOUND_INPUT,
    module_kind::VARIABLE,    module_kind::BASIC_OPERATION, module_kind::CONSTANTE,
    module_kind::AFFICHAGE,   module_kind::GENERATOR,   module_kind::PHASER,
    module_kind::SFX_DELAY,   module_kind::FORMANT_VCF, module_kind::MICRO,
};

const editor_row& row_of(module_kind kind) {
    return rows[index_of(kind)];
}

panel_ptr make_module_panel(module_kind kind, OUTPUT& module, int number) {
    const editor_row& row = row_of(kind);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", number);
    char name[OBJET::text_size];
    std::snprintf(name, sizeof name, row.name_pattern, digits);
    panel_ptr panel = row.make(row, module, name);
    panel->update();
    return panel;
}

bool shows_moving_state(const OBJET& panel) {
    const auto* m = dynamic_cast<const MODULE_GUI*>(&panel);
    return m && row_of(m->kind).moving;
}

bool has_small_form(const OBJET& panel) {
    const auto* m = dynamic_cast<const MODULE_GUI*>(&panel);
    return m && row_of(m->kind).small_layout;
}

int play_display_mode(const OBJET& panel) {
    const auto* m = dynamic_cast<const MODULE_GUI*>(&panel);
    return m ? row_of(m->kind).play_mode : 1;
}

} // namespace tmod
