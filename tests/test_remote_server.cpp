// The remote-control server in this process with loopback clients: a play
// connection, the connection limit, shutdown with connections waiting, and
// containers replaced while clients play. The test thread polls as the main loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "remote/remote_server.hpp"
#include "support/harness.hpp"
#include "support/remote_client.hpp"
#include "util/alloc_tracker.hpp"

using namespace tmod;
using namespace std::chrono_literals;
using test::tcp_client;

namespace {

GENERATOR* keyboard_patch() {
    GENERATOR* g = TM_NEW(GENERATOR);
    g->add_module(create_module(module_kind::KEYBOARD))->set_name("KEY_1");
    return g;
}

struct server_fixture : testing::Test {
    std::string log_path;
    relaxed<GENERATOR*> table[1] = {nullptr};
    std::unique_ptr<remote_server> server;
    KEYBOARD* key = nullptr;

    void SetUp() override {
        fill_note_table();
        table[0] = keyboard_patch();
        key = static_cast<KEYBOARD*>(table[0].load()->find(module_kind::KEYBOARD, "KEY_1"));
        log_path = test::scratch_dir() + "/log_standard.log";
        open_server(128);
    }
    void TearDown() override {
        server.reset();
        tracked_delete(table[0].load());
    }
    void open_server(int max_connections) {
        server = std::make_unique<remote_server>(table, 1);
        remote_settings s;
        s.port = 0; // any free port
        s.log_path = log_path;
        s.max_connections = max_connections;
        std::string error;
        ASSERT_TRUE(server->open(s, error)) << error;
    }
    // Polls like the main loop until `done` holds.
    bool serve_until(const std::function<bool()>& done,
                     connection_kind kind = connection_kind::play) {
        return test::wait_until([&] { return server->poll(kind), done(); });
    }
    bool connections(int n, connection_kind kind = connection_kind::play) {
        return serve_until([&] { return server->connection_count() == n; }, kind);
    }
};

} // namespace

