// Engine start-up and shutdown: the log, the note table, the device console,
// the start-up patch and the audio pump with its recording.
#pragma once

#include <memory>

#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_system.hpp"
#include "patchfile/patch_reader.hpp"

namespace tmod {

class GENERATOR;
class midi_input;
class remote_server;
struct options;

struct generator_deleter {
    void operator()(GENERATOR* g) const;
};
using generator_ptr = std::unique_ptr<GENERATOR, generator_deleter>;

// What the start-up creates. Its destructor shuts the engine down if the
// caller has not.
struct engine_session {
    sound_system sound;
    audio_pump pump;
    std::unique_ptr<capture> ring;
    generator_ptr current; // the start-up container, not yet in the pump's table
    load_report start_report; // how the start-up patch was read
    // The remote control's listening socket and connections; null when
    // --remote-port is 0 or the socket could not be opened.
    std::unique_ptr<remote_server> remote;
    // The MIDI input ports of --midi; null without them.
    std::unique_ptr<midi_input> midi;

    engine_session(); // out of line: the remote server is an incomplete type here
    engine_session(const engine_session&) = delete;
    engine_session& operator=(const engine_session&) = delete;
    ~engine_session();
};

// Opens "log_standard.log", fills the note table, opens the --midi ports (a
// port that is not there ends the start with status 2), chooses the sound devices
// (the console, or --audio/--driver/--record-driver), loads the start-up patch
// ("TSY/EMPTY.tsy" or the command line's; one that cannot be loaded ends the
// start with status 1) and starts the pump with its
// recording, then opens the remote control's listening socket (--remote-host,
// --remote-port; a port that cannot be opened is reported and play goes on
// without it). Keys for the console come from key_fd. Returns true to go on;
// false with the exit status to end with. Main thread.
bool engine_start(engine_session& s, const options& o, int key_fd, int& exit_status);

// Loads the patch a job starts with (the command line's or TSY/EMPTY.tsy)
// and says what it could not read: one line "N records of PATCH could not be
// read" on standard error, after the reader's own messages. Returns the exit
// status to end the job with, or -1 to go on: 1 when nothing could be read,
// or with --strict when records were dropped. Main thread.
// The reader's report is kept in `report` when given.
int load_start_patch(GENERATOR& container, const options& o, load_report* report = nullptr);

// Puts the current container in the pump's slot 0 and switches rendering on.
void engine_play_current(engine_session& s);

// Remote connections ended and joined first; rendering off and the container
// out of the pump's table before it is cleared and destroyed; then the stream
// and the sound system are closed.
// Safe to call twice.
void engine_shutdown(engine_session& s);

} // namespace tmod
