// Helpers shared by the suites: sources to wire into slots, a tick runner,
// meters, scratch directories, captured output, the program in a child
// process, sound files and waits on a condition.
#pragma once

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "engine/generator.hpp"
#include "engine/signal.hpp"
#include "patchfile/patch_reader.hpp"

namespace tmod::test {

// A source whose value, gate and pulse the test sets by hand.
struct hand_source : OUTPUT, OUTPUT_GATE, OUTPUT_SYNC {
    hand_source() : OUTPUT(name_storage) {}
    void set(float v) { value = v; }
    module_name name_storage = {};
};

// Appends a new module of the kind to the container, named.
template <class T>
T* add_named(GENERATOR& g, module_kind kind, const char* name) {
    auto* m = static_cast<T*>(g.add_module(create_module(kind)));
    m->set_name(name);
    return m;
}

// Ticks the module n times and returns its value after each tick.
std::vector<float> run(OUTPUT& module, int n);

// Frequency from the number of rising zero crossings (linear interpolation
// between samples), over the whole signal.
double crossing_frequency(const std::vector<float>& signal, double rate = 44100.0);
double rms(const std::vector<float>& signal, std::size_t from = 0);
float peak(const std::vector<float>& signal, std::size_t from = 0);

// "Suite.Test" of the running test.
std::string test_name();
// A fresh empty directory under the build tree (named after the running test
// by default).
std::string scratch_dir(const std::string& name = test_name());

// A test that runs inside its scratch directory, with the PARTITIONS/ folder
// sequencers save their patterns to (paths relative to the working directory).
class in_scratch_dir : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

  private:
    std::string previous_;
};
void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);

// The text of tests/data/golden/<name>: what a long output must be, exactly.
std::string golden(const std::string& name);

// Polls `done` (more and more slowly) until it holds; false once `limit` has
// passed. The limit only turns a hang into a failure: nothing is timed.
bool wait_until(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::minutes(1));

// What a call prints on standard output.
template <class F>
std::string stdout_of(F&& f) {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// A shell command's exit status (-1 when a signal ended it).
int shell(const std::string& command);
// The program with these arguments, its output into `log`; its exit status.
int run_program(const std::string& args, const std::string& log = "/dev/null");

// A child process with its output in a file; stopped (SIGTERM, SIGKILL a
// minute later) when it goes out of scope.
class child {
  public:
    child(const std::vector<std::string>& argv, const std::string& log,
          const std::string& input = "/dev/null");
    ~child() { stop(); }
    child(const child&) = delete;
    child& operator=(const child&) = delete;
    // True once the output holds `text`; false when the child ended without it.
    bool wait_for(const std::string& text);
    bool running() { return !ended(); }
    // Signals the child and returns its exit status (-1 when killed).
    int stop(int sig = 15);
    std::string output() const { return read_text(log_); }

  private:
    bool ended();
    std::string log_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// A sound file: its format and its samples, interleaved, as -1..1.
struct sound {
    int rate = 0, channels = 0, format = 0;
    long frames = 0;
    std::vector<float> samples;
    // One channel from frame `from` on (up to `to`), as -1..1 or as 16-bit values.
    std::vector<float> channel(int c, std::size_t from = 0, std::size_t to = SIZE_MAX) const;
    std::vector<int> pcm16(int c) const;
};
sound read_sound(const std::string& path);
// A 16-bit stereo WAV recording still being written (under its temporary
// name until the program stops; its header gives no length yet): the frames it holds so far, and their left channel from `from`.
long recorded_frames(const std::string& path);
std::vector<int> recorded_left(const std::string& path, long from = 0);
bool write_wav(const std::string& path, int rate, int channels, const std::vector<short>& samples);

// A patch file's text: the object records, then the link records if any.
std::string tsy(const std::string& objects, const std::string& links = "");
// Loads a patch file into the container; what the reader printed goes to
// `printed` when given.
load_status load_file(GENERATOR& g, const std::string& path, std::string* printed = nullptr);

// A VCO sine's frequency: its cycle is the first whole number of steps of
// f / 44100 that passes 2, and it makes two periods in it.
double vco_sine_frequency(double f);

} // namespace tmod::test
