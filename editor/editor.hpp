// The patch editor: one event loop over a stack of layers (layer.hpp). The
// patch view lies at the bottom; the oscilloscope and the load dialog open
// over it. Each event goes to the top layer and down until one takes it; the
// top layer draws the frame. The editor's state is kept by concern: the view
// (view.hpp), the levels of nested patches (levels.hpp), the dashboards
// (dashboards.hpp) and the message line. Main (graphics) thread only; the
// engine is started and stopped by the caller, and the caller's per-pass
// service runs on every pass.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/dashboards.hpp"
#include "editor/layers/layer.hpp"
#include "editor/levels.hpp"
#include "editor/view.hpp"

namespace tmod {

class GENERATOR;
class remote_server;
class patch_view;
class audio_pump;

class editor {
  public:
    editor(GENERATOR& root, audio_pump* pump);
    ~editor();
    editor(const editor&) = delete;
    editor& operator=(const editor&) = delete;

    // Caller's work on every pass (scripted events, remote poll, recording).
    std::function<void()> pass_hook;
    // Reads one console line (false at end of input): the save prompt.
    std::function<bool(std::string&)> read_line;
    // The remote control's server, when it listens: new clients are
    // accepted on every pass, as the mode says.
    remote_server* remote = nullptr;

    // The window is open: panels for the patch file, first frame.
    void start(const char* patch_path);
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

    // Replaces the engine's patch with the file and shows it. Never ends the
    // program: what could be loaded stays and the message line says why the
    // rest did not.
    void load(const char* path);
    // Asks for a name on the console and writes the shown level to TSY/<name>.
    void save_level();
    // A module of the kind from the palette, its panel on top of the level.
    OBJET* palette_create(module_kind kind);
    // Plays on the level's keyboard; the root's when none is given.
    void play_note(int note, bool on, GENERATOR* level = nullptr);
    // Clears every playing state of the container, nested ones included.
    void stop_patch(GENERATOR& g);
    // Leaves the shown nested level for the one that holds it.
    void leave_level();
    // The panels of the shown level built again from its patch.
    void rebuild_level();
    // Opens a layer over the others (from the next pass on).
    void open(std::unique_ptr<layer> l);
    // The events still queued wait for the next pass (the level they were
    // meant for has changed).
    void end_pass() { stop_pass_ = true; }
    void quit() { running_ = false; }
    bool running() const { return running_; }

    // Why the last load or save went wrong (empty: nothing to say).
    const std::string& message() const { return message_; }
    void say(std::string text) { message_ = std::move(text); }

    class view& view() { return view_; }
    class levels& levels() { return levels_; }
    class dashboards& dashboards() { return docks_; }
    audio_pump* pump() const { return pump_; }
    bool edit_mode() const;

  private:
    void dispatch(SDL_Event& e, int& result);
    void show_scope(bool on);
    void present();

    class view view_;
    class levels levels_;
    class dashboards docks_;
    std::string message_;
    audio_pump* pump_;
    std::vector<std::unique_ptr<layer>> layers_;
    std::vector<std::unique_ptr<layer>> opening_;
    patch_view* patch_view_ = nullptr;
    layer* scope_ = nullptr;
    bool running_ = true;
    bool stop_pass_ = false;
};

} // namespace tmod
