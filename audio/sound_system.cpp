#include "audio/sound_system.hpp"

#include <cstring>

#include "util/alloc_tracker.hpp"

namespace tmod {

const char* sound_error_text(int code) {
    static const char* const texts[] = {
        "No errors",
        "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
        "This command failed because FSOUND_Init was not called",
        "Error initializing output device.",
        "The output device is already in use and cannot be reused.",
        "Playing the sound failed.",
        "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
        "Error setting cooperative level for hardware.",
        "Error creating hardware sound buffer.",
        "File not found",
        "Unknown file format",
        "Error loading file",
        "Not enough memory ",
        "The version number of this file format is not supported",
        "An invalid parameter was passed to this function",
        "Tried to use an EAX command on a non EAX enabled channel or output.",
        "Failed to allocate a new channel",
        "Recording not supported on this device",
        "Required Mediaplayer codec is not installed",
    };
    if (code < 0 || code >= static_cast<int>(sizeof texts / sizeof texts[0]))
        return "Unknown error";
    return texts[code];
}

namespace {
struct kind_names {
    output_kind kind;
    const char* word;
    const char* menu;
    const char* heading;
    const char* record_heading;
    const char* summary;
};
// ALSA's output heading reads "Alsa" while its recording heading reads "ALSA".
constexpr kind_names names[] = {
    {output_kind::alsa, "alsa", "ALSA", "Alsa", "ALSA", "FSOUND_OUTPUT_ALSA"},
    {output_kind::pulse, "pulse", "PulseAudio", "PulseAudio", "PulseAudio", "FSOUND_OUTPUT_PULSE"},
    {output_kind::jack, "jack", "JACK", "JACK", "JACK", "FSOUND_OUTPUT_JACK"},
    {output_kind::nosound, "nosound", "NoSound", "NoSound", "NoSound", "FSOUND_OUTPUT_NOSOUND"},
    {output_kind::offline, "offline", "Offline", "Offline", "Offline", "FSOUND_OUTPUT_OFFLINE"},
};
const kind_names& names_of(output_kind k) {
    for (const kind_names& n : names)
        if (n.kind == k) return n;
    return names[3];
}
} // namespace

const char* kind_word(output_kind k) {
    return names_of(k).word;
}
const char* kind_menu_name(output_kind k) {
    return names_of(k).menu;
}
const char* kind_heading(output_kind k, bool recording) {
    return recording ? names_of(k).record_heading : names_of(k).heading;
}
const char* kind_summary_name(output_kind k) {
    return names_of(k).summary;
}
bool kind_from_word(const char* word, output_kind& out) {
    for (const kind_names& n : names)
        if (n.kind != output_kind::offline && !std::strcmp(word, n.word)) {
            out = n.kind;
            return true;
        }
    return false;
}

record_buffer::record_buffer(int length_frames)
    : data_(static_cast<std::int16_t*>(tracked_alloc_array(
          2 * sizeof(std::int16_t) * static_cast<std::size_t>(length_frames), __FILE__, __LINE__))),
      length_(length_frames) {
    std::memset(data_.get(), 0, 2 * sizeof(std::int16_t) * static_cast<std::size_t>(length_frames));
}

void record_buffer::write(const std::int16_t* stereo, int frames) {
    int pos = position_.load(std::memory_order_relaxed);
    while (frames > 0) {
        const int n = frames < length_ - pos ? frames : length_ - pos;
        std::memcpy(data_.get() + 2 * static_cast<std::size_t>(pos), stereo,
                    2 * sizeof(std::int16_t) * static_cast<std::size_t>(n));
        stereo += 2 * n;
        frames -= n;
        pos = (pos + n) % length_;
    }
    position_.store(pos, std::memory_order_release);
}

int record_buffer::lock(int first, int count, record_region regions[2]) const {
    regions[0] = regions[1] = record_region{};
    if (first < 0 || first >= length_ || count <= 0) return 0;
    if (count > length_) count = length_;
    const int head = count < length_ - first ? count : length_ - first;
    regions[0] = {data_.get() + 2 * static_cast<std::size_t>(first), head};
    if (head == count) return 1;
    regions[1] = {data_.get(), count - head};
    return 2;
}

sound_system::sound_system() {
    backend_factory = [](output_kind k) -> std::unique_ptr<sound_backend> {
        if (k == output_kind::nosound) return make_nosound_backend();
        if (k == output_kind::offline) return nullptr; // made by the render job
        return make_rtaudio_backend(k);
    };
}

sound_system::~sound_system() {
    close();
}

std::vector<output_kind> sound_system::offered_kinds() {
    std::vector<output_kind> kinds;
    for (output_kind k : {output_kind::alsa, output_kind::pulse, output_kind::jack})
        if (rtaudio_has(k)) kinds.push_back(k);
    kinds.push_back(output_kind::nosound);
    return kinds;
}

bool sound_system::fail(int code) {
    error_ = code;
    return false;
}

bool sound_system::set_output(output_kind k) {
    if (initialised_) return fail(sound_already_initialised);
    std::unique_ptr<sound_backend> b = backend_factory ? backend_factory(k) : nullptr;
    if (!b) return fail(sound_init_failed);
    backend_ = std::move(b);
    kind_ = k;
    driver_ = -1;
    record_driver_ = -2;
    return true;
}

int sound_system::driver_count() {
    return backend_ ? backend_->driver_count() : 0;
}

std::string sound_system::driver_name(int i) {
    return backend_ && i >= 0 && i < driver_count() ? backend_->driver_name(i) : std::string();
}

bool sound_system::set_driver(int i) {
    if (initialised_) return fail(sound_already_initialised);
    if (!backend_ || i < 0 || i >= driver_count()) return fail(sound_invalid_parameter);
    driver_ = i;
    return true;
}

bool sound_system::init() {
    if (initialised_) return fail(sound_already_initialised);
    if (!backend_ || driver_count() == 0) return fail(sound_init_failed);
    if (driver_ < 0) driver_ = backend_->default_driver();
    if (driver_ < 0 || driver_ >= driver_count()) return fail(sound_init_failed);
    initialised_ = true;
    error_ = sound_ok;
    return true;
}

int sound_system::record_driver_count() {
    return backend_ ? backend_->record_driver_count() : 0;
}

std::string sound_system::record_driver_name(int i) {
    return backend_ && i >= 0 && i < record_driver_count() ? backend_->record_driver_name(i)
                                                           : std::string();
}

bool sound_system::set_record_driver(int i) {
    if (!initialised_) return fail(sound_not_initialised);
    if (i < -1 || i >= record_driver_count()) return fail(sound_invalid_parameter);
    record_driver_ = i;
    return true;
}

int sound_system::record_driver() {
    if (record_driver_ == -2) return backend_ ? backend_->default_record_driver() : -1;
    return record_driver_;
}

void sound_system::close() {
    stream_close();
    record_stop();
    backend_.reset();
    initialised_ = false;
    driver_ = -1;
    record_driver_ = -2;
}

bool sound_system::stream_create(stream_callback callback, void* user, int block_bytes,
                                 int requested_frames) {
    if (!initialised_) return fail(sound_not_initialised);
    if (stream_open_ || !callback || block_bytes < 4) return fail(sound_invalid_parameter);
    callback_ = callback;
    user_ = user;
    info_ = stream_info{};
    const int frames = requested_frames > 0 ? requested_frames : block_bytes / 4;
    backend_->plan_recording(record_driver());
    const int code = backend_->open_output(*this, driver_, frames, info_);
    if (code != sound_ok) return fail(code);
    stream_open_ = true;
    return true;
}

bool sound_system::stream_play() {
    if (!stream_open_) return fail(sound_play_failed);
    const int code = backend_->start_output();
    if (code != sound_ok) return fail(code);
    stream_playing_ = true;
    return true;
}

void sound_system::stream_close() {
    if (stream_open_ && backend_) backend_->close_output();
    stream_open_ = stream_playing_ = false;
}

bool sound_system::record_start(int length_frames) {
    if (!initialised_) return fail(sound_not_initialised);
    if (length_frames < 1) return fail(sound_invalid_parameter);
    const int drv = record_driver();
    if (drv < 0 || drv >= record_driver_count()) return fail(sound_record_unsupported);
    record_stop();
    record_ = std::make_unique<record_buffer>(length_frames);
    const int code = backend_->open_input(drv, *record_);
    if (code != sound_ok) {
        record_.reset();
        return fail(code);
    }
    return true;
}

void sound_system::record_stop() {
    if (record_ && backend_) backend_->close_input();
    record_.reset();
}

void sound_system::render(std::int16_t* stereo, int frames) {
    std::memset(stereo, 0, 4 * static_cast<std::size_t>(frames));
    callback_(user_, stereo, frames * 4);
    if (tap_) tap_->push(stereo, frames);
    frames_played_.fetch_add(frames, std::memory_order_relaxed);
}

} // namespace tmod
