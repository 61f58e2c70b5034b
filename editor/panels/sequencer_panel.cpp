#include "editor/panels/sequencer_panel.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "editor/editor_layout.hpp"
#include "editor/panels/panel_factories.hpp"
#include "editor/panels/param_panel.hpp"
#include "modules/sequencer.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/widgets.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {


constexpr int strips = 32;
constexpr int pattern_buttons = 8;
constexpr const char* partition_extension = "par";

// The widgets of one strip, made by the panel: name pattern (after the
// panel's prefix; %d the step from 1), kind, images, place in the strip.
enum class widget_kind { sprite, slider, label, button };
struct strip_widget {
    const char* pattern;
    widget_kind what;
    const char* off;
    const char* on;
    int dy;
};
constexpr strip_widget strip_widgets[] = {
    {"LAMPE_STEP_%d", widget_kind::sprite, "LAMP_LED_1_0", nullptr, 0},
    {"BUTTON_OCT_%d_UP", widget_kind::button, "BTN_UP_OFF", "BTN_UP_ON", 20},
    {"SPRITE_OCT_%d", widget_kind::sprite, "LED_NUMERIC_1_0", nullptr, 36},
    {"BUTTON_OCT_%d_DOWN", widget_kind::button, "BTN_DOWN_OFF", "BTN_DOWN_ON", 60},
    {"BUTTON_NOTE_%d_UP", widget_kind::button, "BTN_UP_OFF", "BTN_UP_ON", 80},
    {"SPRITE_NOTE_%d", widget_kind::sprite, "LED_NUMERIC_1_0", nullptr, 96},
    {"BUTTON_NOTE_%d_DOWN", widget_kind::button, "BTN_DOWN_OFF", "BTN_DOWN_ON", 120},
    {"SLD_VOL_%d", widget_kind::slider, "SLD2", nullptr, 145},
    {"LABEL_TXT_%d_VOL", widget_kind::label, nullptr, nullptr, 180},
    {"SLD_LENGHT_%d", widget_kind::slider, "SLD2", nullptr, 200},
    {"LABEL_TXT_%d_LENGHT", widget_kind::label, nullptr, nullptr, 235},
    {"BUTTON_BYPASS_%d", widget_kind::button, "CHK_4_OFF", "CHK_4_ON", 255},
    {"BUTTON_ACCENT_%d", widget_kind::button, "CHK_4_OFF", "CHK_4_ON", 275},
    {"BUTTON_SLIDE_%d", widget_kind::button, "CHK_4_OFF", "CHK_4_ON", 295},
};

std::string numbered(const char* pattern, int n) {
    char out[96];
    std::snprintf(out, sizeof out, pattern, n);
    return out;
}

// The step (1 .. 32) in a control name "<head><n><tail>", or 0.
int step_in(const char* control, const char* head, const char* tail) {
    const std::size_t h = std::strlen(head), t = std::strlen(tail), n = std::strlen(control);
    if (n <= h + t || std::strncmp(control, head, h) != 0 ||
        std::strcmp(control + n - t, tail) != 0)
        return 0;
    int step = 0;
    for (const char* p = control + h; p < control + n - t; ++p) {
        if (*p < '0' || *p > '9') return 0;
        step = step * 10 + (*p - '0');
        if (step > strips) return 0;
    }
    return step;
}

const param_desc* by_key(const module_type& type, const char* key) {
    for (const param_desc& p : type.params)
        if (p.key && std::strcmp(p.key, key) == 0) return &p;
    return nullptr;
}

class SEQUENCER_GUI : public PARAM_GUI {
  public:
    SEQUENCER_GUI(const editor_row& r, OUTPUT& m, const char* name)
        : PARAM_GUI(r, m, name), file(by_key(type, "PARTITION_FILE_NAME")),
          divider(by_key(type, "DIVIDER")), max_step(by_key(type, "NBR_STEP")),
          note(by_key(type, "NOTE")), bypass(by_key(type, "BYPASS")), vol(by_key(type, "VOLUME")),
          length(by_key(type, "LENGHT")), octave(find_control(type, "BUTTON_OCT_%d")),
          accent(find_control(type, "BUTTON_ACCENT_%d")),
          slide(find_control(type, "BUTTON_SLIDE_%d")),
          wished(find_control(type, "BUTTON_PATTERN_%d")),
          step(find_control(type, "LAMPE_STEP_%d")), timer(find_control(type, "STEP_TIMER")) {}

