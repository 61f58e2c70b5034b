#include "remote/midi_input.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <semaphore.h>
#include <thread>

#include <RtMidi.h>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "modules/keyboard.hpp"
#include "remote/midi_decoder.hpp"
#include "remote/midi_notes.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
constexpr const char* client_name = "tmodular_midi";
// How often the worker looks whether the open ports still exist.
constexpr auto watch_period = std::chrono::seconds(1);

const char* api_name(bool jack) {
    return jack ? "JACK" : "ALSA";
}

// One producer (RtMidi's thread), one consumer (the worker); a message that
// does not fit whole is dropped whole, so the stream stays in step.
class byte_ring {
  public:
    bool write(const unsigned char* p, std::size_t n) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (n > size - (head - tail)) return false;
        for (std::size_t i = 0; i < n; ++i) bytes_[(head + i) & (size - 1)] = p[i];
        head_.store(head + n, std::memory_order_release);
        return true;
    }
    // Calls f(byte) for everything written so far.
    template <class F>
    void drain(F&& f) {
        const std::size_t head = head_.load(std::memory_order_acquire);
        std::size_t tail = tail_.load(std::memory_order_relaxed);
        for (; tail != head; ++tail) f(bytes_[tail & (size - 1)]);
        tail_.store(tail, std::memory_order_release);
    }

  private:
    static constexpr std::size_t size = 1 << 16;
    unsigned char bytes_[size];
    std::atomic<std::size_t> head_{0}, tail_{0};
};

// Errors RtMidi reports while we ask it something (open, list) are kept here
// instead of being printed or thrown.
void keep_error(RtMidiError::Type, const std::string& text, void* user) {
    if (user) *static_cast<std::string*>(user) = text;
}

// The ports of one backend; false with `error` when the backend is not there.
bool list_ports(bool jack, std::vector<std::string>& names, std::string& error) {
    try {
        RtMidiIn in(jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA, client_name);
        in.setErrorCallback(keep_error, &error);
        const unsigned count = in.getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(in.getPortName(i));
        return error.empty() || count > 0;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

std::string list_text(bool jack) {
    std::vector<std::string> names;
    std::string error;
    std::string out = std::string("MIDI input ports (") + api_name(jack) + "):\n";
    if (!list_ports(jack, names, error)) return out + "  none (" + escaped_controls(error) + ")\n";
    if (names.empty()) return out + "  none\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        out += "  " + std::to_string(i + 1) + " - " + escaped_controls(names[i]) + "\n";
    return out;
}

// The index in `names` of a port given as its number (from 1) or part of its name.
int find_port(const std::string& spec, const std::vector<std::string>& names) {
    const bool number = !spec.empty() && spec.size() < 6 &&
                        spec.find_first_not_of("0123456789") == std::string::npos;
    if (number) {
        const int n = std::stoi(spec);
        return n >= 1 && n <= static_cast<int>(names.size()) ? n - 1 : -1;
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i].find(spec) != std::string::npos) return static_cast<int>(i);
    return -1;
}

} // namespace

std::string midi_port_list() {
    return list_text(false) + list_text(true);
}

struct midi_input::impl {
    struct port {
        std::unique_ptr<RtMidiIn> in;
        std::string name;
        midi_decoder decoder;
        byte_ring ring;
        sem_t* wake = nullptr;
        bool gone = false;
        std::string error;
        explicit port(int channel) : decoder(channel) {}
    };

    const relaxed<GENERATOR*>* table;
    bool jack = false;
    std::vector<std::unique_ptr<port>> ports;
    std::unique_ptr<RtMidiIn> watcher; // lists the ports for the worker
    std::string watcher_error;
    mono_notes notes;
    output_budget budget; // the note lines, shared by every port
    sem_t wake;
    std::atomic<bool> stop{false};
    std::thread worker;

    explicit impl(const relaxed<GENERATOR*>* t) : table(t) { sem_init(&wake, 0, 0); }
    ~impl() {
        // No callback may run once the worker and the rings are gone.
        for (auto& p : ports) {
            if (p->in) p->in->cancelCallback();
            p->in.reset();
        }
        if (worker.joinable()) {
            stop = true;
            sem_post(&wake);
            worker.join();
        }
        watcher.reset();
        sem_destroy(&wake);
    }

    static void on_message(double, std::vector<unsigned char>* message, void* user) {
        port* p = static_cast<port*>(user);
        if (!message || message->empty()) return;
        p->ring.write(message->data(), message->size());
        sem_post(p->wake);
    }

