// Parameter descriptions: how panel controls step a value, that every
// description gets and sets its parameter across its range and starts at the
// module's own default, and that the writer writes only keys the reader reads.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "engine/generator.hpp"
#include "engine/module_types.hpp"
#include "engine/ports.hpp"
#include "modules/sampler.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vco.hpp"
#include "patchfile/patch_writer.hpp"
#include "support/harness.hpp"
#include "util/text.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

namespace {

const param_desc& control(K kind, const char* word) {
    const param_desc* d = find_control(type_of(kind), word);
    if (!d) throw std::runtime_error(std::string("no control ") + word);
    return *d;
}

enum move { raise, lower, click_up, click_down };

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
        {K::VCO, "FREQUENCE", 49.9f, raise, 50.4f},
        {K::VCO, "FREQUENCE", 50.2f, lower, 48.7f},
        {K::VCO, "FREQUENCE", 0.011f, lower, 0.007875f},
        {K::VCO, "FREQUENCE", 0.002f, lower, 0.002f},  // no band below 0.01 when lowering
        {K::VCO, "FREQUENCE", 0.0005f, lower, 0.001f}, // never below 0.001
        {K::VCO, "FREQUENCE", 0.0005f, raise, 0.003625f},
        {K::VCO, "FREQUENCE", 22050.0f, raise, 22050.0f}, // not raised any further
        {K::VCO, "FREQUENCE", 5.0f, lower, 4.9875f},
        {K::VCO, "VOLUME", 5.0f, raise, 5.0125f},
        {K::VCO, "VOLUME", 0.0f, raise, 0.001f}, // an amplitude at 0 becomes 0.001
        {K::VCO, "VOLUME", 0.0005f, raise, 0.0005f},
        {K::VCO, "VOLUME", 0.011f, lower, 0.0f}, // below 0.01 after lowering: 0
        {K::VCO, "AFFICHAGE_TYPE_ONDE", 1, click_down, 9},
        {K::VCO, "AFFICHAGE_TYPE_ONDE", 9, click_up, 1},
        {K::VCO, "PHASE", 359, raise, 0},
        {K::VCO, "PHASE", 0, lower, -1},
        {K::VCO, "PHASE", -359, lower, 0},
        {K::VCO, "PHASE", 12.7f, raise, 13}, // truncated
        // Cut-off: lowering crosses bands, raising does not.
        {K::VCF, "HICUTOFF", 5000, lower, 4850},
        {K::VCF, "HICUTOFF", 10, lower, 7},
        {K::VCF, "HICUTOFF", 2, lower, 1},
        {K::VCF, "HICUTOFF", 1, lower, 1},
        {K::VCF, "HICUTOFF", 4990, raise, 5040},
        {K::VCF, "HICUTOFF", 10000, raise, 10000},
        {K::VCF, "HICUTOFF", 1, raise, 2},
        // Resonance: finer near the top, kept in 0.00002 .. 0.995.
        {K::VCF303, "RESO", 0.5f, lower, 0.495f},
        {K::VCF303, "RESO", 0.85f, lower, 0.84915f},
        {K::VCF303, "RESO", 0.95f, lower, 0.949905f},
        {K::VCF303, "RESO", 0.795f, raise, 0.80375295f}, // r/100, then r/1000
        {K::VCF303, "RESO", 0.995f, raise, 0.995f},
        {K::VCF303, "RESO", 0.00002f, lower, 0.00002f},
        // Fixed steps kept in their range, toggles, enumerations.
        {K::VCF, "LEVEL", 0.98f, raise, 1.0f},
        {K::VCF, "LEVEL", 0.5f, lower, 0.45f},
        {K::VCA, "ATTACK", 0.5f, lower, 0.0f},
        {K::VCA, "ATTACK", 10.0f, raise, 11.0f},
        {K::PHASER, "RANGE_HI", 0.0005f, lower, 0.0f},
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
        const int direction = c.how == raise || c.how == click_up ? 1 : -1;
        EXPECT_FLOAT_EQ(static_cast<float>(step_value(d, c.from, direction)), c.expected);
    }
}

