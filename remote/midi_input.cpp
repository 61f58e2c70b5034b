#include "remote/midi_input.hpp"

#include <algorithm>
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
#include "engine/midi_map.hpp"
#include "engine/param_edits.hpp"
#include "modules/keyboard.hpp"
#include "modules/sequencer.hpp"
#include "remote/midi_control.hpp"
#include "remote/midi_decoder.hpp"
#include "remote/midi_learn.hpp"
#include "remote/midi_notes.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
constexpr const char* client_name = "tmodular_midi";
// How often the worker looks whether the open ports still exist.
constexpr auto watch_period = std::chrono::seconds(1);

using clock = std::chrono::steady_clock;
// A mapped controller changes its control at most this often, as often as a
// panel shows it; the last value always lands.
constexpr auto mapped_rate = std::chrono::milliseconds(50);

const char* api_name(bool jack) {
    return jack ? "JACK" : "ALSA";
}

// One producer (RtMidi's thread), one consumer (the worker); a message that
// does not fit whole is dropped whole, so the stream stays in step. Each
// message is kept with its time (RtMidi's, in seconds), which the clock needs.
class byte_ring {
  public:
    bool write(double seconds, const unsigned char* p, std::size_t n) {
        if (n > 0xFFFF) return false;
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (header + n > size - (head - tail)) return false;
        unsigned char h[header];
        std::memcpy(h, &seconds, sizeof seconds);
        h[8] = static_cast<unsigned char>(n & 0xFF);
        h[9] = static_cast<unsigned char>(n >> 8);
        for (std::size_t i = 0; i < header; ++i) bytes_[(head + i) & (size - 1)] = h[i];
        for (std::size_t i = 0; i < n; ++i) bytes_[(head + header + i) & (size - 1)] = p[i];
        head_.store(head + header + n, std::memory_order_release);
        return true;
    }
    // Calls f(seconds, byte) for every byte written so far.
    template <class F>
    void drain(F&& f) {
        const std::size_t head = head_.load(std::memory_order_acquire);
        std::size_t tail = tail_.load(std::memory_order_relaxed);
        while (tail != head) {
            unsigned char h[header];
            for (std::size_t i = 0; i < header; ++i) h[i] = bytes_[(tail + i) & (size - 1)];
            double seconds = 0.0;
            std::memcpy(&seconds, h, sizeof seconds);
            const std::size_t n = h[8] | static_cast<std::size_t>(h[9]) << 8;
            tail += header;
            for (std::size_t i = 0; i < n; ++i) f(seconds, bytes_[(tail + i) & (size - 1)]);
            tail += n;
        }
        tail_.store(tail, std::memory_order_release);
    }

