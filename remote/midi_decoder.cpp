#include "remote/midi_decoder.hpp"

namespace tmod {

namespace {
// Data bytes that follow a status byte (0x80..0xFF).
int data_length(std::uint8_t status) {
    if (status < 0xF0) {
        const int type = status & 0xF0;
        return type == 0xC0 || type == 0xD0 ? 1 : 2;
    }
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 1;
    case 0xF2: // song position
        return 2;
    default:
        return 0;
    }
}

// The real-time bytes worth playing (active sensing and reset are not).
struct realtime_row {
    std::uint8_t byte;
    midi_kind kind;
};
constexpr realtime_row realtime[] = {{0xF8, midi_kind::clock},
                                     {0xFA, midi_kind::start},
                                     {0xFB, midi_kind::resume},
                                     {0xFC, midi_kind::stop}};
} // namespace

bool midi_decoder::push(std::uint8_t byte, midi_event& out) {
    if (byte >= 0xF8) {
        // Real time: may sit anywhere, even inside a message, and changes nothing.
        for (const realtime_row& r : realtime)
            if (r.byte == byte) {
                out = {r.kind, 0, 0, 0};
                return true;
            }
        return false;
    }
    if (byte & 0x80) {
        // Any status byte ends a SysEx and cuts short an unfinished message.
        in_sysex_ = byte == 0xF0;
        status_ = byte == 0xF0 || byte == 0xF7 || data_length(byte) == 0 ? 0 : byte;
        have_ = 0;
        return false;
    }
    if (in_sysex_ || status_ == 0) return false;
    data_[have_++] = byte;
    if (have_ < data_length(status_)) return false;
    have_ = 0;
    const std::uint8_t status = status_;
    // System common messages leave no running status behind.
    if (status >= 0xF0) {
        status_ = 0;
        if (status != 0xF2) return false;
        out = {midi_kind::song_position, 0, data_[0] | data_[1] << 7, 0};
        return true;
    }
    const int channel = (status & 0x0F) + 1;
    if (channel_ != 0 && channel != channel_) return false;
    switch (status & 0xF0) {
    case 0x90:
        out = {data_[1] == 0 ? midi_kind::note_off : midi_kind::note_on, channel, data_[0],
               data_[1]};
        return true;
    case 0x80:
        out = {midi_kind::note_off, channel, data_[0], data_[1]};
        return true;
    case 0xB0:
        out = {midi_kind::control, channel, data_[0], data_[1]};
        return true;
    case 0xE0:
        out = {midi_kind::pitch_bend, channel, data_[0] | data_[1] << 7, 0};
        return true;
    case 0xD0:
        out = {midi_kind::pressure, channel, data_[0], 0};
        return true;
    default:
        return false;
    }
}

} // namespace tmod
