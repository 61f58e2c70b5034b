#include "engine/note_table.hpp"

#include <cmath>

#include "util/num.hpp"

namespace tmod {

namespace {
double table[note_table_size];

struct filled_at_start {
    filled_at_start() { fill_note_table(); }
} fill_before_main;
} // namespace

void fill_note_table() {
    for (int i = 0; i < note_table_size; ++i) table[i] = std::pow(2.0, (i + 11) / 12.0) * 8.1757989;
}

double note_frequency(int n) {
    return note_in_table(n) ? table[n] : 0.0;
}

int note_of_frequency(int f) {
    for (int i = 0; i < note_table_size; ++i)
        if (saturating_int(table[i]) == f) return i;
    return -1;
}

const double* note_table() {
    return table;
}

} // namespace tmod