TEST(ParamSteps, KnobsShowWhereTheValueSitsInItsRange) {
    const param_desc& cutoff = control(K::VCF, "HICUTOFF"); // 1 .. 12000 Hz, log
    EXPECT_DOUBLE_EQ(knob_position(cutoff, 1), 0.0);
    EXPECT_DOUBLE_EQ(knob_position(cutoff, 12000), 1.0);
    EXPECT_NEAR(knob_position(cutoff, 300), 0.607259, 1e-6); // ln 300 / ln 12000
    const param_desc& level = control(K::VCF, "LEVEL"); // 0 .. 1, linear
    EXPECT_DOUBLE_EQ(knob_position(level, 0.8), 0.8);
    EXPECT_DOUBLE_EQ(knob_position(level, 7.0), 1.0);
    EXPECT_DOUBLE_EQ(knob_position(level, std::nan("")), 0.0);
    // Open ranges turn half way at the initial value.
    const param_desc up = param_desc{}.range(0.0, unbounded, 2.0);
    EXPECT_DOUBLE_EQ(knob_position(up, 2.0), 0.5);
    EXPECT_DOUBLE_EQ(knob_position(up, 6.0), 0.75);
    EXPECT_DOUBLE_EQ(knob_position(up, unbounded), 1.0);
    const param_desc both = param_desc{}.range(-unbounded, unbounded, 1.0);
    EXPECT_DOUBLE_EQ(knob_position(both, 0.0), 0.5);
    EXPECT_DOUBLE_EQ(knob_position(both, 1.0), 0.75);
    // Dragging up raises every control.
    EXPECT_EQ(slider_direction(false), 1);
    EXPECT_EQ(slider_direction(true), -1);
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

// Every key of a type: the older ones the reader finds anywhere in a field,
// and the kept ones at the end of a record.
std::vector<std::string> keys_of(const module_type& t, bool kept) {
    std::vector<std::string> keys;
    for (const auto& table : {t.params, t.panel_params})
        for (const param_desc& d : table)
            if (const char* k = kept ? d.kept_key : d.key) keys.push_back(k);
    return keys;
}

TEST(ParamDescriptions, TheWriterWritesOnlyKeysTheReaderReads) {
    for_each_param([](const module_type& t, const param_desc& d) {
        SCOPED_TRACE(std::string(t.class_name) + " " + (d.control ? d.control : "?"));
        const bool panel_only = &d >= t.panel_params.begin() && &d < t.panel_params.end();
        if (panel_only) {
            EXPECT_EQ(d.key, nullptr) << "a panel parameter with a file key";
        } else {
            EXPECT_TRUE(d.key && d.apply) << "a file key the reader cannot use";
        }
        // What the user sets has a place: its field, a kept field, or the
        // module's own file.
        const bool has_place =
            d.rank >= 0 || d.kept_key || d.in_own_file || (t.write_record && d.key);
        EXPECT_TRUE(has_place || !user_state(d));
        EXPECT_TRUE(user_state(d) || !d.kept_key);
    });

    // A kept key holds no other key of its type and is held by none: the
    // older keys match anywhere in a field, in this reader and older ones.
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        const std::vector<std::string> older = keys_of(t, false), kept = keys_of(t, true);
        for (std::size_t a = 0; a < kept.size(); ++a) {
            for (const std::string& o : older)
                EXPECT_FALSE(contains(kept[a], o) || contains(o, kept[a]))
                    << t.class_name << ": " << kept[a] << " and " << o;
            for (std::size_t b = 0; b < kept.size(); ++b)
                EXPECT_TRUE(a == b || !contains(kept[a], kept[b]))
                    << t.class_name << ": " << kept[a] << " and " << kept[b];
        }
    }

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
        const std::vector<std::string> older = keys_of(*t, false), kept = keys_of(*t, true);
        const std::string fields = line.substr(first + 1);
        // Each written field is an older key's, or a kept one in which no
        // older key occurs, key or value.
        std::string older_fields;
        bool kept_seen = false;
        std::istringstream each(fields);
        std::string field;
        while (std::getline(each, field, ';')) {
            if (field.empty()) continue;
            const std::string key = field.substr(0, field.find('='));
            if (std::find(kept.begin(), kept.end(), key) != kept.end()) {
                kept_seen = true;
                for (const std::string& o : older) EXPECT_FALSE(contains(field, o)) << o;
                continue;
            }
            EXPECT_FALSE(kept_seen) << key << " after the kept fields";
            bool read = false;
            for (const std::string& o : older) read = read || contains(key, o);
            EXPECT_TRUE(read) << key;
            older_fields += key + "=";
        }
        // ...and each ranked parameter is written, in its place.
        if (t->write_record) continue;
        std::string expected_keys;
        int r = 0, ranked = 0;
        for (const param_desc& d : t->params) ranked += d.rank >= 0;
        for (; const param_desc* d = param_of_rank(*t, r); ++r)
            expected_keys += std::string(d->key) + "=";
        EXPECT_EQ(r, ranked) << "places are not 0, 1, 2...";
        EXPECT_EQ(older_fields, expected_keys);
    }
    EXPECT_EQ(records, module_kind_count);
}

// A value other than the default, in range and on the parameter's grid: a few
// steps away (more for later indices, so that indices cannot be mixed up), or
// a point inside a range that is not stepped.
double other_value(const param_desc& d, int i) {
    if (d.step != step_rule::none) {
        const int steps = d.step == step_rule::toggle ? 1 : 3 + i % 4;
        for (int direction : {1, -1}) {
            double v = d.initial;
            for (int k = 0; k < steps; ++k) v = step_value(d, v, direction);
            if (v != d.initial && v >= d.min && v <= d.max) return v;
        }
    }
    const double lo = std::isfinite(d.min) ? d.min : d.initial - 10.0;
    const double hi = std::isfinite(d.max) ? d.max : d.initial + 10.0;
    return lo + (hi - lo) * (0.37 + 0.01 * (i % 40));
}

