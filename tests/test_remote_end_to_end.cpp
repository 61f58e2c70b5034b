// The remote control of the real program: `tmodular --headless --audio
// nosound --record OUT.wav` played by TCP clients on the loopback, heard in
// the recorded file; the console connection's bytes; hostile clients; the
// listening address; the leak report of a whole run.
//
// Waits are generous and nothing is timed: pauses only separate the sections
// of a recording, and its analysis finds the sections by their shape.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/harness.hpp"
#include "test_remote_client.hpp"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using tmod::test::read_text;
using tmod::test::tcp_client;
using tmod::test::wait_until;

// The program in a child process, its output in a file; stopped (SIGTERM,
// then SIGKILL) when it goes out of scope.
class program {
  public:
    program(const std::string& dir, const std::vector<std::string>& args)
        : out_(dir + "/out" + std::to_string(++runs_) + ".txt") {
        std::vector<std::string> argv = {TM_PROGRAM, "--headless", "--audio",
                                         "nosound",  "--data",     dir};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = fork();
        if (pid_ == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char*> a;
            for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
            a.push_back(nullptr);
            execv(a[0], a.data());
            _exit(127);
        }
    }
    ~program() { stop(); }
    program(const program&) = delete;
    program& operator=(const program&) = delete;

    std::string output() const { return read_text(out_); }
    // True once the output holds `text` (false if the program ended first).
    bool wait_for(const std::string& text, std::size_t occurrences = 1) {
        return wait_until([&] {
                   const std::string o = output();
                   std::size_t n = 0;
                   for (std::size_t at = o.find(text); at != std::string::npos;
                        at = o.find(text, at + 1))
                       ++n;
                   return n >= occurrences || ended();
               }) &&
               count(text) >= occurrences;
    }
    std::size_t count(const std::string& text) const {
        const std::string o = output();
        std::size_t n = 0;
        for (std::size_t at = o.find(text); at != std::string::npos; at = o.find(text, at + 1)) ++n;
        return n;
    }
    bool running() { return !ended(); }

    // SIGTERM and the exit status (-1 when it had to be killed or crashed).
    int stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!wait_until([&] { return ended(); })) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                pid_ = -1;
                status_ = -1;
            }
        }
        return status_;
    }

  private:
    bool ended() {
        if (pid_ <= 0) return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) != pid_) return false;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        pid_ = -1;
        return true;
    }
    static inline int runs_ = 0; // each run writes an output file of its own
    std::string out_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// A port nothing listens on right now.
int free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

const char* const key_patch =
    "BEGIN_OBJECTS_DECLARE\nKEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\nSOUND_OUTPUT_1;;\n"
    "END_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\nVCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\n"
    "END_LINKS_DECLARE\n";

// The sampler plays a ramp while KEY_1's gate is open, restarts it on KEY_1's
// sync pulse, and runs through it at KEY_1's frequency / 440 samples a frame.
const char* const ramp_patch =
    "BEGIN_OBJECTS_DECLARE\nKEY_1;OCTAVE=4;\nSAMPLER_1;FILE=sounds/ramp.wav;\n"
    "SOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\n"
    "SAMPLER_1;IN=KEY_1;GATE=KEY_1;SYNC=KEY_1;\nSOUND_OUTPUT_1;IN=SAMPLER_1;\n"
    "END_LINKS_DECLARE\n";
constexpr int ramp_frames = 1 << 19;
constexpr int ramp_divider = 16; // sample i holds i / 16

