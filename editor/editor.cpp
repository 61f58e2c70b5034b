#include "editor/editor.hpp"

#include <SDL/SDL.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "audio/audio_pump.hpp"
#include "editor/editor_layout.hpp"
#include "editor/layers/asking.hpp"
#include "editor/layers/patch_view.hpp"
#include "editor/layers/scope.hpp"
#include "editor/module_rows.hpp"
#include "editor/panels/param_panel.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "engine/patch_ops.hpp"
#include "modules/keyboard.hpp"
#include "modules/sequencer.hpp"
#include "patchfile/patch_reader.hpp"
#include "patchfile/patch_writer.hpp"
#include "remote/midi_learn.hpp"
#include "remote/remote_server.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/frame_state.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
// TM_FRAME_STATS=1: the time the frames took, said at the end (bench/editor_cpu.sh).
struct frame_timing {
    int frames = 0;
    std::chrono::steady_clock::duration spent{}, worst{};
    void add(std::chrono::steady_clock::duration d) {
        ++frames, spent += d;
        worst = std::max(worst, d);
    }
    ~frame_timing() {
        using ms = std::chrono::duration<double, std::milli>;
        std::printf("frames drawn %d, %.2f ms each, worst %.2f ms\n", frames,
                    frames ? ms(spent).count() / frames : 0.0, ms(worst).count());
    }
};
std::optional<frame_timing> frame_stats;

// At most 60 frames a second. Without input or anything moving in view,
// changes (remote control, a prompt answered from standard input) are
// looked for less often.
constexpr auto frame_period = std::chrono::microseconds(16667);
constexpr auto quiet_period = std::chrono::milliseconds(100);
// Between passes the loop sleeps at most this long: input waits no longer.
constexpr int longest_nap_ms = 8;
} // namespace

editor::editor(GENERATOR& root, audio_pump* pump)
    : levels_(root), docks_(levels_, view_), pump_(pump) {
    auto bottom = std::make_unique<patch_view>(*this);
    patch_view_ = bottom.get();
    layers_.push_back(std::move(bottom));
    ask_user = [this](name_request r) { ask(std::move(r.question), std::move(r.text), std::move(r.accept)); };
}

editor::~editor() {
    ask_user = nullptr;
    close();
}

void editor::close() {
    // What was asked about the panels going is asked no more.
    for (auto* list : {&layers_, &opening_})
        for (auto& l : *list)
            if (dynamic_cast<asking_layer*>(l.get())) l->closed = true;
    // Panels refer to modules: they go before the patch does, cables first.
    if (patch_view_) patch_view_->panels_rebuilt();
    docks_.clear();
    levels_.clear();
}

bool editor::edit_mode() const {
    return patch_view_->edit_mode();
}

void editor::start(const char* patch_path, bool untitled, bool recover, const load_report* read) {
    if (const char* v = std::getenv("TM_FRAME_STATS"); v && *v == '1') frame_stats.emplace();
    // Only frames draw.
    clip_shut();
    // Typed characters for the prompts, whatever the keyboard's layout.
    SDL_EnableUNICODE(1);
    const std::string own = untitled ? std::string() : std::string(patch_path);
    if (read)
        show_read(patch_path, own, read->status,
                  read->messages.empty() ? std::string() : read->messages.front());
    else
        load_shown(patch_path, own);
    if (!running_) return; // stopped during the load
    offer_recovery(recover);
    view_.scroll_to(0, 0);
    redraw_all();
    present();
    if (pump_) pump_->scope_view = 0;
    audio_enabled = 1;
}

void editor::open(std::unique_ptr<layer> l) {
    opening_.push_back(std::move(l));
}

void editor::dispatch(SDL_Event& e, int& result) {
    note_input(e);
    // The window was uncovered: what it showed is shown again.
    if (e.type == SDL_VIDEOEXPOSE) exposed_ = true;
    if (e.type == SDL_KEYUP) {
        // A key goes up where it went down: a note held when a prompt opens
        // still ends, and the Esc that closed a prompt quits nothing.
        const auto owner = key_owners_.find(e.key.keysym.sym);
        if (owner != key_owners_.end()) {
            layer* l = owner->second;
            key_owners_.erase(owner);
            for (auto& open : layers_)
                if (open.get() == l && !l->closed) l->handle(e, result);
            return;
        }
    }
    for (std::size_t i = layers_.size(); i-- > 0;)
        if (layers_[i]->handle(e, result)) {
            if (e.type == SDL_KEYDOWN) key_owners_[e.key.keysym.sym] = layers_[i].get();
            return;
        }
}

