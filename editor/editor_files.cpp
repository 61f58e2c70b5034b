// The editor's files: saving the shown level (in place or under a name),
// and the recovery sets kept while it has unsaved changes.
#include <chrono>
#include <cstdio>
#include <map>

#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "editor/layers/asking.hpp"
#include "editor/layers/patch_view.hpp"
#include "editor/panels/param_panel.hpp"
#include "engine/generator.hpp"
#include "modules/sequencer.hpp"
#include "patchfile/patch_reader.hpp"
#include "patchfile/patch_writer.hpp"
#include "toolkit/file_listing.hpp"
#include "util/text.hpp"

namespace tmod {

// The positions follow the modules in list order, as the objects section
// does, so a load finds each panel's record by its module.
std::vector<placed_module> editor::placed_of(GENERATOR& g, const panel_list& panels) const {
    const auto panel_of = panels_by_module(panels);
    std::vector<placed_module> placed;
    for (int k = 0; k < module_kind_count; ++k)
        for (std::size_t i = 0; i < g.count(static_cast<module_kind>(k)); ++i)
            if (const auto found = panel_of.find(g.at(static_cast<module_kind>(k), i));
                found != panel_of.end())
                placed.push_back({found->second->module, found->second->kind, found->second->x,
                                  found->second->y});
    return placed;
}

std::string editor::own_file() const {
    return levels_.depth() == 0 ? root_file_ : std::string(levels_.generator().file_name);
}

void editor::ask(std::string question, std::string text,
                 std::function<std::string(const std::string&)> accept) {
    open(std::make_unique<prompt>(*this, std::move(question), std::move(text), std::move(accept)));
}

void editor::confirm(std::string text, std::function<void()> yes) {
    open(std::make_unique<question>(
        *this, std::move(text),
        std::vector<question::choice>{{'y', std::move(yes)}, {'n', [] {}}}));
}

void editor::save() {
    record_edit(true);
    const std::string own = own_file();
    if (own.empty())
        save_as();
    else
        write_level(own);
}

void editor::save_as() {
    std::string shown = base_name(own_file());
    if (shown.size() > 4 && shown.compare(shown.size() - 4, 4, ".tsy") == 0)
        shown.resize(shown.size() - 4);
    std::printf("Save the shown patch as: a name in TSY, typed in the window\n");
    std::fflush(stdout);
    ask("Save the patch in TSY as", shown, [this](const std::string& typed) {
        std::string why;
        const std::string name = typed_file_name(typed, ".tsy", why);
        if (name.empty()) return why;
        const std::string path = "TSY/" + name;
        if (path_exists(path.c_str()) && !same_file(path.c_str(), own_file().c_str()))
            confirm("replace " + name + "? (y/n)", [this, path] { write_level(path); });
        else
            write_level(path);
        return std::string();
    });
}

bool editor::write_level(const std::string& path) {
    panel_list& panels = levels_.panels();
    // Control moves still queued in this pass reach their modules first.
    for (auto& p : panels) p->update();
    settle_edits();
    GENERATOR& g = levels_.generator();
    std::string error;
    std::vector<std::string> partitions;
    if (!save_patch(g, placed_of(g, panels), path.c_str(), &error, &partitions)) {
        message_ = "Not saved: " + error;
        std::printf("Not saved: %s\n", error.c_str());
        return false;
    }
    message_ = "Saved " + path;
    for (std::size_t i = 0; i < partitions.size(); ++i)
        message_ += (i + 1 < partitions.size() ? ", " : " and ") + partitions[i];
    std::printf("%s\n", message_.c_str());
    std::fflush(stdout);
    recovery_.remove(root_file_);
    if (levels_.depth() == 0) root_file_ = path;
    history_.mark_saved();
    set_written_ = false;
    return true;
}

recovery_set editor::recovery_of() {
    recovery_set set;
    set.origin = root_file_;
    // Every level, each before the ones nested in it: its text, and its
    // sequencers whose patterns differ from their partition files.
    struct level {
        level_path path;
        GENERATOR* g;
        panel_list* panels;
    };
    std::vector<level> levels = {{{}, &levels_.root(), &levels_.root_panels()}};
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const level l = levels[i]; // the list grows below
        const std::string text = patch_text(*l.g, placed_of(*l.g, *l.panels));
        if (i == 0)
            set.root_text = text;
        else
            set.nested.push_back({l.path, text, {}});
        for (std::size_t k = 0; k < l.g->count(module_kind::SEQUENCER); ++k) {
            auto* seq = static_cast<SEQUENCER*>(l.g->at(module_kind::SEQUENCER, k));
            if (seq->partition_file_name[0] && !seq->partition_differs(seq->partition_file_name))
                continue;
            set.patterns.push_back(
                {l.path,
                 seq->name,
                 [seq](const std::string& file) { return seq->write_patterns(file.c_str()); },
                 {}});
        }
        for (panel_ptr& p : *l.panels)
            if (auto* nested = dynamic_cast<GENERATOR_GUI*>(p.get())) {
                level_path inner = l.path;
                inner.push_back(nested->generator().name);
                levels.push_back({std::move(inner), &nested->generator(), &nested->panels});
            }
    }
    return set;
}

