// MIDI mappings of one patch level: which controller (or the velocity, or the
// channel pressure) of which channel drives which parameter of which module.
// A controller may drive several controls and a control several controllers.
// Modules are named and parameters keyed as in the patch file, so the
// mappings survive a save and a load; they are resolved when used.
//
// Threads: the editor learns and forgets, the MIDI worker reads, a load
// replaces; each call takes the map's own small lock. The audio thread never
// reads it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/module_types.hpp"

namespace tmod {

enum class midi_source : std::uint8_t { control, velocity, pressure };

struct midi_mapping {
    midi_source source = midi_source::control;
    int controller = 0; // 0..119 for control
    int channel = 1;    // 1..16
    std::string module; // "VCF_1"
    std::string key;    // "HICUT" (param_name)
    bool inverted = false;
    bool operator==(const midi_mapping& o) const {
        return source == o.source && controller == o.controller && channel == o.channel &&
               module == o.module && key == o.key && inverted == o.inverted;
    }
};

// The controllers a mapping may take (120..127 are channel mode messages).
constexpr int learnable_controllers = 120;

class midi_map {
  public:
    std::vector<midi_mapping> list() const;
    void assign(std::vector<midi_mapping> mappings);
    // A mapping already there is not added twice; one of the same source,
    // channel and control with the other direction is replaced.
    void add(const midi_mapping& m);
    // The mappings of the module become `mappings` (the others stay); no
    // change when they already are.
    void set_for(std::string_view module, const std::vector<midi_mapping>& mappings);
    // Removes every mapping of the control; how many went.
    int forget(std::string_view module, std::string_view key);
    // Changes with every add, forget and assign, and differs between maps
    // (the worker's cue to resolve again).
    std::uint64_t version() const { return version_.load(std::memory_order_acquire); }

  private:
    mutable std::mutex mutex_;
    std::vector<midi_mapping> list_;
    std::atomic<std::uint64_t> version_{0};
};

class GENERATOR;

// What a mapping names in its level: the module (null when none has the
// name) and its parameter a controller may drive (null when there is none).
struct mapped_control {
    OUTPUT* module = nullptr;
    const param_desc* desc = nullptr;
};
mapped_control resolve(const GENERATOR& level, std::string_view module, std::string_view key);

// The name a mapping gives a parameter: its file key, else its kept key,
// else its panel control word ("HICUT", "POWER").
const char* param_name(const param_desc& d);
// The parameter of the type a mapping may drive under that name (spans_range), or null.
const param_desc* find_learnable(const module_type& type, std::string_view name);

// The record of the patch file's mappings section: "CONTROLLER;CHANNEL;MODULE;KEY;INVERTED",
// the controller a number 0..119, or VELOCITY, or PRESSURE: "74;1;VCF_1;HICUT;0".
std::string mapping_record(const midi_mapping& m);
// Reads one record; false with `why` when it is not one.
bool parse_mapping_record(std::string_view text, midi_mapping& out, std::string& why);

} // namespace tmod