std::string data_dir(const std::string& name) {
    const std::string dir = tmod::test::scratch_dir(name);
    mkdir((dir + "/TSY").c_str(), 0755);
    mkdir((dir + "/sounds").c_str(), 0755);
    tmod::test::write_text(dir + "/key.tsy", key_patch);
    tmod::test::write_text(dir + "/ramp.tsy", ramp_patch);
    // A new sampler reads the default sample before its FILE.
    const std::string guitar = read_text(std::string(TM_SOURCE_DATA_DIR) + "/sounds/guitare.wav");
    tmod::test::write_text(dir + "/sounds/guitare.wav", guitar);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((dir + "/sounds/ramp.wav").c_str(), SFM_WRITE, &info);
    std::vector<short> ramp(ramp_frames);
    for (int i = 0; i < ramp_frames; ++i) ramp[i] = static_cast<short>(i / ramp_divider);
    sf_writef_short(f, ramp.data(), ramp_frames);
    sf_close(f);
    return dir;
}

std::vector<int> recorded_left(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<short> all(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(f, all.data(), info.frames);
    sf_close(f);
    std::vector<int> left;
    for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(info.channels))
        left.push_back(all[i]);
    return left;
}

// Recorded units per frame of the ramp played at KEY_1's note n (octave 4):
// the sampler steps f / 440 samples a frame, a sample is worth 1 / 16 of a
// 16-bit step, and the pump writes a value of 1 as 32767 / 2.5.
double ramp_slope(int note) {
    const double f = 8.1757989 * std::pow(2.0, (note + 48 + 11) / 12.0);
    return f / 440.0 / ramp_divider / 32768.0 * 32767.0 / 2.5;
}

double slope(const std::vector<int>& x, std::size_t from, std::size_t to) {
    return double(x[to] - x[from]) / double(to - from);
}

bool leak_free(const std::string& dir, const program& p) {
    return read_text(dir + "/MEMLEAKS.log") == "Doesn't seem to leak, u work right!!! :)\n" &&
           p.output().find("For a total of") == std::string::npos;
}

} // namespace

TEST(RemotePlay, TrigNoteAndUntrigFromATcpClientAreHeardInTheRecording) {
    const std::string dir = data_dir("RemotePlay");
    const int port = free_port();
    program p(dir, {"--remote-port", std::to_string(port), "--record", dir + "/played.wav",
                    dir + "/ramp.tsy"});
    ASSERT_TRUE(p.wait_for("Remote control: listening on 127.0.0.1 port " + std::to_string(port)))
        << p.output();
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    std::this_thread::sleep_for(400ms); // silence first

    tcp_client c(port);
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.send("TRIG 60\r\n"));
    ASSERT_TRUE(p.wait_for("TRIG [22] on generator [0]\n[22]\n")) << p.output();
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(c.send("NOTE 62\r\n"));
    ASSERT_TRUE(p.wait_for("NOTE [24] on generator [0]\n")) << p.output();
    std::this_thread::sleep_for(600ms);
    // A second TRIG while the key is held: its sync pulse restarts the ramp.
    ASSERT_TRUE(c.send("TRIG 62\r\n"));
    ASSERT_TRUE(p.wait_for("TRIG [24] on generator [0]\n[24]\n")) << p.output();
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(c.send("UNTRIG 62\r\n"));
    ASSERT_TRUE(wait_until([&] {
        return read_text(dir + "/log_standard.log").find("[UNTRIG 62]") != std::string::npos;
    }));
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive_until_closed(), "");
    EXPECT_TRUE(c.peer_closed());
    ASSERT_EQ(p.stop(), 0) << p.output();

    EXPECT_EQ(read_text(dir + "/log_standard.log"),
              "INIT_T_MODULAR done.\r\n"
              "traite_client_ordres2::Order Received [TRIG 60].\r\n"
              "traite_client_ordres2::Order Received [NOTE 62].\r\n"
              "traite_client_ordres2::Order Received [TRIG 62].\r\n"
              "traite_client_ordres2::Order Received [UNTRIG 62].\r\n"
              "traite_client_ordres2::Order Received [FINISH].\r\n"
              "traite_client_ordres2::Client gone sending TCP Close to him.\r\n");
    EXPECT_TRUE(leak_free(dir, p)) << read_text(dir + "/MEMLEAKS.log");

    const std::vector<int> x = recorded_left(dir + "/played.wav");
    ASSERT_GT(x.size(), 44100u * 2);
    // Silence until the gate opens.
    std::size_t onset = 0;
    while (onset < x.size() && x[onset] == 0) ++onset;
    ASSERT_LT(onset, x.size());
    EXPECT_GT(onset, 4410u) << "sound before the first TRIG";
    // The ramp never falls except where the sync restarts it and where the
    // release closes the gate; after that, silence to the end.
    std::vector<std::size_t> falls;
    for (std::size_t n = onset; n + 1 < x.size(); ++n)
        if (x[n + 1] < x[n]) falls.push_back(n + 1);
    ASSERT_EQ(falls.size(), 2u) << "one restart by the second TRIG, one release";
    const std::size_t restart = falls[0], release = falls[1];
    EXPECT_LE(x[restart], 1) << "the ramp starts again from its first samples";
    EXPECT_GT(x[restart - 1], 1000);
    for (std::size_t n = release; n < x.size(); ++n) ASSERT_EQ(x[n], 0) << n;

    // The speed: note 22 (880 Hz) after the first TRIG, note 24 after NOTE,
    // still note 24 after the restart; NOTE did not restart the ramp.
    const std::size_t w = std::min<std::size_t>(6615, (restart - onset) / 4);
    const std::size_t w2 = std::min<std::size_t>(6615, (release - restart) / 3);
    ASSERT_GT(w, 1000u);
    ASSERT_GT(w2, 1000u);
    EXPECT_NEAR(slope(x, onset + 100, onset + 100 + w), ramp_slope(22), 0.01 * ramp_slope(22));
    EXPECT_NEAR(slope(x, restart - 100 - w, restart - 100), ramp_slope(24), 0.01 * ramp_slope(24));
    EXPECT_NEAR(slope(x, restart + 100, restart + 100 + w2), ramp_slope(24), 0.01 * ramp_slope(24));
}

