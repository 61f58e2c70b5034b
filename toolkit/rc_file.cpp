// RC layout files: the reader and the writer of OBJET faces.
//
// A file is a sequence of records, each a keyword and whitespace-separated
// fields; a word that is no keyword is skipped (it costs exactly one word).
// One table below holds, per record kind, its keyword, how it is read and how
// an element of that kind is written; the writer tests the kinds in table order.
#include "toolkit/panel.hpp"

#include "util/atomic_file.hpp"
#include "util/num.hpp"
#include "util/text.hpp"
#include "util/text_format.hpp"
#include "util/tstr_parser.hpp"
#include "util/word_scanner.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace tmod {
namespace {

struct rc_reading {
    OBJET& panel;
    word_scanner& in;
    int record;
};

// Fields of a record, read in file order. A missing required field makes the
// whole record invalid; the word that failed is read again as a keyword.
struct field_reader {
    word_scanner& in;
    bool ok = true;
    std::string word() {
        std::string w;
        ok = ok && in.word(w);
        return w;
    }
    int integer() {
        int v = 0;
        ok = ok && in.integer(v);
        return v;
    }
    float real() {
        float v = 0;
        ok = ok && in.real(v);
        if (!(v == v) || v > 1e30f || v < -1e30f) v = 1.0f;
        return v;
    }
    // Optional trailing field: the fallback when it is not there.
    int optional_integer(int fallback) {
        int v = fallback;
        return ok && in.integer(v) ? v : fallback;
    }
};

void name_element(SPRITE& e, const OBJET& panel, const std::string& element_name) {
    std::string full = std::string(panel.panel_name) + "_" + element_name;
    e.set_name(full.c_str());
}

void incomplete(const rc_reading& r, const char* keyword) {
    std::printf("RC [%s] record %d (%s): missing or bad fields, record skipped\n",
                r.panel.rc_path.c_str(), r.record, keyword);
}

bool read_this(rc_reading& r) {
    std::string items;
    if (!r.in.word(items)) return false;
    tstr_parser parser(items, ';');
    const int separators = parser.count();
    if (separators < 2) return true;
    for (int i = 0; i < separators; ++i) {
        std::string_view item = parser.get(i);
        if (item.empty()) {
            // Skipping the empty item keeps the rest of the layout usable.
            std::printf("Erreur, au niveau des parametre ligne [%d]\n", r.record);
            continue;
        }
        tstr_parser key_value(item, '=');
        std::string_view value = key_value.get(1);
        if (value.empty()) continue; // "WIDTH=;" leaves the width as it was
        const int v = parse_int(value);
        OBJET& p = r.panel;
        if (contains(item, "COLOR")) p.colour = static_cast<std::uint32_t>(v);
        if (contains(item, "ALPHA")) p.alpha = v;
        if (contains(item, "WIDTH")) p.w = p.width = static_cast<float>(v);
        if (contains(item, "HEIGHT")) p.h = p.height = static_cast<float>(v);
    }
    return true;
}

bool read_sprite(rc_reading& r) {
    field_reader f{r.in};
    const std::string name = f.word(), image = f.word(), mask = f.word();
    const int x = f.integer(), y = f.integer(), is_key = f.integer(), key = f.integer(),
              additive = f.integer();
    const float zoom = f.real();
    const int angle = f.integer();
    const int alpha = f.optional_integer(255);
    if (!f.ok) return false;
    OBJET& p = r.panel;
    // Plain sprites carry the panel position they were loaded at.
    auto* e = new (__FILE__, __LINE__)
        SPRITE(image.c_str(), saturating_int(x + p.x), saturating_int(y + p.y), is_key,
               static_cast<std::uint32_t>(key), additive, zoom, angle, 0);
    element_ptr owned(e);
    e->set_mask(mask[0] == '0' ? "" : mask.c_str());
    e->alpha = alpha;
    name_element(*e, p, name);
    p.append(std::move(owned));
    return true;
}

// The placement fields a button and a slider share, in file order.
struct placement {
    int x, y, is_key, key, additive;
    float zoom;
    int angle;