// While the patch has unsaved changes its set is written at most every ten
// seconds, and only when it changed.
constexpr auto recovery_period = std::chrono::seconds(10);

void editor::keep_recovery() {
    if (!unsaved()) {
        if (set_written_) recovery_.remove(root_file_);
        set_written_ = false;
        return;
    }
    const auto now = layer::clock::now();
    if (changes_ == recovered_changes_ || now - last_recovery_ < recovery_period) return;
    last_recovery_ = now;
    std::string why;
    if (recovery_.write(recovery_of(), why)) {
        set_written_ = true;
        recovered_changes_ = changes_;
    } else {
        std::printf("Recovery set not written: %s\n", escaped_controls(why).c_str());
    }
}

void editor::finish() {
    record_edit(true);
    if (unsaved()) {
        last_recovery_ = {};
        recovered_changes_ = -1;
        keep_recovery();
    } else {
        recovery_.remove(root_file_);
    }
}

void editor::offer_recovery(bool at_once) {
    if (!recovery_.pending(root_file_)) return;
    if (at_once) {
        restore();
        return;
    }
    std::string name = base_name(root_file_);
    if (name.empty()) name = "The untitled patch";
    const std::string origin = root_file_;
    open(std::make_unique<question>(
        *this,
        name + " was not saved when the program last stopped: r restore, d discard, Esc later",
        std::vector<question::choice>{{'r', [this] { restore(); }},
                                      {'d', [this, origin] { recovery_.remove(origin); }}}));
}

void editor::restore() {
    const std::string origin = root_file_;
    recovery_set set;
    std::string why;
    if (!recovery_.read(origin, set, why)) {
        recovery_.set_aside(origin);
        message_ = "The recovery set of " + base_name(origin) + " cannot be read (" + why +
                   "): set aside as .bad";
        return;
    }
    if (load_shown(set.root_file.c_str(), origin) != load_ok) {
        // A set that does not load is never tried again; the patch itself opens.
        recovery_.set_aside(origin);
        load_shown(origin.c_str(), origin);
        message_ = "The recovery set of " + base_name(origin) + " does not load: set aside as .bad";
        return;
    }
    copy_text(levels_.root().file_name, origin.c_str());
    for (const recovered_level& level : set.nested) {
        const auto [g, panels] = level_at(level.path);
        if (!g) continue;
        const std::string file = g->file_name;
        panels->clear();
        load_patch(*g, level.file.c_str());
        copy_text(g->file_name, file.c_str());
        build_panels(*panels, *g);
    }
    for (const recovered_patterns& p : set.patterns) {
        const auto [g, panels] = level_at(p.path);
        if (auto* seq =
                g ? static_cast<SEQUENCER*>(g->find(module_kind::SEQUENCER, p.sequencer)) : nullptr)
            seq->read_patterns(p.file.c_str());
    }
    // The panels show the patterns brought back.
    refresh_panels(levels_.root_panels());
    patch_view_->panels_rebuilt();
    start_history();
    history_.mark_unsaved();
    set_written_ = true;
    recovered_changes_ = changes_;
    message_ =
        "Restored " + base_name(origin) + " as it was when the program stopped (not saved yet)";
}

} // namespace tmod
