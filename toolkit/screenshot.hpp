// Reading the frame back: pixels of the current colour buffer and a PNG writer,
// for screenshots of the editor and for checking drawings in tests.
// Graphics thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmod {

// An RGB picture, rows from the top.
struct rgb_image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // 3 bytes per pixel

    // Red, green, blue of pixel (x, y), y downward; black outside the picture.
    void at(int x, int y, int& r, int& g, int& b) const;
};

// The window's colour buffer (the back buffer, before the swap). Empty without
// a context.
rgb_image read_frame(int width, int height);

// Writes an 8-bit RGB PNG. False when the file cannot be written.
bool write_png(const std::string& path, const rgb_image& image);

} // namespace tmod