  private:
    static constexpr std::size_t header = 10; // the time, then the length
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
        double seconds = 0.0; // RtMidi's time of the last message (its thread)
        clock_tempo clock;
        sem_t* wake = nullptr;
        bool gone = false;
        std::string error;
        explicit port(int channel) : decoder(channel) {}
    };

    // A mapping of a level, with its own soft takeover and the value that
    // waits for its turn (the rate the panels can show).
    struct live_mapping {
        midi_mapping m;
        soft_takeover takeover;
        int waiting = -1; // controller value not applied yet
        clock::time_point due{};
    };
    struct level_mappings {
        GENERATOR* level;
        std::uint64_t version;
        std::vector<live_mapping> mappings;
    };
    // A multi-word change that could not be queued: set under the exclusive lock.
    struct deferred {
        GENERATOR* level;
        std::string module;
        const param_desc* desc;
        double value;
    };

    const relaxed<GENERATOR*>* table;
    midi_settings settings;
    std::vector<std::unique_ptr<port>> ports;
    std::unique_ptr<RtMidiIn> watcher; // lists the ports for the worker
    std::string watcher_error;
    mono_notes notes;
    output_budget budget; // the note lines, shared by every port
    transport moving;
    int learn_key = -1, learn_channel = 0;   // a key played while learning
    const GENERATOR* told_stopped = nullptr; // the root last told the transport stands
    std::uint64_t told_version = 0;
    std::vector<level_mappings> levels;
    std::vector<deferred> later;
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

    static void on_message(double delta, std::vector<unsigned char>* message, void* user) {
        port* p = static_cast<port*>(user);
        if (!message || message->empty()) return;
        p->seconds += delta;
        p->ring.write(p->seconds, message->data(), message->size());
        sem_post(p->wake);
    }

    // ---- under a shared hold of the patch lock ---------------------------------

    // The mappings of every level of the patch, resolved again where they changed.
    void refresh_levels(GENERATOR& root) {
        std::vector<level_mappings> now;
        for_each_level(root, [&](GENERATOR& g) {
            const std::uint64_t v = g.midi.version();
            for (level_mappings& old : levels)
                if (old.level == &g && old.version == v) {
                    now.push_back(std::move(old));
                    return;
                }
            level_mappings fresh{&g, v, {}};
            for (midi_mapping& m : g.midi.list())
                fresh.mappings.push_back({std::move(m), {}, -1, {}});
            now.push_back(std::move(fresh));
        });
        levels = std::move(now);
    }

    void set_mapped(GENERATOR& level, live_mapping& lm, int value) {
        const mapped_control c = resolve(level, lm.m.module, lm.m.key);
        if (!c.desc) return;
        const double before = c.desc->get(*c.module, 0);
        const double wanted = controller_value(*c.desc, value, lm.m.inverted);
        if (!try_set_param(*c.module, *c.desc, 0, wanted))
            later.push_back({&level, lm.m.module, c.desc, wanted});
        lm.takeover.set(before, wanted);
    }

    // Velocity and pressure land at once; a controller that has its control
    // (soft takeover, on every message) waits for its turn.
    void drive(midi_source source, int channel, int number, int value) {
        for (level_mappings& l : levels)
            for (live_mapping& lm : l.mappings) {
                if (lm.m.source != source || lm.m.channel != channel) continue;
                if (source != midi_source::control) {
                    set_mapped(*l.level, lm, value);
                    continue;
                }
                if (lm.m.controller != number) continue;
                const mapped_control c = resolve(*l.level, lm.m.module, lm.m.key);
                if (c.desc && lm.takeover.follow(c.desc->get(*c.module, 0),
                                                 controller_value(*c.desc, value, lm.m.inverted)))
                    lm.waiting = value;
            }
    }

    // Applies the controller values whose turn has come; the time of the
    // next turn (max when nothing waits).
    clock::time_point flush(clock::time_point now) {
        clock::time_point next = clock::time_point::max();
        for (level_mappings& l : levels)
            for (live_mapping& lm : l.mappings) {
                if (lm.waiting < 0) continue;
                if (now < lm.due) {
                    next = std::min(next, lm.due);
                    continue;
                }
                set_mapped(*l.level, lm, lm.waiting);
                // A knob turned is an edit; velocity and pressure are playing.
                midi_learn().count_change();
                lm.waiting = -1;
                lm.due = now + mapped_rate;
            }
        return next;
    }

    // The next source message binds the control armed in the editor.
    bool learn(GENERATOR& root, midi_source source, int channel, int number) {
        learn_target t;
        if (!midi_learn().take(t)) return false;
        GENERATOR* level = nullptr;
        for_each_level(root, [&](GENERATOR& g) {
            if (&g == t.level) level = &g;
        });
        if (!level || !resolve(*level, t.module, t.key).desc) {
            midi_learn().tell("MIDI learn: " + escaped_controls(t.module) + " " +
                              escaped_controls(t.key) + " is gone");
            return true;
        }
        level->midi.add({source, number, channel, t.module, t.key, t.inverted});
        midi_learn().count_change();
        const std::string what = source == midi_source::velocity   ? "velocity"
                                 : source == midi_source::pressure ? "pressure"
                                                                   : "CC " + std::to_string(number);
        midi_learn().tell(escaped_controls(t.module) + " " + escaped_controls(t.key) + " <- " +
                          what + " channel " + std::to_string(channel) +
                          (t.inverted ? " (inverted)" : ""));
        return true;
    }

    void tell_sequencers(GENERATOR& root, const transport_order& o) {
        if (o.kind == transport_order::none) return;
        const int order = o.kind == transport_order::stop     ? SEQUENCER::stop_order
                          : o.kind == transport_order::resume ? SEQUENCER::resume_order
                                                              : o.sixteenth;
        for_each_level(root, [&](GENERATOR& g) {
            for (std::size_t i = 0; i < g.count(module_kind::SEQUENCER); ++i) {
                OUTPUT& s = *g.at(module_kind::SEQUENCER, i);
                if (!try_set_param(s, sequencer_transport, 0, order))
                    later.push_back({&g, s.name, &sequencer_transport, double(order)});
            }
        });
    }

    void on_event(GENERATOR& root, port& p, double seconds, const midi_event& e) {
        switch (e.kind) {
        case midi_kind::note_on:
            // While learning, a key played binds its velocity when released,
            // unless pressing it harder bound the pressure first.
            if (midi_learn().armed()) learn_key = e.data1, learn_channel = e.channel;
            drive(midi_source::velocity, e.channel, 0, e.data2);
            return play(root, notes.on_event(e));
        case midi_kind::note_off:
            if (e.data1 == learn_key && e.channel == learn_channel) {
                learn_key = -1;
                learn(root, midi_source::velocity, e.channel, 0);
            }
            return play(root, notes.on_event(e));
        case midi_kind::control:
            if (e.data1 < learnable_controllers &&
                learn(root, midi_source::control, e.channel, e.data1))
                return;
            drive(midi_source::control, e.channel, e.data1, e.data2);
            return play(root, notes.on_event(e));
        case midi_kind::pressure:
            // Some keyboards send 0 on every release: not a press to learn.
            if (e.data1 > 0 && learn(root, midi_source::pressure, e.channel, 0)) {
                learn_key = -1;
                return;
            }
            return drive(midi_source::pressure, e.channel, 0, e.data1);
        case midi_kind::pitch_bend:
            if (settings.bend_semitones > 0.0)
                if (KEYBOARD* k = played_keyboard(root, keyboard_player::remote))
                    set_param(*k, keyboard_bend, 0, bend_ratio(e.data1, settings.bend_semitones));
            return;
        case midi_kind::clock:
            if (settings.clock) {
                const int bpm = p.clock.pulse(seconds);
                if (bpm > 0 && bpm != tempo_bpm.load()) tempo_bpm = bpm;
            }
            return;
        case midi_kind::start:
            if (settings.clock) tell_sequencers(root, moving.start());
            return;
        case midi_kind::stop:
            if (settings.clock) tell_sequencers(root, moving.stop());
            return;
        case midi_kind::resume:
            if (settings.clock) tell_sequencers(root, moving.resume());
            return;
        case midi_kind::song_position:
            if (settings.clock) tell_sequencers(root, moving.position(e.data1));
            return;
        }
    }

    void play(GENERATOR& root, const note_action& a) {
        if (a.kind == note_action::none) return;
        if (KEYBOARD* k = played_keyboard(root, keyboard_player::remote))
            play_note_action(*k, a, budget, output_budget::clock::now());
    }

    // With the clock, a patch opens standing until Start.
    void keep_standing(GENERATOR& root) {
        if (!settings.clock || moving.running()) return;
        const std::uint64_t v = root.midi.version();
        if (told_stopped == &root && told_version == v) return;
        told_stopped = &root, told_version = v;
        tell_sequencers(root, {transport_order::stop, 0});
    }

    // ---- the worker ----------------------------------------------------------------

    // Reads what the ports received and applies it; the time of the next
    // controller turn.
    clock::time_point take_input() {
        clock::time_point next = clock::time_point::max();
        {
            // The container must not be replaced while it is driven; a shared
            // hold never keeps the audio thread from rendering.
            patch_read lock(patch_mutex());
            GENERATOR* root = table[0];
            if (root) {
                refresh_levels(*root);
                keep_standing(*root);
            }
            for (auto& p : ports)
                p->ring.drain([&](double seconds, unsigned char b) {
                    midi_event e{};
                    if (p->decoder.push(b, e) && root) on_event(*root, *p, seconds, e);
                });
            if (root) next = flush(clock::now());
        }
        if (!later.empty()) apply_later();
        return next;
    }

    // Multi-word changes the queue could not take, under the exclusive lock
    // (no pump drains, or the queue is full): the level must still be there.
    void apply_later() {
        patch_edit edit(patch_mutex());
        GENERATOR* root = table[0];
        for (const deferred& d : later) {
            bool there = false;
            if (root) for_each_level(*root, [&](GENERATOR& g) { there = there || &g == d.level; });
            if (!there) continue;
            if (OUTPUT* m = d.level->find_any(d.module)) set_param(*m, *d.desc, 0, d.value);
        }
        later.clear();
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
            say("MIDI: the %s port \"%s\" is gone; playing on without it\n",
                api_name(settings.jack), escaped_controls(p->name).c_str());
            patch_read lock(patch_mutex());
            if (table[0]) play(*table[0], notes.all_off());
        }
    }

    void run() {
        auto next_watch = clock::now() + watch_period;
        clock::time_point next_turn = clock::time_point::max();
        while (!stop) {
            // Wake for input, for a controller's next turn, or to watch the ports.
            const auto now = clock::now();
            auto wait = std::chrono::milliseconds(200);
            if (next_turn != clock::time_point::max())
                wait =
                    std::max(std::chrono::milliseconds(1),
                             std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                next_turn - now)));
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += static_cast<long>(wait.count()) * 1000 * 1000;
            while (until.tv_nsec >= 1000000000L) {
                until.tv_sec += 1;
                until.tv_nsec -= 1000000000L;
            }
            while (sem_timedwait(&wake, &until) != 0 && errno == EINTR) {
            }
            next_turn = take_input();
            if (clock::now() >= next_watch) {
                next_watch = clock::now() + watch_period;
                watch();
            }
        }
    }
};

midi_input::midi_input(const relaxed<GENERATOR*>* table) : impl_(std::make_unique<impl>(table)) {}

midi_input::~midi_input() = default;

const char* midi_input::backend() const {
    return api_name(impl_->settings.jack);
}

std::vector<std::string> midi_input::port_names() const {
    std::vector<std::string> names;
    for (const auto& p : impl_->ports) names.push_back(escaped_controls(p->name));
    return names;
}

bool midi_input::open(const midi_settings& s, std::string& error) {
    impl& m = *impl_;
    m.settings = s;
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
            // The clock and the transport are timing messages RtMidi drops by default.
            p->in->ignoreTypes(true, false, true);
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