// Saves run in a scratch directory of their own, where the sequencers'
// PARTITIONS/ is.
class Saved : public in_scratch_dir {
  protected:
    // Saves, then loads into a fresh container, which it returns.
    std::unique_ptr<GENERATOR> save_and_load(GENERATOR& g, const char* file) {
        std::string error;
        auto back = std::make_unique<GENERATOR>();
        stdout_of([&] {
            EXPECT_TRUE(save_patch(g, modules_in_list_order(g), file, &error)) << error;
            load_report report;
            EXPECT_EQ(load_patch(*back, file, &report), load_ok) << report.messages.size();
        });
        return back;
    }
};

TEST_F(Saved, EverySettingOfEveryTypeComesBackAsItWasSet) {
    write_text("inner.tsy", tsy(""));
    GENERATOR g;
    // For each type, each setting (every index of indexed ones): what it holds
    // once all are set.
    std::vector<std::vector<std::vector<double>>> held(module_kind_count);
    stdout_of([&] {
        for (int k = 0; k < module_kind_count; ++k) {
            const module_type& t = type_of(k);
            OUTPUT& m = *add_named<OUTPUT>(g, t.kind, (std::string(t.class_name) + "_1").c_str());
            if (t.kind == K::GENERATOR) load_patch(static_cast<GENERATOR&>(m), "inner.tsy");
            if (t.kind == K::SAMPLER)
                static_cast<SAMPLER&>(m).load_sample(TM_SOURCE_DATA_DIR "/sounds/guitare.wav");
            for (const auto& table : {t.params, t.panel_params})
                for (const param_desc& d : table)
                    if (user_state(d))
                        for (int i = 0; i < d.count; ++i) d.set(m, i, other_value(d, i));
        }
    });
    int settings = 0;
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        for (const auto& table : {t.params, t.panel_params})
            for (const param_desc& d : table) {
                if (!user_state(d)) continue;
                std::vector<double> values;
                for (int i = 0; i < d.count; ++i) values.push_back(d.get(*g.at(t.kind, 0), i));
                EXPECT_NE(values[0], d.initial)
                    << t.class_name << " " << (d.control ? d.control : "");
                held[k].push_back(values);
                ++settings;
            }
    }
    EXPECT_GE(settings, 60);

    const auto back = save_and_load(g, "all.tsy");
    for (int k = 0; k < module_kind_count; ++k) {
        const module_type& t = type_of(k);
        OUTPUT* m = back->find(t.kind, std::string(t.class_name) + "_1");
        ASSERT_NE(m, nullptr) << t.class_name;
        std::size_t n = 0;
        for (const auto& table : {t.params, t.panel_params})
            for (const param_desc& d : table) {
                if (!user_state(d)) continue;
                const std::vector<double>& values = held[k][n++];
                for (int i = 0; i < d.count; ++i)
                    ASSERT_EQ(d.get(*m, i), values[i]) << t.class_name << " "
                                                       << (d.control ? d.control
                                                           : d.key   ? d.key
                                                                     : "")
                                                       << " [" << i << "]";
            }
    }

    // Saved again, the file is the same to the byte, and the partition,
    // unchanged, is not written again.
    std::string error;
    std::vector<std::string> written;
    stdout_of([&] {
        EXPECT_TRUE(save_patch(*back, modules_in_list_order(*back), "again.tsy", &error, &written));
    });
    EXPECT_EQ(read_text("again.tsy"), read_text("all.tsy"));
    EXPECT_TRUE(written.empty()) << written.front();
}

// A filter at its default level 1 was read back at GAIN / 10 = 0 (half as loud).
TEST_F(Saved, AFilterSoundsTheSameAfterASaveAndALoad) {
    GENERATOR g;
    auto* vco = add_named<VCO>(g, K::VCO, "VCO_1");
    vco->type = 3, vco->freq = 220.0f;
    auto* vcf = add_named<VCF>(g, K::VCF, "VCF_1");
    vcf->type = vcf_low_pass, vcf->bypass = 0, vcf->set_hicut(900), vcf->q = 2.0f;
    vcf->in.connect(&vco->value);
    add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_1")->in.connect(&vcf->value);
    const auto back = save_and_load(g, "vcf.tsy");
    EXPECT_EQ(static_cast<VCF*>(back->find(K::VCF, "VCF_1"))->level, 1.0f);
    const std::vector<float> before = run(g, 4000), after = run(*back, 4000);
    EXPECT_GT(rms(before), 0.05);
    EXPECT_EQ(after, before);
}

} // namespace
