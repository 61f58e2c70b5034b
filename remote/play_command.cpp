#include "remote/play_command.hpp"

#include <climits>
#include <cstdio>
#include <mutex>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
// parse_int saturates, so the subtraction is done wide and saturated again.
int note_from(std::string_view line, std::size_t position) {
    const long long n =
        (position < line.size() ? static_cast<long long>(parse_int(line.substr(position))) : 0) -
        38;
    return n < INT_MIN ? INT_MIN : static_cast<int>(n);
}

KEYBOARD* remote_keyboard(GENERATOR* g) {
    return g ? played_keyboard(*g, keyboard_player::remote) : nullptr;
}

// The keyboard plays note + 12 * octave: a note that lands outside the table
// would only be heard as a stuck pitch, so it is refused.
bool playable(const KEYBOARD* k, int n) {
    const long long index = static_cast<long long>(n) + 12LL * (k ? k->octave.load() : 0);
    return index >= 0 && index < note_table_size;
}

play_result apply(std::string_view line, const relaxed<GENERATOR*>* table, int table_size,
                  held_notes& held, bool report) {
    if (contains(line, "FINISH")) return play_result::finish;
    const int slot = held.current_slot;
    if (contains(line, "UNTRIG")) {
        (void)note_from(line, 7); // read and not used
        // The container must not be replaced while its keyboard is looked up
        // and driven; a shared hold never keeps the audio thread from rendering.
        patch_read lock(patch_mutex());
        for (int i = 0; i < table_size && i < held_notes::slots; ++i) {
            held.note[i] = 0;
            if (KEYBOARD* k = remote_keyboard(table[i])) k->release();
        }
        return play_result::applied;
    }
    if (contains(line, "NOTE")) {
        const int n = note_from(line, 5);
        if (report) say("NOTE [%d] on generator [%d]\n", n, slot);
        patch_read lock(patch_mutex());
        KEYBOARD* k = slot >= 0 && slot < table_size ? remote_keyboard(table[slot]) : nullptr;
        if (!playable(k, n)) return play_result::ignored;
        if (k) k->set_note(n);
        return play_result::applied;
    }
    if (contains(line, "TRIG")) {
        held.current_slot = 0;
        const int n = note_from(line, 5);
        if (report) say("TRIG [%d] on generator [%d]\n", n, 0);
        patch_read lock(patch_mutex());
        KEYBOARD* k = table_size > 0 ? remote_keyboard(table[0]) : nullptr;
        if (!playable(k, n)) return play_result::ignored;
        if (k) k->play(n, true, report);
        held.note[0] = n;
        return play_result::applied;
    }
    return play_result::ignored;
}
} // namespace

play_result apply_play_command(std::string_view line, const relaxed<GENERATOR*>* table,
                               int table_size, held_notes& held, bool report) {
    return apply(line, table, table_size, held, report);
}

} // namespace tmod
