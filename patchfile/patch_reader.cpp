#include "patchfile/patch_reader.hpp"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/nested_loader.hpp"
#include "engine/patch_ops.hpp"
#include "util/alloc_tracker.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
#include "util/tstr_parser.hpp"
#include "util/word_scanner.hpp"

namespace tmod {

namespace {

constexpr int max_nesting = 32;

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
    load_context() : bytes_before_(tracked_bytes()) {}

    void load_nested(GENERATOR& container, const char* path) override;

    // False once a limit is reached: the first refusal says which and where.
    bool allows(const char* path, bool nested_load);
    // A module of the load's budget.
    void count_module() { ++modules_; }
    bool exhausted() const { return exhausted_; }

    // The files being read, outermost first, to refuse a patch that includes itself.
    std::vector<std::string> chain;
    // Nested loads that did not go well, so that the outer load reports them too.
    int nested_problems = 0;

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

// Reads the white-space separated words of a patch text and counts them from
// 1; the messages call the count the line number. Words too long for the
// reader's buffer are skipped with a message.
class word_reader {
  public:
    explicit word_reader(std::string text) : scanner_(std::move(text), max_word_length) {}

    bool next(std::string& word) {
        bool cut = false;
        while (scanner_.word(word, &cut)) {
            ++count_;
            if (!cut) return true;
            say("Ligne %d : mot de plus de %d caracteres ignore\n", count_, max_word_length);
            ++skipped_;
        }
        return false;
    }
    int count() const { return count_; }
    int skipped() const { return skipped_; }

  private:
    word_scanner scanner_;
    int count_ = 0;
    int skipped_ = 0;
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
    bool links_pass();
    void apply_object_fields(const module_type& type, OUTPUT& m, const tstr_parser& p, int line);
    void apply_link_fields(const module_type& type, OUTPUT& m, const tstr_parser& p, int line);
    void apply_link_field(const module_type& type, OUTPUT& m, const field_text& f);
    void problem() { ++problems_; }

    GENERATOR& g_;
    const char* path_;
    load_context& load_;
    int problems_ = 0;
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
    const int nested_before = load_.nested_problems;
    objects_pass(std::move(text));
    problems_ += load_.nested_problems - nested_before;
    const bool links_read = links_pass();
    chain.pop_back();
    if (!links_read) return load_with_errors;
    return problems_ ? load_with_errors : load_ok;
}

void patch_loader::objects_pass(std::string text) {
    word_reader words(std::move(text));
    std::string word;
    std::vector<module_ptr> created;
    while (words.next(word)) {
        if (word == "END_OBJECTS_DECLARE") break;
        if (word == "BEGIN_OBJECTS_DECLARE" || word[0] == '#') continue;
        const tstr_parser p(word, ';');
        if (p.count() < 2) continue;
        const std::string_view name = p.get(0);
        const module_type* type = type_for_object_name(name);
        if (!type) continue;
        if (!load_.allows(path_, false)) {
            problem();
            break;
        }
        load_.count_module();
        created.push_back(create_module(type->kind));
        OUTPUT& m = *created.back();
        m.set_name(name);
        apply_object_fields(*type, m, p, words.count());
    }
    g_.insert_front_reversed(created);
    problems_ += words.skipped();
}

void patch_loader::apply_object_fields(const module_type& type, OUTPUT& m, const tstr_parser& p,
                                       int line) {
    if (type.empty_policy == empty_field::not_read) return;
    // Only fields followed by a ";" count: items 1 .. count - 1.
    for (int i = 1; i < p.count(); ++i) {
        const std::string_view field = p.get(i);
        if (field.empty()) {
            if (type.empty_policy == empty_field::skip_field) continue;
            if (type.empty_policy == empty_field::end_record) return;
            say("Erreur, au niveau des parametre ligne [%d]\n", line);
            problem();
            return;
        }
        // Every key that occurs anywhere in the field applies, so one field
        // may set several parameters.
        for (const param_desc& param : type.params) {
            if (!contains(field, param.key)) continue;
            if (!has_value(field)) {
                print_field("Champ sans valeur ignore", field, line);
                problem();
                break;
            }
            field_text f = split_field(field);
            f.nested = &load_;
            param.apply(m, f);
        }
    }
}

bool patch_loader::links_pass() {
    // The links pass reads the file again.
    std::string text;
    if (!read_patch(path_, text)) {
        say("Erreur ouverture [%s]\n", path_);
        problem();
        return false;
    }
    word_reader words(std::move(text));
    std::string word;
    bool in_links = false;
    while (words.next(word)) {
        if (!in_links) {
            in_links = word == "BEGIN_LINKS_DECLARE";
            continue;
        }
        if (word == "END_LINKS_DECLARE") break;
        if (word[0] == '#') continue;
        const tstr_parser p(word, ';');
        if (p.count() < 2) {
            say("Ligne %d semble avoir moins de 2 parametres\n", words.count());
            continue;
        }
        const std::string_view name = p.get(0);
        const module_type* type = type_for_link_name(name);
        if (!type) continue;
        OUTPUT* m = g_.find(type->kind, name);
        if (!m) {
            // After a refused load the missing modules are already explained.
            if (!load_.exhausted())
                say("Cannot Found %s [%.*s]\n", type->missing_word, static_cast<int>(name.size()),
                    name.data());
            problem();
            continue;
        }
        apply_link_fields(*type, *m, p, words.count());
    }
    problems_ += words.skipped();
    return true;
}

void patch_loader::apply_link_fields(const module_type& type, OUTPUT& m, const tstr_parser& p,
                                     int line) {
    for (int i = 1; i < p.count(); ++i) {
        const std::string_view field = p.get(i);
        if (field.empty()) {
            say("Erreur, au niveau des parametre ligne [%d]\n", line);
            problem();
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
            problem();
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
                problem();
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
                problem();
            }
            break;
        }
        }
    }
}

// A nested load fills a container of the outermost load's private tree.
void load_context::load_nested(GENERATOR& container, const char* path) {
    if (container.total_count()) container.clear();
    load_status status = load_failed;
    if (path && *path && allows(path, true)) {
        ++nested_;
        status = patch_loader(container, path, *this).run();
    }
    if (status != load_ok) ++nested_problems;
}

} // namespace

load_status load_patch(GENERATOR& container, const char* path) {
    load_context load;
    // Every file of the tree (patches, partitions, samples) is read into a
    // container no other thread sees, so no file is opened under the patch
    // lock; the lock is held only to swap the modules in.
    GENERATOR fresh;
    const load_status status = path && *path ? patch_loader(fresh, path, load).run() : load_failed;
    // A file that could not be read changes nothing: the patch playing plays on.
    if (status != load_failed) container.replace_modules(fresh);
    return status;
}

} // namespace tmod
