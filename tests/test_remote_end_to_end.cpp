// The real program played by TCP clients on the loopback and heard in its
// recording; the console connection's bytes; hostile clients; the listening
// address; the leak report of a whole run. Nothing is timed: the sections of
// a recording last until it has grown enough, and are found again by their shape.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <random>
#include <sys/stat.h>

#include "support/harness.hpp"
#include "support/remote_client.hpp"

namespace {

using namespace std::string_literals;
using namespace tmod::test;

// The program on the nosound output in a child process, its output in a
// file of its own.
struct program : child {
    static inline int runs = 0;
    static std::vector<std::string> argv(const std::string& dir, std::vector<std::string> args) {
        args.insert(args.begin(), {TM_PROGRAM, "--headless", "--audio", "nosound", "--data", dir});
        return args;
    }
    program(const std::string& dir, const std::vector<std::string>& args)
        : child(argv(dir, args), dir + "/out" + std::to_string(++runs) + ".txt") {}
};

// A port nothing listens on right now.
// The sampler plays a ramp while KEY_1's gate is open, restarts it on KEY_1's
// sync pulse, and steps through it by KEY_1's frequency / 440 a frame.
constexpr int ramp_frames = 1 << 19, ramp_divider = 16; // sample i holds i / 16

std::string data_dir(const std::string& name) {
    const std::string dir = scratch_dir(name);
    mkdir((dir + "/sounds").c_str(), 0755);
    write_text(dir + "/key.tsy", tsy("KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\nSOUND_OUTPUT_1;;\n",
                                     "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\n"));
    write_text(dir + "/ramp.tsy",
               tsy("KEY_1;OCTAVE=4;\nSAMPLER_1;FILE=sounds/ramp.wav;\nSOUND_OUTPUT_1;;\n",
                   "SAMPLER_1;IN=KEY_1;GATE=KEY_1;SYNC=KEY_1;\nSOUND_OUTPUT_1;IN=SAMPLER_1;\n"));
    // A new sampler reads the default sample before its FILE.
    write_text(dir + "/sounds/guitare.wav", read_text(TM_SOURCE_DATA_DIR + "/sounds/guitare.wav"s));
    std::vector<short> ramp(ramp_frames);
    for (int i = 0; i < ramp_frames; ++i) ramp[i] = static_cast<short>(i / ramp_divider);
    write_wav(dir + "/sounds/ramp.wav", 44100, 1, ramp);
    return dir;
}

// Recorded units per frame of the ramp at KEY_1's note n (octave 4): f / 440
// samples a frame, 1 / 16 of a 16-bit step each, and a value of 1 is written
// as 32767 / 2.5.
double ramp_slope(int note) {
    const double f = 8.1757989 * std::pow(2.0, (note + 48 + 11) / 12.0);
    return f / 440.0 / ramp_divider / 32768.0 * 32767.0 / 2.5;
}

double slope(const std::vector<int>& x, std::size_t from, std::size_t to) {
    return double(x[to] - x[from]) / double(to - from);
}

void expect_no_leak(const std::string& dir, program& p) {
    EXPECT_EQ(read_text(dir + "/MEMLEAKS.log"), "Doesn't seem to leak, u work right!!! :)\n");
    EXPECT_EQ(p.output().find("For a total of"), std::string::npos);
}

} // namespace

