// Files the program writes by a fixed name in its data directory, and what
// remote clients can make it write: links planted under those names are not
// followed, a flood of long lines leaves the log and the output small, and a
// full log stops growing with one line saying so.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "remote/output_bounds.hpp"
#include "support/harness.hpp"
#include "support/remote_client.hpp"
#include "util/no_follow_file.hpp"

namespace {

using namespace std::string_literals;
using namespace tmod;
using namespace tmod::test;

constexpr long long log_limit = 16LL << 20; // as the README states
const std::string full_line = "Log full (16 MiB): later lines are not written.\r\n";

std::string data_dir(const std::string& name) {
    const std::string dir = scratch_dir(name);
    write_text(dir + "/key.tsy", tsy("KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\nSOUND_OUTPUT_1;;\n",
                                     "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\n"));
    return dir;
}

// Headless on the nosound output with the remote control on a free port.
struct program : child {
    static inline int runs = 0;
    int port;
    program(const std::string& dir, std::vector<std::string> extra = {}, int p = free_port())
        : child(args(dir, p, extra), dir + "/out" + std::to_string(++runs) + ".txt"), port(p) {}
    static std::vector<std::string> args(const std::string& dir, int port,
                                         std::vector<std::string> extra) {
        std::vector<std::string> a = {
            TM_PROGRAM, "--headless", "--audio",       "nosound",
            "--data",   dir,          "--remote-port", std::to_string(port)};
        a.insert(a.end(), extra.begin(), extra.end());
        a.push_back(dir + "/key.tsy");
        return a;
    }
};

long long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The last bytes of a file too big to read whole.
std::string tail_of(const std::string& path, long long bytes) {
    const int fd = open(path.c_str(), O_RDONLY);
    std::string t(static_cast<std::size_t>(bytes), '\0');
    const ssize_t n = pread(fd, t.data(), t.size(), file_size(path) - bytes);
    close(fd);
    t.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return t;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(NoFollowFiles, LinksFifosAndSecondNamesAreRefused) {
    const std::string dir = scratch_dir();
    write_text(dir + "/victim.txt", "keep");
    ASSERT_EQ(symlink("victim.txt", (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.txt", (dir + "/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0); // no reader: must not block
    ASSERT_EQ(link((dir + "/victim.txt").c_str(), (dir + "/hard").c_str()), 0);
    const std::pair<const char*, const char*> refused[] = {{"link", "it is a symbolic link"},
                                                           {"dangling", "it is a symbolic link"},
                                                           {"fifo", "it is not a regular file"},
                                                           {"hard", "it has other hard links"}};
    for (const auto& [name, reason] : refused)
        for (write_mode mode : {write_mode::truncate, write_mode::append}) {
            SCOPED_TRACE(name);
            std::string why;
            EXPECT_EQ(open_no_follow((dir + "/" + name).c_str(), mode, why), -1);
            EXPECT_EQ(why, reason);
        }
    EXPECT_EQ(read_text(dir + "/victim.txt"), "keep");
    EXPECT_NE(access((dir + "/nowhere.txt").c_str(), F_OK), 0);
}

TEST(RemoteOutput, LongLinesAreCutAndEachConnectionShowsAHundredLinesASecond) {
    EXPECT_EQ(shown_line(std::string(256, 'a')), std::string(256, 'a'));
    EXPECT_EQ(shown_line(std::string(300, 'a')), std::string(256, 'a') + "...(cut, 300 bytes)");
    using v = output_budget::verdict;
    output_budget budget;
    const auto t0 = output_budget::clock::now();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(budget.take(t0 + std::chrono::milliseconds(i)), v::show);
    EXPECT_EQ(budget.take(t0 + std::chrono::milliseconds(500)), v::notice);
    EXPECT_EQ(budget.take(t0 + std::chrono::milliseconds(600)), v::quiet);
    EXPECT_EQ(budget.take(t0 + std::chrono::milliseconds(999)), v::quiet);
    EXPECT_EQ(budget.take(t0 + std::chrono::milliseconds(1000)), v::show); // a new second
}

TEST(HostileLogs, LinksUnderTheLogNamesAreNotWrittenThrough) {
    const std::string dir = data_dir("HostileLinkedLogs");
    write_text(dir + "/victim.txt", "precious");
    ASSERT_EQ(symlink("victim.txt", (dir + "/MEMLEAKS.log").c_str()), 0);
    ASSERT_EQ(symlink("created.txt", (dir + "/log_standard.log").c_str()), 0);
    const auto untouched = [&] {
        EXPECT_EQ(read_text(dir + "/victim.txt"), "precious");
        EXPECT_NE(access((dir + "/created.txt").c_str(), F_OK), 0);
    };
    // Failing runs: a bad option, a device that does not exist.
    EXPECT_EQ(run_program("--data " + dir + " --no-such-option"), 2);
    untouched();
    EXPECT_EQ(
        run_program("--headless --data " + dir + " --audio nosound --driver 7 " + dir + "/key.tsy",
                    dir + "/failed.txt"),
        2);
    untouched();
    EXPECT_NE(
        read_text(dir + "/failed.txt").find("MEMLEAKS.log is not written: it is a symbolic link"),
        std::string::npos);

    // A whole run with remote lines plays on and says each refusal once.
    program p(dir);
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    tcp_client c(p.port);
    for (int n = 60; n < 63; ++n) {
        ASSERT_TRUE(c.send("TRIG " + std::to_string(n) + "\r\n"));
        ASSERT_TRUE(p.wait_for("TRIG [" + std::to_string(n - 38) + "] on generator")) << p.output();
    }
    EXPECT_EQ(p.stop(), 0);
    untouched();
    const std::string out = p.output();
    EXPECT_EQ(count(out, "log_standard.log is not written: it is a symbolic link\n"), 1u) << out;
    EXPECT_EQ(count(out, "MEMLEAKS.log is not written: it is a symbolic link\n"), 1u) << out;
}

TEST(HostileLogs, AFloodOfLongLinesLeavesTheLogAndTheOutputSmall) {
    const std::string dir = data_dir("HostileFlood");
    const int lines = 200;
    const std::size_t most_per_line = 400; // 256 bytes shown, the marker, the framing
    {
        program p(dir);
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        tcp_client c(p.port);
        const std::string line = std::string(50000, 'X') + "\r\n";
        for (int i = 0; i < lines; ++i) ASSERT_TRUE(c.send(line)) << i;
        ASSERT_TRUE(c.send("FINISH\r\n"));
        EXPECT_EQ(c.receive(), ""); // the program closes after FINISH
        EXPECT_EQ(p.stop(), 0);
    }
    const std::string log = read_text(dir + "/log_standard.log");
    EXPECT_LT(log.size(), (lines + 2) * most_per_line);
    std::size_t cut = 0;
    const std::regex entry(
        R"(traite_client_ordres2::Order Received \[X{256}\.\.\.\(cut, \d+ bytes\)\]\.\r)");
    for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const std::string one = log.substr(at, end - at);
        ASSERT_LE(one.size(), most_per_line);
        cut += std::regex_match(one, entry);
    }
    EXPECT_GT(cut, 0u) << log.substr(0, 2000);

    // The console connection prints each order; it still answers every line.
    program p(dir, {"--remote-console"});
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    tcp_client c(p.port);
    const std::string prompt = "\r\nCommand>\0"s;
    const std::string hello =
        "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit\0"s;
    ASSERT_EQ(c.receive(hello.size() + prompt.size()), hello + prompt);
    const int orders = 30;
    for (int i = 0; i < orders; ++i) {
        ASSERT_TRUE(c.send(std::string(50000, 'Y') + "\r\n"));
        ASSERT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt) << i;
    }
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive(), "1\r\n\0"s);
    ASSERT_TRUE(p.wait_for("ORDER:[FINISH] : ")) << p.output();
    EXPECT_EQ(p.stop(), 0);
    const std::string out = p.output();
    EXPECT_EQ(count(out, "ORDER:[" + std::string(256, 'Y') + "...(cut, 50000 bytes)] : "),
              std::size_t(orders));
    EXPECT_LT(out.size(), orders * most_per_line + 4096);
}

TEST(HostileLogs, AFullLogStopsGrowingWithOneLineSayingSo) {
    const std::string dir = data_dir("HostileFullLog");
    const std::string log = dir + "/log_standard.log";
    // Nearly full, without writing 16 MiB: a sparse file.
    write_text(log, "");
    ASSERT_EQ(truncate(log.c_str(), log_limit - 200), 0);
    program p(dir);
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    {
        tcp_client c(p.port);
        for (int n = 60; n < 66; ++n) {
            ASSERT_TRUE(c.send("TRIG " + std::to_string(n) + "\r\n"));
            ASSERT_TRUE(p.wait_for("TRIG [" + std::to_string(n - 38) + "] on generator"));
        }
        ASSERT_TRUE(c.send("FINISH\r\n"));
        EXPECT_EQ(c.receive(), "");
    }
    EXPECT_LE(file_size(log), log_limit);
    const std::string tail = tail_of(log, 200);
    EXPECT_EQ(tail.substr(tail.size() - full_line.size()), full_line);
    EXPECT_EQ(count(tail, full_line), 1u);
    // What got in before the limit is the start line and the first orders, in order.
    const std::string written = tail.substr(tail.find_first_not_of('\0'));
    EXPECT_EQ(written.rfind("INIT_T_MODULAR done.\r\n"
                            "traite_client_ordres2::Order Received [TRIG 60].\r\n",
                            0),
              0u)
        << written;
    EXPECT_EQ(count(p.output(), "log_standard.log reached its limit of 16 MiB"), 1u) << p.output();

    // Moved away, the log starts again.
    ASSERT_EQ(rename(log.c_str(), (log + ".old").c_str()), 0);
    tcp_client c(p.port);
    ASSERT_TRUE(c.send("TRIG 70\r\n"));
    ASSERT_TRUE(p.wait_for("TRIG [32] on generator"));
    EXPECT_EQ(read_text(log), "traite_client_ordres2::Order Received [TRIG 70].\r\n");
    EXPECT_EQ(p.stop(), 0);
}
