#include "engine/param_desc.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "util/num.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {

struct band {
    double from, to; // from <= v < to
    float step;
};

// Tested from the top down, each test seeing the value the previous one left:
// a raise applies at most one step, a lowering that crosses a boundary two.
// The last band starts at a low bound that depends on the direction.
constexpr band value_bands[] = {
    {50.0, 22050.0, 1.0f}, {20.0, 50.0, 0.5f},   {10.0, 20.0, 0.025f},
    {1.0, 10.0, 0.0125f},  {0.1, 1.0, 0.00625f}, {0.0, 0.1, 0.003125f},
};

constexpr band cutoff_lowering[] = {
    {5000, 12001, 100}, {2500, 5000, 50}, {1000, 2500, 25},
    {100, 1000, 10},    {10, 100, 2},     {2, 10, 1},
};
constexpr band cutoff_raising[] = {
    {5000, 10000, 100}, {2500, 5000, 50}, {1000, 2500, 25},
    {100, 1000, 10},    {10, 100, 2},     {1, 10, 1},
};

float band_step(float v, bool up, bool amplitude) {
    const double low = !up ? 0.01 : amplitude ? 0.001 : 0.00001;
    const std::size_t last = std::size(value_bands) - 1;
    for (std::size_t i = 0; i <= last; ++i) {
        const band& b = value_bands[i];
        const double from = i == last ? low : b.from;
        if (v >= from && v < b.to) v = up ? v + b.step : v - b.step;
    }
    if (amplitude) {
        if (up && v == 0.0f) v = 0.001f;
        if (!up && v < 0.01) v = 0.0f;
    } else if (v < 0.001) {
        v = 0.001f;
    }
    return v;
}

int cutoff_step(int c, bool up) {
    for (const band& b : up ? cutoff_raising : cutoff_lowering)
        if (c >= b.from && c < b.to)
            c = up ? c + static_cast<int>(b.step) : c - static_cast<int>(b.step);
    return c;
}

// Finer steps near the top, where the spring rings longest.
float resonance_step(float r, bool up) {
    auto move = [up](float x, float divisor) { return up ? x + x / divisor : x - x / divisor; };
    if (r < 0.8) r = move(r, 100.0f);
    if (r >= 0.8 && r < 0.9) r = move(r, 1000.0f);
    if (r >= 0.9) r = move(r, 10000.0f);
    if (r < 0.00002) r = 0.00002f;
    if (r > 0.995) r = 0.995f;
    return r;
}

double kept_in(const param_desc& d, double v) {
    return v < d.min ? d.min : v > d.max ? d.max : v;
}

template <class Arg>
void append_formatted(std::string& out, const char* format, Arg arg) {
    const int n = std::snprintf(nullptr, 0, format, arg);
    if (n <= 0) return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n) + 1);
    std::snprintf(&out[at], static_cast<std::size_t>(n) + 1, format, arg);
    out.resize(at + static_cast<std::size_t>(n));
}

// The conversion character of a one-conversion format ("%5.3f" -> 'f').
char conversion_of(const char* format) {
    const char* p = format ? std::strchr(format, '%') : nullptr;
    if (!p) return '\0';
    for (++p; *p; ++p)
        if (std::strchr("-+ #0123456789.", *p) == nullptr) return *p;
    return '\0';
}

// The fewest digits that read back as the very value: a whole number as it
// is, a float's value in at most 9 significant digits (the member it came
// from is a float), anything else in at most 17.
void append_exact(std::string& out, double v) {
    char text[48];
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", v);
        out += text;
        return;
    }
    const bool single = static_cast<double>(static_cast<float>(v)) == v;
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        const double back = std::strtod(text, nullptr);
        if (back == v || (single && static_cast<float>(back) == static_cast<float>(v))) break;
    }
    out += text;
}

// The grid step of the band holding v (the lowest band reaches down to 0).
double band_grid(const band* bands, std::size_t n, double v) {
    for (std::size_t i = 0; i < n; ++i)
        if (v >= (i + 1 == n ? 0.0 : bands[i].from)) return bands[i].step;
    return bands[n - 1].step;
}

double snapped(double v, double grid) {
    return std::round(v / grid) * grid;
}

bool logarithmic(step_rule r) {
    return r == step_rule::bands || r == step_rule::amplitude_bands || r == step_rule::cutoff ||
           r == step_rule::doubling;
}

// The bottom of a logarithmic range: an amplitude's 0 counts from 0.001.
double log_floor(const param_desc& d) {
    return d.min > 0.0 ? d.min : 0.001;
}

} // namespace

bool spans_range(const param_desc& d) {
    return user_state(d) && d.count == 1 && std::isfinite(d.min) && std::isfinite(d.max) &&
           d.max > d.min;
}