    static placement read(field_reader& f) {
        placement p;
        p.x = f.integer(), p.y = f.integer(), p.is_key = f.integer(), p.key = f.integer();
        p.additive = f.integer();
        p.zoom = f.real();
        p.angle = f.integer();
        return p;
    }
    // Places the new element and hands it to the panel.
    void apply(SPRITE* e, rc_reading& r, const std::string& name) const {
        element_ptr owned(e);
        e->is_key = is_key;
        e->key = static_cast<std::uint32_t>(key);
        e->additive = additive;
        e->zoom = zoom;
        e->angle = angle;
        e->set_position(static_cast<float>(x), static_cast<float>(y), 0);
        name_element(*e, r.panel, name);
        r.panel.append(std::move(owned));
    }
};

bool read_button(rc_reading& r) {
    field_reader f{r.in};
    const std::string name = f.word(), off = f.word(), on = f.word(), touched = f.word();
    const placement at = placement::read(f);
    if (!f.ok) return false;
    at.apply(new (__FILE__, __LINE__)
                 BUTTON(name.c_str(), off.c_str(), touched.c_str(), on.c_str()),
             r, name);
    return true;
}

bool read_slider(rc_reading& r) {
    field_reader f{r.in};
    const std::string name = f.word(), image = f.word();
    placement at = placement::read(f);
    if (!f.ok) return false;
    if (at.zoom > 100.0f) at.zoom = 1.0f;
    at.apply(new (__FILE__, __LINE__) SLIDER(name.c_str(), image.c_str()), r, name);
    return true;
}

bool read_label(rc_reading& r) {
    field_reader f{r.in};
    const std::string name = f.word();
    std::string caption = f.word();
    if (!f.ok) return false;
    // The file's "_" stands for a blank (a field is one word); other texts
    // (module and file names) keep theirs.
    for (char& c : caption)
        if (c == '_') c = ' ';
    // The numbers of a label are optional, 0 when missing.
    int numbers[5] = {0, 0, 0, 0, 0};
    for (int& n : numbers)
        if (!r.in.integer(n)) break;
    const int x = numbers[0], y = numbers[1], font = numbers[2], size = numbers[3];
    auto* l = new (__FILE__, __LINE__)
        LABEL(caption.c_str(), x, y, 50, 50, font, size, static_cast<std::uint32_t>(numbers[4]));
    element_ptr owned(l);
    l->set_position(static_cast<float>(x), static_cast<float>(y), 0);
    name_element(*l, r.panel, name);
    r.panel.append(std::move(owned));
    return true;
}

// A field of the file is one word: blanks become "_" (drawn as blanks again)
// and an empty text becomes the placeholder.
std::string as_word(const char* text, const char* placeholder) {
    std::string w = text;
    for (char& c : w)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
    return w.empty() ? placeholder : w;
}

int trunc_of(float v) {
    return saturating_int(v);
}

void write_label(std::string& out, const OBJET&, const SPRITE& e, const char* name) {
    const auto& l = static_cast<const LABEL&>(e);
    appendf(out, "LABEL\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t\r\n", name, as_word(l.caption, "_").c_str(),
            trunc_of(l.x), trunc_of(l.y), l.font, l.size, static_cast<int>(l.colour));
}

void write_slider(std::string& out, const OBJET&, const SPRITE& e, const char* name) {
    appendf(out, "SLIDER\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t%f\t%d\r\n", name,
            as_word(e.image, "0").c_str(), trunc_of(e.x), trunc_of(e.y), e.is_key,
            static_cast<int>(e.key), e.additive, static_cast<double>(e.zoom), e.angle);
}

void write_button(std::string& out, const OBJET&, const SPRITE& e, const char* name) {
    const auto& b = static_cast<const BUTTON&>(e);
    appendf(out, "BUTTON\t%s\t%s\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t%f\t%d\r\n", name,
            as_word(b.image_off, "0").c_str(), as_word(b.image_on, "0").c_str(),
            as_word(b.image_touched, "0").c_str(), trunc_of(b.x), trunc_of(b.y), b.is_key,
            static_cast<int>(b.key), b.additive, static_cast<double>(b.zoom), b.angle);
}

void write_sprite(std::string& out, const OBJET& panel, const SPRITE& e, const char* name) {
    // The panel position added at load time is taken off again, so a face reads
    // back where it was, wherever the panel stood when it was loaded.
    appendf(out, "SPRITE\t%s\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t%f\t%d\t%d\r\n", name,
            as_word(e.image, "0").c_str(), e.has_mask() ? as_word(e.mask, "0").c_str() : "0",
            trunc_of(e.x) - panel.rc_origin_x, trunc_of(e.y) - panel.rc_origin_y, e.is_key,
            static_cast<int>(e.key), e.additive, static_cast<double>(e.zoom), e.angle, e.alpha);
}

template <class T>
bool is_a(const SPRITE& e) {
    return dynamic_cast<const T*>(&e) != nullptr;
}
bool is_any(const SPRITE&) {
    return true;
}

struct rc_kind {
    const char* keyword;
    bool (*read)(rc_reading&);
    bool (*is)(const SPRITE&);
    void (*write)(std::string&, const OBJET&, const SPRITE&, const char*);
};

// Writer order: the most derived kinds first, plain sprites last.
const rc_kind rc_kinds[] = {
    {"THIS", read_this, nullptr, nullptr},
    {"LABEL", read_label, is_a<LABEL>, write_label},
    {"SLIDER", read_slider, is_a<SLIDER>, write_slider},
    {"BUTTON", read_button, is_a<BUTTON>, write_button},
    {"SPRITE", read_sprite, is_any, write_sprite},
};

// Characters of the panel prefix, from the first element's name: the first
// "_" among the third, fourth, second and first characters, tested in that
// order. 0 when there is none.
std::size_t prefix_length(const char* n) {
    const std::size_t len = std::strlen(n);
    if (len > 2 && n[2] == '_') return 3;
    if (len > 3 && n[3] == '_') return 4;
    if (len > 1 && n[1] == '_') return 2;
    if (len > 0 && n[0] == '_') return 1;
    return 0;
}

} // namespace

