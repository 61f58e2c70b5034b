#include "remote/midi_control.hpp"

#include <cmath>

namespace tmod {

namespace {
// Integer and float parameters read back rounded: compare as stored.
bool same(double a, double b) {
    return static_cast<float>(a) == static_cast<float>(b);
}
} // namespace

double controller_value(const param_desc& d, int value, bool inverted) {
    const int v = value < 0 ? 0 : value > 127 ? 127 : value;
    return value_at(d, (inverted ? 127 - v : v) / 127.0);
}

double bend_ratio(int bend, double semitones) {
    const int b = bend < 0 ? 0 : bend > 16383 ? 16383 : bend;
    // 8191 steps up and 8192 down, so both ends are whole bends.
    const double amount = b >= 8192 ? (b - 8192) / 8191.0 : (b - 8192) / 8192.0;
    return std::exp2(amount * semitones / 12.0);
}

bool soft_takeover::follow(double current, double wanted) {
    if (engaged_ && have_set_ && !same(current, set_) && !same(current, before_))
        engaged_ = have_set_ = false;
    if (!engaged_)
        engaged_ = same(current, wanted) ||
                   (have_last_ && (last_wanted_ - current) * (wanted - current) < 0.0);
    have_last_ = true;
    last_wanted_ = wanted;
    return engaged_;
}

void soft_takeover::set(double before, double value) {
    have_set_ = true;
    before_ = before;
    set_ = value;
}

int clock_tempo::pulse(double seconds) {
    const double newest = count_ ? times_[(next_ + window - 1) % window] : seconds;
    if (seconds - newest > 2.0 || seconds < newest) count_ = 0; // a clock that stopped
    times_[next_] = seconds;
    next_ = (next_ + 1) % window;
    if (count_ < window) ++count_;
    if (count_ < 48) return tempo_; // two beats before a new figure
    // Least squares of time over pulse number: seconds per pulse.
    const int first = (next_ + window - count_) % window;
    const double n = count_, mean_i = (n - 1) / 2.0;
    double mean_t = 0.0;
    for (int i = 0; i < count_; ++i) mean_t += times_[(first + i) % window] - times_[first];
    mean_t /= n;
    double num = 0.0, den = 0.0;
    for (int i = 0; i < count_; ++i) {
        const double di = i - mean_i;
        num += di * (times_[(first + i) % window] - times_[first] - mean_t);
        den += di * di;
    }
    if (!(num > 0.0)) return tempo_;
    const double bpm = 60.0 / (24.0 * num / den);
    if (tempo_ == 0 || std::fabs(bpm - tempo_) >= 0.75) {
        const double whole = std::round(bpm);
        tempo_ = whole < 1.0 ? 1 : whole > 999.0 ? 999 : static_cast<int>(whole);
    }
    return tempo_;
}

transport_order transport::start() {
    running_ = true;
    located_ = -1;
    return {transport_order::run_from, 0};
}

transport_order transport::stop() {
    if (!running_) return {};
    running_ = false;
    return {transport_order::stop, 0};
}

transport_order transport::resume() {
    if (running_) return {};
    running_ = true;
    const int at = located_;
    located_ = -1;
    if (at >= 0) return {transport_order::run_from, at};
    return {transport_order::resume, 0};
}

transport_order transport::position(int sixteenth) {
    if (!running_) located_ = sixteenth < 0 ? 0 : sixteenth;
    return {};
}

} // namespace tmod
