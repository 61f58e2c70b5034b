// Numeric helpers for values that come from files, signals or the user.
#pragma once

#include <atomic>
#include <climits>
#include <cmath>

namespace tmod {

// Integer part of x (toward zero), saturated at the int range; NaN gives 0.
// Every float-to-index conversion of a value from outside goes through here,
// since a plain conversion of an out-of-range float is undefined.
inline int saturating_int(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return INT_MAX;
    if (x <= -2147483648.0) return INT_MIN;
    return static_cast<int>(x);
}

inline int clamp_index(int i, int size) {
    return i < 0 ? 0 : (i >= size ? size - 1 : i);
}

// x held in [lo, hi], NaN giving lo. A value inside comes back as it is, to the
// bit, so a clamp put in front of a formula changes nothing for those values.
template <class T>
inline T held_in(T x, T lo, T hi) {
    return x >= lo ? (x <= hi ? x : hi) : lo;
}

// A word shared between threads without a lock: the audio thread reads it while
// the editor or a remote connection writes it. Relaxed atomics compile to plain
// loads and stores on x86 and make the sharing explicit (and ThreadSanitizer clean).
template <class T>
class relaxed {
  public:
    using value_type = T;
    constexpr relaxed(T v = T()) noexcept : v_(v) {}
    relaxed(const relaxed& o) noexcept : v_(o.load()) {}
    relaxed& operator=(const relaxed& o) noexcept {
        store(o.load());
        return *this;
    }
    relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }
    relaxed& operator+=(T v) noexcept {
        store(load() + v);
        return *this;
    }
    relaxed& operator-=(T v) noexcept {
        store(load() - v);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return v_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { v_.store(v, std::memory_order_relaxed); }

  private:
    std::atomic<T> v_;
};

} // namespace tmod

namespace tmod {
// The output clamp of the oscillators and filters: beyond +-1 is +-1 (NaN passes).
inline float clamp_unit(float x) {
    if (x >= 1.0f) return 1.0f;
    if (x <= -1.0f) return -1.0f;
    return x;
}
} // namespace tmod