  protected:
    void add_elements() override {
        for (int i = 1; i <= strips; ++i) {
            const float x = static_cast<float>(10 + (i - 1) * 30);
            for (const strip_widget& w : strip_widgets) {
                // The layout may draw the strips itself; only the missing ones are made.
                if (find_element(numbered(w.pattern, i).c_str())) continue;
                const std::string n = prefixed(numbered(w.pattern, i));
                element_ptr e;
                switch (w.what) {
                case widget_kind::sprite:
                    e = std::make_unique<SPRITE>(w.off, 0, 0, 0, 0, 0, 1.0f, 0, 255);
                    break;
                case widget_kind::slider:
                    e = std::make_unique<SLIDER>(n.c_str(), w.off);
                    break;
                case widget_kind::label:
                    e = std::make_unique<LABEL>("", 0, 0, 28, 12, 0, 10, 0xFFFFFFu);
                    break;
                case widget_kind::button:
                    e = std::make_unique<BUTTON>(n.c_str(), w.off, "0", w.on);
                    break;
                }
                e->set_name(n.c_str());
                if (w.what == widget_kind::label)
                    e->set_position(x, 747.0f - static_cast<float>(60 + w.dy), 0);
                else
                    e->set_position(x, static_cast<float>(60 + w.dy), 0);
                append(std::move(e));
            }
        }
    }

    void show_values() override {
        shown_ = shown_pattern(); // first: the base refresh calls refresh_live()
        PARAM_GUI::show_values();
        const auto& s = static_cast<const SEQUENCER&>(*module);
        const int pattern = current_pattern();
        show_lamps();
        for (int i = 1; i <= strips; ++i) {
            const int at = shown_ * step_count + (i - 1);
            digit("SPRITE_OCT_%d", i, octave, at);
            digit("SPRITE_NOTE_%d", i, note, at);
            if (vol) {
                show_text(numbered("LABEL_TXT_%d_VOL", i).c_str(),
                          compact(shown_text(*vol, value(*vol, at))));
                show_knob(numbered("SLD_VOL_%d", i).c_str(), knob_position(*vol, value(*vol, at)));
            }
            if (length) {
                show_text(numbered("LABEL_TXT_%d_LENGHT", i).c_str(),
                          compact(shown_text(*length, value(*length, at))));
                show_knob(numbered("SLD_LENGHT_%d", i).c_str(),
                          knob_position(*length, value(*length, at)));
            }
            switch_state("BUTTON_BYPASS_%d", i, bypass, at);
            switch_state("BUTTON_ACCENT_%d", i, accent, at);
            switch_state("BUTTON_SLIDE_%d", i, slide, at);
        }
        const int wished_pattern = wished ? static_cast<int>(value(*wished)) : -1;
        for (int p = 0; p < pattern_buttons; ++p)
            show_state(numbered("BUTTON_PATTERN_%d", p).c_str(), wished_pattern == p);
        std::string text;
        append_number(text, "%3.3f", s.memory.divider[pattern]);
        show_text("LABEL_DIVIDER", text);
        if (divider) show_text("LABEL_WISHED_DIVIDER", shown_text(*divider, value(*divider)));
        if (max_step) show_text("LABEL_MAX_STEP", shown_text(*max_step, value(*max_step, shown_)));
        const char* f = file && file->text ? file->text(*module) : "";
        show_text("LABEL_FILENAME", f && *f ? fitting_name(f) : std::string("NONE"));
        show_state("POWER", s.power.load());
    }

    // The lamps follow the playing step; the strips follow the pattern
    // chosen, wherever the choice came from.
    void refresh_live() override {
        if (shown_pattern() != shown_) refresh();
        show_lamps();
    }

    bool on_slider(const char* control, bool down) override {
        const int at = shown_pattern() * step_count;
        if (int i = step_in(control, "SLD_VOL_", ""); i && vol) {
            // Tenths counted whole, so that ten steps from 0 land on exactly 1.0.
            const double v = value(*vol, at + i - 1);
            change(*vol, at + i - 1, std::round(v * 10.0 + slider_direction(down)) / 10.0);
            return true;
        }
        if (int i = step_in(control, "SLD_LENGHT_", ""); i && length) {
            const double v = value(*length, at + i - 1);
            change(*length, at + i - 1, step_value(*length, v, slider_direction(down)));
            return true;
        }
        return false;
    }

