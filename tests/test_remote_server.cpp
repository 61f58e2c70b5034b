// The remote-control server in this process, with real TCP clients on the
// loopback: play and console connections, hostile clients, many clients at
// once, loads and shutdown while connections run. The test thread plays the
// main loop (it polls the server); the patch is ticked only by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <random>

#include "diagnostics/alloc_tracker.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "remote/remote_server.hpp"
#include "support/harness.hpp"
#include "test_remote_client.hpp"

using namespace tmod;
using test::tcp_client;
using test::wait_until;
using namespace std::chrono_literals;

namespace {

GENERATOR* new_keyboard_patch() {
    GENERATOR* g = TM_NEW(GENERATOR);
    auto* key = static_cast<KEYBOARD*>(g->add_module(create_module(module_kind::KEYBOARD)));
    key->set_name("KEY_1");
    return g;
}

KEYBOARD* keyboard_of(GENERATOR* g) {
    return static_cast<KEYBOARD*>(g->find(module_kind::KEYBOARD, "KEY_1"));
}

struct server_fixture : testing::Test {
    std::string dir;
    relaxed<GENERATOR*> table[1] = {nullptr};
    std::unique_ptr<remote_server> server;
    KEYBOARD* key = nullptr;

    void SetUp() override {
        fill_note_table();
        dir = test::scratch_dir(testing::UnitTest::GetInstance()->current_test_info()->name());
        table[0] = new_keyboard_patch();
        key = keyboard_of(table[0]);
        server = std::make_unique<remote_server>(table, 1);
        remote_settings s;
        s.port = 0; // a free port
        s.log_path = dir + "/log_standard.log";
        std::string error;
        ASSERT_TRUE(server->open(s, error)) << error;
        ASSERT_GT(server->port(), 0);
    }
    void TearDown() override {
        server.reset();
        tracked_delete(table[0].load());
    }