    void apply(const note_action& a) {
        if (a.kind == note_action::none) return;
        // The container must not be replaced while its keyboard is driven;
        // a shared hold never keeps the audio thread from rendering.
        patch_read lock(patch_mutex());
        KEYBOARD* k = table[0] ? played_keyboard(*table[0], keyboard_player::remote) : nullptr;
        if (k) play_note_action(*k, a, budget, output_budget::clock::now());
    }

    // A port that went away is said once; its held notes are let go.
    void watch() {
        if (!watcher) return;
        std::vector<std::string> names;
        try {
            const unsigned count = watcher->getPortCount();
            for (unsigned i = 0; i < count; ++i) names.push_back(watcher->getPortName(i));
        } catch (const std::exception&) {
            return;
        }
        for (auto& p : ports) {
            if (p->gone) continue;
            bool there = false;
            for (const std::string& n : names) there = there || n == p->name;
            if (there) continue;
            p->gone = true;
            say("MIDI: the %s port \"%s\" is gone; playing on without it\n", api_name(jack),
                escaped_controls(p->name).c_str());
            apply(notes.all_off());
        }
    }

    void run() {
        auto next_watch = std::chrono::steady_clock::now() + watch_period;
        while (!stop) {
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += 200 * 1000 * 1000;
            if (until.tv_nsec >= 1000000000L) {
                until.tv_sec += 1;
                until.tv_nsec -= 1000000000L;
            }
            while (sem_timedwait(&wake, &until) != 0 && errno == EINTR) {
            }
            for (auto& p : ports) {
                p->ring.drain([&](unsigned char b) {
                    midi_event e{};
                    if (p->decoder.push(b, e)) apply(notes.on_event(e));
                });
            }
            if (std::chrono::steady_clock::now() >= next_watch) {
                next_watch = std::chrono::steady_clock::now() + watch_period;
                watch();
            }
        }
    }
};

midi_input::midi_input(const relaxed<GENERATOR*>* table) : impl_(std::make_unique<impl>(table)) {}

midi_input::~midi_input() = default;

const char* midi_input::backend() const {
    return api_name(impl_->jack);
}

std::vector<std::string> midi_input::port_names() const {
    std::vector<std::string> names;
    for (const auto& p : impl_->ports) names.push_back(escaped_controls(p->name));
    return names;
}

bool midi_input::open(const midi_settings& s, std::string& error) {
    impl& m = *impl_;
    m.jack = s.jack;
    std::vector<std::string> names;
    std::string why;
    if (!list_ports(s.jack, names, why) || names.empty()) names.clear();
    for (const std::string& spec : s.ports) {
        const int index = find_port(spec, names);
        if (index < 0) {
            error = "--midi " + escaped_controls(spec) + ": no such MIDI input port\n" +
                    list_text(s.jack);
            m.ports.clear();
            return false;
        }
        auto p = std::make_unique<impl::port>(s.channel);
        p->name = names[static_cast<std::size_t>(index)];
        p->wake = &m.wake;
        try {
            p->in = std::make_unique<RtMidiIn>(s.jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA,
                                               client_name);
            p->in->setErrorCallback(keep_error, &p->error);
            p->in->setCallback(impl::on_message, p.get());
            p->in->openPort(static_cast<unsigned>(index),
                            "in_" + std::to_string(m.ports.size() + 1));
        } catch (const std::exception& e) {
            p->error = e.what();
        }
        if (!p->in || !p->in->isPortOpen() || !p->error.empty()) {
            error = "--midi " + escaped_controls(spec) + ": cannot open the MIDI port \"" +
                    escaped_controls(p->name) + "\"" +
                    (p->error.empty() ? "" : " (" + escaped_controls(p->error) + ")") + "\n" +
                    list_text(s.jack);
            p->in.reset();
            for (auto& q : m.ports) q->in.reset();
            m.ports.clear();
            return false;
        }
        // Later warnings come on RtMidi's thread: nothing reads them.
        p->in->setErrorCallback(keep_error, nullptr);
        m.ports.push_back(std::move(p));
    }
    if (m.ports.empty()) return true;
    try {
        m.watcher = std::make_unique<RtMidiIn>(s.jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA,
                                               client_name);
        m.watcher->setErrorCallback(keep_error, &m.watcher_error);
    } catch (const std::exception&) {
        m.watcher.reset();
    }
    m.worker = std::thread([&m] { m.run(); });
    return true;
}

} // namespace tmod