void editor::input(SDL_Event e) {
    int result = 0;
    dispatch(e, result);
}

bool editor::pass() {
    int result = 0;
    stop_pass_ = false;
    SDL_Event e;
    while (running_ && !stop_pass_ && SDL_PollEvent(&e)) dispatch(e, result);
    if (!running_) return false;
    take_lines();
    // The panels take the controls' messages now (not only when a frame is
    // drawn), so an edit holds the change its gesture made.
    if (levels_.has_panels())
        for (auto& p : levels_.panels())
            if (!p->messages.empty() && !docks_.is_dashboard(p.get())) p->update();
    // Mapped controllers and learning change the patch from the MIDI worker:
    // a run of them, half a second apart at most, is one edit as wheel steps are.
    if (const std::uint64_t midi = midi_learn().changes(); midi != midi_changes_) {
        midi_changes_ = midi;
        input_since_edit_ = true;
        last_wheel_ = layer::clock::now();
        result |= pass_redraw; // the panels show the new values
    }
    record_edit(false);
    keep_recovery();
    docks_.unsaved = unsaved();
    if (remote && remote->is_open())
        // The mode decides what a new client gets: notes in play mode, the
        // console in edit mode.
        remote->poll(edit_mode() ? connection_kind::console : connection_kind::play, 1);
    for (std::size_t i = 0; i < layers_.size(); ++i) layers_[i]->pass();
    if (pass_hook) pass_hook();
    show_scope(pump_ && pump_->scope_view == 1);
    for (std::size_t i = layers_.size(); i-- > 1;)
        if (layers_[i]->closed) {
            layers_.erase(layers_.begin() + static_cast<std::ptrdiff_t>(i));
            // What the pointer held below was not told of the events the layer took.
            patch_view_->panels_rebuilt();
        }
    for (auto& l : opening_) layers_.push_back(std::move(l));
    opening_.clear();
    waiting_ |= result;
    // A loaded patch's first frame waits a pass.
    if (!(result & pass_loaded)) frame_when_due();
    // Nothing happened: sleep until the next frame could be due, or a little
    // while for input, instead of spinning.
    if (result == 0) {
        const auto due =
            moving_ || waiting_ ? next_look_ : std::max(next_look_, last_look_ + quiet_period);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - layer::clock::now());
        SDL_Delay(static_cast<Uint32>(std::clamp<long long>(left.count(), 1, longest_nap_ms)));
    }
    return running_;
}

void editor::frame_when_due() {
    const auto now = layer::clock::now();
    if (now < next_look_ || !gl_ready()) return;
    moving_ = false;
    for (const auto& l : layers_) moving_ = moving_ || l->moving();
    if (waiting_ == 0 && !moving_ && !whole_ && !exposed_ && now - last_look_ < quiet_period)
        return;
    last_look_ = now;
    next_look_ = now + frame_period;
    if (present() && frame_stats) frame_stats->add(layer::clock::now() - now);
    waiting_ = 0;
}

void editor::take_lines() {
    std::string line;
    // A few waiting lines are kept for prompts still to come (a script types
    // the name before it presses the key that asks).
    while (lines_.size() < 64 && poll_line && poll_line(line)) lines_.push_back(line);
    auto* asking = dynamic_cast<asking_layer*>(layers_.back().get());
    if (!asking || asking->closed || lines_.empty()) return;
    std::string answer = lines_.front();
    lines_.erase(lines_.begin());
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    asking->answer(answer);
}

// Gestures: a button held, or a run of wheel steps (one edit while they
// come within half a second of each other).
constexpr auto wheel_run = std::chrono::milliseconds(500);

