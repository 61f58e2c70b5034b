// The patch editor: one event loop over a stack of layers (layer.hpp). The
// patch view lies at the bottom; the oscilloscope and the load dialog open
// over it. Each event goes to the top layer and down until one takes it; a
// frame draws only the regions the layers say changed. The editor's state is
// kept by concern: the view (view.hpp), the levels of nested patches
// (levels.hpp), the dashboards (dashboards.hpp) and the message line. Main
// (graphics) thread only; the engine is started and stopped by the caller,
// and the caller's per-pass service runs on every pass.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/dashboards.hpp"
#include "editor/history.hpp"
#include "editor/layers/host.hpp"
#include "editor/layers/layer.hpp"
#include "editor/levels.hpp"
#include "editor/recovery.hpp"
#include "editor/view.hpp"
#include "patchfile/patch_reader.hpp"
#include "patchfile/patch_writer.hpp"

namespace tmod {

class GENERATOR;
class remote_server;
class patch_view;
class audio_pump;

class editor final : public editor_host {
  public:
    editor(GENERATOR& root, audio_pump* pump);
    ~editor();
    editor(const editor&) = delete;
    editor& operator=(const editor&) = delete;

    // Caller's work on every pass (scripted events, remote poll, recording).
    std::function<void()> pass_hook;
    // A line typed on standard input, when one is there (never waits): it
    // answers the prompt or question open in the window, so scripts can.
    std::function<bool(std::string&)> poll_line;
    // The remote control's server, when it listens: new clients are
    // accepted on every pass, as the mode says.
    remote_server* remote = nullptr;

    // The window is open: panels for the patch file, first frame. An
    // untitled patch (the start-up empty one) is not saved over by Ctrl+S.
    // A recovery set left by a run that stopped with unsaved changes is
    // offered, or restored at once with `recover`. With `read`, the root
    // already holds the patch, read with that report: it is shown, not read
    // again (a second reading would hold two copies of a large patch).
    void start(const char* patch_path, bool untitled = false, bool recover = false,
               const load_report* read = nullptr);
    // Passes until the editor ends (Esc at the top level, the window
    // closed). Returns 0.
    int run();
    // One pass: the window's events, the layers' work, the caller's
    // service, a frame when one is due. False once the editor has ended.
    bool pass();
    // An event as the window gives it, in window pixels: tests drive the
    // editor through this as a user would.
    void input(SDL_Event e);
    // Panels and dashboards deleted (before the engine's patch goes).
    void close();
    // The end of a run: unsaved changes stay in their recovery set (a signal
    // ends the editor without asking), else the set goes.
    void finish();

    // Replaces the engine's patch with the file and shows it. Never ends the
    // program: what could be loaded stays and the message line says why the
    // rest did not.
    void load(const char* path) override;
    // Ctrl+S: the shown level to its own file; a level without one asks as
    // save_as does.
    void save() override;
    // F4, SAVE: asks in the window for a name in TSY/ (the level's own
    // prefilled), asks before replacing another file, then saves.
    void save_as() override;
    // Opens a prompt or a question over the others.
    void ask(std::string question, std::string text,
             std::function<std::string(const std::string&)> accept);
    void confirm(std::string question, std::function<void()> yes);
    // A module of the kind from the palette, its panel on top of the level.
    OBJET* palette_create(module_kind kind) override;
    // Plays on the level's keyboard; the root's when none is given.
    void play_note(int note, bool on, GENERATOR* level = nullptr) override;
    // Clears every playing state of the container, nested ones included.
    void stop_patch(GENERATOR& g) override;
    // Leaves the shown nested level for the one that holds it.
    void leave_level() override;
    // The panels of the shown level built again from its patch.
    void rebuild_level();
    // Opens a layer over the others (from the next pass on).
    void open(std::unique_ptr<layer> l) override;
    // The events still queued wait for the next pass (the level they were
    // meant for has changed).
    void end_pass() override { stop_pass_ = true; }
    void quit() override { running_ = false; }

