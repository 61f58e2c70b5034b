// Helpers shared by the engine tests: sources to wire into slots, a tick
// runner, meters, and scratch directories.
#pragma once

#include <string>
#include <vector>

#include "engine/generator.hpp"
#include "engine/signal.hpp"

namespace tmod::test {

// A source whose value, gate and pulse the test sets by hand.
struct hand_source : OUTPUT, OUTPUT_GATE, OUTPUT_SYNC {
    hand_source() : OUTPUT(name_storage) {}
    void set(float v) { value = v; }
    module_name name_storage = {};
};

// Appends a new module of the kind to the container, named.
template <class T>
T* add_named(GENERATOR& g, module_kind kind, const char* name) {
    auto* m = static_cast<T*>(g.add_module(create_module(kind)));
    m->set_name(name);
    return m;
}

// Ticks the module n times and returns its value after each tick.
std::vector<float> run(OUTPUT& module, int n);

// Frequency from the number of rising zero crossings (linear interpolation
// between samples), over the whole signal.
double crossing_frequency(const std::vector<float>& signal, double rate = 44100.0);
double rms(const std::vector<float>& signal, std::size_t from = 0);
float peak(const std::vector<float>& signal, std::size_t from = 0);

// A fresh empty directory under the build tree for this test.
std::string scratch_dir(const std::string& name);
void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);

} // namespace tmod::test