void editor::note_input(const SDL_Event& e) {
    if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP) {
        const int b = e.button.button;
        if (b == SDL_BUTTON_WHEELUP || b == SDL_BUTTON_WHEELDOWN) {
            last_wheel_ = layer::clock::now();
        } else if (e.type == SDL_MOUSEBUTTONDOWN) {
            ++buttons_held_;
        } else {
            buttons_held_ = std::max(0, buttons_held_ - 1);
        }
        input_since_edit_ = true;
    } else if (e.type == SDL_KEYDOWN) {
        input_since_edit_ = true;
    }
}

void editor::start_history() {
    history_.clear();
    last_level_ = levels_.path();
    last_state_ = capture_level(levels_.generator(), levels_.panels());
    input_since_edit_ = false;
}

// Changes queued for the audio thread are applied at its next buffer; what
// reads the patch now waits for them (a buffer or two at most).
void editor::settle_edits() {
    const auto end = layer::clock::now() + std::chrono::milliseconds(500);
    while (edits_pending() && layer::clock::now() < end) SDL_Delay(1);
}

void editor::record_edit(bool now) {
    if (!levels_.has_panels()) return;
    if (edits_pending()) {
        // The gesture's change has not reached its module yet.
        if (!now) return;
        settle_edits();
    }
    const level_path path = levels_.path();
    if (path != last_level_) {
        // Another level is shown: its state is where its edits start.
        last_level_ = path;
        last_state_ = capture_level(levels_.generator(), levels_.panels());
        input_since_edit_ = false;
        return;
    }
    if (!input_since_edit_) return;
    if (!now && (buttons_held_ > 0 || layer::clock::now() - last_wheel_ < wheel_run)) return;
    input_since_edit_ = false;
    level_state state = capture_level(levels_.generator(), levels_.panels());
    edit e = compare(last_state_, state);
    last_state_ = std::move(state);
    if (e.changes.empty()) return;
    e.level = path;
    history_.push(std::move(e));
    ++changes_;
}

std::pair<GENERATOR*, panel_list*> editor::level_at(const level_path& path) {
    GENERATOR* g = &levels_.root();
    panel_list* panels = &levels_.root_panels();
    for (const std::string& name : path) {
        GENERATOR_GUI* next = nullptr;
        for (panel_ptr& p : *panels)
            if (auto* nested = dynamic_cast<GENERATOR_GUI*>(p.get());
                nested && name == nested->generator().name)
                next = nested;
        if (!next) return {nullptr, nullptr};
        g = &next->generator();
        panels = &next->panels;
    }
    return {g, panels};
}

void editor::undo() {
    step_history(false);
}

void editor::redo() {
    step_history(true);
}

void editor::step_history(bool forward) {
    record_edit(true);
    const edit* e = forward ? history_.redo() : history_.undo();
    if (!e) {
        message_ = forward ? "Nothing to redo" : "Nothing to undo";
        return;
    }
    const auto [g, panels] = level_at(e->level);
    if (g) {
        patch_view_->panels_rebuilt();
        apply(*e, forward, *g, *panels);
        // The values reach their modules at the audio thread's next buffer:
        // the panels show them, and the state after the step holds them.
        settle_edits();
        refresh_panels(*panels);
    }
    ++changes_;
    message_ = (forward ? "redo: " : "undo: ") + e->what;
    last_state_ = capture_level(levels_.generator(), levels_.panels());
}

void editor::remove_module_of(OBJET* panel) {
    auto* gui = dynamic_cast<MODULE_GUI*>(panel);
    if (!gui || docks_.is_dashboard(panel)) return;
    record_edit(true);
    OUTPUT* m = gui->module;
    const std::string name = m->name;
    patch_view_->panels_rebuilt();
    panel_list& panels = levels_.panels();
    panels.erase(std::remove_if(panels.begin(), panels.end(),
                                [panel](const panel_ptr& p) { return p.get() == panel; }),
                 panels.end());
    remove_module(levels_.generator(), m);
    message_ = "Removed " + name + " (Ctrl+Z brings it back)";
    input_since_edit_ = true;
    record_edit(true);
}

