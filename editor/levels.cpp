#include "editor/levels.hpp"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "editor/editor_layout.hpp"
#include "editor/module_rows.hpp"
#include "engine/generator.hpp"
#include "patchfile/patch_positions.hpp"
#include "toolkit/frame_state.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

void levels::reset() {
    clear();
    root_gui_.reset(static_cast<GENERATOR_GUI*>(TM_NEW(GENERATOR_GUI, root_, 0, 0, "0")));
    shown_ = root_gui_.get();
}

void levels::clear() {
    parents_.clear();
    shown_ = nullptr;
    root_gui_.reset();
}

GENERATOR& levels::generator() const {
    return shown_ && shown_ != root_gui_.get() ? shown_->generator() : root_;
}

panel_list& levels::panels() const {
    return shown_->panels;
}

std::vector<const GENERATOR*> levels::chain() const {
    std::vector<const GENERATOR*> out = {&root_};
    for (std::size_t i = 1; i < parents_.size(); ++i) out.push_back(&parents_[i]->generator());
    if (!parents_.empty()) out.push_back(&shown_->generator());
    return out;
}

std::vector<std::string> levels::path() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < parents_.size(); ++i) names.push_back(parents_[i]->generator().name);
    if (!parents_.empty()) names.push_back(shown_->generator().name);
    return names;
}

void levels::enter(GENERATOR_GUI& panel) {
    parents_.push_back(shown_);
    shown_ = &panel;
}

bool levels::leave() {
    if (parents_.empty()) return false;
    shown_ = parents_.back();
    parents_.pop_back();
    return true;
}

std::unordered_map<const OUTPUT*, const MODULE_GUI*> panels_by_module(const panel_list& panels) {
    std::unordered_map<const OUTPUT*, const MODULE_GUI*> by_module;
    for (const panel_ptr& p : panels)
        if (auto* m = dynamic_cast<const MODULE_GUI*>(p.get())) by_module.emplace(m->module, m);
    return by_module;
}

bool build_panels(panel_list& panels, GENERATOR& g, const std::function<bool()>& going) {
    std::printf("************ Init Gui From Current *******************\n");
    std::size_t counts[module_kind_count] = {};
    int heights[module_kind_count] = {};
    std::vector<panel_ptr> made[module_kind_count];
    int number = 0; // panel names: a decimal number below 100
    for (module_kind kind : column_order) {
        const int k = index_of(kind);
        counts[k] = g.count(kind);
        for (std::size_t i = 0; i < counts[k]; ++i) {
            made[k].push_back(make_module_panel(kind, *g.at(kind, i), number++ % 100));
            heights[k] = std::max(heights[k], static_cast<int>(made[k].back()->h));
            if (going && !going()) {
                for (auto& list : made)
                    for (panel_ptr& p : list) panels.push_back(std::move(p));
                return false;
            }
        }
        const char* line = row_of(kind).count_line;
        if (counts[k] > 0 && line) std::printf(line, static_cast<int>(counts[k]));
    }
    // Where the patch file says its panels were, when it says it for every
    // one: the records follow the objects section, type by type, and a load
    // lists each type's modules in the reverse of the file's order.
    const std::vector<saved_place> saved = read_positions(g.file_name);
    std::vector<OBJET*> by_rank;
    if (saved.size() == g.total_count())
        for (int k = 0; k < module_kind_count; ++k)
            for (auto p = made[k].rbegin(); p != made[k].rend(); ++p) by_rank.push_back(p->get());
    // The last placed goes in front of the list: put in at once, not one by
    // one at the front (quadratic for a large patch).
    std::vector<panel_ptr> placed;
    placed.reserve(g.total_count());
    bool whole = true;
    for (const panel_spot& s : column_layout(counts, heights)) {
        panel_ptr p = std::move(made[index_of(s.kind)][s.index]);
        p->set_position(static_cast<float>(s.x), static_cast<float>(s.y), 0);
        auto* nested = dynamic_cast<GENERATOR_GUI*>(p.get());
        placed.push_back(std::move(p));
        if (nested && !build_panels(nested->panels, nested->generator(), going)) {
            whole = false;
            break;
        }
    }
    panels.insert(panels.begin(), std::make_move_iterator(placed.rbegin()),
                  std::make_move_iterator(placed.rend()));
    if (!whole) return false;
    for (std::size_t r = 0; r < by_rank.size(); ++r) {
        OBJET& p = *by_rank[r];
        const panel_box b = clamp_into_world(
            {saved[r].x, saved[r].y, static_cast<int>(p.w), static_cast<int>(p.h)}, window_width,
            window_height);
        p.set_position(static_cast<float>(b.x), static_cast<float>(b.y), 0);
    }
    std::printf("*************** END **********************\n");
    return true;
}

} // namespace tmod