    std::string log() const { return test::read_text(dir + "/log_standard.log"); }
    // Polls like the main loop until `done` holds.
    bool serve_until(const std::function<bool()>& done,
                     connection_kind kind = connection_kind::play) {
        return wait_until([&] {
            server->poll(kind);
            return done();
        });
    }
    bool all_gone() {
        return serve_until([&] { return server->connection_count() == 0; });
    }
    std::size_t count_in_log(const std::string& text) const {
        const std::string l = log();
        std::size_t n = 0;
        for (std::size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++n;
        return n;
    }
};

} // namespace

TEST_F(server_fixture, APlayConnectionTriggersRetunesAndReleasesKey1AndLogsEveryLine) {
    tcp_client c(server->port());
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.send("TRIG 60\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
    EXPECT_EQ(key->note.load(), 22);
    EXPECT_EQ(key->pending.load(), 1) << "one pulse requested";
    EXPECT_EQ(server->held().note[0].load(), 22);
    key->compute();
    key->compute();

    // NOTE, sent in two pieces with the CR LF split between them.
    key->age = 7.0f;
    ASSERT_TRUE(c.send("NOTE 6"));
    ASSERT_TRUE(c.send("2\r"));
    ASSERT_TRUE(c.send("\n"));
    ASSERT_TRUE(serve_until([&] { return key->note.load() == 24; }));
    EXPECT_EQ(key->gate.load(), 1);
    EXPECT_EQ(key->age.load(), 7.0f) << "NOTE does not retrigger";
    EXPECT_EQ(key->pending.load(), 0);

    ASSERT_TRUE(c.send("UNTRIG 62\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 0; }));
    EXPECT_EQ(server->held().note[0].load(), 0);

    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive_until_closed(), "") << "a play connection never replies";
    EXPECT_TRUE(c.peer_closed());
    ASSERT_TRUE(all_gone());
    EXPECT_EQ(log(), "traite_client_ordres2::Order Received [TRIG 60].\r\n"
                     "traite_client_ordres2::Order Received [NOTE 62].\r\n"
                     "traite_client_ordres2::Order Received [UNTRIG 62].\r\n"
                     "traite_client_ordres2::Order Received [FINISH].\r\n"
                     "traite_client_ordres2::Client gone sending TCP Close to him.\r\n");
}

TEST_F(server_fixture, FinishAnywhereInALineEndsTheConnectionAndNothingAfterItIsPlayed) {
    tcp_client c(server->port());
    ASSERT_TRUE(c.send("please FINISH now\r\n"));
    ASSERT_TRUE(serve_until([&] { return count_in_log("Client gone") == 1; }));
    c.receive_until_closed();
    EXPECT_TRUE(c.peer_closed());
    c.send("TRIG 60\r\n"); // may fail: the server has closed
    ASSERT_TRUE(all_gone());
    EXPECT_EQ(key->gate.load(), 0);
    EXPECT_EQ(count_in_log("Order Received"), 1u);
}

TEST_F(server_fixture, AConsoleConnectionGreetsPromptsAndAnswersWithZeroTerminatedStatusLines) {
    tcp_client c(server->port());
    using namespace std::string_literals;
    const std::string greeting =
        "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit\0"s;
    const std::string prompt = "\r\nCommand>\0"s;
    ASSERT_TRUE(
        serve_until([&] { return server->connection_count() == 1; }, connection_kind::console));
    EXPECT_EQ(c.receive(greeting.size() + prompt.size()), greeting + prompt);

    ASSERT_TRUE(c.send("PORTA=7\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    EXPECT_EQ(server->portamento(), 7);
    ASSERT_TRUE(c.send("BT_TOGGLE\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    ASSERT_TRUE(c.send("PORTA without a value\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    EXPECT_EQ(server->portamento(), 7) << "no '=': unchanged";
    ASSERT_TRUE(c.send("TRIG 60\r\n"));
    EXPECT_EQ(c.receive(4 + prompt.size()), "0\r\n\0"s + prompt);
    EXPECT_EQ(key->gate.load(), 0) << "a console connection does not play";

    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive_until_closed(), "1\r\n\0"s);
    EXPECT_TRUE(c.peer_closed());
    EXPECT_TRUE(all_gone());
}

TEST_F(server_fixture, HostileClientsAreSurvivedAndTheNextClientIsServed) {
    {
        // A megabyte without an end of line, then its end: the line is
        // dropped whole and the connection goes on. (A command sent right
        // after it may arrive in the same chunk as its end and be dropped
        // with it, so it is repeated until it is heard.)
        tcp_client big(server->port());
        std::string mb(1 << 20, ' ');
        for (std::size_t i = 0; i < mb.size(); ++i) mb[i] = "TRIG 6"[i % 6];
        ASSERT_TRUE(big.send(mb));
        ASSERT_TRUE(serve_until([&] { return server->connection_count() == 1; }));
        ASSERT_TRUE(big.send("\r\n"));
        int tries = 0;
        ASSERT_TRUE(serve_until([&] {
            if (tries++ % 20 == 0) big.send("TRIG 61\r\n");
            return key->gate.load() == 1;
        }));
        EXPECT_EQ(key->note.load(), 23);
        EXPECT_EQ(count_in_log("TRIG 6TRIG"), 0u) << "the long line never reached the log";
    }
    ASSERT_TRUE(all_gone());
    key->gate = 0;
    {
        // Binary garbage with zero bytes, CRs and LFs in it.
        std::mt19937 random(1234);
        tcp_client garbage(server->port());
        std::string bytes(256 * 1024, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xff);
        ASSERT_TRUE(garbage.send(bytes));
        // FINISH may share a chunk with garbage whose zero bytes hide it, so
        // it is repeated until the server closes.
        int tries = 0;
        EXPECT_TRUE(serve_until([&] {
            if (tries++ % 20 == 0) garbage.send("\r\nFINISH\r\n");
            return garbage.check_closed();
        }));
    }
    ASSERT_TRUE(all_gone());
    {
        // Abrupt ends: before a byte, in the middle of a line, with a reset.
        tcp_client a(server->port());
        tcp_client b(server->port());
        tcp_client c(server->port());
        ASSERT_TRUE(serve_until([&] { return server->connection_count() == 3; }));
        a.close();
        b.send("TRIG 6");
        b.close();
        c.send("NOTE 6");
        c.reset();
    }
    ASSERT_TRUE(all_gone());
    {
        // Lines shorter than two characters, then the end of the connection.
        tcp_client shorty(server->port());
        ASSERT_TRUE(shorty.send("\n"));
        ASSERT_TRUE(shorty.send("\r\n"));
        ASSERT_TRUE(shorty.send("x"));
        ASSERT_TRUE(serve_until([&] { return server->connection_count() == 1; }));
        shorty.close();
    }
    ASSERT_TRUE(all_gone());
    EXPECT_EQ(key->gate.load(), 0) << "no command was hidden in any of that";

    tcp_client next(server->port());
    ASSERT_TRUE(next.send("TRIG 62\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
    EXPECT_EQ(key->note.load(), 24);
}

TEST_F(server_fixture, FiftyClientsAtOnceAreAllServed) {
    constexpr int clients = 50;
    std::vector<std::unique_ptr<tcp_client>> c;
    for (int i = 0; i < clients; ++i) c.push_back(std::make_unique<tcp_client>(server->port()));
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == clients; }));
    // Every client plays a note of its own and leaves. Both lines may come
    // as one chunk (then FINISH wins), so each note is found once in the log
    // either alone or with the FINISH after it.
    for (int i = 0; i < clients; ++i)
        ASSERT_TRUE(c[i]->send("TRIG " + std::to_string(40 + i) + "\r\nFINISH\r\n"));
    for (auto& one : c) EXPECT_TRUE(serve_until([&] { return one->check_closed(); }));
    ASSERT_TRUE(all_gone());
    EXPECT_EQ(count_in_log("Client gone"), static_cast<std::size_t>(clients));
    for (int i = 0; i < clients; ++i) {
        const std::string n = std::to_string(40 + i);
        EXPECT_EQ(count_in_log("[TRIG " + n + "\r\nFINISH].") + count_in_log("[TRIG " + n + "]."),
                  1u)
            << n;
    }
}

TEST_F(server_fixture, ClientsBeyondTheLimitAreTurnedAwayAndTheOthersKeepWorking) {
    remote_settings s;
    s.port = 0;
    s.log_path = dir + "/log_standard.log";
    s.max_connections = 3;
    std::string error;
    ASSERT_TRUE(server->open(s, error)) << error;
    std::vector<std::unique_ptr<tcp_client>> c;
    for (int i = 0; i < 3; ++i) c.push_back(std::make_unique<tcp_client>(server->port()));
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == 3; }));
    tcp_client extra(server->port());
    testing::internal::CaptureStdout();
    const bool turned_away = serve_until([&] { return extra.check_closed(); });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(turned_away);
    EXPECT_NE(out.find("Remote control: 3 connections already"), std::string::npos) << out;
    ASSERT_TRUE(c[2]->send("TRIG 60\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
}

TEST_F(server_fixture, StopEndsEveryConnectionWhereverItWaitsAndJoinsIt) {
    // An idle play client, one in the middle of a line, a console client at
    // its prompt: every thread is blocked in a receive when stop() comes.
    tcp_client idle(server->port());
    tcp_client half(server->port());
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == 2; }));
    ASSERT_TRUE(half.send("TRIG 6"));
    tcp_client console(server->port());
    ASSERT_TRUE(
        serve_until([&] { return server->connection_count() == 3; }, connection_kind::console));
    EXPECT_FALSE(console.receive(10).empty());

    testing::internal::CaptureStdout();
    auto stopped = std::async(std::launch::async, [&] { server->stop(); });
    const bool done = stopped.wait_for(60s) == std::future_status::ready;
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(done) << "stop() did not return";
    EXPECT_EQ(server->connection_count(), 0);
    EXPECT_FALSE(server->is_open());
    for (tcp_client* c : {&idle, &half, &console}) {
        c->receive_until_closed();
        EXPECT_TRUE(c->peer_closed());
    }
    EXPECT_EQ(key->gate.load(), 0);
    tcp_client late(server->port());
    EXPECT_FALSE(late.connected()) << "nothing listens any more";
}

TEST_F(server_fixture, AClientInTheMiddleOfALineHoldsNoLockThatALoadOrTheAudioNeeds) {
    tcp_client half(server->port());
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == 1; }));
    ASSERT_TRUE(half.send("TRIG 6"));
    tcp_client other(server->port());
    ASSERT_TRUE(other.send("NOTE 7"));
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == 2; }));
    // Exclusive, as a load takes it; done on another thread so that a lock
    // wrongly held by a connection fails the test instead of hanging it.
    auto load = std::async(std::launch::async, [] { patch_rebuild rebuild; });
    ASSERT_EQ(load.wait_for(60s), std::future_status::ready);
    ASSERT_TRUE(half.send("0\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
    EXPECT_EQ(key->note.load(), 22);
}

TEST_F(server_fixture, ContainersReplacedAndDestroyedWhileClientsPlayAreNeverDriven) {
    // Clients stream commands while the test replaces the container again and
    // again the way a load does (exclusive lock, table slot swapped, old one
    // destroyed). Under AddressSanitizer or ThreadSanitizer any command that
    // reached a destroyed container would be reported.
    constexpr int clients = 4;
    std::atomic<bool> playing{true};
    std::vector<std::thread> players;
    std::vector<std::unique_ptr<tcp_client>> c;
    for (int i = 0; i < clients; ++i) c.push_back(std::make_unique<tcp_client>(server->port()));
    ASSERT_TRUE(serve_until([&] { return server->connection_count() == clients; }));
    for (int i = 0; i < clients; ++i)
        players.emplace_back([&, i] {
            const char* commands[] = {"TRIG 60\r\n", "NOTE 62\r\n", "UNTRIG 62\r\n", "NOTE 65\r\n"};
            for (int n = 0; playing; ++n) {
                if (!c[i]->send(commands[(n + i) % 4])) break;
                std::this_thread::sleep_for(1ms);
            }
        });
    int replaced = 0;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < end || replaced < 20) {
        GENERATOR* fresh = new_keyboard_patch();
        GENERATOR* old = nullptr;
        {
            patch_rebuild rebuild;
            old = table[0];
            table[0] = fresh;
        }
        {
            patch_rebuild rebuild;
            tracked_delete(old);
        }
        ++replaced;
        server->poll(connection_kind::play);
    }
    playing = false;
    for (auto& p : players) p.join();
    for (auto& one : c) one->send("FINISH\r\n");
    ASSERT_TRUE(all_gone());
    key = keyboard_of(table[0]);
    EXPECT_GE(replaced, 20);
    EXPECT_GT(count_in_log("Order Received"), 0u);
}
