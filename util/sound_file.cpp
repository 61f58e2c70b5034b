#include "util/sound_file.hpp"

#include <cstdio>
#include <sndfile.h>
#include <vector>

#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace tmod {

void tracked_buffer_deleter::operator()(std::int16_t* p) const {
    tracked_free_array(p);
}

bool load_sound_file(const char* file_name, decoded_sound& out) {
    SF_INFO info{};
    SNDFILE* f = is_regular_file(file_name) ? sf_open(file_name, SFM_READ, &info) : nullptr;
    if (!f) {
        std::printf("Oula FSOUND_Sample_Load de [%s] retourn 0\n", file_name);
        return false;
    }
    if (info.frames < 1 || info.channels < 1) {
        sf_close(f);
        std::printf("Oula FSOUND_Sample_GetLength de [%s] retourn 0 comme taille\n", file_name);
        return false;
    }
    // Play positions are 32-bit floats counted in values: keep the sample
    // within what they address exactly (2^24 values, over three minutes).
    const sf_count_t max_frames = (1 << 24) / 2;
    const sf_count_t frames = info.frames < max_frames ? info.frames : max_frames;
    const int kept = info.channels > 2 ? 2 : info.channels;
    std::vector<short> all(static_cast<std::size_t>(frames) *
                           static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_short(f, all.data(), frames);
    sf_close(f);
    if (got < 1) {
        std::printf("Probleme de Lock du sample [%s] \n", file_name);
        return false;
    }
    const std::size_t values = static_cast<std::size_t>(got) * static_cast<std::size_t>(kept);
    out.data.reset(static_cast<std::int16_t*>(
        tracked_alloc_array(values * sizeof(std::int16_t), __FILE__, __LINE__)));
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i)
        for (int c = 0; c < kept; ++c) out.data[i * kept + c] = all[i * info.channels + c];
    out.frames = static_cast<int>(got);
    out.channels = kept;
    out.rate = info.samplerate;
    return true;
}

} // namespace tmod
