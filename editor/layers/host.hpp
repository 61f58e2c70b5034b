// What a layer may ask of the editor that holds it: the view, the levels, the
// dashboards, the message line, and the editor's commands. The editor
// implements it; the layers know nothing else of it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "editor/dashboards.hpp"
#include "editor/layers/layer.hpp"
#include "editor/levels.hpp"
#include "editor/view.hpp"

namespace tmod {

class audio_pump;

class editor_host {
  public:
    virtual class view& view() = 0;
    virtual class levels& levels() = 0;
    virtual class dashboards& dashboards() = 0;
    virtual audio_pump* pump() const = 0;

    // The message line.
    virtual const std::string& message() const = 0;
    virtual void say(std::string text) = 0;

    // Opens a layer over the others (from the next pass on).
    virtual void open(std::unique_ptr<layer> l) = 0;
    // The events still queued wait for the next pass.
    virtual void end_pass() = 0;
    virtual void quit() = 0;

    virtual void load(const char* path) = 0;
    virtual void save() = 0;
    virtual void save_as() = 0;
    virtual void undo() = 0;
    virtual void redo() = 0;
    virtual void unless_unsaved(std::function<void()> act) = 0;
    virtual OBJET* palette_create(module_kind kind) = 0;
    virtual void remove_module_of(OBJET* panel) = 0;
    virtual void leave_level() = 0;
    virtual void play_note(int note, bool on, GENERATOR* level = nullptr) = 0;
    virtual void stop_patch(GENERATOR& g) = 0;

  protected:
    ~editor_host() = default;
};

} // namespace tmod
