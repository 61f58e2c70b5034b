#include "modules/keyboard.hpp"

#include <cmath>
#include <cstdio>

#include "engine/generator.hpp"
#include "engine/module_tick.hpp"
#include "engine/note_table.hpp"
#include "modules/rows.hpp"
#include "util/messages.hpp"

namespace tmod {

KEYBOARD::KEYBOARD() : OUTPUT(name_storage) {}

void KEYBOARD::play(int n, bool with_sync, bool report) {
    if (report) say("[%d]\n", n);
    note = n;
    trigger();
    if (with_sync) request_pulse();
}

int KEYBOARD::compute() {
    step_pulse();
    // A note number outside the table (a wild octave or remote note) keeps the
    // last frequency rather than reading past the table.
    const long n = static_cast<long>(note.load()) + 12L * octave.load();
    // About 2 ms to reach a new bend, so a controller's steps are not heard.
    const float target = bend.load();
    if (bent != target) {
        bent += (target - bent) * 0.01f;
        if (std::fabs(target - bent) < 1e-6f) bent = target;
    }
    if (n >= 0 && n < note_table_size)
        value = static_cast<float>(note_frequency(static_cast<int>(n)) * bent);
    return 1;
}

template void tick_list<KEYBOARD>(const module_ptr*, std::size_t);

namespace {
using namespace row;

// The record "OCTAVE"; the panel's two octave buttons step it.
constexpr param_desc keyboard_params[] = {
    number<KEYBOARD, &KEYBOARD::octave>("OCTAVE")
        .range(0, 7, 4)
        .steps(step_rule::fixed, 1.0f)
        .display("%d")
        .written(0, "%d"),
};

constexpr param_desc keyboard_panel_params[] = {power_switch<KEYBOARD>()};
} // namespace

const param_desc keyboard_bend =
    panel_number<KEYBOARD, &KEYBOARD::bend>().range(0.0625, 16.0, 1.0).moves();

const module_type keyboard_type = {module_kind::KEYBOARD,
                                   "KEYBOARD",
                                   "KEY",
                                   "KEYBOARD",
                                   "KEY",
                                   nullptr,
                                   SKIP,
                                   false,
                                   {},
                                   keyboard_params,
                                   keyboard_panel_params,
                                   create_as<KEYBOARD>,
                                   destroy_as<KEYBOARD>,
                                   tick_list<KEYBOARD>,
                                   nullptr,
                                   own_value,
                                   own_gate<KEYBOARD>,
                                   own_pulse<KEYBOARD>,
                                   nullptr,
                                   [](OUTPUT& m) { static_cast<KEYBOARD&>(m).release(); }};

KEYBOARD* played_keyboard(const GENERATOR& g, keyboard_player who) {
    const char* first = who == keyboard_player::remote ? "KEY_1" : "KEYBOARD_1";
    const char* other = who == keyboard_player::remote ? "KEYBOARD_1" : "KEY_1";
    OUTPUT* k = g.find(module_kind::KEYBOARD, first);
    if (!k) k = g.find(module_kind::KEYBOARD, other);
    return static_cast<KEYBOARD*>(k);
}

} // namespace tmod
