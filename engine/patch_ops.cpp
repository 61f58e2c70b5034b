#include "engine/patch_ops.hpp"

#include <mutex>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/param_edits.hpp"
#include "util/text_format.hpp"

namespace tmod {

namespace {

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

} // namespace tmod
