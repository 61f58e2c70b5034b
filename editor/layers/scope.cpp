#include "editor/layers/scope.hpp"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audio_pump.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/video.hpp"

namespace tmod {

namespace {
constexpr std::uint8_t rgb[][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 255}, {0, 255, 255}};
// The view follows the sound at about 30 frames a second.
constexpr auto scope_frame = std::chrono::milliseconds(33);
} // namespace

void oscilloscope::begin() {
    pump_.scope_values.clear();
    x_ = 0;
    pixels_.assign(static_cast<std::size_t>(width) * height * 3, 0);
    words_.clear();
    wrapped_ = true;
}

void oscilloscope::take(damage& d) {
    if (values_.empty()) values_.resize(4096);
    // At most a ring's worth: a writer faster than this thread cannot hold it here.
    for (int read = 0; read < pump_.scope_values.capacity();) {
        const int n = pump_.scope_values.pop(values_.data(), static_cast<int>(values_.size()));
        if (n == 0) break;
        for (int i = 0; i < n; ++i) frame(values_[static_cast<std::size_t>(i)]);
        read += n;
    }
    if (wrapped_)
        d.add_all();
    else if (last_column_ >= first_column_)
        d.add({first_column_, 0, last_column_ - first_column_ + 1, height});
    wrapped_ = false;
    first_column_ = width, last_column_ = -1;
}

void oscilloscope::mark(int column) {
    first_column_ = std::min(first_column_, column);
    last_column_ = std::max(last_column_, column);
}

void oscilloscope::put(int column, long row, colour c) {
    if (column < 0 || column >= width || row < 0 || row >= height) return;
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(height - 1 - row) * width +
                                static_cast<std::size_t>(column)) * 3];
    std::memcpy(p, rgb[c], 3);
}

void oscilloscope::wrap() {
    std::printf("Draw\n");
    x_ = 0;
    words_.assign(1, {400, 347});
    for (int i = 0; i < 50; ++i) words_.emplace_back(std::rand() % width, std::rand() % height);
    std::printf("Blit\n");
    std::fill(pixels_.begin(), pixels_.end(), 0);
    wrapped_ = true;
}

void oscilloscope::frame(float sum) {
    float y = sum * pixels_per_unit;
    if (!std::isfinite(y)) y = 0; // drawn as silence rather than as garbage
    y = std::clamp(y, -1e6f, 1e6f);
    if (!(x_ < wrap_x + 1.0f)) wrap(); // the whole part passed 800
    // Buffers under 700 frames would leave the trace standing still: at
    // least one step.
    const int per_buffer = std::max(1, pump_.scope_block_frames.load() / 700);
    x_ += static_cast<float>(per_buffer) / 1000.0f * pump_.scope_zoom.load();
    if (!(x_ >= 0.0f && x_ < static_cast<float>(width))) return;
    const int column = static_cast<int>(x_);
    mark(column);
    if (y != 0.0f) {
        put(column, static_cast<long>(std::floor(y + baseline)), white);
        const long reach = static_cast<long>(std::fabs(y)) - 1;
        const long up = std::min<long>(reach, baseline), down = std::min<long>(reach, height - baseline);
        if (y > 0)
            for (long k = 1; k <= up; ++k) put(column, baseline - k, magenta);
        else
            for (long k = 1; k <= down; ++k) put(column, baseline + k, magenta);
    }
    put(column, baseline, cyan);
}

void oscilloscope::draw(const screen_rect& region) const {
    push_ortho(0, 0, width, height);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    const screen_rect r = region.clipped(width, height);
    if (!pixels_.empty() && !r.empty()) {
        // Only the region's pixels go to the renderer: rows are bottom up.
        glPushAttrib(GL_ENABLE_BIT | GL_PIXEL_MODE_BIT);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, r.x);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, height - r.y - r.h);
        // The region's bottom left pixel.
        glRasterPos2f(static_cast<float>(r.x), static_cast<float>(r.y + r.h) - 0.5f);
        glDrawPixels(r.w, r.h, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        glPopClientAttrib();
        glPopAttrib();
    }
    // The words in the colour the last point left current, at size 12.
    glColor3ub(rgb[cyan][0], rgb[cyan][1], rgb[cyan][2]);
    const FONT& font = font_table().get_or_first(0);
    const float scale = 12.0f / 36.0f;
    for (const auto& [wx, wy] : words_) {
        glLoadIdentity();
        glScalef(scale, scale, 1.0f);
        print(font, static_cast<float>(wx), static_cast<float>(height - wy), "SALUT");
    }
    glLoadIdentity();
    glColor3ub(255, 255, 255);
    pop_ortho();
}

scope_layer::scope_layer(audio_pump& pump) : scope_(pump) {
    scope_.begin();
    next_frame_ = clock::now();
}

void scope_layer::find_damage(damage& d, int) {
    const clock::time_point now = clock::now();
    if (now < next_frame_) return;
    next_frame_ = now + scope_frame;
    scope_.take(d);
}

} // namespace tmod
