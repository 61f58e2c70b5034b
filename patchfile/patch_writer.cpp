#include "patchfile/patch_writer.hpp"

#include <cstdio>

#include "engine/generator.hpp"
#include "util/atomic_file.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
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

// "NAME;KEY=VALUE;...;" from the parameters' places and formats (a record
// with no parameter has one empty field), then the kept fields.
void write_object_record(const module_type& type, OUTPUT& m, std::string& out) {
    if (type.write_record) {
        type.write_record(m, out);
    } else {
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
    }
    for (const auto& table : {type.params, type.panel_params})
        for (const param_desc& d : table)
            if (d.kept_key && user_state(d)) append_kept_field(out, d, m);
    out += '\n';
}

template <class F>
void for_each_module(GENERATOR& g, F f) {
    for (int k = 0; k < module_kind_count; ++k) {
        const module_kind kind = static_cast<module_kind>(k);
        for (std::size_t i = 0; i < g.count(kind); ++i) f(type_of(kind), *g.at(kind, i));
    }
}

std::string quoted(const char* text) {
    return "\"" + escaped_controls(text) + "\"";
}

// Brings the files the modules write themselves up to date (see save_patch).
bool save_own_files(GENERATOR& g, std::string& error, std::vector<std::string>* written) {
    struct own {
        OUTPUT* module;
        const param_desc* file;
        bool up_to_date;
    };
    std::vector<own> owners;
    for_each_module(g, [&](const module_type& type, OUTPUT& m) {
        for (const param_desc& d : type.params)
            if (d.own_file && d.text) owners.push_back({&m, &d, false});
    });
    // A file that already holds its module's data stays as it is, whichever
    // other module of the patch names it too.
    std::vector<std::string> taken;
    for (own& o : owners) {
        const std::string path = o.file->text(*o.module);
        o.up_to_date = !path.empty() && !o.file->own_file->differs(*o.module, path.c_str());
        if (o.up_to_date) taken.push_back(path);
    }
    for (own& o : owners) {
        if (o.up_to_date) continue;
        std::string path = o.file->text(*o.module);
        bool is_taken = path.empty();
        for (const std::string& t : taken)
            is_taken = is_taken || t == path || same_file(t.c_str(), path.c_str());
        // Never over the data of another module of this patch.
        if (is_taken) path = o.file->own_file->new_path(*o.module);
        std::string why;
        if (!o.file->own_file->write(*o.module, path.c_str(), &why)) {
            error = "cannot write " + escaped_controls(path) + " (the file of " +
                    escaped_controls(o.module->name) + "): " + why;
            return false;
        }
        if (written) written->push_back(path);
        taken.push_back(path);
    }
    return true;
}

// The mappings section, after the positions, which older readers never
// reach; written only when the level has a mapping whose control is still
// there (a removed module takes its mappings with it).
void append_midi_section(std::string& out, const GENERATOR& g) {
    std::string records;
    for (const midi_mapping& m : g.midi.list())
        if (resolve(g, m.module, m.key).desc) records += mapping_record(m) + '\n';
    if (records.empty()) return;
    out += "BEGIN_MIDI_MAP_DECLARE\n";
    out += records;
    out += "END_MIDI_MAP_DECLARE\n";
}

} // namespace

std::string patch_text(GENERATOR& g, const std::vector<placed_module>& placed) {
    for_each_module(g, [](const module_type& type, OUTPUT& m) {
        for (const param_desc& d : type.params)
            if (d.own_file && d.text && !*d.text(m))
                d.own_file->write(m, d.own_file->new_path(m).c_str(), nullptr);
    });
    std::string out = "BEGIN_OBJECTS_DECLARE\n\n";
    for_each_module(g,
                    [&](const module_type& type, OUTPUT& m) { write_object_record(type, m, out); });
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
    append_midi_section(out, g);
    return out;
}

std::string unsaveable_text(GENERATOR& g) {
    std::string problem;
    for_each_module(g, [&](const module_type& type, OUTPUT& m) {
        if (!problem.empty()) return;
        if (const char* why = unfit_for_patch(m.name)) {
            problem = "the module name " + quoted(m.name) + " has " + why +
                      ", which a patch file cannot hold";
            return;
        }
        for (const param_desc& d : type.params) {
            if (!d.text) continue;
            const char* value = d.text(m);
            if (const char* why = unfit_for_patch(value)) {
                problem = escaped_controls(m.name) + ": the name " + quoted(value) + " has " + why +
                          ", which a patch file cannot hold";
                return;
            }
            // The reader applies every key of the type found in a field.
            for (const param_desc& other : type.params)
                if (other.key && &other != &d && contains(value, other.key)) {
                    problem = escaped_controls(m.name) + ": the name " + quoted(value) + " holds " +
                              other.key + ", which a patch file would read as a setting of " +
                              type.class_name;
                    return;
                }
        }
    });
    return problem;
}

bool save_patch(GENERATOR& g, const std::vector<placed_module>& placed, const char* path,
                std::string* error, std::vector<std::string>* written) {
    std::string why = unsaveable_text(g);
    if (why.empty()) {
        // The temporary first: a folder that cannot take the patch costs no module file.
        atomic_output out;
        std::string io;
        if (out.open(path, &io)) {
            if (save_own_files(g, why, written)) {
                const std::string text = patch_text(g, placed);
                if (out.write(text.data(), text.size(), &io) && out.commit(&io)) return true;
            }
        }
        if (why.empty()) why = "cannot write " + escaped_controls(path) + ": " + io;
    }
    if (error) *error = why;
    return false;
}

} // namespace tmod
