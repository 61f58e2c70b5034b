#include "patchfile/patch_reader.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/midi_map.hpp"
#include "engine/nested_loader.hpp"
#include "engine/patch_ops.hpp"
#include "util/alloc_tracker.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
#include "util/tstr_parser.hpp"
#include "util/word_scanner.hpp"

namespace tmod {

namespace {

// The work of one load, counted over the outermost patch and all its nested
// ones: depth alone does not bound fan-out (a thousand GENERATORs each loading
// a file of a thousand GENERATORs). Far above any patch played by hand.
constexpr long max_load_modules = 100000;
constexpr long max_load_nested = 10000;
// Module memory (samples included) grown by the load: a count alone does not
// bound it, a SFX_DELAY holds ten seconds of sound.
constexpr std::size_t max_load_megabytes = 2048;

// The state of one load, shared by the outermost patch and the patches
// nested in it and by no other load: the files being read, the budget, the
// problems of the nested loads.
class load_context final : public nested_loader {
  public:
    explicit load_context(bool read_mappings)
        : mappings(read_mappings), bytes_before_(tracked_bytes()) {}
    // The MIDI mappings sections are read (a reader that stops at the
    // positions, as older ones do, when not).
    const bool mappings;

    void load_nested(GENERATOR& container, const char* path) override;
    void file_not_loaded(const char* path) override;

    // False once a limit is reached: the first refusal says which and where.
    bool allows(const char* path, bool nested_load);
    // A module of the load's budget.
    void count_module() { ++modules_; }
    bool exhausted() const { return exhausted_; }

    // The files being read, outermost first, to refuse a patch that includes itself.
    std::vector<std::string> chain;
    // Records of every file of the load that were not read whole.
    int dropped = 0;
    std::vector<std::string> messages;
    void count_dropped(const char* path, int line, const std::string& why);
    // What went wrong inside the field being applied (a nested patch that
    // read nothing, a file not loaded); taken by the record that applies it.
    std::string field_trouble;

  private:
    long modules_ = 0;
    long nested_ = 0;
    // Module memory is measured for the whole program: what another thread
    // grows meanwhile counts too.
    std::size_t bytes_before_;
    bool exhausted_ = false; // the message is printed once, then the load winds down
};

bool load_context::allows(const char* path, bool nested_load) {
    if (exhausted_) return false;
    const std::size_t now = tracked_bytes();
    const std::size_t grown = now > bytes_before_ ? now - bytes_before_ : 0;
    char why[96];
    if (nested_load && nested_ >= max_load_nested)
        std::snprintf(why, sizeof why, "plus de %ld patchs imbriques", max_load_nested);
    else if (!nested_load && modules_ >= max_load_modules)
        std::snprintf(why, sizeof why, "plus de %ld modules", max_load_modules);
    else if (grown >= (max_load_megabytes << 20))
        std::snprintf(why, sizeof why, "plus de %zu Mo de modules", max_load_megabytes);
    else
        return true;
    exhausted_ = true;
    say("Chargement arrete a [%s] : %s en un seul chargement, le reste est ignore\n", path, why);
    return false;
}

void load_context::count_dropped(const char* path, int line, const std::string& why) {
    if (static_cast<int>(messages.size()) < max_report_lines)
        messages.push_back(escaped_controls(path) + " word " + std::to_string(line) + ": " + why);
    ++dropped;
}

void load_context::file_not_loaded(const char* path) {
    field_trouble = "the file " + escaped_controls(path) + " could not be loaded";
}

// Reads the white-space separated words of a patch text and counts them from
// 1; the messages call the count the line number. Words too long for the
// reader's buffer are skipped with a message and noted until taken.
class word_reader {
  public:
    explicit word_reader(std::string text) : scanner_(std::move(text), max_word_length) {}

    bool next(std::string& word) {
        bool cut = false;
        while (scanner_.word(word, &cut)) {
            ++count_;
            if (!cut) return true;
            say("Ligne %d : mot de plus de %d caracteres ignore\n", count_, max_word_length);
            skipped_lines_.push_back(count_);
        }
        return false;
    }
    int count() const { return count_; }
    // The numbers of the words passed over since the last call.
    std::vector<int> take_skipped() { return std::exchange(skipped_lines_, {}); }

