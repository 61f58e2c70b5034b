// The note-frequency table: entry i = 8.1757989 * 2^((i + 11) / 12) Hz, so
// entry 58 is 440 Hz; a note number is note (0..11) + 12 * octave.
#pragma once

namespace tmod {

constexpr int note_table_size = 2000;

// Fills the table (done once before main; calling it again is harmless).
void fill_note_table();

// Entry n, or 0 outside the table.
double note_frequency(int n);
inline bool note_in_table(int n) {
    return n >= 0 && n < note_table_size;
}

// The first index whose entry, truncated to an integer, equals f; -1 if none.
int note_of_frequency(int f);

const double* note_table();

} // namespace tmod