double value_at(const param_desc& d, double position) {
    const double t = position > 1.0 ? 1.0 : position > 0.0 ? position : 0.0;
    double v;
    if (logarithmic(d.step) && d.max > 0.0) {
        // From a floor above zero; an amplitude's zero is the very bottom only.
        const double low = log_floor(d);
        if (t == 0.0) return d.min;
        v = low * std::pow(d.max / low, t);
    } else {
        v = d.min + t * (d.max - d.min);
    }
    switch (d.step) {
    case step_rule::bands:
    case step_rule::amplitude_bands:
        v = snapped(v, band_grid(value_bands, std::size(value_bands), v));
        break;
    case step_rule::cutoff:
        v = snapped(v, band_grid(cutoff_raising, std::size(cutoff_raising), v));
        break;
    case step_rule::doubling:
        v = std::exp2(std::round(std::log2(v)));
        break;
    case step_rule::fixed:
        if (d.step_size > 0.0f) v = d.min + snapped(v - d.min, d.step_size);
        break;
    case step_rule::toggle:
    case step_rule::cycle:
    case step_rule::phase:
        v = std::floor(v + 0.5);
        break;
    case step_rule::none:
    case step_rule::resonance:
        break;
    }
    return kept_in(d, v);
}

void append_kept_field(std::string& out, const param_desc& d, const OUTPUT& m) {
    out += d.kept_key;
    out += '=';
    for (int i = 0; i < d.count; ++i) {
        if (i) out += ',';
        append_exact(out, d.get(m, i));
    }
    out += ';';
}

void apply_kept_field(const param_desc& d, OUTPUT& m, std::string_view value) {
    std::size_t at = 0;
    for (int i = 0; i < d.count; ++i) {
        const std::size_t comma = value.find(',', at);
        const std::string_view item =
            value.substr(at, comma == std::string_view::npos ? comma : comma - at);
        if (!item.empty()) d.set(m, i, parse_double(item));
        if (comma == std::string_view::npos) return;
        at = comma + 1;
    }
}

double step_value(const param_desc& d, double value, int direction) {
    const bool up = direction > 0;
    const float v = static_cast<float>(value);
    switch (d.step) {
    case step_rule::none:
        return value;
    case step_rule::bands:
    case step_rule::amplitude_bands:
        return band_step(v, up, d.step == step_rule::amplitude_bands);
    case step_rule::cutoff:
        return cutoff_step(saturating_int(value), up);
    case step_rule::resonance:
        return resonance_step(v, up);
    case step_rule::fixed:
        return kept_in(d, up ? v + d.step_size : v - d.step_size);
    case step_rule::toggle:
        return std::fabs(1.0 - value);
    case step_rule::cycle: {
        const int lo = saturating_int(d.min), hi = saturating_int(d.max);
        const int i = saturating_int(value);
        if (up) return i >= hi ? lo : i + 1;
        return i <= lo ? hi : i - 1;
    }
    case step_rule::phase:
        return saturating_int(up ? v + 1.0f : v - 1.0f) % 360;
    case step_rule::doubling:
        return up ? v * 2.0f : v / 2.0f;
    }
    return value;
}

int slider_direction(bool sld_down) {
    return sld_down ? -1 : 1;
}

double knob_position(const param_desc& d, double value) {
    if (std::isnan(value)) return 0.0;
    const double lo = d.min, hi = d.max;
    const bool low_open = !std::isfinite(lo), high_open = !std::isfinite(hi);
    // Open ranges: the initial value (or 1) from the bottom is half a turn.
    const double half = std::max(std::fabs(d.initial - (low_open ? 0.0 : lo)), 1.0);
    if (low_open && high_open) return 0.5 + std::atan(value / half) / M_PI;
    if (high_open) {
        const double x = std::max(value - lo, 0.0);
        return std::isfinite(x) ? x / (x + half) : 1.0;
    }
    if (!(hi > lo)) return 0.0;
    double t;
    if (logarithmic(d.step) && hi > 0.0) {
        const double floor = log_floor(d);
        t = std::log(std::max(value, floor) / floor) / std::log(hi / floor);
    } else {
        t = (value - lo) / (hi - lo);
    }
    return std::clamp(t, 0.0, 1.0);
}

void append_number(std::string& out, const char* format, double value) {
    const char c = conversion_of(format);
    if (c == 'd' || c == 'i')
        append_formatted(out, format, saturating_int(value));
    else
        append_formatted(out, format, value);
}

std::string shown_text(const param_desc& d, double value) {
    std::string out;
    if (conversion_of(d.shown) == 's') {
        const double i = value - d.min;
        const char* name = i >= 0 && i < static_cast<double>(d.names.size)
                               ? d.names[static_cast<std::size_t>(i)]
                               : "";
        append_formatted(out, d.shown, name);
        return out;
    }
    append_number(out, d.shown ? d.shown : "%f", value * d.scale);
    return out;
}

} // namespace tmod