  private:
    word_scanner scanner_;
    int count_ = 0;
    std::vector<int> skipped_lines_;
};

// A patch file's text; false when it is not a regular file that can be read.
bool read_patch(const char* path, std::string& text) {
    return is_regular_file(path) && read_text_file(path, text);
}

std::string canonical(const char* path) {
    char resolved[PATH_MAX];
    return ::realpath(path, resolved) ? std::string(resolved) : std::string(path);
}

field_text split_field(std::string_view field) {
    field_text f{field, field, {}};
    const std::size_t eq = field.find('=');
    if (eq != std::string_view::npos) {
        f.key = field.substr(0, eq);
        std::string_view rest = field.substr(eq + 1);
        f.value = rest.substr(0, rest.find('='));
    }
    return f;
}

bool has_value(std::string_view field) {
    return field.find('=') != std::string_view::npos;
}

void print_field(const char* what, std::string_view field, int line) {
    say("%s [%.*s] ligne [%d]\n", what, static_cast<int>(field.size()), field.data(), line);
}

class patch_loader {
  public:
    patch_loader(GENERATOR& g, const char* path, load_context& load)
        : g_(g), path_(path), load_(load) {}

    load_status run();

  private:
    void objects_pass(std::string text);
    void links_pass();
    void midi_pass(word_reader& words, bool in_section);
    void apply_object_fields(const module_type& type, OUTPUT& m, const tstr_parser& p);
    void apply_kept_fields(const module_type& type, OUTPUT& m, std::string_view field);
    void apply_link_fields(const module_type& type, OUTPUT& m, const tstr_parser& p);
    void apply_link_field(const module_type& type, OUTPUT& m, const field_text& f);

    // The record at word `line` is being read; it counts as dropped once
    // anything of it could not be read (the first reason is kept).
    void start_record(int line) { line_ = line, why_.clear(), dropped_ = false; }
    void drop(std::string why) {
        if (!dropped_) why_ = std::move(why);
        dropped_ = true;
    }
    void end_record() {
        if (dropped_) load_.count_dropped(path_, line_, why_);
        dropped_ = false;
    }
    void count_skipped(word_reader& words) {
        for (int line : words.take_skipped())
            load_.count_dropped(path_, line,
                                "a word longer than the reader's " +
                                    std::to_string(max_word_length) + " characters");
    }