    bool on_button(const char* control, int mouse_button) override {
        const int pattern = current_pattern();
        const int at = shown_pattern() * step_count;
        struct stepper {
            const char* head;
            const char* tail;
            const param_desc* d;
            int direction;
        };
        const stepper steppers[] = {
            {"BUTTON_OCT_", "_UP", octave, 1}, {"BUTTON_OCT_", "_DOWN", octave, -1},
            {"BUTTON_NOTE_", "_UP", note, 1},  {"BUTTON_NOTE_", "_DOWN", note, -1},
            {"BUTTON_BYPASS_", "", bypass, 1}, {"BUTTON_ACCENT_", "", accent, 1},
            {"BUTTON_SLIDE_", "", slide, 1},
        };
        for (const stepper& s : steppers) {
            const int i = step_in(control, s.head, s.tail);
            if (!i || !s.d) continue;
            const int index = at + i - 1;
            change(*s.d, index, step_value(*s.d, value(*s.d, index), s.direction));
            return true;
        }
        if (std::strncmp(control, "BUTTON_PATTERN_", 15) == 0) {
            const int n = std::atoi(control + 15);
            if (!wished || n < 0 || n >= pattern_buttons) return false;
            change(*wished, 0, n);
            return true;
        }
        if (std::strcmp(control, "BUTTON_DIVIDER_UP") == 0 ||
            std::strcmp(control, "BUTTON_DIVIDER_DOWN") == 0) {
            if (!divider) return false;
            const bool up = std::strcmp(control, "BUTTON_DIVIDER_UP") == 0;
            const auto& s = static_cast<const SEQUENCER&>(*module);
            const double wished = value(*divider);
            const double current = s.memory.divider[pattern];
            change(*divider, 0,
                   step_value(*divider, wished == current ? current : wished, up ? 1 : -1));
            return true;
        }
        if (std::strcmp(control, "BUTTON_MAX_STEP_UP") == 0 ||
            std::strcmp(control, "BUTTON_MAX_STEP_DOWN") == 0) {
            if (!max_step) return false;
            const int dir = std::strcmp(control, "BUTTON_MAX_STEP_UP") == 0 ? 1 : -1;
            const int shown = shown_pattern();
            change(*max_step, shown, step_value(*max_step, value(*max_step, shown), dir));
            return true;
        }
        if (std::strcmp(control, "FILE_UP") == 0 || std::strcmp(control, "FILE_DOWN") == 0) {
            step_file(std::strcmp(control, "FILE_UP") == 0);
            return true;
        }
        if (std::strcmp(control, "BT_LOAD") == 0) {
            say("LOAD\n");
            ask("Load the partition of PARTITIONS", [this](const std::string& path) {
                if (!is_regular_file(path.c_str())) return "no partition " + path;
                load(path.c_str());
                return std::string();
            });
            return true;
        }
        if (std::strcmp(control, "BT_SAVE") == 0) {
            say("SAVE\n");
            ask("Save the partition in PARTITIONS as", [this](const std::string& path) {
                const char* own = file && file->text ? file->text(*module) : "";
                // Another sequencer's patterns are never written over from here.
                if (path_exists(path.c_str()) && !same_file(path.c_str(), own))
                    return path + " is another partition: type another name";
                // The module writes its own file (it copies the memory under the patch lock).
                if (!file || !file->save || !file->save(*module, path.c_str()))
                    return "cannot write " + path;
                say("Saved %s\n", path.c_str());
                refresh();
                return std::string();
            });
            return true;
        }
        // Stopped (Delete, a MIDI Stop), its power button starts it again
        // from its first step.
        if (std::strstr(control, "POWER") &&
            !static_cast<const SEQUENCER&>(*module).running.load()) {
            change(sequencer_transport, 0, 0);
            return true;
        }
        if (std::strcmp(control, "VIEW") == 0) {
            refresh();
            return true;
        }
        return PARAM_GUI::on_button(control, mouse_button);
    }