void editor::unless_unsaved(std::function<void()> act) {
    record_edit(true);
    if (!unsaved()) {
        act();
        return;
    }
    std::string name = base_name(own_file());
    if (name.empty()) name = "The patch";
    open(std::make_unique<question>(
        *this, name + " has unsaved changes: s save, d discard, Esc cancel",
        std::vector<question::choice>{{'s',
                                       [this, act] {
                                           save();
                                           if (!unsaved()) act();
                                       }},
                                      {'d',
                                       [this, act] {
                                           // The changes are let go: nothing to keep.
                                           recovery_.remove(root_file_);
                                           set_written_ = false;
                                           history_.mark_saved();
                                           act();
                                       }}}));
}

int editor::run() {
    while (pass()) {
    }
    finish();
    return 0;
}

bool editor::present() {
    if (!gl_ready()) return false;
    // From the highest layer that covers the ones below, up.
    std::size_t first = layers_.size() - 1;
    while (first > 0 && !layers_[first]->opaque()) --first;
    damage d(view_.width(), view_.height());
    // Another set of layers shown: what the last frame drew says nothing.
    std::vector<const layer*> shown;
    for (std::size_t i = first; i < layers_.size(); ++i) shown.push_back(layers_[i].get());
    if (whole_ || shown != shown_layers_) d.add_all();
    shown_layers_ = std::move(shown);
    for (std::size_t i = first; i < layers_.size(); ++i) layers_[i]->find_damage(d, waiting_);
    if (exposed_ && !d.whole() && !kept_.show_again()) d.add_all();
    exposed_ = false;
    if (d.empty()) return false;
    if (!d.whole() && !kept_.begin()) d.add_all();
    whole_ = false;
    const std::vector<screen_rect> regions = d.regions();
    view_.begin_frame();
    for (const screen_rect& r : regions) {
        clip_to(r);
        for (std::size_t i = first; i < layers_.size(); ++i) layers_[i]->draw(r);
    }
    clip_shut();
    view_.end_frame();
    kept_.end(regions);
    return true;
}

void editor::redraw_all() {
    whole_ = true;
    kept_.forget();
}

// While the pump's scope view is on, the oscilloscope lies over the patch
// view; the patch view still takes the keys (F1 leaves it, edit mode zooms).
void editor::show_scope(bool on) {
    if (on == (scope_ != nullptr)) return;
    if (!on) {
        for (auto it = layers_.begin(); it != layers_.end(); ++it)
            if (it->get() == scope_) {
                layers_.erase(it);
                break;
            }
        scope_ = nullptr;
        return;
    }
    auto l = std::make_unique<scope_layer>(*pump_);
    scope_ = l.get();
    layers_.insert(layers_.begin() + 1, std::move(l));
}

void editor::load(const char* path) {
    if (load_shown(path, path) != load_failed) offer_recovery(false);
}

int editor::load_shown(const char* path, const std::string& own) {
    load_status status;
    std::vector<std::string> said;
    {
        message_capture capture(true);
        status = load_patch(levels_.root(), path);
        said = capture.lines();
    }
    // The first complaint says most; the rest went to the console.
    std::string first;
    for (const std::string& l : said)
        if (l.find_first_not_of(' ') != std::string::npos && l.rfind("Loading TSY", 0) != 0) {
            first = l;
            break;
        }
    return show_read(path, own, status, first);
}

int editor::show_read(const char* path, const std::string& own, load_status status,
                      const std::string& first) {
    const std::string why = first.empty() ? " (see the console)" : ": " + first;
    if (status == load_failed && levels_.has_panels()) {
        // Nothing was read: the patch shown plays on, as it was.
        message_ = std::string("Cannot load ") + path + why;
        return status;
    }
    // The panels showed the modules the load replaced.
    close();
    message_.clear();
    if (status != load_ok)
        message_ = std::string(status == load_failed ? "Cannot load " : "Loaded with errors ") +
                   path + why;
    root_file_ = own;
    levels_.reset();
    if (!build_panels(levels_.panels(), levels_.generator(), [this] { return load_goes_on(); }))
        return status; // the editor is closing
    show_from_top_left();
    docks_.make(levels_.panels());
    start_history();
    set_written_ = false;
    return status;
}