TEST_F(server_fixture, APlayConnectionPlaysKey1NeverRepliesAndLogsEveryLine) {
    tcp_client c(server->port());
    ASSERT_TRUE(c.send("TRIG 60\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
    EXPECT_EQ(key->note.load(), 22);
    EXPECT_EQ(key->pending.load(), 1);
    EXPECT_EQ(server->held().note[0].load(), 22);
    key->age = 7.0f;
    for (const char* piece : {"NOTE 6", "2\r", "\n"}) ASSERT_TRUE(c.send(piece));
    ASSERT_TRUE(serve_until([&] { return key->note.load() == 24; }));
    EXPECT_EQ(key->age.load(), 7.0f) << "NOTE does not retrigger";
    ASSERT_TRUE(c.send("UNTRIG 62\r\n"));
    ASSERT_TRUE(serve_until([&] { return key->gate.load() == 0; }));
    ASSERT_TRUE(c.send("FINISH\r\n"));
    EXPECT_EQ(c.receive(), "");
    ASSERT_TRUE(connections(0));
    EXPECT_EQ(test::read_text(log_path),
              "traite_client_ordres2::Order Received [TRIG 60].\r\n"
              "traite_client_ordres2::Order Received [NOTE 62].\r\n"
              "traite_client_ordres2::Order Received [UNTRIG 62].\r\n"
              "traite_client_ordres2::Order Received [FINISH].\r\n"
              "traite_client_ordres2::Client gone sending TCP Close to him.\r\n");
}

TEST_F(server_fixture, ConsoleLinesSetThePortamentoAndNeverPlayClientsBeyondTheLimitAreClosed) {
    open_server(2);
    tcp_client console(server->port());
    ASSERT_TRUE(connections(1, connection_kind::console));
    for (const char* line : {"PORTA=7\r\n", "PORTA without a value\r\n", "TRIG 60\r\n"})
        ASSERT_TRUE(console.send(line));
    ASSERT_TRUE(console.send("FINISH\r\n"));
    console.receive();
    // Closed is not yet gone: the console counts until its thread is reaped.
    ASSERT_TRUE(connections(0, connection_kind::console));
    EXPECT_EQ(server->portamento(), 7);
    EXPECT_EQ(key->gate.load(), 0);

    tcp_client a(server->port()), b(server->port());
    ASSERT_TRUE(connections(2));
    tcp_client extra(server->port());
    EXPECT_NE(test::stdout_of([&] {
                  EXPECT_TRUE(serve_until([&] { return extra.check_closed(); }));
              }).find("2 connections already"),
              std::string::npos);
    ASSERT_TRUE(b.send("TRIG 60\r\n"));
    EXPECT_TRUE(serve_until([&] { return key->gate.load() == 1; }));
}

TEST_F(server_fixture, WaitingConnectionsHoldNoLockAndStopWakesAndJoinsThem) {
    // Idle, in the middle of a line, at the console prompt: all wait for input.
    tcp_client idle(server->port()), half(server->port());
    ASSERT_TRUE(connections(2));
    ASSERT_TRUE(half.send("TRIG 6"));
    tcp_client console(server->port());
    ASSERT_TRUE(connections(3, connection_kind::console));
    EXPECT_FALSE(console.receive(10).empty());

    // A load takes the patch lock exclusively: no waiting client may delay it.
    auto load = std::async(std::launch::async, [] { patch_rebuild rebuild; });
    ASSERT_EQ(load.wait_for(60s), std::future_status::ready);

    const int port = server->port();
    bool done = false;
    test::stdout_of([&] {
        auto stopped = std::async(std::launch::async, [&] { server->stop(); });
        done = stopped.wait_for(60s) == std::future_status::ready;
    });
    ASSERT_TRUE(done) << "stop() did not return";
    EXPECT_EQ(server->connection_count(), 0);
    for (tcp_client* c : {&idle, &half, &console}) {
        c->receive();
        EXPECT_TRUE(c->closed());
    }
    EXPECT_FALSE(tcp_client(port).connected()) << "nothing listens any more";
    EXPECT_EQ(key->gate.load(), 0);
}

TEST_F(server_fixture, ContainersReplacedAndDestroyedWhileClientsPlayAreNeverDriven) {
    // Clients stream commands while the container is replaced again and again
    // as a load does it; AddressSanitizer or ThreadSanitizer would report a
    // command that reached a destroyed or changing container.
    std::vector<std::unique_ptr<tcp_client>> c;
    for (int i = 0; i < 4; ++i) c.push_back(std::make_unique<tcp_client>(server->port()));
    ASSERT_TRUE(connections(4));
    std::atomic<bool> playing{true};
    std::vector<std::thread> players;
    for (int i = 0; i < 4; ++i)
        players.emplace_back([&, i] {
            const char* commands[] = {"TRIG 60\r\n", "NOTE 62\r\n", "UNTRIG 62\r\n"};
            for (int n = i; playing && c[i]->send(commands[n % 3]); ++n)
                std::this_thread::sleep_for(1ms); // paced: every command is a log line
        });
    // Each replacement waits for another command to arrive, so that commands
    // keep landing between replacements however the threads are scheduled.
    const auto logged = [this] {
        std::error_code no_log_yet;
        return std::filesystem::file_size(log_path, no_log_yet);
    };
    bool arriving = true;
    for (int replaced = 0; replaced < 200 && arriving; ++replaced) {
        GENERATOR* old = nullptr;
        {
            patch_rebuild rebuild;
            old = table[0];
            table[0] = keyboard_patch();
        }
        {
            patch_rebuild rebuild;
            tracked_delete(old);
        }
        const auto before = logged();
        arriving = test::wait_until([&] { return logged() != before; });
    }
    playing = false;
    for (auto& p : players) p.join();
    EXPECT_TRUE(arriving) << "the clients' commands stopped arriving";
    for (auto& one : c) one->send("FINISH\r\n");
    ASSERT_TRUE(connections(0));
    EXPECT_NE(test::read_text(log_path).find("Order Received [NOTE 62]"), std::string::npos);
}
