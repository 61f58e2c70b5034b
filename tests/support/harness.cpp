#include "support/harness.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sndfile.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tmod::test {

std::vector<float> run(OUTPUT& module, int n) {
    std::vector<float> out;
    for (int i = 0; i < n; ++i) {
        module.compute();
        out.push_back(module.value);
    }
    return out;
}

double crossing_frequency(const std::vector<float>& s, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            const double t = (i - 1) + (0.0 - s[i - 1]) / (double(s[i]) - s[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / (last - first);
}

double rms(const std::vector<float>& s, std::size_t from) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = from; i < s.size(); ++i, ++n) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

float peak(const std::vector<float>& s, std::size_t from) {
    float p = 0;
    for (std::size_t i = from; i < s.size(); ++i) p = std::fmax(p, std::fabs(s[i]));
    return p;
}

std::string test_name() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_'; // parameterised tests
    return name;
}

std::string scratch_dir(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(TM_BINARY_DIR) / "test-scratch" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

std::string read_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string golden(const std::string& name) {
    const std::string path = std::string(TM_TEST_DATA_DIR) + "/golden/" + name;
    // A missing file fails the comparison and names itself.
    return std::filesystem::exists(path) ? read_text(path) : "(no golden file " + path + ")";
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::microseconds(500);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(50));
    }
    return true;
}

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run_program(const std::string& args, const std::string& log) {
    return shell(std::string(TM_PROGRAM) + " " + args + " > " + log + " 2>&1");
}

child::child(const std::vector<std::string>& argv, const std::string& log, const std::string& input)
    : log_(log) {
    write_text(log, ""); // before the child starts, so no old text is seen
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        const int in = open(input.c_str(), O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
}

bool child::wait_for(const std::string& text) {
    bool found = false;
    wait_until([&] {
        const bool gone = ended(); // before the look: the last output counts
        found = output().find(text) != std::string::npos;
        return found || gone;
    });
    return found;
}

bool child::ended() {
    int st = 0;
    if (pid_ > 0 && waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        pid_ = -1;
    }
    return pid_ <= 0;
}

int child::stop(int sig) {
    if (pid_ <= 0) return status_;
    kill(pid_, sig);
    wait_until([&] { return ended(); });
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        status_ = -1;
    }
    return status_;
}

std::vector<float> sound::channel(int c, std::size_t from, std::size_t to) const {
    std::vector<float> out;
    for (std::size_t i = from; i < static_cast<std::size_t>(frames) && i < to; ++i)
        out.push_back(samples[i * channels + c]);
    return out;
}

std::vector<int> sound::pcm16(int c) const {
    std::vector<int> out;
    for (float x : channel(c)) out.push_back(static_cast<int>(std::lrint(x * 32768.0)));
    return out;
}

sound read_sound(const std::string& path) {
    SF_INFO info{};
    sound s;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return s;
    s.rate = info.samplerate, s.channels = info.channels, s.format = info.format;
    s.frames = static_cast<long>(info.frames);
    s.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_float(f, s.samples.data(), static_cast<sf_count_t>(s.samples.size()));
    sf_close(f);
    return s;
}

namespace {
// The file of a recording: the program writes it under a temporary name
// beside the target ("played.wav.tmp.PID.XXXXXX") until it stops.
std::string recording_file(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp.";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(target.parent_path(), ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0) return e.path().string();
    return path;
}

// The samples of a WAV file being written: what follows its "data" chunk
// header, in whole stereo frames.
std::string recorded_bytes(const std::string& path) {
    const std::string bytes = read_text(recording_file(path));
    const std::size_t data = bytes.find("data", 12);
    if (data == std::string::npos || data + 8 > bytes.size()) return "";
    const std::string samples = bytes.substr(data + 8);
    return samples.substr(0, samples.size() / 4 * 4);
}
} // namespace

long recorded_frames(const std::string& path) {
    return static_cast<long>(recorded_bytes(path).size() / 4);
}

std::vector<int> recorded_left(const std::string& path, long from) {
    const std::string samples = recorded_bytes(path);
    std::vector<int> left;
    for (std::size_t at = static_cast<std::size_t>(std::max(from, 0L)) * 4;
         at + 4 <= samples.size(); at += 4) {
        const auto lo = static_cast<unsigned char>(samples[at]);
        const auto hi = static_cast<unsigned char>(samples[at + 1]);
        left.push_back(static_cast<std::int16_t>(lo | hi << 8));
    }
    return left;
}

bool write_wav(const std::string& path, int rate, int channels, const std::vector<short>& samples) {
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return true;
}

std::string tsy(const std::string& objects, const std::string& links) {
    std::string text = "BEGIN_OBJECTS_DECLARE\n" + objects + "END_OBJECTS_DECLARE\n";
    if (!links.empty()) text += "BEGIN_LINKS_DECLARE\n" + links + "END_LINKS_DECLARE\n";
    return text;
}

load_status load_file(GENERATOR& g, const std::string& path, std::string* printed) {
    load_status status = load_failed;
    const std::string out = stdout_of([&] { status = load_patch(g, path.c_str()); });
    if (printed) *printed = out;
    return status;
}

double vco_sine_frequency(double f) {
    return 2 * 44100.0 / (std::floor(2.0 / (f / 44100.0)) + 1);
}

void in_scratch_dir::SetUp() {
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(scratch_dir());
    std::filesystem::create_directory("PARTITIONS");
}

void in_scratch_dir::TearDown() {
    std::filesystem::current_path(previous_);
}

} // namespace tmod::test