TEST(RemotePlay, TrigNoteAndUntrigFromATcpClientAreHeardInTheRecording) {
    const std::string dir = data_dir("RemotePlay");
    const int port = free_port();
    const std::string played = dir + "/played.wav";
    program p(dir, {"--remote-port", std::to_string(port), "--record", played, dir + "/ramp.tsy"});
    ASSERT_TRUE(p.wait_for("Remote control: listening on 127.0.0.1 port " + std::to_string(port)));
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // Each section of the recording lasts until it holds half a second more.
    auto play_on = [&played] {
        const long from = recorded_frames(played);
        return wait_until([&] { return recorded_frames(played) >= from + 22050; });
    };
    ASSERT_TRUE(play_on()) << "silence first";
    tcp_client c(port);
    // Each command waits for the program to log it (and show it), then plays a while.
    const char* steps[][2] = {{"TRIG 60", "TRIG [22] on generator [0]\n[22]\n"},
                              {"NOTE 62", "NOTE [24] on generator [0]\n"},
                              // held: its sync pulse restarts the ramp
                              {"TRIG 62", "TRIG [24] on generator [0]\n[24]\n"},
                              {"UNTRIG 62", ""}};
    for (auto& step : steps) {
        SCOPED_TRACE(step[0]);
        ASSERT_TRUE(c.send(step[0] + "\r\n"s));
        ASSERT_TRUE(wait_until([&] {
            return read_text(dir + "/log_standard.log").find("["s + step[0] + "]") !=
                   std::string::npos;
        }));
        ASSERT_TRUE(p.wait_for(step[1])) << p.output();
        ASSERT_TRUE(play_on());
    }
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive(), "");
    EXPECT_TRUE(c.closed());
    ASSERT_EQ(p.stop(), 0) << p.output();
    EXPECT_EQ(read_text(dir + "/log_standard.log"), golden("remote_play_log.txt"));
    expect_no_leak(dir, p);

    const std::vector<int> x = read_sound(dir + "/played.wav").pcm16(0);
    std::size_t onset = 0;
    while (onset < x.size() && x[onset] == 0) ++onset;
    ASSERT_LT(onset, x.size());
    EXPECT_GT(onset, 4410u) << "sound before the first TRIG";
    // The ramp only falls where the sync restarts it and where the release
    // closes the gate; silence follows to the end.
    std::vector<std::size_t> falls;
    for (std::size_t n = onset; n + 1 < x.size(); ++n)
        if (x[n + 1] < x[n]) falls.push_back(n + 1);
    ASSERT_EQ(falls.size(), 2u) << "NOTE must not restart, the second TRIG must";
    const std::size_t restart = falls[0], release = falls[1];
    EXPECT_LE(x[restart], 1);
    EXPECT_GT(x[restart - 1], 1000);
    for (std::size_t n = release; n < x.size(); ++n) ASSERT_EQ(x[n], 0) << n;
    // Speed: note 22 (880 Hz) at first, note 24 after NOTE and after the restart.
    const std::size_t w = std::min<std::size_t>(6615, (restart - onset) / 4);
    const std::size_t w2 = std::min<std::size_t>(6615, (release - restart) / 3);
    ASSERT_GT(std::min(w, w2), 1000u);
    const double s22 = ramp_slope(22), s24 = ramp_slope(24);
    EXPECT_NEAR(slope(x, onset + 100, onset + 100 + w), s22, 0.01 * s22);
    EXPECT_NEAR(slope(x, restart - 100 - w, restart - 100), s24, 0.01 * s24);
    EXPECT_NEAR(slope(x, restart + 100, restart + 100 + w2), s24, 0.01 * s24);
}

TEST(RemotePlay, TheConsoleConnectionSendsItsExactBytes) {
    const std::string dir = data_dir("RemoteConsole");
    const int port = free_port();
    program p(dir, {"--remote-port", std::to_string(port), "--remote-console", dir + "/key.tsy"});
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    tcp_client c(port);
    const std::string prompt = "\r\nCommand>\0"s;
    const std::string hello =
        "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit\0"s;
    EXPECT_EQ(c.receive(hello.size() + prompt.size()), hello + prompt);
    for (const char* line : {"BT_TOGGLE\r\n", "PORTA=3\r\n"}) {
        ASSERT_TRUE(c.send(line));
        EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    }
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive(), "1\r\n\0"s);
    EXPECT_TRUE(c.closed());
    ASSERT_TRUE(p.wait_for("ORDER:[FINISH] : ")) << p.output();
    EXPECT_EQ(p.stop(), 0);
    const std::string out = p.output();
    EXPECT_NE(out.find("THREAD\nAFT : "), std::string::npos) << out;
    EXPECT_NE(out.find("SDLNet_TCP_Accepted: 127.0.0.1:"), std::string::npos) << out;
    EXPECT_NE(out.find("ORDER:[BT_TOGGLE] : ORDER:[PORTA=3] : ORDER:[FINISH] : "),
              std::string::npos);
    expect_no_leak(dir, p);
}

