#include "patchfile/patch_writer.hpp"

#include <cstdio>

#include "engine/generator.hpp"
#include "util/atomic_file.hpp"
#include "util/messages.hpp"
#include "util/text_format.hpp"

namespace tmod {

std::vector<placed_module> modules_in_list_order(const GENERATOR& g) {
    std::vector<placed_module> placed;
    for (int k = 0; k < module_kind_count; ++k) {
        const module_kind kind = static_cast<module_kind>(k);
        for (std::size_t i = 0; i < g.count(kind); ++i) placed.push_back({g.at(kind, i), kind});
    }
    return placed;
}

namespace {

// The name of the placed module whose output field the slot refers to,
// searched from the end of the list; null (with the message) when none.
template <class Field, class Out>
const char* source_name(const std::vector<placed_module>& placed, const Field* field, Out out) {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        auto fn = type_of(it->kind).*out;
        if (fn && fn(*it->module) == field) return it->module->name;
    }
    say("Return get_name_by_OBJET(NULL)\n");
    return nullptr;
}

void write_link_record(std::string& out, const placed_module& pm,
                       const std::vector<placed_module>& placed) {
    const module_type& type = type_of(pm.kind);
    OUTPUT& m = *pm.module;
    appendf(out, "%s;", m.name);
    for (const slot_desc& slot : type.slots) {
        if (!(slot.flags & slot_saved)) continue;
        switch (slot.kind) {
        case slot_kind::signal:
            if (const sample_value* v = slot.signal(m)->source())
                if (const char* name = source_name(placed, v, &module_type::signal_out)) {
                    appendf(out, "%s=%s;", slot.key, name);
                    if (pm.kind == module_kind::VCO && std::string_view(slot.key) == "IN")
                        say("Named[%s]\n", name);
                }
            break;
        case slot_kind::gate:
        case slot_kind::sync:
            if (const flag_value* v = slot.flag(m)->source()) {
                const auto out_fn =
                    slot.kind == slot_kind::gate ? &module_type::gate_out : &module_type::sync_out;
                if (const char* name = source_name(placed, v, out_fn))
                    appendf(out, "%s=%s;", slot.key, name);
            }
            break;
        case slot_kind::channel: {
            const int count = slot.channel_count(m);
            for (int i = 0; i < count && i < slot.channel_max; ++i)
                if (const sample_value* v = slot.channel(m, i)->source())
                    if (const char* name = source_name(placed, v, &module_type::signal_out))
                        appendf(out, "%s=%s;", slot.key, name);
            break;
        }
        }
    }
    out += '\n';
}

// "NAME;KEY=VALUE;...;" from the parameters' places and formats; a record
// with no parameter has one empty field.
void write_object_record(const module_type& type, OUTPUT& m, std::string& out) {
    if (type.write_record) return type.write_record(m, out);
    out += m.name;
    out += ';';
    int rank = 0;
    for (const param_desc* p; (p = param_of_rank(type, rank)) != nullptr; ++rank) {
        out += p->key;
        out += '=';
        if (p->get)
            append_number(out, p->file_format, p->get(m, 0) * p->scale);
        else
            appendf(out, p->file_format, p->text(m));
        out += ';';
    }
    if (rank == 0) out += ';';
    out += '\n';
}

} // namespace

std::string patch_text(GENERATOR& g, const std::vector<placed_module>& placed) {
    std::string out = "BEGIN_OBJECTS_DECLARE\n\n";
    for (int k = 0; k < module_kind_count; ++k) {
        const module_kind kind = static_cast<module_kind>(k);
        for (std::size_t i = 0; i < g.count(kind); ++i)
            write_object_record(type_of(kind), *g.at(kind, i), out);
    }
    out += "END_OBJECTS_DECLARE\n\n";
    out += "BEGIN_LINKS_DECLARE\n";
    for (const placed_module& pm : placed)
        if (type_of(pm.kind).link_record) write_link_record(out, pm, placed);
    out += "END_LINKS_DECLARE\n";
    out += "BEGIN_OBJECTS_POSITION_DECLARE\n\n";
    int index = 0;
    for (const placed_module& pm : placed)
        appendf(out, "%d;%d;%d\n", index++, saturating_int(pm.x), saturating_int(pm.y));
    out += "END_OBJECTS_POSITION_DECLARE\n\n";
    return out;
}

bool save_patch(GENERATOR& g, const std::vector<placed_module>& placed, const char* path,
                std::string* error) {
    const std::string text = patch_text(g, placed);
    return write_file_atomically(path, text.data(), text.size(), error);
}

} // namespace tmod
