#include "modules/keyboard.hpp"

#include <cstdio>

#include "engine/module_tick.hpp"
#include "engine/note_table.hpp"
#include "util/text_format.hpp"

namespace tmod {

KEYBOARD::KEYBOARD() : OUTPUT(name_storage) {}

void KEYBOARD::play(int n, bool with_sync) {
    std::printf("[%d]\n", n);
    note = n;
    trigger();
    if (with_sync) request_pulse();
}

int KEYBOARD::compute() {
    step_pulse();
    // A note number outside the table (a wild octave or remote note) keeps the
    // last frequency rather than reading past the table.
    const long n = static_cast<long>(note.load()) + 12L * octave.load();
    if (n >= 0 && n < note_table_size)
        value = static_cast<float>(note_frequency(static_cast<int>(n)));
    return 1;
}

void KEYBOARD::write_params(std::string& out) const {
    appendf(out, "%s;OCTAVE=%d;\n", name, octave.load());
}

template void tick_list<KEYBOARD>(const module_ptr*, std::size_t);

} // namespace tmod
