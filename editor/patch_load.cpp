// Bringing a patch file into the editor, and the panels built from the engine.
#include <algorithm>
#include <cstdio>

#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "engine/generator.hpp"
#include "patchfile/patch_reader.hpp"
#include "util/alloc_tracker.hpp"
#include "util/messages.hpp"

namespace tmod {

void editor::build_panels(panel_list& panels, GENERATOR& g) {
    std::printf("************ Init Gui From Current *******************\n");
    // Cables join the panels about to go.
    cables.clear();
    relink_pending = 1;
    // The dashboards stay in front of a rebuilt top level.
    std::vector<panel_ptr> docks;
    for (auto& p : panels)
        if (is_dashboard(p.get())) docks.push_back(std::move(p));
    panels.clear();
    hovered_panel = dragged_panel = -1;
    hovered_widget = pressed_widget = nullptr;
    active_panel = nullptr;
    if (info_dash) info_dash->target = nullptr;

    std::size_t counts[module_kind_count] = {};
    int heights[module_kind_count] = {};
    std::vector<panel_ptr> made[module_kind_count];
    int number = 0; // panel names: a decimal number below 100
    for (const panel_column& c : panel_columns) {
        const int k = index_of(c.kind);
        counts[k] = g.count(c.kind);
        for (std::size_t i = 0; i < counts[k]; ++i) {
            made[k].push_back(make_module_panel(c.kind, *g.at(c.kind, i), number++ % 100));
            heights[k] = std::max(heights[k], static_cast<int>(made[k].back()->h));
        }
        if (counts[k] > 0 && c.count_line) std::printf(c.count_line, static_cast<int>(counts[k]));
    }
    for (const panel_spot& s : column_layout(counts, heights)) {
        panel_ptr p = std::move(made[index_of(s.kind)][s.index]);
        p->set_position(static_cast<float>(s.x), static_cast<float>(s.y), 0);
        if (auto* nested = dynamic_cast<GENERATOR_GUI*>(p.get()))
            build_panels(nested->panels, nested->generator());
        panels.insert(panels.begin(), std::move(p));
    }
    std::printf("*************** END **********************\n");
    panels.insert(panels.begin(), std::make_move_iterator(docks.begin()),
                  std::make_move_iterator(docks.end()));
}

void editor::load(const char* path) {
    // Panels refer to the modules about to go.
    close();
    level_depth = 0;
    load_status status;
    std::vector<std::string> said;
    {
        message_capture capture(true);
        status = load_patch(*root_generator, path);
        said = capture.lines();
    }
    message_line.clear();
    if (status != load_ok) {
        // The first complaint says most; the rest went to the console.
        std::string first;
        for (const std::string& l : said)
            if (l.find_first_not_of(' ') != std::string::npos && l.rfind("Loading TSY", 0) != 0) {
                first = l;
                break;
            }
        message_line = std::string(status == load_failed ? "Cannot load " : "Loaded with errors ") +
                       path + (first.empty() ? " (see the console)" : ": " + first);
    }
    current_generator = root_generator;
    root_gui.reset(static_cast<GENERATOR_GUI*>(TM_NEW(GENERATOR_GUI, *root_generator, 0, 0, "0")));
    current_gui = root_gui.get();
    level_stack.assign(1, current_gui);
    current_panels = &current_gui->panels;
    build_panels(*current_panels, *current_generator);

    auto info = panel_ptr(TM_NEW(INFO_DASH, *this));
    auto modules = panel_ptr(TM_NEW(OBJET, 0, 0, "59"));
    modules->load_rc("RC/MODULE_DASH.RC");
    modules->set_position(module_dash_x, 0, 0);
    auto system = panel_ptr(TM_NEW(OBJET, 0, 0, "60"));
    system->load_rc("RC/SYSTEM_DASH.RC");
    system->set_position(system_dash_x, 0, 0);
    info_dash = static_cast<INFO_DASH*>(info.get());
    module_dash = modules.get();
    system_dash = system.get();
    dock_dashboards();
    current_panels->insert(current_panels->begin(), std::move(system));
    current_panels->insert(current_panels->begin(), std::move(modules));
    current_panels->insert(current_panels->begin(), std::move(info));
}

} // namespace tmod
