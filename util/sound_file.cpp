#include "util/sound_file.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <samplerate.h>
#include <vector>

#include <cstdio>
#include <sndfile.h>
#include <vector>

#include "util/alloc_tracker.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

void tracked_buffer_deleter::operator()(std::int16_t* p) const {
    tracked_free_array(p);
}

bool load_sound_file(const char* file_name, decoded_sound& out) {
    SF_INFO info{};
    SNDFILE* f = is_regular_file(file_name) ? sf_open(file_name, SFM_READ, &info) : nullptr;
    if (!f) {
        say("Oula FSOUND_Sample_Load de [%s] retourn 0\n", escaped_controls(file_name).c_str());
        return false;
    }
    if (info.frames < 1 || info.channels < 1) {
        sf_close(f);
        say("Oula FSOUND_Sample_GetLength de [%s] retourn 0 comme taille\n",
            escaped_controls(file_name).c_str());
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
        say("Probleme de Lock du sample [%s] \n", escaped_controls(file_name).c_str());
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

// The header libsndfile writes for our layouts is under 100 bytes (a float
// file adds fact and PEAK chunks); the allowance leaves room to spare.
constexpr long long wav_header_allowance = 4096;
// The RIFF size counts everything after its own 8 bytes in 32 bits.
constexpr long long wav_size_limit = 0xFFFFFFFFLL;

wav_container container_for_length(long long frames, int bytes_per_frame) {
    if (bytes_per_frame < 1) bytes_per_frame = 1;
    const long long most = (wav_size_limit - wav_header_allowance) / bytes_per_frame;
    return frames <= most ? wav_container::wav : wav_container::rf64;
}

struct sndfile_handle {
    SNDFILE* file = nullptr;
    ~sndfile_handle() {
        if (file) sf_close(file);
    }
};

sound_writer::sound_writer() = default;

sound_writer::~sound_writer() {
    file_.reset();
}

bool sound_writer::open(const std::string& path, int channels, bool float_samples,
                        wav_container container, std::string& error) {
    file_.reset();
    temporary_.abandon();
    path_ = path;
    channels_ = channels;
    written_ = 0;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = (container == wav_container::wav ? SF_FORMAT_WAV : SF_FORMAT_RF64) |
                  (float_samples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);

    std::string target = path;
    struct stat st;
    direct_ = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    if (direct_ && S_ISDIR(st.st_mode)) {
        error = "cannot write " + path + ": it is a directory";
        return false;
    }
    if (!direct_ && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Through a link the file it names is replaced, not the link.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    auto handle = std::make_unique<sndfile_handle>();
    if (direct_) {
        handle->file = sf_open(path.c_str(), SFM_WRITE, &info);
    } else {
        std::string why;
        if (!temporary_.open(target.c_str(), &why)) {
            error = "cannot write " + path + ": " + why;
            return false;
        }
        handle->file = sf_open_fd(temporary_.fd(), SFM_WRITE, &info, SF_FALSE);
    }
    if (!handle->file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        temporary_.abandon();
        return false;
    }
    if (container == wav_container::rf64_or_wav &&
        sf_command(handle->file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE) != SF_TRUE) {
        error = "cannot write " + path + ": this libsndfile cannot switch RF64 to WAV";
        handle.reset();
        temporary_.abandon();
        return false;
    }
    file_ = std::move(handle);
    return true;
}

bool sound_writer::wrote(long long done, long long count, std::string& error) {
    if (done > 0) written_ += done;
    if (done == count) return true;
    error = "cannot write " + path_ + ": " + sf_strerror(file_->file);
    return false;
}

bool sound_writer::write(const std::int16_t* frames, long long count, std::string& error) {
    if (!file_) return wrote(0, count, error);
    return wrote(sf_writef_short(file_->file, frames, count), count, error);
}

bool sound_writer::write(const float* values, long long count, std::string& error) {
    if (!file_) return wrote(0, count, error);
    return wrote(sf_writef_float(file_->file, values, count), count, error);
}

bool sound_writer::finish(std::string& error) {
    if (!file_) {
        error = "cannot write " + path_ + ": the file is not open";
        return false;
    }
    const int closed = sf_close(file_->file);
    file_->file = nullptr;
    file_.reset();
    if (closed != 0) {
        error = "cannot write " + path_ + ": " + sf_error_number(closed);
        temporary_.abandon();
        return false;
    }
    if (direct_) return true;
    // libsndfile does not report every failed header update: read the file
    // back before it replaces anything.
    SF_INFO info{};
    SNDFILE* check = sf_open(temporary_.temporary().c_str(), SFM_READ, &info);
    const bool whole = check && info.frames == written_ && info.channels == channels_;
    if (check) sf_close(check);
    if (!whole) {
        error = "cannot write " + path_ + ": the file did not read back whole";
        temporary_.abandon();
        return false;
    }
    std::string why;
    if (!temporary_.commit(&why)) {
        error = "cannot write " + path_ + ": " + why;
        return false;
    }
    return true;
}

std::int16_t float_to_sample(float x) {
    const float v = std::nearbyint(x * 32768.0f);
    if (!(v == v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    return static_cast<std::int16_t>(v);
}

bool convert_to_rate(const char* file_name, decoded_sound& sound, int sample_rate, int max_frames) {
    if (sound.rate == sample_rate || !sound.data || sound.frames < 1) return true;
    const double ratio = sound.rate > 0 ? static_cast<double>(sample_rate) / sound.rate : 0.0;
    const int channels = sound.channels;
    int error = 0;
    const auto refuse = [&] {
        say("SAMPLER: [%s] at %d Hz cannot be converted to %d Hz\n",
            escaped_controls(file_name).c_str(), sound.rate, sample_rate);
        return false;
    };
    SRC_STATE* state =
        src_is_valid_ratio(ratio) ? src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error) : nullptr;
    if (!state) return refuse();
    const double wanted = std::ceil(sound.frames * ratio);
    const long room = wanted < max_frames ? static_cast<long>(wanted) : max_frames;
    sample_buffer out(static_cast<std::int16_t*>(tracked_alloc_array(
        static_cast<std::size_t>(room) * channels * sizeof(std::int16_t), __FILE__, __LINE__)));

    // In chunks, so a long sample never needs a float copy of the whole.
    constexpr long chunk = 16384;
    std::vector<float> in_f(static_cast<std::size_t>(chunk) * channels);
    std::vector<float> out_f(static_cast<std::size_t>(chunk) * channels);
    const std::int16_t* from = sound.data.get();
    long left = sound.frames, done = 0, held = 0; // held: frames in in_f not yet used
    const float* next = in_f.data();
    while (done < room) {
        if (held == 0 && left > 0) {
            held = left < chunk ? left : chunk;
            for (long i = 0; i < held * channels; ++i)
                in_f[static_cast<std::size_t>(i)] = sample_to_float(from[i]);
            from += held * channels;
            left -= held;
            next = in_f.data();
        }
        SRC_DATA d{};
        d.data_in = next;
        d.input_frames = held;
        d.data_out = out_f.data();
        d.output_frames = room - done < chunk ? room - done : chunk;
        d.end_of_input = left == 0;
        d.src_ratio = ratio;
        if ((error = src_process(state, &d)) != 0) break;
        for (long i = 0; i < d.output_frames_gen * channels; ++i)
            out[static_cast<std::size_t>(done * channels + i)] =
                float_to_sample(out_f[static_cast<std::size_t>(i)]);
        done += d.output_frames_gen;
        next += d.input_frames_used * channels;
        held -= d.input_frames_used;
        if (d.input_frames_used == 0 && d.output_frames_gen == 0) break; // drained
    }
    src_delete(state);
    if (error != 0 || done < 1) return refuse();
    sound.data = std::move(out);
    sound.frames = static_cast<int>(done);
    return true;
}

} // namespace tmod
