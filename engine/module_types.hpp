// The registry of module types: one row per type, in the order of the
// container's lists, and the several orders in which the system recognises type
// words. The reader, the writer, the container, the palette, the panels and the
// cable code all read these tables; nothing else dispatches on module types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/param_desc.hpp"
#include "engine/signal.hpp"

namespace tmod {

// List order of the container (also the order of clearing and of writing).
enum class module_kind : std::uint8_t {
    AFFICHAGE,
    BASIC_OPERATION,
    CONSTANTE,
    FAKE303,
    GENERATOR,
    KEYBOARD,
    MIXER,
    MICRO,
    PHASER,
    SEQUENCER,
    SAMPLER,
    SFX_DELAY,
    SOUND_INPUT,
    SOUND_OUTPUT,
    VARIABLE,
    VCA,
    FORMANT_VCF,
    VCF303,
    VCF,
    MULTI_VCO,
    VCO,
};
constexpr int module_kind_count = 21;
inline int index_of(module_kind k) {
    return static_cast<int>(k);
}

// Destroys a module through its concrete type (the base has no virtual destructor).
struct module_deleter {
    module_kind kind;
    void operator()(OUTPUT* m) const;
};
using module_ptr = std::unique_ptr<OUTPUT, module_deleter>;

// Ticks a list of modules of type T with direct calls; instantiated in the
// module's own source so that its compute can be inlined there.
template <class T>
void tick_list(const module_ptr* list, std::size_t count);

struct lane_kernel; // engine/lanes.hpp

enum class slot_kind : std::uint8_t { signal, gate, sync, channel };
enum slot_flag : std::uint8_t {
    slot_read = 1,  // the links pass of the reader connects it
    slot_saved = 2, // the writer writes it in the link record
};

// Gate and sync sources are looked up by a word their name contains; the rules
// are tested in order and a later match replaces an earlier connection.
struct source_rule {
    const char* word;
    module_kind kind;
};

struct slot_desc {
    const char* key; // link key in patch files ("IN", "MOD_FREQ", "ADD_CHANELL")
    slot_kind kind;
    std::uint8_t flags;
    const char* plug;                // the panel plug that shows it ("INPUT_MOD_FREQ")
    signal_slot* (*signal)(OUTPUT&); // signal slots
    gate_slot* (*flag)(OUTPUT&);     // gate and sync slots
    table_view<source_rule> sources; // gate and sync slots: how the reader finds the source
    // Channel slots: a row of signal slots filled one after the other.
    int channel_max = 0;
    int (*channel_count)(const OUTPUT&) = nullptr;
    signal_slot* (*channel)(OUTPUT&, int index) = nullptr;
    // Feeds the channel at index (-1: the next one) and counts it; false when
    // every channel is in use or the index is outside them.
    bool (*add_channel)(OUTPUT&, const sample_value* source, int index) = nullptr;
};

// What the objects pass does with an empty field of a record.
enum class empty_field : std::uint8_t {
    not_read,      // the type reads no fields
    reject_record, // message, the rest of the record is skipped
    skip_field,
    end_record, // the rest of the record is silently skipped
};

struct module_type {
    module_kind kind;
    const char* class_name;   // "SOUND_INPUT"
    const char* file_word;    // recognises the type in patch files ("SOUND_IN", "KEY")
    const char* editor_word;  // editor names "<word>_%d", the palette ("KEYBOARD")
    const char* find_word;    // recognises the type when a source is found by name
    const char* missing_word; // "Cannot Found <word> [%s]" when a link names no such module
    empty_field empty_policy;
    bool link_record; // the writer writes a link record for it
    table_view<slot_desc> slots;
    table_view<param_desc> params;       // the keys of its object record, in reading order
    table_view<param_desc> panel_params; // what a panel sets that files do not carry

    OUTPUT* (*create)(); // with the palette's defaults, through the allocation tracker
    void (*destroy)(OUTPUT*);
    void (*tick)(const module_ptr*, std::size_t);
    // Writes the object record's name and fields where the descriptions cannot
    // say them (the writer adds the kept fields and the line end); null: the
    // writer writes the parameters of rank 0, 1, ...
    void (*write_record)(OUTPUT&, std::string&);

    // The fields a slot refers to when this module is its source (null: none).
    const sample_value* (*signal_out)(OUTPUT&);
    const flag_value* (*gate_out)(OUTPUT&);
    const flag_value* (*sync_out)(OUTPUT&);

    // Computes modules of the list several at a time (null: one at a time).
    const lane_kernel* lanes = nullptr;
    // Stops what the module is playing (Delete in the editor); null for types
    // that hold nothing between notes. Main thread, through the editing seam.
    void (*stop)(OUTPUT&) = nullptr;
};

// Declared here, defined in modules/module_list.cpp from the rows that each
// module source defines beside its code: the one place where a lower layer
// relies on a higher one (at link time, through no include).
const module_type& type_of(module_kind kind);
inline const module_type& type_of(int list_index) {
    return type_of(static_cast<module_kind>(list_index));
}

// The orders in which the system tests type words or ticks the lists.
extern const module_kind compute_order[module_kind_count];
extern const module_kind object_word_order[module_kind_count]; // reader, objects pass
extern const table_view<module_kind> link_word_order;          // reader, links pass
extern const module_kind find_word_order[module_kind_count];   // find any module by name
extern const module_kind palette_order[module_kind_count];     // module palette buttons

// Type of a module name by the reader's word orders; null when no word is found.
const module_type* type_for_object_name(std::string_view name);
const module_type* type_for_link_name(std::string_view name);
const module_type* type_for_find_name(std::string_view name);
const module_type* type_for_palette_name(std::string_view name);

const slot_desc* find_slot(const module_type& type, std::string_view key);

// The parameter written at that place of the object record, or null.
const param_desc* param_of_rank(const module_type& type, int rank);
// The parameter a panel control word is bound to (file keys first), or null.
const param_desc* find_control(const module_type& type, std::string_view control);

// A new module of the type with its palette defaults, owned by the caller.
module_ptr create_module(module_kind kind);

} // namespace tmod
