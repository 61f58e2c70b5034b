#include "engine/module_types.hpp"

#include "util/text.hpp"

namespace tmod {

namespace {
using K = module_kind;

const module_type* first_containing(std::string_view name, const module_kind* order, std::size_t n,
                                    const char* module_type::*word) {
    for (std::size_t i = 0; i < n; ++i) {
        const module_type& t = type_of(order[i]);
        if (contains(name, t.*word)) return &t;
    }
    return nullptr;
}

constexpr module_kind link_order_table[] = {
    K::SEQUENCER,    K::BASIC_OPERATION, K::GENERATOR, K::PHASER,    K::SFX_DELAY, K::AFFICHAGE,
    K::SOUND_OUTPUT, K::SOUND_INPUT,     K::VARIABLE,  K::MULTI_VCO, K::VCO,       K::MIXER,
    K::VCA,          K::FORMANT_VCF,     K::VCF303,    K::VCF,       K::SAMPLER,
};
} // namespace

void module_deleter::operator()(OUTPUT* m) const {
    if (m) type_of(kind).destroy(m);
}

const module_kind compute_order[module_kind_count] = {
    K::MICRO,     K::AFFICHAGE,    K::CONSTANTE,       K::SOUND_INPUT, K::FORMANT_VCF, K::GENERATOR,
    K::KEYBOARD,  K::MIXER,        K::BASIC_OPERATION, K::SAMPLER,     K::SEQUENCER,   K::PHASER,
    K::SFX_DELAY, K::SOUND_OUTPUT, K::VARIABLE,        K::VCA,         K::VCF,         K::VCF303,
    K::VCO,       K::FAKE303,      K::MULTI_VCO,
};

// "MULTI_VCO" before "VCO", "FORMANT_VCF" and "VCF303" before "VCF".
const module_kind object_word_order[module_kind_count] = {
    K::SEQUENCER,    K::MICRO,       K::SFX_DELAY, K::PHASER,          K::FORMANT_VCF, K::VCF303,
    K::VCF,          K::KEYBOARD,    K::SAMPLER,   K::GENERATOR,       K::MULTI_VCO,   K::VCO,
    K::FAKE303,      K::VCA,         K::VARIABLE,  K::BASIC_OPERATION, K::CONSTANTE,   K::AFFICHAGE,
    K::SOUND_OUTPUT, K::SOUND_INPUT, K::MIXER,
};

const table_view<module_kind> link_word_order = link_order_table;

const module_kind find_word_order[module_kind_count] = {
    K::AFFICHAGE,   K::BASIC_OPERATION, K::CONSTANTE, K::FAKE303,   K::GENERATOR,   K::KEYBOARD,
    K::MIXER,       K::MICRO,           K::PHASER,    K::SEQUENCER, K::SAMPLER,     K::SFX_DELAY,
    K::SOUND_INPUT, K::SOUND_OUTPUT,    K::VARIABLE,  K::VCA,       K::FORMANT_VCF, K::VCF303,
    K::VCF,         K::MULTI_VCO,       K::VCO,
};

const module_kind palette_order[module_kind_count] = {
    K::AFFICHAGE,   K::BASIC_OPERATION, K::CONSTANTE, K::FAKE303,   K::GENERATOR,   K::KEYBOARD,
    K::MIXER,       K::MICRO,           K::PHASER,    K::SEQUENCER, K::SAMPLER,     K::SFX_DELAY,
    K::SOUND_INPUT, K::SOUND_OUTPUT,    K::VARIABLE,  K::VCA,       K::FORMANT_VCF, K::VCF303,
    K::VCF,         K::MULTI_VCO,       K::VCO,
};

const module_type* type_for_object_name(std::string_view name) {
    return first_containing(name, object_word_order, module_kind_count, &module_type::file_word);
}
const module_type* type_for_link_name(std::string_view name) {
    return first_containing(name, link_word_order.begin(), link_word_order.size,
                            &module_type::file_word);
}
const module_type* type_for_find_name(std::string_view name) {
    return first_containing(name, find_word_order, module_kind_count, &module_type::find_word);
}
const module_type* type_for_palette_name(std::string_view name) {
    return first_containing(name, palette_order, module_kind_count, &module_type::editor_word);
}

const slot_desc* find_slot(const module_type& type, std::string_view key) {
    for (const slot_desc& s : type.slots)
        if (key == s.key) return &s;
    return nullptr;
}

const param_desc* param_of_rank(const module_type& type, int rank) {
    for (const param_desc& p : type.params)
        if (p.rank == rank) return &p;
    return nullptr;
}

const param_desc* find_control(const module_type& type, std::string_view control) {
    for (const auto& table : {type.params, type.panel_params})
        for (const param_desc& p : table)
            if (p.control && control == p.control) return &p;
    return nullptr;
}

module_ptr create_module(module_kind kind) {
    return module_ptr(type_of(kind).create(), module_deleter{kind});
}

} // namespace tmod