TEST(RemotePlay, TheConsoleConnectionSendsItsExactBytes) {
    const std::string dir = data_dir("RemoteConsole");
    const int port = free_port();
    program p(dir, {"--remote-port", std::to_string(port), "--remote-console", dir + "/key.tsy"});
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    tcp_client c(port);
    ASSERT_TRUE(c.connected());
    const std::string prompt = "\r\nCommand>\0"s;
    const std::string greeting =
        "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit\0"s + prompt;
    EXPECT_EQ(c.receive(greeting.size()), greeting);
    ASSERT_TRUE(c.send("BT_TOGGLE\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    ASSERT_TRUE(c.send("PORTA=3\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive_until_closed(), "1\r\n\0"s);
    EXPECT_TRUE(c.peer_closed());
    ASSERT_TRUE(p.wait_for("ORDER:[FINISH] : ")) << p.output();
    EXPECT_EQ(p.stop(), 0);
    const std::string out = p.output();
    EXPECT_NE(out.find("THREAD\nAFT : "), std::string::npos) << out;
    EXPECT_NE(out.find("SDLNet_TCP_Accepted: 127.0.0.1:"), std::string::npos) << out;
    EXPECT_NE(out.find("ORDER:[BT_TOGGLE] : ORDER:[PORTA=3] : ORDER:[FINISH] : "),
              std::string::npos)
        << out;
    EXPECT_TRUE(leak_free(dir, p));
}

TEST(RemotePlay, HostileClientsLeaveTheProgramPlayingAndServingTheNextClient) {
    const std::string dir = data_dir("RemoteHostile");
    const int port = free_port();
    program p(dir, {"--remote-port", std::to_string(port), "--record", dir + "/played.wav",
                    dir + "/key.tsy"});
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    {
        tcp_client big(port);
        ASSERT_TRUE(big.send(std::string(1 << 20, 'N')));
        ASSERT_TRUE(big.send("\r\n"));
        ASSERT_TRUE(p.wait_for("a line longer than 100000 bytes was ignored")) << p.output();

        tcp_client garbage(port);
        std::mt19937 random(99);
        std::string bytes(256 * 1024, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xff);
        garbage.send(bytes);

        std::vector<std::unique_ptr<tcp_client>> many;
        for (int i = 0; i < 50; ++i) many.push_back(std::make_unique<tcp_client>(port));
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(many[i]->connected()) << i;
            many[i]->send("TRIG " + std::to_string(40 + i) + "\r\n");
        }
        for (int i = 0; i < 50; i += 2) many[i]->reset(); // abrupt
        for (int i = 1; i < 50; i += 2) many[i]->send("FINISH\r\n");
        for (int i = 1; i < 50; i += 2) many[i]->receive_until_closed();
        tcp_client silent(port);
        silent.reset();
    }
    tcp_client next(port);
    ASSERT_TRUE(next.send("TRIG 99\r\n"));
    EXPECT_TRUE(p.wait_for("TRIG [61] on generator [0]\n")) << p.output();
    // Still playing: the recording keeps growing.
    struct stat before {
    }, after{};
    stat((dir + "/played.wav").c_str(), &before);
    EXPECT_TRUE(wait_until([&] {
        stat((dir + "/played.wav").c_str(), &after);
        return after.st_size > before.st_size + 4 * 4410;
    }));
    EXPECT_TRUE(p.running());
    EXPECT_EQ(p.stop(), 0) << p.output();
    EXPECT_NE(p.output().find("Stopped after"), std::string::npos);
    EXPECT_TRUE(leak_free(dir, p)) << read_text(dir + "/MEMLEAKS.log");
}

