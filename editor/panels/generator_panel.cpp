// A nested patch's panel in the enclosing level: its display button reads the
// stock patch into the nested container.
#include <cstring>
#include <memory>

#include "editor/levels.hpp"
#include "editor/panels/panel_factories.hpp"
#include "editor/panels/param_panel.hpp"
#include "engine/generator.hpp"
#include "patchfile/patch_reader.hpp"
#include "toolkit/widgets.hpp"

namespace tmod {

namespace {

constexpr const char* stock_patch = "TSY/moog3.tsy";

class NESTED_GENERATOR_GUI : public GENERATOR_GUI {
  public:
    NESTED_GENERATOR_GUI(GENERATOR& g, const char* name, const panel_layouts& layouts)
        : GENERATOR_GUI(g, 0, 0, name) {
        load_faces(*this, layouts.back, layouts.controls);
    }

    int update() override {
        std::vector<GUI_MESSAGE> pending;
        pending.swap(messages);
        for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
            if (!it->target || it->kind == 0 || it->event_type() != event_button_up) continue;
            if (it->target != find_element("AFFICHAGE_TYPE_ONDE")) continue;
            // The reader holds rendering off while it swaps the modules in; the
            // nested level's panels showed the old ones and are built again.
            panels.clear();
            load_patch(generator(), stock_patch);
            build_panels(panels, generator());
        }
        show("label_NAME", module->name);
        // The file the nested patch was read from.
        const char* file = std::strrchr(generator().file_name, '/');
        show("label_TSY_NAME", file ? file + 1 : generator().file_name);
        return OBJET::update();
    }

  private:
    void show(const char* name, const char* text) {
        auto* l = dynamic_cast<LABEL*>(find_element(name));
        if (l && std::strcmp(l->caption, text) != 0) l->set_caption(text);
    }
};

} // namespace

panel_ptr make_generator_panel(const editor_row& row, OUTPUT& module, const char* name) {
    // The table sends only GENERATOR modules here.
    return std::make_unique<NESTED_GENERATOR_GUI>(static_cast<GENERATOR&>(module), name,
                                                  row.layouts);
}

} // namespace tmod
