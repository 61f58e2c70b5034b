#include "remote/connections.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/engine_log.hpp"
#include "remote/line_reader.hpp"
#include "remote/output_bounds.hpp"
#include "remote/tcp.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
line_reader::receive_fn from_socket(int fd) {
    return [fd](char* buffer, int max) { return tcp_receive(fd, buffer, max); };
}

void log_line(const connection_context& c, std::string_view text) {
    append_engine_log(c.log_path, text);
}

// Console texts go out with their terminating zero byte.
void send_text(int fd, const char* text) {
    const int length = static_cast<int>(std::strlen(text)) + 1;
    if (tcp_send(fd, text, length) < length)
        say("SDLNet_TCP_Send: %s\n", std::strerror(errno));
}

void report_too_long() {
    say("Remote control: a line longer than %d bytes was ignored\n", line_reader::capacity);
}

// Says once that the connection's lines are no longer shown this second; a
// console connection's orders share one output line, so it starts a new one.
void say_quiet(const connection_context* log_to, const char* before = "") {
    const std::string notice = output_budget::notice_text();
    say("%s%s\n", before, notice.c_str());
    if (log_to) log_line(*log_to, notice + ".\r\n");
}
} // namespace

void run_play_connection(int fd, const connection_context& c) {
    line_reader reader(from_socket(fd));
    output_budget budget;
    for (;;) {
        const line_reader::result r = reader.read();
        // A peer gone without "FINISH", or a receive error, ends the connection.
        if (r != line_reader::result::line && r != line_reader::result::too_long) break;
        const output_budget::verdict shown = budget.take();
        if (shown == output_budget::verdict::notice) say_quiet(&c);
        if (r == line_reader::result::too_long) {
            if (shown == output_budget::verdict::show) report_too_long();
            continue;
        }
        const std::string_view line = command_text(reader.text());
        if (shown == output_budget::verdict::show)
            log_line(c, "traite_client_ordres2::Order Received [" + shown_line(line) + "].\r\n");
        if (apply_play_command(line, c.table, c.table_size, *c.held,
                               shown == output_budget::verdict::show) == play_result::finish)
            break;
    }
    log_line(c, "traite_client_ordres2::Client gone sending TCP Close to him.\r\n");
    tcp_shutdown(fd);
}

void run_console_connection(int fd, const std::string& peer, const connection_context& c) {
    say("THREAD\n");
    say("AFT : %d %p \n", fd, socket_as_pointer(fd));
    say("SDLNet_TCP_Accepted: %s\n", peer.c_str());
    send_text(fd, "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit");
    line_reader reader(from_socket(fd));
    output_budget budget;
    for (bool ending = false; !ending;) {
        send_text(fd, "\r\nCommand>");
        const line_reader::result r = reader.read();
        if (r != line_reader::result::line && r != line_reader::result::too_long) break;
        const output_budget::verdict shown = budget.take();
        if (shown == output_budget::verdict::notice) say_quiet(nullptr, "\n");
        if (r == line_reader::result::too_long) {
            if (shown == output_budget::verdict::show) report_too_long();
            send_text(fd, "0\r\n");
            continue;
        }
        const std::string line(command_text(reader.text()));
        if (shown == output_budget::verdict::show)
            say("ORDER:[%s] : ", shown_line(line).c_str());
        ending = contains(line, "FINISH");
        const std::size_t porta = line.find("PORTA");
        if (porta != std::string::npos) {
            // Without an "=" after the word the setting stays as it was.
            const std::size_t equals = line.find('=', porta);
            if (equals != std::string::npos)
                *c.portamento = parse_int(std::string_view(line).substr(equals + 1));
        }
        // "BT_TOGGLE" is accepted and does nothing.
        send_text(fd, ending ? "1\r\n" : "0\r\n");
    }
    std::fflush(stdout);
    tcp_shutdown(fd);
}

} // namespace tmod
