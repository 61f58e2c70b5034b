// Helpers of the tests that drive the editor window like a user in a virtual
// display: xdotool, a copy of the data directory, a free port, a screenshot.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "support/harness.hpp"
#include "support/remote_client.hpp"

namespace tmod::test {

inline bool have_xdotool() {
    return shell("command -v xdotool >/dev/null 2>&1") == 0;
}

inline int xdo(const std::string& args) {
    return shell("xdotool " + args + " >/dev/null 2>&1");
}

// True once the editor's window is up and its patch's panels are built.
inline bool editor_shown(child& program) {
    return wait_until([] { return xdo("search --name 'T_Modular'") == 0; }) &&
           program.wait_for("*************** END");
}

// A copy of the data directory: the run writes its logs and saves there.
inline std::string data_copy(const std::string& dir) {
    EXPECT_EQ(shell("cp -r '" TM_SOURCE_DATA_DIR "' '" + dir + "/data'"), 0);
    return dir + "/data";
}

// The whole screen as 8-bit RGB.
struct picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    bool is(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return p[0] == r && p[1] == g && p[2] == b;
    }
};

inline bool have_screenshots() {
    return shell("command -v xwd >/dev/null && command -v convert >/dev/null") == 0;
}

namespace detail {
// The next number of a PPM header, past blanks and "#" comments; -1 at its end.
inline int ppm_number(FILE* in) {
    int c = std::fgetc(in);
    while (c == '#' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
        if (c == '#')
            while (c != '\n' && c != EOF) c = std::fgetc(in);
        c = std::fgetc(in);
    }
    int n = -1;
    for (; c >= '0' && c <= '9'; c = std::fgetc(in)) n = (n < 0 ? 0 : n * 10) + (c - '0');
    return n; // the one blank after the last number is taken too
}
} // namespace detail

// Empty when the screen cannot be read.
inline picture screenshot() {
    picture pic;
    FILE* in = popen("xwd -root 2>/dev/null | convert xwd:- ppm:- 2>/dev/null", "r");
    if (!in) return pic;
    if (std::fgetc(in) == 'P' && std::fgetc(in) == '6') {
        pic.width = detail::ppm_number(in);
        pic.height = detail::ppm_number(in);
        const int maxval = detail::ppm_number(in);
        if (pic.width > 0 && pic.height > 0 && maxval == 255) {
            pic.rgb.resize(static_cast<std::size_t>(pic.width) * pic.height * 3);
            if (std::fread(pic.rgb.data(), 1, pic.rgb.size(), in) != pic.rgb.size())
                pic = picture{};
        } else {
            pic = picture{};
        }
    }
    pclose(in);
    return pic;
}

} // namespace tmod::test
