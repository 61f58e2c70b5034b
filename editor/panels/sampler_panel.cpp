// The sampler's panel: file stepping through the sounds directory, the play
// modes by button, and a small form of its own.
#include <cstring>
#include <memory>
#include <string>

#include "editor/panels/panel_factories.hpp"
#include "editor/panels/param_panel.hpp"
#include "toolkit/file_listing.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {

constexpr const char* sounds_dir = "sounds";
// Every format the sampler plays.
constexpr const char* sound_extension = "wav,flac,ogg,aif,aiff";

class SAMPLER_GUI : public PARAM_GUI {
  public:
    SAMPLER_GUI(const editor_row& r, OUTPUT& m, const char* name)
        : PARAM_GUI(r, m, name) {
        for (const param_desc& d : type.params)
            if (d.text && d.apply) file = &d;
        for (const param_desc& d : type.panel_params)
            if (!d.names.empty()) play_mode = &d;
    }

  protected:
    void show_values() override {
        PARAM_GUI::show_values();
        if (file) {
            const char* f = file->text(*module);
            show_text("LABEL_FILENAME", f && *f ? base_name(f) : std::string("NONE"));
        }
        if (play_mode) {
            const int mode = static_cast<int>(value(*play_mode) - play_mode->min);
            for (std::size_t i = 0; i < play_mode->names.size; ++i)
                show_state(play_mode->names[i], static_cast<int>(i) == mode);
        }
    }

    bool on_button(const char* control, int mouse_button) override {
        if (std::strcmp(control, "FILE_UP") == 0 || std::strcmp(control, "FILE_DOWN") == 0) {
            step_file(std::strcmp(control, "FILE_UP") == 0);
            return true;
        }
        if (std::strcmp(control, "VIEW") == 0) {
            set_display_mode(0);
            return true;
        }
        if (play_mode)
            for (std::size_t i = 0; i < play_mode->names.size; ++i)
                if (std::strcmp(control, play_mode->names[i]) == 0) {
                    change(*play_mode, 0, play_mode->min + static_cast<double>(i));
                    return true;
                }
        return PARAM_GUI::on_button(control, mouse_button);
    }

  private:
    void step_file(bool up) {
        if (!file) return;
        const char* current = file->text(*module);
        char next[800];
        // Names a patch file cannot hold are passed over.
        const char* found =
            up ? next_file(current, sounds_dir, sound_extension, next, sizeof next, fits_patch)
               : previous_file(current, sounds_dir, sound_extension, next, sizeof next, fits_patch);
        // A file outside the directory starts the listing from its end.
        if (!found)
            found =
                up ? next_file("", sounds_dir, sound_extension, next, sizeof next, fits_patch)
                   : previous_file("", sounds_dir, sound_extension, next, sizeof next, fits_patch);
        if (!found) {
            say("No File to load\n");
            return;
        }
        // The sampler loads it the way a patch file's FILE field does.
        const field_text f{next, file->key, next};
        file->apply(*module, f);
        refresh();
    }

    const param_desc* file = nullptr;
    const param_desc* play_mode = nullptr;
};

} // namespace

panel_ptr make_sampler_panel(const editor_row& row, OUTPUT& module, const char* name) {
    return made(std::make_unique<SAMPLER_GUI>(row, module, name));
}

} // namespace tmod
