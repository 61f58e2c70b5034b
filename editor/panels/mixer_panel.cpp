// The mixer's panel: its channel controls are made here, one strip a channel.
#include <cmath>
#include <cstdio>
#include <memory>

#include "editor/panels/panel_factories.hpp"
#include "editor/panels/param_panel.hpp"
#include "toolkit/widgets.hpp"

namespace tmod {

namespace {

constexpr int full_turn = 1800; // slider messages from a level of 0 to 1

int channel_of(const char* control, const char* format) {
    int n = -1;
    char rest = '\0';
    if (std::sscanf(control, format, &n, &rest) != 1) return -1;
    return n;
}

class MIXER_GUI : public PARAM_GUI {
  public:
    MIXER_GUI(const editor_row& r, OUTPUT& m, const char* name)
        : PARAM_GUI(r, m, name), levels(find_control(type, "SLD_CANAL_%d")),
          bypasses(find_control(type, "BYPASS_CANAL_%d")) {}

  protected:
    void add_elements() override {
        const int channels = levels ? levels->count : 0;
        for (int n = 0; n < channels; ++n) {
            // Eight strips a row, three rows, inside the panel: knob, level,
            // and the mute switch beside the channel's number.
            const int x = 4 + (n % 8) * 31, y = 64 + (n / 8) * 62;
            char local[64];
            std::snprintf(local, sizeof local, "SLD_CANAL_%d", n);
            // A layout that draws the channels itself keeps its own.
            if (find_element(local)) continue;
            auto slider = std::make_unique<SLIDER>(prefixed(local).c_str(), "SLD2");
            slider->set_position(static_cast<float>(x), static_cast<float>(y), 0);
            append(std::move(slider));
            std::snprintf(local, sizeof local, "LABEL_CANAL_%d", n);
            append(make_label(prefixed(local), "", x, y + 32, 30, 8));
            std::snprintf(local, sizeof local, "LABEL_CANAL_%d_TXT", n);
            char number[16];
            std::snprintf(number, sizeof number, "%d", n + 1);
            append(make_label(prefixed(local), number, x + 17, y + 46, 14, 7));
            std::snprintf(local, sizeof local, "BYPASS_CANAL_%d", n);
            auto bypass =
                std::make_unique<BUTTON>(prefixed(local).c_str(), "CHK_4_OFF", "0", "CHK_4_ON");
            bypass->set_position(static_cast<float>(x), static_cast<float>(y + 43), 0);
            append(std::move(bypass));
        }
    }

    void show_values() override {
        PARAM_GUI::show_values();
        const int channels = levels ? levels->count : 0;
        for (int n = 0; n < channels; ++n) {
            char local[64];
            const double level = value(*levels, n);
            std::snprintf(local, sizeof local, "LABEL_CANAL_%d", n);
            std::string text;
            append_number(text, levels->shown, level);
            show_text(local, text);
            std::snprintf(local, sizeof local, "SLD_CANAL_%d", n);
            show_knob(local, knob_position(*levels, level));
            if (bypasses) {
                std::snprintf(local, sizeof local, "BYPASS_CANAL_%d", n);
                show_state(local, static_cast<int>(value(*bypasses, n)));
            }
        }
    }

    bool on_slider(const char* control, bool down) override {
        const int n = channel_of(control, "SLD_CANAL_%d%c");
        if (n < 0) return PARAM_GUI::on_slider(control, down);
        if (!levels || n >= levels->count) return false;
        // A message moves the level by 1/1800, on that grid.
        // (Rounded: the level is kept as a float, a hair off the grid.)
        int at =
            static_cast<int>(std::lround(value(*levels, n) * full_turn)) + slider_direction(down);
        at = at < 0 ? 0 : at > full_turn ? full_turn : at;
        change(*levels, n, static_cast<double>(at) / full_turn);
        return true;
    }

    bool on_button(const char* control, int mouse_button) override {
        const int n = channel_of(control, "BYPASS_CANAL_%d%c");
        if (n < 0) return PARAM_GUI::on_button(control, mouse_button);
        if (!bypasses || n >= bypasses->count) return false;
        change(*bypasses, n, step_value(*bypasses, value(*bypasses, n), 1));
        return true;
    }

  private:
    static element_ptr make_label(const std::string& name, const char* caption, int x, int y,
                                  int width, int size) {
        auto label = std::make_unique<LABEL>(caption, x, y, width, size + 2, 0, size, 0xFFFFFFu);
        label->set_position(static_cast<float>(x), static_cast<float>(y),
                            0); // the constructor flips y
        label->set_name(name.c_str());
        return label;
    }

    const param_desc* levels;
    const param_desc* bypasses;
};

} // namespace

panel_ptr make_mixer_panel(const editor_row& row, OUTPUT& module, const char* name) {
    return made(std::make_unique<MIXER_GUI>(row, module, name));
}

} // namespace tmod
