#include "toolkit/screenshot.hpp"

#include "toolkit/frame_state.hpp"

#include <GL/gl.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace tmod {
namespace {

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_chunk(std::FILE* f, const char* type, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> chunk;
    put_u32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    put_u32(chunk, static_cast<std::uint32_t>(crc));
    std::fwrite(chunk.data(), 1, chunk.size(), f);
}

} // namespace

void rgb_image::at(int x, int y, int& r, int& g, int& b) const {
    r = g = b = 0;
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    r = pixels[i];
    g = pixels[i + 1];
    b = pixels[i + 2];
}

rgb_image read_frame(int width, int height) {
    rgb_image image;
    if (!gl_ready() || width <= 0 || height <= 0) return image;
    image.width = width;
    image.height = height;
    std::vector<std::uint8_t> bottom_up(static_cast<std::size_t>(width) * height * 3);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    // OpenGL rows start at the bottom.
    image.pixels.resize(bottom_up.size());
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(&image.pixels[static_cast<std::size_t>(y) * row],
                    &bottom_up[static_cast<std::size_t>(height - 1 - y) * row], row);
    return image;
}

bool write_png(const std::string& path, const rgb_image& image) {
    if (image.width <= 0 || image.height <= 0) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::fwrite(signature, 1, sizeof signature, f);

    std::vector<std::uint8_t> header;
    put_u32(header, static_cast<std::uint32_t>(image.width));
    put_u32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    put_chunk(f, "IHDR", header);

    // Each row starts with filter type 0 (none).
    const std::size_t row = static_cast<std::size_t>(image.width) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((row + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), image.pixels.begin() + static_cast<std::ptrdiff_t>(y * row),
                   image.pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK) {
        std::fclose(f);
        return false;
    }
    packed.resize(packed_size);
    put_chunk(f, "IDAT", packed);
    put_chunk(f, "IEND", {});
    return std::fclose(f) == 0;
}

} // namespace tmod