  private:
    int current_pattern() const {
        return static_cast<const SEQUENCER&>(*module).current_pattern.load();
    }
    // The strips show and edit the pattern last chosen, at once, though it
    // starts playing only at the end of the playing one.
    int shown_pattern() const {
        const int p = wished ? static_cast<int>(value(*wished)) : current_pattern();
        return p >= 0 && p < pattern_buttons ? p : current_pattern();
    }

    // The partition's name as its 76-pixel display holds it (11 characters),
    // without the extension every partition has.
    static std::string fitting_name(const char* path) {
        constexpr std::size_t fits = 11;
        std::string name = base_name(path);
        if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
        if (name.size() > fits) name = name.substr(0, fits - 1) + "~";
        return name;
    }

    // A step's value in a 16-pixel strip: "1", ".9", "1.5", "-.3".
    static std::string compact(std::string text) {
        const auto first = text.find_first_not_of(' ');
        text.erase(0, first == std::string::npos ? text.size() : first);
        if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0)
            text.resize(text.size() - 2);
        for (const char* zero : {"0.", "-0."})
            if (text.rfind(zero, 0) == 0 && text.size() > std::strlen(zero))
                text.erase(text.find('0'), 1);
        return text;
    }

    // The lamp of the step that plays next is lit.
    void show_lamps() {
        const int playing = step ? static_cast<int>(value(*step)) : -1;
        for (int i = 1; i <= strips; ++i)
            show_picture(numbered("LAMPE_STEP_%d", i).c_str(),
                         playing == i - 1 ? "LAMP_LED_1_1" : "LAMP_LED_1_0");
    }

    void digit(const char* pattern, int i, const param_desc* d, int at) {
        if (!d) return;
        show_picture(numbered(pattern, i).c_str(),
                     numbered("LED_NUMERIC_1_%d", static_cast<int>(value(*d, at))).c_str());
    }
    void switch_state(const char* pattern, int i, const param_desc* d, int at) {
        if (d) show_state(numbered(pattern, i).c_str(), static_cast<int>(value(*d, at)));
    }

    // Asks in the window for a partition name; `act` gets its path in
    // PARTITIONS and answers as a prompt's acceptor does.
    void ask(const char* question, std::function<std::string(const std::string&)> act) {
        if (!ask_user) return;
        std::string shown = base_name(file && file->text ? file->text(*module) : "");
        if (const auto dot = shown.rfind('.'); dot != std::string::npos) shown.resize(dot);
        ask_user({question, shown, [act](const std::string& typed) {
                      std::string why;
                      const std::string name = typed_file_name(typed, ".PAR", why);
                      if (name.empty()) return why;
                      return act(std::string(partitions_dir) + "/" + name);
                  }});
    }

    void load(const char* path) {
        if (!file) return;
        const field_text f{path, file->key, path};
        file->apply(*module, f);
        refresh();
    }

    void step_file(bool up) {
        const char* current = file && file->text ? file->text(*module) : "";
        char next[800];
        // Names a patch file cannot hold are passed over.
        const char* found = up ? next_file(current, partitions_dir, partition_extension, next,
                                           sizeof next, fits_patch)
                               : previous_file(current, partitions_dir, partition_extension, next,
                                               sizeof next, fits_patch);
        if (!found)
            found = up ? next_file("", partitions_dir, partition_extension, next, sizeof next,
                                   fits_patch)
                       : previous_file("", partitions_dir, partition_extension, next, sizeof next,
                                       fits_patch);
        if (!found) {
            say("No file to load\n");
            return;
        }
        load(next);
        // The last strip plays next, so the loaded patterns start over soon;
        // FILE_UP also starts that step's time again.
        if (step) change(*step, 0, strips - 1);
        if (up && timer) change(*timer, 0, 0.0);
    }

    const param_desc *file, *divider, *max_step, *note, *bypass, *vol, *length, *octave, *accent,
        *slide, *wished, *step, *timer;
    int shown_ = -1;
};

} // namespace

panel_ptr make_sequencer_panel(const editor_row& row, OUTPUT& module, const char* name) {
    return made(std::make_unique<SEQUENCER_GUI>(row, module, name));
}

} // namespace tmod
