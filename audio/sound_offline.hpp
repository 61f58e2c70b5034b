// The offline backend: no device and no clock; the render loop pulls blocks
// through the callback as fast as it can. Its one recording device is a sound
// file (--input), fed into the recording buffer in step with the output, so
// the pump's capture and MICRO behave as they do live.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_system.hpp"

typedef struct sf_private_tag SNDFILE;

namespace tmod {

class offline_backend : public sound_backend {
  public:
    // input_path: the recorded input, or empty for none.
    explicit offline_backend(std::string input_path = std::string());
    ~offline_backend() override;

    // Opens and checks the input file (44 100 Hz, readable); false with a message.
    bool open_file(std::string& error);

    int driver_count() override { return 1; }
    std::string driver_name(int) override { return "Render to file"; }
    int record_driver_count() override { return input_ ? 1 : 0; }
    std::string record_driver_name(int) override { return path_; }

    int open_output(sound_system& owner, int driver, int block_frames, stream_info& info) override;
    int start_output() override { return sound_ok; }
    void close_output() override {}
    int open_input(int driver, record_buffer& buffer) override;
    void close_input() override { record_ = nullptr; }

    // Feeds `frames` input frames to the recording (silence after the file's
    // end), then computes `frames` frames through the callback into `stereo`.
    void pull(std::int16_t* stereo, int frames);

  private:
    std::string path_;
    SNDFILE* input_ = nullptr;
    int channels_ = 0;
    sound_system* owner_ = nullptr;
    record_buffer* record_ = nullptr;
    std::vector<short> file_frames_;
    std::vector<std::int16_t> stereo_;
};

} // namespace tmod
