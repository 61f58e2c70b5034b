// The oscilloscope view (F1): the trace of every frame the sound played,
// drawn on the window's thread from the values the audio thread queued in the
// pump's scope ring. The audio thread only fills the ring.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/layers/layer.hpp"

namespace tmod {

class audio_pump;

class oscilloscope {
  public:
    static constexpr int width = 1024, height = 768;
    static constexpr int baseline = 512; // row of value 0
    static constexpr float pixels_per_unit = 128.0f;
    static constexpr int wrap_x = 800;

    explicit oscilloscope(audio_pump& pump) : pump_(pump) {}

    // The view was switched on: an empty screen from the newest sound on.
    void begin();
    // Moves the values queued since the last call onto the trace, and adds
    // to `d` the columns it drew on (the whole screen after a wrap).
    void take(damage& d);
    // The trace and the words of the last wrap over the region (main thread).
    void draw(const screen_rect& region) const;

    float x() const { return x_; }

  private:
    enum colour : std::uint8_t { black, white, magenta, cyan };
    void frame(float sum);
    void wrap();
    void put(int column, long row, colour c);
    void mark(int column);

    audio_pump& pump_;
    float x_ = 0;
    // The sweep so far: one colour per pixel, rows bottom up for glDrawPixels.
    std::vector<std::uint8_t> pixels_;
    std::vector<float> values_;
    // Where the last wrap wrote its words.
    std::vector<std::pair<int, int>> words_;
    // Drawn on since the last take: the columns, or all after a wrap.
    int first_column_ = width, last_column_ = -1;
    bool wrapped_ = true;
};

// The oscilloscope over the patch view, while the pump's scope view is on.
// It takes no events: the keys reach the patch view (F1 leaves, edit mode's
// keypad zooms). About 30 frames a second follow the sound, each drawing the
// columns the new values reached.
class scope_layer : public layer {
  public:
    explicit scope_layer(audio_pump& pump);
    bool handle(SDL_Event&, int&) override { return false; }
    void find_damage(damage& d, int result) override;
    void draw(const screen_rect& region) override { scope_.draw(region); }
    bool moving() const override { return true; }

  private:
    oscilloscope scope_;
    clock::time_point next_frame_;
};

} // namespace tmod
