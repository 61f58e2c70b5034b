// Headless play: the engine started as usual, the patch played without a
// window until a stop signal (SIGINT, SIGTERM, SIGHUP...), then shut down
// cleanly. The loop runs on the
// main thread and calls its hooks on every pass, which is where other services
// (the remote control's listening socket) poll.
#pragma once

#include <functional>
#include <vector>

namespace tmod {

struct engine_session;
struct options;

class headless_loop {
  public:
    // The stop signals are the caller's (a live_run catches them).
    explicit headless_loop(engine_session& session) : session_(session) {}
    headless_loop(const headless_loop&) = delete;
    headless_loop& operator=(const headless_loop&) = delete;

    // Called on every pass (about every 10 ms), main thread.
    void add_hook(std::function<void()> hook) { hooks_.push_back(std::move(hook)); }

    // Runs passes until a stop signal or stop().
    void run();
    void stop() { stopping_ = true; }

    engine_session& session() { return session_; }

  private:
    engine_session& session_;
    std::vector<std::function<void()>> hooks_;
    bool stopping_ = false;
};

// The --headless job (and the program without a window): start-up, --events
// applied as their time comes, --record writing every frame played, until a
// signal. Returns the process exit status.
int headless_job(const options& o);

} // namespace tmod