// Escape sequences (a window title, clear screen, an 8-bit CSI) and other
// control bytes from a client reach the log and the terminal as text.
TEST(RemotePlay, ControlBytesFromAClientAreLoggedAndPrintedEscaped) {
    const std::string dir = data_dir("RemoteEscapes");
    const std::string sent = "TRIG 60 \x1b]0;owned\x07\x1b[2J\x9b[31m\tend \u00e9";
    const std::string shown = "TRIG 60 \\x1b]0;owned\\x07\\x1b[2J\\x9b[31m\\x09end \u00e9";
    const auto raw = [](const std::string& text) {
        return text.find_first_of("\x1b\x07\x9b\t") != std::string::npos;
    };
    for (bool console : {false, true}) {
        SCOPED_TRACE(console ? "console" : "play");
        const int port = free_port();
        std::vector<std::string> args = {"--remote-port", std::to_string(port), dir + "/key.tsy"};
        if (console) args.insert(args.begin(), "--remote-console");
        program p(dir, args);
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        tcp_client c(port);
        ASSERT_TRUE(c.send(sent + "\r\n"));
        // Seen before FINISH is sent, so that the two are not read as one line.
        if (console)
            EXPECT_TRUE(p.wait_for("ORDER:[" + shown + "] : ")) << p.output();
        else
            EXPECT_TRUE(p.wait_for("TRIG [22] on generator [0]\n[22]\n")) << p.output();
        ASSERT_TRUE(c.send("FINISH\r\n"));
        c.receive();
        EXPECT_EQ(p.stop(), 0);
        EXPECT_FALSE(raw(p.output()));
    }
    const std::string log = read_text(dir + "/log_standard.log");
    EXPECT_NE(log.find("Order Received [" + shown + "]."), std::string::npos) << log;
    EXPECT_FALSE(raw(log));
}

TEST(RemotePlay, HostileClientsLeaveTheProgramPlayingAndServingTheNextClient) {
    const std::string dir = data_dir("RemoteHostile");
    const int port = free_port();
    program p(dir, {"--remote-port", std::to_string(port), "--record", dir + "/played.wav",
                    dir + "/key.tsy"});
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    {
        tcp_client big(port), garbage(port);
        ASSERT_TRUE(big.send(std::string(1 << 20, 'N') + "\r\n"));
        ASSERT_TRUE(p.wait_for("a line longer than 100000 bytes was ignored")) << p.output();
        std::mt19937 random(99);
        std::string bytes(256 * 1024, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xff);
        garbage.send(bytes);
        // Fifty at once, half of them reset, half finishing politely.
        std::vector<std::unique_ptr<tcp_client>> many;
        for (int i = 0; i < 50; ++i) many.push_back(std::make_unique<tcp_client>(port));
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(many[i]->send("TRIG " + std::to_string(40 + i) + "\r\n")) << i;
            if (i % 2)
                many[i]->send("FINISH\r\n");
            else
                many[i]->reset();
        }
        for (int i = 1; i < 50; i += 2) EXPECT_EQ(many[i]->receive(), "");
        tcp_client(port).reset();
    }
    tcp_client next(port);
    ASSERT_TRUE(next.send("TRIG 99\r\n"));
    EXPECT_TRUE(p.wait_for("TRIG [61] on generator [0]\n")) << p.output();
    // Still playing: the recording keeps growing.
    const long before = recorded_frames(dir + "/played.wav");
    EXPECT_TRUE(wait_until([&] { return recorded_frames(dir + "/played.wav") > before + 4410; }));
    EXPECT_TRUE(p.running());
    EXPECT_EQ(p.stop(), 0) << p.output();
    expect_no_leak(dir, p);
}

TEST(RemotePlay, TheServerListensOnlyWhereItIsToldAndAPortInUseIsNotFatal) {
    const std::string dir = data_dir("RemoteAddress");
    // Only the address asked for answers (127.0.0.1 by default), not another
    // loopback address.
    for (const char* host : {"127.0.0.1", "127.0.0.2"}) {
        SCOPED_TRACE(host);
        const int port = free_port();
        program p(dir,
                  {"--remote-port", std::to_string(port), "--remote-host", host, dir + "/key.tsy"});
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        const bool loopback = host == "127.0.0.1"s;
        EXPECT_FALSE(tcp_client(port, loopback ? "127.0.0.2" : "127.0.0.1").connected());
        tcp_client c(port, host);
        EXPECT_TRUE(c.send("TRIG 61\r\n"));
        EXPECT_TRUE(p.wait_for("TRIG [23] on generator [0]")) << p.output();
        EXPECT_EQ(p.stop(), 0);
    }
    // Someone else holds the port: the program says so and plays on.
    const int port = free_port();
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    program p(dir, {"--remote-port", std::to_string(port), dir + "/key.tsy"});
    EXPECT_TRUE(
        p.wait_for("Remote control: cannot listen on 127.0.0.1 port " + std::to_string(port)));
    EXPECT_TRUE(p.wait_for("Playing"));
    EXPECT_EQ(p.stop(), 0);
    close(holder);
}
