#include "editor/editor_layout.hpp"

#include <algorithm>

namespace tmod {

int clamp_scroll_x(int x) {
    return std::clamp(x, 0, scroll_max_x);
}

int clamp_scroll_y(int y) {
    return std::clamp(y, 0, scroll_max_y);
}

int snap_to_grid(int v) {
    return v - v % 32;
}

panel_box palette_spot(const std::vector<panel_box>& taken, int w, int h, int scroll_x,
                       int scroll_y, int view_w, int view_h, int index) {
    auto free = [&](int x, int y) {
        for (const panel_box& t : taken)
            if (x < t.x + t.w && t.x < x + w && y < t.y + t.h && t.y < y + h) return false;
        return true;
    };
    const int left = scroll_x + 10, top = scroll_y + dashboard_band;
    for (int y = top; y + h <= scroll_y + view_h; y += 32)
        for (int x = left; x + w <= scroll_x + view_w; x += 32)
            if (free(x, y)) return {x, y, w, h};
    return {left, top + 64 * index, w, h};
}

const panel_column panel_columns[module_kind_count] = {
    {module_kind::KEYBOARD, "%02d Keyboards\n", 128},
    {module_kind::SEQUENCER, "%02d Sequencers\n", 512},
    {module_kind::MULTI_VCO, "%02d Multi_Vcos\n", 0}, // shares the VCO column
    {module_kind::VCO, "%02d Vcos\n", 256},
    {module_kind::FAKE303, "%02d fake303s\n", 256},
    {module_kind::SAMPLER, "%02d Samplers\n", 416},
    {module_kind::VCA, "%02d Vcas\n", 256},
    {module_kind::VCF303, "%02d vcf303s\n", 256},
    {module_kind::VCF, "%02d vcfs\n", 256},
    {module_kind::MIXER, "%02d mixers\n", 256},
    {module_kind::SOUND_OUTPUT, "%02d sound_outputs\n", 128},
    {module_kind::SOUND_INPUT, "%02d Sound In\n", 128},
    {module_kind::VARIABLE, "%02d variables\n", 128},
    {module_kind::BASIC_OPERATION, "%02d basic_Operation\n", 128},
    {module_kind::CONSTANTE, "%02d constantes\n", 128},
    {module_kind::AFFICHAGE, nullptr, 128},
    {module_kind::GENERATOR, "%02d Generators\n", 416},
    {module_kind::PHASER, "%02d Phasers\n", 128},
    {module_kind::SFX_DELAY, "%02d Delays\n", 128},
    {module_kind::FORMANT_VCF, "%02d FormantVCF\n", 128},
    {module_kind::MICRO, "%02d Micros\n", 128},
};

std::vector<panel_spot> column_layout(const std::size_t (&counts)[module_kind_count],
                                      const int (&heights)[module_kind_count]) {
    std::vector<panel_spot> spots;
    int column = 0;
    int top = dashboard_band; // below the panels of a type that shares its column
    for (const panel_column& c : panel_columns) {
        const int k = index_of(c.kind);
        if (counts[k] == 0) continue;
        for (std::size_t i = 0; i < counts[k]; ++i)
            spots.push_back({c.kind, i, column, top + static_cast<int>(i) * heights[k]});
        column += c.width;
        top = c.width == 0 ? top + static_cast<int>(counts[k]) * heights[k] : dashboard_band;
    }
    return spots;
}

int dialog_scroll(int first, int direction, int names) {
    const int last_first = std::max(0, names - dialog_rows);
    return std::clamp(first + direction, 0, last_first);
}

bool plain_file_name(const std::string& name, std::string& why) {
    if (name.empty()) {
        why = "no name given";
        return false;
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        why = "a name with \"/\" would leave the directory";
        return false;
    }
    if (name.find("..") != std::string::npos) {
        why = "a name with \"..\" is not a plain file name";
        return false;
    }
    for (unsigned char c : name)
        if (c < 32 || c == 127) {
            why = "the name holds a control character";
            return false;
        }
    return true;
}

} // namespace tmod
