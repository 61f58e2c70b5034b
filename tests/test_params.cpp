// Parameter descriptions: how panel controls step a value, that every
// description gets and sets its parameter across its range and starts at the
// module's own default, and that the writer writes only keys the reader reads.
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

#include "engine/generator.hpp"
#include "engine/module_types.hpp"
#include "modules/sequencer.hpp"
#include "patchfile/patch_writer.hpp"
#include "util/text.hpp"

using namespace tmod;
using K = module_kind;

namespace {

const param_desc& control(K kind, const char* word) {
    const param_desc* d = find_control(type_of(kind), word);
    if (!d) throw std::runtime_error(std::string("no control ") + word);
    return *d;
}

enum move { sld_down, sld_up, click_up, click_down };

struct step_case {
    K kind;
    const char* control;
    float from;
    move how;
    float expected;
};

TEST(ParamSteps, PanelControlsStepAsThePanelsDo) {
    const step_case cases[] = {
        // Bands from the top down: a raise takes one step, a lowering that
        // crosses 50 takes the steps of both bands.
        {K::VCO, "FREQUENCE", 49.9f, sld_down, 50.4f},
        {K::VCO, "FREQUENCE", 50.2f, sld_up, 48.7f},
        {K::VCO, "FREQUENCE", 0.011f, sld_up, 0.007875f},
        {K::VCO, "FREQUENCE", 0.002f, sld_up, 0.002f},  // no band below 0.01 when lowering
        {K::VCO, "FREQUENCE", 0.0005f, sld_up, 0.001f}, // never below 0.001
        {K::VCO, "FREQUENCE", 0.0005f, sld_down, 0.003625f},
        {K::VCO, "FREQUENCE", 22050.0f, sld_down, 22050.0f}, // not raised any further
        {K::VCO, "FREQUENCE", 5.0f, sld_up, 4.9875f},
        {K::VCO, "VOLUME", 5.0f, sld_down, 5.0125f},
        {K::VCO, "VOLUME", 0.0f, sld_down, 0.001f}, // an amplitude at 0 becomes 0.001
        {K::VCO, "VOLUME", 0.0005f, sld_down, 0.0005f},
        {K::VCO, "VOLUME", 0.011f, sld_up, 0.0f}, // below 0.01 after lowering: 0
        {K::VCO, "AFFICHAGE_TYPE_ONDE", 1, click_down, 9},
        {K::VCO, "AFFICHAGE_TYPE_ONDE", 9, click_up, 1},
        {K::VCO, "PHASE", 359, sld_up, 0},
        {K::VCO, "PHASE", 0, sld_down, -1},
        {K::VCO, "PHASE", -359, sld_down, 0},
        {K::VCO, "PHASE", 12.7f, sld_up, 13}, // truncated
        // Cut-off: reversed, lowering crosses bands, raising does not.
        {K::VCF, "HICUTOFF", 5000, sld_down, 4850},
        {K::VCF, "HICUTOFF", 10, sld_down, 7},
        {K::VCF, "HICUTOFF", 2, sld_down, 1},
        {K::VCF, "HICUTOFF", 1, sld_down, 1},
        {K::VCF, "HICUTOFF", 4990, sld_up, 5040},
        {K::VCF, "HICUTOFF", 10000, sld_up, 10000},
        {K::VCF, "HICUTOFF", 1, sld_up, 2},
        // Resonance: reversed; finer near the top, kept in 0.00002 .. 0.995.
        {K::VCF303, "RESO", 0.5f, sld_down, 0.495f},
        {K::VCF303, "RESO", 0.85f, sld_down, 0.84915f},
        {K::VCF303, "RESO", 0.95f, sld_down, 0.949905f},
        {K::VCF303, "RESO", 0.795f, sld_up, 0.80375295f}, // r/100, then r/1000
        {K::VCF303, "RESO", 0.995f, sld_up, 0.995f},
        {K::VCF303, "RESO", 0.00002f, sld_down, 0.00002f},
        // Fixed steps kept in their range, toggles, enumerations.
        {K::VCF, "LEVEL", 0.98f, sld_down, 1.0f},
        {K::VCF, "LEVEL", 0.5f, sld_up, 0.45f},
        {K::VCA, "ATTACK", 0.5f, sld_up, 0.0f},
        {K::VCA, "ATTACK", 10.0f, sld_down, 11.0f},
        {K::PHASER, "RANGE_HI", 0.0005f, sld_up, 0.0f},
        {K::KEYBOARD, "POWER", 1, click_up, 0},
        {K::VCF, "BYPASS", 0, click_up, 1},
        {K::BASIC_OPERATION, "TYPE", 17, click_up, 1},
        {K::BASIC_OPERATION, "TYPE", 1, click_down, 17},
        {K::VCF, "AFFICHAGE_TYPE_FILTRE", 7, click_up, 1},
        {K::VCF, "AFFICHAGE_TYPE_FILTRE", 0, click_up, 1}, // "no filter" from a file
    };
    for (const step_case& c : cases) {
        const param_desc& d = control(c.kind, c.control);
        SCOPED_TRACE(std::string(c.control) + " from " + std::to_string(c.from));
        const int direction = c.how == sld_down   ? slider_direction(d, true)
                              : c.how == sld_up   ? slider_direction(d, false)
                              : c.how == click_up ? 1
                                                  : -1;
        EXPECT_FLOAT_EQ(static_cast<float>(step_value(d, c.from, direction)), c.expected);
    }
}

TEST(ParamSteps, LabelsUseTheDisplayFormat) {
    EXPECT_EQ(shown_text(control(K::VCF, "AFFICHAGE_TYPE_FILTRE"), 1), " LOWPASS");
    EXPECT_EQ(shown_text(control(K::BASIC_OPERATION, "TYPE"), 17), "Switch");
    EXPECT_EQ(shown_text(control(K::VCO, "FREQUENCE"), 440.25), "440.250");
    EXPECT_EQ(shown_text(control(K::VCO, "PHASE"), -12.9), "-12");
    EXPECT_EQ(shown_text(control(K::PHASER, "RANGE_HI"), 0.1), "2205.0"); // shown in Hz
}

template <class F>
void for_each_param(F f) {
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        for (const auto& table : {t.params, t.panel_params})
            for (const param_desc& d : table) f(t, d);
    }
}