// While a big patch's panels are made, the window is answered every 50 ms:
// its close button and a stop signal end the editor there.
bool editor::load_goes_on() {
    const auto now = layer::clock::now();
    if (now - last_answer_ < std::chrono::milliseconds(50)) return running_;
    last_answer_ = now;
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_QUITMASK) > 0) quit();
    if (pass_hook) pass_hook();
    return running_;
}

// The view starts at the top-left corner of the panels, below the band of
// the dashboards.
void editor::show_from_top_left() {
    int left = scroll_max_x, top = scroll_max_y + dashboard_band;
    bool any = false;
    for (const panel_ptr& p : levels_.panels()) {
        left = std::min(left, static_cast<int>(p->x));
        top = std::min(top, static_cast<int>(p->y));
        any = true;
    }
    if (!any) left = 0, top = dashboard_band;
    view_.scroll_to(left, top - dashboard_band);
}

void editor::rebuild_level() {
    patch_view_->panels_rebuilt();
    panel_list& panels = levels_.panels();
    // The dashboards stay in front of a rebuilt top level.
    panel_list docks;
    for (auto& p : panels)
        if (docks_.is_dashboard(p.get())) docks.push_back(std::move(p));
    panels.clear();
    build_panels(panels, levels_.generator());
    panels.insert(panels.begin(), std::make_move_iterator(docks.begin()),
                  std::make_move_iterator(docks.end()));
}

void editor::leave_level() {
    // The console counts the root level and every level entered.
    std::printf("gen_gui_recursive_list Size1 [%d]\n", levels_.depth() + 1);
    if (!levels_.leave()) return;
    std::printf("gen_gui_recursive_list Size2 [%d]\n", levels_.depth() + 1);
    rebuild_level();
}

void editor::play_note(int note, bool on, GENERATOR* level) {
    // Looked up and driven under a shared hold: a load cannot free it meanwhile.
    patch_read lock(patch_mutex());
    KEYBOARD* k = played_keyboard(level ? *level : levels_.root(), keyboard_player::computer);
    if (!k) return;
    if (!on) {
        k->release();
        return;
    }
    const long long index = note + 12LL * k->octave.load();
    if (index >= 0 && index < note_table_size) k->play(note, true);
}

void editor::stop_patch(GENERATOR& g) {
    // Gathered under the lock, stopped after it: a stop goes through the
    // editing seam, which may take the lock for itself.
    std::vector<std::pair<void (*)(OUTPUT&), OUTPUT*>> stops;
    {
        patch_read lock(patch_mutex());
        for_each_level(g, [&](GENERATOR& level) {
            for (int k = 0; k < module_kind_count; ++k) {
                const module_type& t = type_of(k);
                for (std::size_t i = 0; t.stop && i < level.count(t.kind); ++i)
                    stops.push_back({t.stop, level.at(t.kind, i)});
            }
        });
    }
    for (auto [stop, m] : stops) stop(*m);
}

OBJET* editor::palette_create(module_kind kind) {
    GENERATOR& g = levels_.generator();
    const module_type& type = type_of(kind);
    std::printf("Neo %s\n", type.editor_word);
    char name[module_name_capacity];
    std::snprintf(name, sizeof name, "%s_%zu", type.editor_word, g.count(kind) + 1);
    OUTPUT* m = add_module(g, kind, name);
    if (!m) return nullptr;
    const int i = static_cast<int>(g.count(kind)) - 1;
    panel_ptr panel = make_module_panel(kind, *m, i % 100);
    panel_list& panels = levels_.panels();
    std::vector<panel_box> taken;
    for (const panel_ptr& p : panels)
        taken.push_back({static_cast<int>(p->x), static_cast<int>(p->y), static_cast<int>(p->w),
                         static_cast<int>(p->h)});
    const panel_box spot = palette_spot(taken, static_cast<int>(panel->w),
                                        static_cast<int>(panel->h), view_.x(), view_.y(),
                                        view_.width(), view_.height(), i);
    panel->set_position(static_cast<float>(spot.x), static_cast<float>(spot.y), 0);
    OBJET* shown = panel.get();
    panels.insert(panels.begin(), std::move(panel));
    // Indices of the pointer's panels moved.
    patch_view_->panels_moved();
    return shown;
}

} // namespace tmod
