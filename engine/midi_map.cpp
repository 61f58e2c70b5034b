#include "engine/midi_map.hpp"

#include <algorithm>

#include "engine/generator.hpp"
#include "util/text.hpp"
#include "util/tstr_parser.hpp"

namespace tmod {

namespace {
// The words of the sources that are not controllers, as the file writes them.
struct source_word {
    midi_source source;
    const char* word;
};
constexpr source_word source_words[] = {{midi_source::velocity, "VELOCITY"},
                                        {midi_source::pressure, "PRESSURE"}};

// Versions are unique across every map, so a map made where another was
// freed never looks unchanged.
std::atomic<std::uint64_t> last_version{0};
std::uint64_t new_version() {
    return last_version.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool same_control(const midi_mapping& a, const midi_mapping& b) {
    return a.source == b.source &&
           (a.source != midi_source::control || a.controller == b.controller) &&
           a.channel == b.channel && a.module == b.module && a.key == b.key;
}

// A whole number in lo..hi written in plain digits.
bool small_number(std::string_view text, int lo, int hi, int& out) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    out = parse_int(text);
    return out >= lo && out <= hi;
}
} // namespace

std::vector<midi_mapping> midi_map::list() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return list_;
}

void midi_map::assign(std::vector<midi_mapping> mappings) {
    std::lock_guard<std::mutex> lock(mutex_);
    list_ = std::move(mappings);
    version_.store(new_version(), std::memory_order_release);
}

void midi_map::add(const midi_mapping& m) {
    std::lock_guard<std::mutex> lock(mutex_);
    list_.erase(std::remove_if(list_.begin(), list_.end(),
                               [&](const midi_mapping& o) { return same_control(o, m); }),
                list_.end());
    list_.push_back(m);
    version_.store(new_version(), std::memory_order_release);
}

void midi_map::set_for(std::string_view module, const std::vector<midi_mapping>& mappings) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<midi_mapping> kept;
    std::vector<midi_mapping> now;
    for (const midi_mapping& m : list_) (m.module == module ? now : kept).push_back(m);
    if (now == mappings) return;
    kept.insert(kept.end(), mappings.begin(), mappings.end());
    list_ = std::move(kept);
    version_.store(new_version(), std::memory_order_release);
}

int midi_map::forget(std::string_view module, std::string_view key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto before = list_.size();
    list_.erase(
        std::remove_if(list_.begin(), list_.end(),
                       [&](const midi_mapping& o) { return o.module == module && o.key == key; }),
        list_.end());
    version_.store(new_version(), std::memory_order_release);
    return static_cast<int>(before - list_.size());
}

const char* param_name(const param_desc& d) {
    return d.key ? d.key : d.kept_key ? d.kept_key : d.control;
}

const param_desc* find_learnable(const module_type& type, std::string_view name) {
    for (const auto& table : {type.params, type.panel_params})
        for (const param_desc& d : table)
            if (spans_range(d) && param_name(d) && name == param_name(d)) return &d;
    return nullptr;
}

mapped_control resolve(const GENERATOR& level, std::string_view module, std::string_view key) {
    OUTPUT* m = level.find_any(module);
    const module_type* type = m ? level.type_of_module(m) : nullptr;
    return {m, type ? find_learnable(*type, key) : nullptr};
}

std::string mapping_record(const midi_mapping& m) {
    std::string out;
    if (m.source == midi_source::control) out = std::to_string(m.controller);
    for (const source_word& w : source_words)
        if (w.source == m.source) out = w.word;
    out += ';' + std::to_string(m.channel) + ';' + m.module + ';' + m.key + ';' +
           (m.inverted ? "1" : "0");
    return out;
}

bool parse_mapping_record(std::string_view text, midi_mapping& out, std::string& why) {
    const tstr_parser p(text, ';');
    if (p.count() != 4) { // separators, not fields
        why = "a mapping has five fields (controller;channel;module;key;inverted)";
        return false;
    }
    midi_mapping m;
    const std::string_view source = p.get(0);
    bool known = small_number(source, 0, learnable_controllers - 1, m.controller);
    for (const source_word& w : source_words)
        if (source == w.word) m.source = w.source, known = true;
    if (!known) {
        why = "the controller is not 0 to 119, VELOCITY or PRESSURE";
        return false;
    }
    int inverted = 0;
    if (!small_number(p.get(1), 1, 16, m.channel)) {
        why = "the channel is not 1 to 16";
        return false;
    }
    if (p.get(2).empty() || p.get(3).empty()) {
        why = "a mapping names a module and a key";
        return false;
    }
    if (!small_number(p.get(4), 0, 1, inverted)) {
        why = "the direction is not 0 or 1";
        return false;
    }
    m.module = std::string(p.get(2));
    m.key = std::string(p.get(3));
    m.inverted = inverted == 1;
    out = std::move(m);
    return true;
}

} // namespace tmod