TEST(ParamDescriptions, GetAndSetAcrossTheRangeFromTheModulesDefault) {
    for (int k = 0; k < module_kind_count; ++k) ASSERT_EQ(index_of(type_of(k).kind), k);
    for_each_param([](const module_type& t, const param_desc& d) {
        SCOPED_TRACE(std::string(t.class_name) + " " +
                     (d.key       ? d.key
                      : d.control ? d.control
                                  : "(power)"));
        if (!d.get) {
            EXPECT_FALSE(d.set);
            EXPECT_TRUE(d.apply) << "a description nothing can use";
            return;
        }
        ASSERT_TRUE(d.set);
        EXPECT_LE(d.min, d.initial);
        EXPECT_LE(d.initial, d.max);
        module_ptr m = create_module(t.kind);
        for (int i : {0, d.count - 1}) {
            EXPECT_FLOAT_EQ(static_cast<float>(d.get(*m, i)), static_cast<float>(d.initial));
            for (double v : {d.min, d.max, d.initial}) {
                if (!std::isfinite(v)) continue;
                d.set(*m, i, v);
                EXPECT_FLOAT_EQ(static_cast<float>(d.get(*m, i)), static_cast<float>(v));
            }
        }
    });
}

TEST(ParamDescriptions, TheWriterWritesOnlyKeysTheReaderReads) {
    for_each_param([](const module_type& t, const param_desc& d) {
        const bool panel_only = &d >= t.panel_params.begin() && &d < t.panel_params.end();
        if (panel_only) {
            EXPECT_EQ(d.key, nullptr) << t.class_name << ": a panel parameter with a file key";
        } else {
            EXPECT_TRUE(d.key && d.apply) << t.class_name << ": a file key the reader cannot use";
        }
    });

    GENERATOR g;
    for (int k = 0; k < module_kind_count; ++k) {
        OUTPUT* m = g.add_module(create_module(static_cast<K>(k)));
        m->set_name(std::string(type_of(k).class_name) + "_1");
        if (type_of(k).kind == K::SEQUENCER)
            copy_text(static_cast<SEQUENCER*>(m)->partition_file_name, "PARTITIONS/none.PAR");
    }
    std::istringstream text(patch_text(g, modules_in_list_order(g)));
    std::string line;
    int records = 0;
    while (std::getline(text, line) && line != "END_OBJECTS_DECLARE") {
        const std::size_t first = line.find(';');
        if (first == std::string::npos) continue;
        const module_type* t = type_for_object_name(line.substr(0, first));
        ASSERT_TRUE(t) << line;
        SCOPED_TRACE(line);
        ++records;
        const std::string fields = line.substr(first + 1);
        // Each written field is matched by a reader key...
        std::istringstream each(fields);
        std::string field;
        while (std::getline(each, field, ';')) {
            if (field.empty()) continue;
            const std::string key = field.substr(0, field.find('='));
            bool read = false;
            for (const param_desc& d : t->params) read = read || contains(key, d.key);
            EXPECT_TRUE(read) << key;
        }
        // ...and each ranked parameter is written, in its place.
        if (t->write_record) continue;
        int ranked = 0;
        for (const param_desc& d : t->params) ranked += d.rank >= 0;
        std::string expected_keys;
        int r = 0;
        for (; const param_desc* d = param_of_rank(*t, r); ++r)
            expected_keys += std::string(d->key) + "=";
        EXPECT_EQ(r, ranked) << "places are not 0, 1, 2...";
        std::string written_keys;
        for (std::istringstream again(fields); std::getline(again, field, ';');)
            if (!field.empty()) written_keys += field.substr(0, field.find('=') + 1);
        EXPECT_EQ(written_keys, expected_keys);
    }
    EXPECT_EQ(records, module_kind_count);
}

} // namespace