    GENERATOR& g_;
    const char* path_;
    load_context& load_;
    int line_ = 0;
    bool dropped_ = false;
    std::string why_;
};

load_status patch_loader::run() {
    std::string text;
    if (!read_patch(path_, text)) {
        say("Must Specify a true filename [%s]\n", path_);
        return load_failed;
    }
    std::vector<std::string>& chain = load_.chain;
    const std::string me = canonical(path_);
    for (const std::string& outer : chain)
        if (outer == me) {
            say("Le patch [%s] s'inclut lui-meme : GENERATOR laisse vide\n", path_);
            return load_failed;
        }
    if (static_cast<int>(chain.size()) >= max_nesting) {
        say("Patch [%s] : plus de %d GENERATOR imbriques, laisse vide\n", path_, max_nesting);
        return load_failed;
    }
    copy_text(g_.file_name, path_);
    say("Loading TSY [%s]\n", path_);

    chain.push_back(me);
    const int dropped_before = load_.dropped;
    objects_pass(std::move(text));
    links_pass();
    chain.pop_back();
    // Records dropped in a nested patch are this patch's problem too.
    return load_.dropped > dropped_before ? load_with_errors : load_ok;
}

void patch_loader::objects_pass(std::string text) {
    word_reader words(std::move(text));
    std::string word;
    std::vector<module_ptr> created;
    while (words.next(word)) {
        count_skipped(words);
        if (word == "END_OBJECTS_DECLARE") break;
        if (word == "BEGIN_OBJECTS_DECLARE" || word[0] == '#') continue;
        const tstr_parser p(word, ';');
        const std::string_view name = p.get(0);
        const module_type* type = type_for_object_name(name);
        // Fewer than two ";" make no record (words of a comment's text); a
        // module's name with one is a record that lost its fields.
        if (p.count() < 2 && (p.count() == 0 || !type)) continue;
        start_record(words.count());
        if (p.count() < 2) {
            drop("a record without fields");
        } else if (!type) {
            drop("no module type in the name " + escaped_controls(name));
        } else if (!load_.allows(path_, false)) {
            // The limit's message was said once; the rest is counted.
            drop("not read: the load passed its limits");
        } else {
            load_.count_module();
            created.push_back(create_module(type->kind));
            OUTPUT& m = *created.back();
            m.set_name(name);
            apply_object_fields(*type, m, p);
        }
        end_record();
    }
    count_skipped(words); // long words at the very end
    g_.insert_front_reversed(created);
}

void patch_loader::apply_object_fields(const module_type& type, OUTPUT& m, const tstr_parser& p) {
    const bool reads_keys = type.empty_policy != empty_field::not_read;
    // Only fields followed by a ";" count: items 1 .. count - 1.
    for (int i = 1; i < p.count(); ++i) {
        const std::string_view field = p.get(i);
        if (field.empty()) {
            if (!reads_keys || type.empty_policy == empty_field::skip_field) continue;
            if (type.empty_policy == empty_field::end_record) return;
            say("Erreur, au niveau des parametre ligne [%d]\n", line_);
            drop("an empty field");
            return;
        }
        apply_kept_fields(type, m, field);
        if (!reads_keys) continue;
        // Every key that occurs anywhere in the field applies, so one field
        // may set several parameters.
        for (const param_desc& param : type.params) {
            if (!contains(field, param.key)) continue;
            if (!has_value(field)) {
                print_field("Champ sans valeur ignore", field, line_);
                drop("a field without a value");
                break;
            }
            field_text f = split_field(field);
            f.nested = &load_;
            load_.field_trouble.clear();
            param.apply(m, f);
            if (!load_.field_trouble.empty()) drop(std::move(load_.field_trouble));
            load_.field_trouble.clear();
        }
    }
}

// The fields after the ranked ones that keep values exactly: matched by their
// whole key, so no older key's reading changes.
void patch_loader::apply_kept_fields(const module_type& type, OUTPUT& m, std::string_view field) {
    const field_text f = split_field(field);
    for (const auto& table : {type.params, type.panel_params})
        for (const param_desc& d : table)
            if (d.kept_key && user_state(d) && f.key == d.kept_key && has_value(field))
                apply_kept_field(d, m, f.value);
}

void patch_loader::links_pass() {
    // The links pass reads the file again.
    std::string text;
    if (!read_patch(path_, text)) {
        say("Erreur ouverture [%s]\n", path_);
        load_.count_dropped(path_, 0, "the links could not be read (the file went away)");
        return;
    }
    word_reader words(std::move(text));
    std::string word;
    bool in_links = false;
    while (words.next(word)) {
        if (!in_links) {
            words.take_skipped(); // the objects pass counted them
            in_links = word == "BEGIN_LINKS_DECLARE";
            // A file without links may still have mappings.
            if (word == "BEGIN_MIDI_MAP_DECLARE" && load_.mappings) return midi_pass(words, true);
            continue;
        }
        count_skipped(words);
        if (word == "END_LINKS_DECLARE") break;
        if (word[0] == '#') continue;
        const tstr_parser p(word, ';');
        if (p.count() < 2) {
            // Also what the writer writes for a module with no connection.
            say("Ligne %d semble avoir moins de 2 parametres\n", words.count());
            continue;
        }
        start_record(words.count());
        const std::string_view name = p.get(0);
        const module_type* type = type_for_link_name(name);
        if (!type) {
            // Keyboards, MICRO, CONSTANTE and FAKE303 have no links to read.
            if (!type_for_object_name(name))
                drop("no module type in the name " + escaped_controls(name));
        } else if (OUTPUT* m = g_.find(type->kind, name)) {
            apply_link_fields(*type, *m, p);
        } else {
            // After a refused load the missing modules are already explained.
            if (!load_.exhausted())
                say("Cannot Found %s [%.*s]\n", type->missing_word, static_cast<int>(name.size()),
                    name.data());
            drop("no module " + escaped_controls(name));
        }
        end_record();
    }
    if (in_links) count_skipped(words);
    if (load_.mappings) midi_pass(words, false);
}

// After the positions: one record per mapping. A mapping whose module or
// parameter is not in this level is said and dropped.
void patch_loader::midi_pass(word_reader& words, bool in_section) {
    std::string word;
    std::vector<midi_mapping> mappings;
    while (words.next(word)) {
        if (!in_section) {
            in_section = word == "BEGIN_MIDI_MAP_DECLARE";
            words.take_skipped(); // the positions are not this reader's
            continue;
        }
        count_skipped(words);
        if (word == "END_MIDI_MAP_DECLARE") break;
        if (word[0] == '#') continue;
        start_record(words.count());
        midi_mapping m;
        std::string why;
        if (parse_mapping_record(word, m, why)) {
            const mapped_control c = resolve(g_, m.module, m.key);
            if (!c.module)
                why = "no module " + escaped_controls(m.module);
            else if (!c.desc)
                why = "no parameter " + escaped_controls(m.key) + " of " +
                      escaped_controls(m.module) + " a controller can drive";
            else if (std::find(mappings.begin(), mappings.end(), m) == mappings.end())
                mappings.push_back(std::move(m)); // a record written twice drives once
        }
        if (!why.empty()) {
            say("MIDI [%s] ligne [%d] : %s, ignore\n", escaped_controls(word).c_str(), line_,
                why.c_str());
            drop("MIDI mapping: " + why);
        }
        end_record();
    }
    g_.midi.assign(std::move(mappings));
}

void patch_loader::apply_link_fields(const module_type& type, OUTPUT& m, const tstr_parser& p) {
    for (int i = 1; i < p.count(); ++i) {
        const std::string_view field = p.get(i);
        if (field.empty()) {
            say("Erreur, au niveau des parametre ligne [%d]\n", line_);
            drop("an empty field");
            return;
        }
        apply_link_field(type, m, split_field(field));
    }
}

// Every slot whose key occurs in the field's key is connected, in table order.
void patch_loader::apply_link_field(const module_type& type, OUTPUT& m, const field_text& f) {
    const std::string_view source_name = f.value;
    const module_type* source_type = nullptr;
    OUTPUT* source = nullptr;
    bool looked_up = false, reported = false;
    auto find_signal_source = [&] {
        if (!looked_up) {
            source_type = type_for_find_name(source_name);
            source = source_type ? g_.find(source_type->kind, source_name) : nullptr;
            looked_up = true;
        }
        if (!source && !reported) {
            reported = true;
            drop("no source " + escaped_controls(source_name));
            if (load_.exhausted()) {
                // Most likely a module the refused load skipped: already explained.
            } else if (type.kind == module_kind::VCF303) {
                say("Probleme output VCF303\n");
            } else {
                say("Source [%.*s] de [%s] introuvable, lien ignore\n",
                    static_cast<int>(source_name.size()), source_name.data(), m.name);
            }
        }
        return module_ref{source, source_type};
    };

    for (const slot_desc& slot : type.slots) {
        if (!(slot.flags & slot_read) || !contains(f.key, slot.key)) continue;
        switch (slot.kind) {
        case slot_kind::signal:
            if (const module_ref src = find_signal_source(); src.module) connect(m, slot, src);
            break;
        case slot_kind::channel: {
            // The channel is added even without a source, so that the channel
            // numbers of the volumes read before stay in place.
            if (!connect(m, slot, find_signal_source())) {
                say("MIXER [%s] : plus de %d canaux, [%.*s] non branche\n", m.name,
                    slot.channel_max, static_cast<int>(source_name.size()), source_name.data());
                drop("more than " + std::to_string(slot.channel_max) + " channels");
            }
            break;
        }
        case slot_kind::gate:
        case slot_kind::sync: {
            bool connected = false;
            for (const source_rule& rule : slot.sources) {
                if (!contains(source_name, rule.word)) continue;
                OUTPUT* src = g_.find(rule.kind, source_name);
                if (src && connect(m, slot, {src, &type_of(rule.kind)})) connected = true;
            }
            if (!connected) {
                say("Source [%.*s] de [%s] (%s) introuvable, lien ignore\n",
                    static_cast<int>(source_name.size()), source_name.data(), m.name, slot.key);
                drop("no " + std::string(slot.key) + " source " + escaped_controls(source_name));
            }
            break;
        }
        }
    }
}

// A nested load fills a container of the outermost load's private tree. A
// nested patch read with errors counts its own records; one that read
// nothing is the GENERATOR record's problem.
void load_context::load_nested(GENERATOR& container, const char* path) {
    if (container.total_count()) container.clear();
    load_status status = load_failed;
    if (path && *path && allows(path, true)) {
        ++nested_;
        status = patch_loader(container, path, *this).run();
    }
    // What the nested patch's own fields left is theirs.
    field_trouble.clear();
    if (status == load_failed)
        field_trouble = "the nested patch " + escaped_controls(path) + " was not loaded";
}

} // namespace

load_status load_patch(GENERATOR& container, const char* path, load_report* report,
                       bool read_mappings) {
    load_context load(read_mappings);
    // Every file of the tree (patches, partitions, samples) is read into a
    // container no other thread sees, so no file is opened under the patch
    // lock; the lock is held only to swap the modules in.
    GENERATOR fresh;
    const load_status status = path && *path ? patch_loader(fresh, path, load).run() : load_failed;
    // A file that could not be read changes nothing: the patch playing plays on.
    if (status != load_failed) container.replace_modules(fresh);
    if (report) {
        report->status = status;
        report->dropped = load.dropped;
        report->messages = std::move(load.messages);
    }
    return status;
}

} // namespace tmod
