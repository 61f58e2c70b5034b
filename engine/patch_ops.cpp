#include "engine/patch_ops.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {

// Serialises the editing threads among themselves (never taken by the audio
// thread). Taken after the patch lock when both are needed.
std::mutex& edit_mutex() {
    static std::mutex m;
    return m;
}

// Parameter changes for the audio thread: one producer at a time (under the
// edit mutex), one consumer at a time (the callback holding the patch lock
// shared, or a thread holding it exclusively).
struct pending_edit {
    void (*set)(OUTPUT&, int, double);
    OUTPUT* module;
    int index;
    double value;
};
constexpr unsigned queue_size = 256; // a knob turned fast queues a few per buffer
pending_edit queue[queue_size];
std::atomic<unsigned> queue_head{0}; // next free entry (producers)
std::atomic<unsigned> queue_tail{0}; // next entry to apply (consumer)
bool pump_drains = false;            // under the edit mutex

bool queue_full() {
    return queue_head.load(std::memory_order_relaxed) -
               queue_tail.load(std::memory_order_acquire) >=
           queue_size;
}

void push(const param_desc& d, OUTPUT& m, int index, double value) {
    const unsigned h = queue_head.load(std::memory_order_relaxed);
    queue[h % queue_size] = {d.set, &m, index, value};
    queue_head.store(h + 1, std::memory_order_release);
}

// Applied at once, under the exclusive patch lock (taken before the edit mutex).
void set_now(const param_desc& d, OUTPUT& m, int index, double value) {
    patch_edit edit(patch_mutex());
    std::lock_guard<std::mutex> lock(edit_mutex());
    apply_pending_edits(); // the earlier changes first
    d.set(m, index, value);
}

// Disconnects every slot of the container and the containers inside it that
// refers to one of the fields.
void unplug(GENERATOR& g, const sample_value* value, const flag_value* gate,
            const flag_value* pulse) {
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& type = type_of(k);
        for (std::size_t i = 0; i < g.count(type.kind); ++i) {
            OUTPUT& m = *g.at(type.kind, i);
            for (const slot_desc& slot : type.slots) {
                switch (slot.kind) {
                case slot_kind::signal:
                    if (value && slot.signal(m)->source() == value) slot.signal(m)->disconnect();
                    break;
                case slot_kind::gate:
                case slot_kind::sync: {
                    gate_slot* s = slot.flag(m);
                    const flag_value* src = s->source();
                    if (src && (src == gate || src == pulse)) s->disconnect();
                    break;
                }
                case slot_kind::channel:
                    for (int c = 0; c < slot.channel_max; ++c)
                        if (value && slot.channel(m, c)->source() == value)
                            slot.channel(m, c)->disconnect();
                    break;
                }
            }
            // A nested patch's input port holds a copy of the container's slots.
            if (type.kind == module_kind::GENERATOR)
                unplug(static_cast<GENERATOR&>(m), value, gate, pulse);
        }
    }
}

} // namespace

OUTPUT* add_module(GENERATOR& g, module_kind kind, std::string_view name, std::size_t at) {
    module_ptr m = create_module(kind);
    if (!m) return nullptr;
    m->set_name(name);
    return g.add_module(std::move(m), at);
}

bool remove_module(GENERATOR& g, OUTPUT* module) {
    module_ptr taken(nullptr, module_deleter{module_kind::AFFICHAGE});
    {
        patch_edit edit(patch_mutex());
        std::lock_guard<std::mutex> lock(edit_mutex());
        const module_type* type = g.type_of_module(module);
        if (!type) return false;
        unplug(g, type->signal_out ? type->signal_out(*module) : nullptr,
               type->gate_out ? type->gate_out(*module) : nullptr,
               type->sync_out ? type->sync_out(*module) : nullptr);
        apply_pending_edits(); // none may name it once it is gone
        taken = g.take_module(module);
    }
    // Freed with the lock released: the next tick walks the lists without it.
    taken.reset();
    return true;
}

edit_result connect(OUTPUT& target, const slot_desc& slot, module_ref source, int channel) {
    edit_result r;
    auto refuse = [&](const char* what) {
        r.ok = false;
        appendf(r.message, "Cannot connect %s of [%s] to [%s]: %s", slot.key, target.name,
                source.module ? source.module->name : "", what);
        return r;
    };
    const bool has_source = source.module && source.type;
    std::lock_guard<std::mutex> lock(edit_mutex());
    switch (slot.kind) {
    case slot_kind::signal:
        if (!has_source || !source.type->signal_out) return refuse("it has no output");
        slot.signal(target)->connect(source.type->signal_out(*source.module));
        break;
    case slot_kind::gate:
        if (!has_source || !source.type->gate_out) return refuse("it has no gate output");
        slot.flag(target)->connect(source.type->gate_out(*source.module));
        break;
    case slot_kind::sync:
        if (!has_source || !source.type->sync_out) return refuse("it has no sync output");
        slot.flag(target)->connect(source.type->sync_out(*source.module));
        break;
    case slot_kind::channel: {
        const sample_value* v = has_source && source.type->signal_out
                                    ? source.type->signal_out(*source.module)
                                    : nullptr;
        if (!slot.add_channel(target, v, channel)) {
            r.ok = false;
            appendf(r.message, "[%s]: no more than %d channels, [%s] not connected",
                    target.name, slot.channel_max, source.module ? source.module->name : "");
            return r;
        }
        break;
    }
    }
    return r;
}

void disconnect(OUTPUT& target, const slot_desc& slot, int channel) {
    std::lock_guard<std::mutex> lock(edit_mutex());
    switch (slot.kind) {
    case slot_kind::signal:
        slot.signal(target)->disconnect();
        break;
    case slot_kind::gate:
    case slot_kind::sync:
        slot.flag(target)->disconnect();
        break;
    case slot_kind::channel:
        if (channel >= 0 && channel < slot.channel_max) slot.channel(target, channel)->disconnect();
        break;
    }
}

void set_param(OUTPUT& m, const param_desc& d, int index, double value) {
    if (!d.set || index < 0 || index >= d.count) return;
    if (!d.audio_thread) return d.set(m, index, value); // one word
    if (patch_mutex().held_here()) {
        // No tick runs while this thread holds the patch.
        std::lock_guard<std::mutex> lock(edit_mutex());
        apply_pending_edits();
        return d.set(m, index, value);
    }
    // A full queue waits for the callback to drain it; a callback that has
    // stopped rendering (a load in progress) will not, so it is not waited for long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(edit_mutex());
            if (!pump_drains) break;
            if (!queue_full()) return push(d, m, index, value);
        }
        if (!audio_enabled || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    set_now(d, m, index, value);
}

void apply_pending_edits() {
    unsigned t = queue_tail.load(std::memory_order_relaxed);
    const unsigned h = queue_head.load(std::memory_order_acquire);
    for (; t != h; ++t) {
        const pending_edit& e = queue[t % queue_size];
        e.set(*e.module, e.index, e.value);
    }
    queue_tail.store(t, std::memory_order_release);
}

void set_audio_drains_edits(bool draining) {
    if (draining) {
        std::lock_guard<std::mutex> lock(edit_mutex());
        pump_drains = true;
        return;
    }
    patch_edit edit(patch_mutex());
    std::lock_guard<std::mutex> lock(edit_mutex());
    pump_drains = false;
    apply_pending_edits();
}

} // namespace tmod
