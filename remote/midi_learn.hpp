// Between the editor and the MIDI worker: the control armed for learning,
// what the worker bound it to, and a count of the changes mapped controllers
// made (the editor's cue to record them as an edit). Any thread; nothing here
// touches a module.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace tmod {

class GENERATOR;

struct learn_target {
    const GENERATOR* level = nullptr; // the level shown when it was armed
    std::string module, key;          // "VCF_1", "HICUT"
    bool inverted = false;
};

class midi_learning {
  public:
    // Main thread: the next controller, key or press binds to `t`.
    void arm(learn_target t);
    void cancel();
    bool armed() const;
    // Worker: the armed target, taken (disarmed); false when none.
    bool take(learn_target& out);
    // Worker: what the binding did, for the message line; main: taken once.
    void tell(std::string text);
    bool told(std::string& text);

    // Worker: a mapped controller changed a control (or learning bound one).
    void count_change() { ++changes_; }
    std::uint64_t changes() const { return changes_.load(); }

  private:
    mutable std::mutex mutex_;
    bool armed_ = false;
    learn_target target_;
    std::string told_;
    bool has_told_ = false;
    std::atomic<std::uint64_t> changes_{0};
};

midi_learning& midi_learn();

} // namespace tmod