int OBJET::load_rc(const char* path) {
    rc_path = path ? path : "";
    std::string text;
    if (!read_text_file(path, text)) {
        std::printf("Failing to Load RC[%s] (cause Fopen())\n", rc_path.c_str());
        return -1;
    }
    word_scanner in(std::move(text));
    rc_reading reading{*this, in, 0};
    rc_origin_x = saturating_int(x);
    rc_origin_y = saturating_int(y);
    std::string keyword;
    while (in.word(keyword)) {
        ++reading.record;
        for (const rc_kind& kind : rc_kinds) {
            if (keyword != kind.keyword) continue;
            if (!kind.read(reading)) incomplete(reading, kind.keyword);
            break;
        }
    }
    fit_to_background();
    return 1;
}

int OBJET::save_rc(const char* path) {
    need_faces();
    std::size_t prefix = 0;
    if (!elements->empty()) {
        const char* first = elements->front()->name;
        prefix = prefix_length(first);
        if (prefix == 0) {
            // Nothing is written: a file with wrong names would load as another
            // panel's layout.
            std::printf("ARF stf wrong during save element [%s]\n", first);
            return -1;
        }
    }
    std::string out;
    appendf(out, "THIS\nCOLOR=%d;WIDTH=%d;HEIGHT=%d;ALPHA=%d;\n", static_cast<int>(colour),
            trunc_of(width), trunc_of(height), alpha);
    // In list order, so that reading the file back draws the elements in the
    // same order and a second save writes the same bytes.
    for (const element_ptr& element : *elements) {
        const SPRITE& e = *element;
        const std::string name =
            as_word(std::strlen(e.name) > prefix ? e.name + prefix : e.name, "0");
        for (const rc_kind& kind : rc_kinds) {
            if (!kind.is || !kind.is(e)) continue;
            kind.write(out, *this, e, name.c_str());
            break;
        }
    }
    // Written aside and renamed, so a failed save never leaves half a layout.
    std::string why;
    if (!path || !write_file_atomically(path, out.data(), out.size(), &why)) {
        std::printf("Failing to Save RC[%s] (cause %s)\n", path ? path : "", why.c_str());
        return -1;
    }
    return 1;
}

} // namespace tmod