TEST(RemotePlay, TheServerListensOnlyWhereItIsToldAndAPortInUseIsNotFatal) {
    const std::string dir = data_dir("RemoteAddress");
    {
        // By default only 127.0.0.1 answers, not another loopback address.
        const int port = free_port();
        program p(dir, {"--remote-port", std::to_string(port), dir + "/key.tsy"});
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        EXPECT_FALSE(tcp_client(port, "127.0.0.2").connected());
        tcp_client c(port, "127.0.0.1");
        EXPECT_TRUE(c.connected());
        c.send("TRIG 60\r\n");
        EXPECT_TRUE(p.wait_for("TRIG [22] on generator [0]")) << p.output();
        EXPECT_EQ(p.stop(), 0);
    }
    {
        const int port = free_port();
        program p(dir, {"--remote-port", std::to_string(port), "--remote-host", "127.0.0.2",
                        dir + "/key.tsy"});
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        EXPECT_NE(p.output().find("listening on 127.0.0.2 port " + std::to_string(port)),
                  std::string::npos);
        EXPECT_FALSE(tcp_client(port, "127.0.0.1").connected());
        tcp_client c(port, "127.0.0.2");
        EXPECT_TRUE(c.connected());
        c.send("TRIG 61\r\n");
        EXPECT_TRUE(p.wait_for("TRIG [23] on generator [0]")) << p.output();
        EXPECT_EQ(p.stop(), 0);
    }
    {
        // Someone else holds the port: the program says so and plays on.
        const int port = free_port();
        const int holder = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(listen(holder, 1), 0);
        program p(dir, {"--remote-port", std::to_string(port), dir + "/key.tsy"});
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        EXPECT_NE(p.output().find("Remote control: cannot listen on 127.0.0.1 port " +
                                  std::to_string(port)),
                  std::string::npos)
            << p.output();
        EXPECT_EQ(p.stop(), 0);
        close(holder);
    }
    {
        program p(dir, {"--remote-port", "0", dir + "/key.tsy"});
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        EXPECT_EQ(p.stop(), 0);
        EXPECT_EQ(p.output().find("Remote control"), std::string::npos) << p.output();
    }
}
