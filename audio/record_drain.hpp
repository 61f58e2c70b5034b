// The writer of --record: a thread of its own moves what the output tap
// received into the file, so a main loop that is busy (a long load, a large
// patch) costs the take nothing. The audio thread only pushes into the tap,
// which counts what found no room.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/frame_fifo.hpp"
#include "util/sound_file.hpp"

namespace tmod {

class record_drain {
  public:
    // `file` is open. From start() on only the drain thread uses it, until
    // finish() or the destructor has joined that thread. `name` is the
    // output as the user gave it, for messages.
    record_drain(frame_fifo& tap, sound_writer& file, std::string name);
    // Joins without finishing: the writer, left unfinished, removes its
    // temporary when it goes.
    ~record_drain();
    record_drain(const record_drain&) = delete;
    record_drain& operator=(const record_drain&) = delete;

    void start();
    // Once nothing pushes into the tap any more: the rest written, the file
    // finished and put in place, the thread joined. False when a write or the
    // finish failed, or when frames were lost (the file is kept, with gaps);
    // each is said in one line on standard error. Main thread, once.
    bool finish();
    // Frames the tap could not take.
    long long lost() const { return tap_.dropped(); }

  private:
    void run();
    void drain(); // drain thread

    frame_fifo& tap_;
    sound_writer& file_;
    std::string name_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // under mutex_
    bool finishing_ = false;
    // The drain thread's own until it is joined.
    bool failed_ = false;
    std::vector<std::int16_t> block_;
};

} // namespace tmod