    // Ctrl+Z and Ctrl+Y: the last edit taken back, or done again; the
    // message line says which.
    void undo() override;
    void redo() override;
    // The shown patch differs from its file.
    bool unsaved() const { return !history_.at_saved(); }
    // Runs `act` now when nothing is unsaved; else asks first whether to
    // save, discard the changes or cancel.
    void unless_unsaved(std::function<void()> act) override;
    // Takes the module of a panel of the shown level out of the patch, with
    // every cable to and from it (an edit that undo brings back).
    void remove_module_of(OBJET* panel) override;
    bool running() const { return running_; }
    // The next frame draws the whole window, not only what changed.
    void redraw_all();

    // Why the last load or save went wrong (empty: nothing to say).
    const std::string& message() const override { return message_; }
    void say(std::string text) override { message_ = std::move(text); }

    class view& view() override { return view_; }
    class levels& levels() override { return levels_; }
    class dashboards& dashboards() override { return docks_; }
    audio_pump* pump() const override { return pump_; }
    bool edit_mode() const;

  private:
    void dispatch(SDL_Event& e, int& result);
    void take_lines();
    static void settle_edits();
    // A change of the shown level since the last edit becomes one (once no
    // gesture is going on, unless `now`).
    void record_edit(bool now);
    void note_input(const SDL_Event& e);
    // The patch level at that path, with its panels (nulls when gone).
    std::pair<GENERATOR*, panel_list*> level_at(const level_path& path);
    void start_history();
    void step_history(bool forward);
    // Reads the patch into the root and shows it; `own` is the file Ctrl+S
    // writes to. The status of the load.
    int load_shown(const char* path, const std::string& own);
    // Shows what the root holds after a read of `path` with that status;
    // `why` is the reader's first complaint.
    int show_read(const char* path, const std::string& own, load_status status,
                  const std::string& why);
    std::vector<placed_module> placed_of(GENERATOR& g, const panel_list& panels) const;
    recovery_set recovery_of();
    // A recovery set of the shown patch: offered in a question, or restored.
    void offer_recovery(bool at_once);
    void restore();
    void keep_recovery();
    void show_from_top_left();
    bool load_goes_on();
    // The file the shown level saves to with Ctrl+S (empty: none yet).
    std::string own_file() const;
    // Writes the shown level; the message line says how it went.
    bool write_level(const std::string& path);
    void show_scope(bool on);
    // Draws what changed since the last frame, when it is time to look.
    void frame_when_due();
    // Draws the regions the layers say changed (all of them when whole_).
    // False when nothing changed: nothing was drawn.
    bool present();

    class view view_;
    class levels levels_;
    class dashboards docks_;
    std::string message_;
    audio_pump* pump_;
    std::vector<std::unique_ptr<layer>> layers_;
    std::vector<std::unique_ptr<layer>> opening_;
    patch_view* patch_view_ = nullptr;
    layer* scope_ = nullptr;
    std::map<int, layer*> key_owners_; // keys down, and the layer that took each
    std::vector<std::string> lines_; // typed on standard input, not yet asked for
    class history history_;
    level_state last_state_; // of the level shown, when the last edit ended
    level_path last_level_;
    bool input_since_edit_ = false;
    int buttons_held_ = 0;
    layer::clock::time_point last_wheel_{};
    std::uint64_t midi_changes_ = 0; // what the MIDI worker had changed at the last pass
    class recovery recovery_;
    layer::clock::time_point last_recovery_{};
    bool set_written_ = false;         // the shown patch's recovery set is on disk
    long long changes_ = 0;            // edits made, undone and redone
    long long recovered_changes_ = -1; // as they stood when the set was written
    std::string root_file_;
    bool running_ = true;
    layer::clock::time_point last_answer_{};
    bool stop_pass_ = false;
    // Frames: the last one kept, the layers it showed, what passes did since.
    kept_frame kept_;
    std::vector<const layer*> shown_layers_;
    bool whole_ = true;
    bool exposed_ = false;
    bool moving_ = false; // a layer shows state that moves on its own
    int waiting_ = 0;
    layer::clock::time_point next_look_{}, last_look_{};
};

} // namespace tmod
