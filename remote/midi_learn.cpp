#include "remote/midi_learn.hpp"

namespace tmod {

void midi_learning::arm(learn_target t) {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(t);
    armed_ = true;
}

void midi_learning::cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
}

bool midi_learning::armed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return armed_;
}

bool midi_learning::take(learn_target& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!armed_) return false;
    armed_ = false;
    out = std::move(target_);
    return true;
}

void midi_learning::tell(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    told_ = std::move(text);
    has_told_ = true;
}

bool midi_learning::told(std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!has_told_) return false;
    has_told_ = false;
    text = std::move(told_);
    return true;
}

midi_learning& midi_learn() {
    static midi_learning learning;
    return learning;
}

} // namespace tmod
