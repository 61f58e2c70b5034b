#include "remote/midi_notes.hpp"

#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "util/messages.hpp"

namespace tmod {

namespace {
constexpr int sustain_pedal = 64;
constexpr int all_sound_off = 120;
constexpr int all_notes_off = 123;
} // namespace

note_action mono_notes::on_event(const midi_event& e) {
    switch (e.kind) {
    case midi_kind::note_on:
    case midi_kind::note_off:
        if (!note_in_table(e.data1 - midi_note_table_offset)) return {};
        return e.kind == midi_kind::note_on ? note_on(e.data1) : note_off(e.data1);
    case midi_kind::control:
        if (e.data1 == sustain_pedal) return pedal(e.data2 >= 64);
        if (e.data1 == all_notes_off || e.data1 == all_sound_off) return all_off();
        return {};
    default:
        return {};
    }
    return {};
}

note_action mono_notes::note_on(int note) {
    if (note < 0 || note > 127) return {};
    // A key pressed again (a lost note-off) moves to the newest place.
    int kept = 0;
    for (int i = 0; i < count_; ++i)
        if (held_[i] != note) held_[kept++] = held_[i];
    held_[kept] = note;
    count_ = kept + 1;
    gate_ = true;
    sounding_ = note;
    return {note_action::trigger, note};
}

note_action mono_notes::note_off(int note) {
    int kept = 0;
    for (int i = 0; i < count_; ++i)
        if (held_[i] != note) held_[kept++] = held_[i];
    if (kept == count_) return {};
    count_ = kept;
    if (count_ > 0) {
        const int newest = held_[count_ - 1];
        if (newest == sounding_) return {};
        sounding_ = newest;
        return {note_action::retune, newest};
    }
    if (pedal_ || !gate_) return {};
    gate_ = false;
    return {note_action::release, 0};
}

note_action mono_notes::pedal(bool down) {
    pedal_ = down;
    if (down || count_ > 0 || !gate_) return {};
    gate_ = false;
    return {note_action::release, 0};
}

note_action mono_notes::all_off() {
    count_ = 0;
    gate_ = false;
    return {note_action::release, 0};
}

std::string midi_quiet_notice() {
    return "MIDI: more than " + std::to_string(output_budget::lines_per_second) +
           " notes a second; the rest of this second is not shown";
}

void play_note_action(KEYBOARD& k, const note_action& a, output_budget& budget,
                      output_budget::clock::time_point now) {
    // The keyboard adds 12 * OCTAVE.
    const int n = a.note - midi_note_table_offset - 12 * k.octave.load();
    switch (a.kind) {
    case note_action::trigger: {
        const output_budget::verdict shown = budget.take(now);
        if (shown == output_budget::verdict::notice) say("%s\n", midi_quiet_notice().c_str());
        k.play(n, true, shown == output_budget::verdict::show);
        break;
    }
    case note_action::retune:
        k.set_note(n);
        break;
    case note_action::release:
        k.release();
        break;
    case note_action::none:
        break;
    }
}

} // namespace tmod
