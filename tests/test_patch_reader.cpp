// The patch reader: what a file makes of a container, the reader's quirks,
// its messages, and a corpus of malformed files that must load without harm.
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/nested_loader.hpp"
#include "engine/note_table.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "modules/keyboard.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "modules/vco.hpp"
#include "support/harness.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;
using ::testing::HasSubstr;

namespace {

class Reader : public ::testing::Test {
  protected:
    std::string file(const std::string& name, const std::string& text) {
        write_text(dir_ + "/" + name, text);
        return dir_ + "/" + name;
    }
    // Loads the text; `printed` gets what the reader said.
    load_status load(const std::string& text) {
        return load_file(g_, file("patch.tsy", text), &printed_);
    }
    template <class T>
    T& at(K kind, std::size_t i = 0) {
        return *static_cast<T*>(g_.at(kind, i));
    }

    std::string dir_ = scratch_dir(), printed_;
    GENERATOR g_;
};

} // namespace

TEST_F(Reader, MarkersOnlyGiveAnEmptyPatch) {
    EXPECT_EQ(load(tsy("")), load_ok);
    EXPECT_EQ(g_.total_count(), 0u);
    EXPECT_THAT(printed_, HasSubstr("Loading TSY ["));
    EXPECT_EQ(audio_enabled.load(), 1) << "rendering is back on after the load";
}

TEST_F(Reader, ObjectsComeInReverseFileOrderAndLaterLinksWin) {
    load(tsy("CONSTANTE_1;VALUE=1;\nCONSTANTE_2;VALUE=2;\nSOUND_OUTPUT_1;;\n",
             "SOUND_OUTPUT_1;IN=CONSTANTE_1;\nSOUND_OUTPUT_1;IN=CONSTANTE_2;\n"));
    EXPECT_STREQ(g_.at(K::CONSTANTE, 0)->name, "CONSTANTE_2");
    EXPECT_EQ(at<SOUND_OUTPUT>(K::SOUND_OUTPUT).in.source(), &g_.at(K::CONSTANTE, 0)->value);
}

TEST_F(Reader, WaveformDigitsSwapTheAttractorsAndAFinalFieldNeedsItsSeparator) {
    load(tsy("VCO_1;TYPE=7;\nVCO_2;TYPE=8;\nVCO_3;TYPE=x;\nVCO_4;TYPE=5;FREQ=300\nVCO_5;TYPE=9\n"));
    // The fifth record has a single ";" and is skipped.
    ASSERT_EQ(g_.count(K::VCO), 4u);
    EXPECT_EQ(at<VCO>(K::VCO, 3).type.load(), wave_lorenz);  // VCO_1
    EXPECT_EQ(at<VCO>(K::VCO, 2).type.load(), wave_rossler); // VCO_2
    EXPECT_EQ(at<VCO>(K::VCO, 1).type.load(), 1);            // VCO_3: not a digit
    EXPECT_EQ(at<VCO>(K::VCO, 0).type.load(), 5);            // VCO_4
    EXPECT_EQ(at<VCO>(K::VCO, 0).freq.load(), 110.0f) << "FREQ has no ';' after it";
}

TEST_F(Reader, IntegerKeysTruncateAndNoteSetsTheFrequency) {
    load(tsy("VCA_1;ATTACK=12.75;DECAY=3.9;SUSTAIN=0.5;\nCONSTANTE_1;VALUE=2.5;\n"
             "VCO_1;FREQ=300;NOTE=58;\nVCO_2;NOTE=58;FREQ=300;\nVCO_3;NOTE=58FREQ=300;\n"));
    EXPECT_EQ(at<VCA>(K::VCA).attack.load(), 12.0f);
    EXPECT_EQ(at<VCA>(K::VCA).decay.load(), 3.0f);
    EXPECT_EQ(at<VCA>(K::VCA).sustain.load(), 0.0f);
    EXPECT_EQ(at<CONSTANTE>(K::CONSTANTE).constant.load(), 2.0f);
    EXPECT_FLOAT_EQ(at<VCO>(K::VCO, 2).freq, 440.0f) << "the later field wins";
    EXPECT_FLOAT_EQ(at<VCO>(K::VCO, 1).freq, 300.0f);
    // One field holding both keys: FREQ is tested before NOTE, so NOTE wins.
    EXPECT_FLOAT_EQ(at<VCO>(K::VCO, 0).freq, float(note_frequency(58)));
}

TEST_F(Reader, KeysMatchAsSubstrings) {
    load(tsy("KEY_1;;\nSEQUENCER_1;PARTITION_FILE_NAME=none.PAR;\nVARIABLE_1;;\nSOUND_INPUT_1;;\n"
             "CONSTANTE_1;VALUE=1;\nVCO_1;TYPE=1;\n",
             "VARIABLE_1;IN_ASSIGN=CONSTANTE_1;\nSOUND_INPUT_1;IN_GATE=KEY_1;IN_SYNC=SEQUENCER_1;\n"
             "VCO_1;GATE=KEY_1;SYNC=KEY_1;IN=KEY_1;\n"));
    auto& var = at<VARIABLE>(K::VARIABLE);
    const OUTPUT* c = g_.at(K::CONSTANTE, 0);
    EXPECT_EQ(var.in_assign.source(), &c->value);
    EXPECT_EQ(var.in.source(), &c->value) << "IN occurs in IN_ASSIGN";
    auto& port = at<SOUND_INPUT>(K::SOUND_INPUT);
    auto& key = at<KEYBOARD>(K::KEYBOARD);
    auto& seq = at<SEQUENCER>(K::SEQUENCER);
    EXPECT_EQ(port.gate_in.source(), &key.gate);
    EXPECT_EQ(port.in.source(), &seq.value) << "IN occurs in IN_SYNC, the last field";
    EXPECT_EQ(port.sync_in.source(), &seq.pulse);
    auto& vco = at<VCO>(K::VCO);
    EXPECT_FALSE(vco.gate_in.connected()) << "VCO gates are saved, never read";
    EXPECT_FALSE(vco.sync_in.connected());
    EXPECT_EQ(vco.in.source(), &key.value) << "a keyboard named KEY_1 is found by name";
}

TEST_F(Reader, GateSourcesByWordAndTheLaterWordWins) {
    load(tsy(
        "KEY_SEQUENCER;;\nSEQUENCER_KEY;PARTITION_FILE_NAME=x;\nVCA_1;ATTACK=1;\n"
        "VCA_2;ATTACK=1;\nSOUND_INPUT_1;;\nCONSTANTE_1;VALUE=1;\n",
        "VCA_1;IN=CONSTANTE_1;GATE=SEQUENCER_KEY;\nVCA_2;IN=CONSTANTE_1;GATE=SOUND_INPUT_1;\n"));
    // "SEQUENCER_KEY" holds both words: KEY is tested first and finds no keyboard
    // of that name, SEQUENCER then finds the sequencer.
    EXPECT_EQ(at<VCA>(K::VCA, 1).gate_in.source(), &at<SEQUENCER>(K::SEQUENCER).gate);
    EXPECT_EQ(at<VCA>(K::VCA, 0).gate_in.source(),
              &at<SOUND_INPUT>(K::SOUND_INPUT).inner_gate.gate);
}

TEST_F(Reader, TypeWordTrapsInBothPasses) {
    load(tsy("VCF303_1;HICUT=900;\nVCF_1;HICUT=500;\nMULTI_VCO_1;TYPE=2;\nCONSTANTE_1;VALUE=1;\n",
             "VCF303_1;IN=CONSTANTE_1;\nMULTI_VCO_1;IN=CONSTANTE_1;\n"));
    EXPECT_EQ(g_.count(K::VCF303), 1u);
    EXPECT_EQ(g_.count(K::VCF), 1u);
    EXPECT_EQ(g_.count(K::MULTI_VCO), 1u);
    EXPECT_EQ(g_.count(K::VCO), 0u);
    EXPECT_EQ(at<VCF>(K::VCF).hicut.load(), 500);
    EXPECT_TRUE(at<VCF303>(K::VCF303).in.connected());
}

TEST_F(Reader, WithoutTheEndMarkerLinkRecordsBecomeObjectsAndPositionsAreNeverRead) {
    load("VCO_1;TYPE=2;\nSOUND_OUTPUT_1;;\nBEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=VCO_1;\n"
         "END_LINKS_DECLARE\n");
    EXPECT_EQ(g_.count(K::SOUND_OUTPUT), 2u);
    EXPECT_EQ(at<SOUND_OUTPUT>(K::SOUND_OUTPUT, 0).in.source(), &g_.at(K::VCO, 0)->value);

    GENERATOR g;
    load_file(g, file("pos.tsy", tsy("VCO_1;TYPE=1;\nSOUND_OUTPUT_1;;\n") +
                                     "BEGIN_LINKS_DECLARE\nEND_LINKS_DECLARE\n"
                                     "BEGIN_OBJECTS_POSITION_DECLARE\nSOUND_OUTPUT_1;IN=VCO_1;\n"
                                     "END_OBJECTS_POSITION_DECLARE\n"));
    EXPECT_FALSE(static_cast<SOUND_OUTPUT*>(g.at(K::SOUND_OUTPUT, 0))->in.connected());
}

TEST_F(Reader, MessagesOfBadRecords) {
    EXPECT_EQ(
        load(tsy("VCO_1;;TYPE=3;\nVCO_2;TYPE=4;\nKEY_1;;OCTAVE=2;\nMIXER_1;V_00=0.5;;V_01=0.2;\n",
                 "VCO_9;IN=KEY_1;\nGENERATOR_3;IN=KEY_1;\nSOUND_OUTPUT_4;IN=VCO_2;\n"
                 "SOUND_INPUT_5;IN=VCO_2;\nVCO_2;\nVCO_2;IN=;;MOD_FREQ=KEY_1;\n")),
        load_with_errors);
    // Word counts: the objects pass counts from the first word of the file.
    for (const char* message :
         {"Erreur, au niveau des parametre ligne [2]\n", "Cannot Found VCO [VCO_9]\n",
          "Cannot Found GENERATOR [GENERATOR_3]\n", "Cannot Found SOUND_OUTPUT [SOUND_OUTPUT_4]\n",
          "Cannot Found SOUND_IN [SOUND_INPUT_5]\n",
          "Ligne 12 semble avoir moins de 2 parametres\n",
          "Erreur, au niveau des parametre ligne [13]\n"})
        EXPECT_THAT(printed_, HasSubstr(message));
    // The bad VCO record stops at its empty field, the keyboard skips it, the
    // mixer ends its record there.
    EXPECT_EQ(at<VCO>(K::VCO, 1).type.load(), 1);
    EXPECT_EQ(at<KEYBOARD>(K::KEYBOARD).octave.load(), 2);
    EXPECT_FLOAT_EQ(at<MIXER>(K::MIXER).volumes[0], 0.5f);
    EXPECT_FLOAT_EQ(at<MIXER>(K::MIXER).volumes[1], 1.0f);
    EXPECT_FALSE(at<VCO>(K::VCO, 0).mod_freq.connected()) << "fields after an empty one skipped";
}

TEST_F(Reader, Vcf303ReportsAMissingSourceAndStillTakesItsGate) {
    load(tsy("KEY_1;;\nVCF303_1;BYPASS=0;\n", "VCF303_1;IN=NOBODY;\nVCF303_1;GATE=KEY_1;\n"));
    EXPECT_THAT(printed_, HasSubstr("Probleme output VCF303\n"));
    EXPECT_FALSE(at<VCF303>(K::VCF303).in.connected());
    EXPECT_EQ(at<VCF303>(K::VCF303).gate_in.source(), &at<KEYBOARD>(K::KEYBOARD).gate);
}

TEST_F(Reader, AMissingFileLoadsNothingAndTheContainerStaysUsable) {
    EXPECT_EQ(load_file(g_, dir_ + "/nope.tsy", &printed_), load_failed);
    EXPECT_THAT(printed_, HasSubstr("Must Specify a true filename [" + dir_ + "/nope.tsy]\n"));
    EXPECT_EQ(g_.total_count(), 0u);
    EXPECT_EQ(load_patch(g_, nullptr), load_failed);
    EXPECT_EQ(audio_enabled.load(), 1);
}

TEST_F(Reader, LongNamesAreCutAndLongWordsSkipped) {
    const std::string long_name = "CONSTANTE_" + std::string(100, 'x');
    EXPECT_EQ(load(tsy(long_name + ";VALUE=3;\nVCO_1;FREQ=" + std::string(5000, '1') +
                       ";\nCONSTANTE_2;VALUE=1;\n")),
              load_with_errors);
    ASSERT_EQ(g_.count(K::CONSTANTE), 2u);
    EXPECT_EQ(std::string(g_.at(K::CONSTANTE, 1)->name), long_name.substr(0, 79));
    EXPECT_EQ(g_.count(K::VCO), 0u) << "the 5000-character word is skipped";
    EXPECT_THAT(printed_, HasSubstr("Ligne 3 :"));
}

TEST_F(Reader, NestedPatchesLoadCompletelyAndSelfIncludeIsRefused) {
    file("inner.tsy",
         tsy("CONSTANTE_1;VALUE=5;\nSOUND_OUTPUT_1;;\n", "SOUND_OUTPUT_1;IN=CONSTANTE_1;\n"));
    file("loop_a.tsy", tsy("GENERATOR_1;FILE=" + dir_ + "/loop_b.tsy;\n"));
    file("loop_b.tsy", tsy("GENERATOR_1;FILE=" + dir_ + "/loop_a.tsy;\nCONSTANTE_1;VALUE=1;\n"));
    EXPECT_EQ(load(tsy("GENERATOR_1;FILE=" + dir_ + "/inner.tsy;\nSOUND_OUTPUT_1;;\n",
                       "SOUND_OUTPUT_1;IN=GENERATOR_1;\n")),
              load_ok);
    run(g_, 3);
    EXPECT_EQ(g_.value.load(), 5.0f);

    GENERATOR self;
    std::string printed;
    // The refused inner load is a problem of the outer ones too.
    EXPECT_EQ(load_file(self, dir_ + "/loop_a.tsy", &printed), load_with_errors);
    EXPECT_THAT(printed, HasSubstr("s'inclut lui-meme"));
    auto* b = static_cast<GENERATOR*>(self.at(K::GENERATOR, 0));
    EXPECT_EQ(b->count(K::CONSTANTE), 1u);
    EXPECT_EQ(static_cast<GENERATOR*>(b->at(K::GENERATOR, 0))->total_count(), 0u);
}

// The row hands the path on to the load applying the field (a copy: the value
// is a view into the record), and says so when no load applies it.
TEST_F(Reader, AFileFieldIsLoadedByTheLoadThatAppliesIt) {
    struct recording_loader final : nested_loader {
        void load_nested(GENERATOR& g, const char* path) override { into = &g, seen = path; }
        GENERATOR* into = nullptr;
        std::string seen;
    } loader;
    const param_desc* file_param = nullptr;
    for (const param_desc& d : type_of(K::GENERATOR).params)
        if (std::string_view(d.key) == "FILE") file_param = &d;
    ASSERT_NE(file_param, nullptr);
    const std::string_view record = "FILE=TSY/a.tsy;IN=VCO_1";
    field_text f{record.substr(0, 14), record.substr(0, 4), record.substr(5, 9), &loader};
    GENERATOR nested;
    file_param->apply(nested, f);
    EXPECT_EQ(loader.into, &nested);
    EXPECT_EQ(loader.seen, "TSY/a.tsy");

    f.nested = nullptr;
    const std::string printed = stdout_of([&] { file_param->apply(nested, f); });
    EXPECT_THAT(printed, HasSubstr("no patch reader to load TSY/a.tsy"));
    EXPECT_EQ(nested.total_count(), 0u);
}

TEST_F(Reader, DevicesAndPipesAreNotFiles) {
    load_file(g_, std::string(TM_TEST_DATA_DIR) + "/patches/devices.tsy", &printed_);
    EXPECT_THAT(printed_, HasSubstr("Must Specify a true filename [/dev/zero]"));
    EXPECT_THAT(printed_, HasSubstr("Must Specify a true filename [/dev/stdin]"));
    EXPECT_EQ(g_.count(K::GENERATOR), 2u);
}

// Every file of the malformed corpus loads without a crash (this suite also
// runs under AddressSanitizer and UBSan) and the patch then ticks.
TEST(ReaderCorpus, MalformedFilesLoadWithoutHarm) {
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TM_TEST_DATA_DIR) + "/patches")) {
        SCOPED_TRACE(entry.path().string());
        GENERATOR g;
        EXPECT_NE(load_file(g, entry.path().string()), load_failed);
        for (int i = 0; i < 2000; ++i) g.compute();
        ++files;
    }
    EXPECT_GE(files, 10);
}

// Every record the reader could not read whole is counted once, with why;
// what the writer itself writes (an unconnected module's "NAME;", the links of
// types that have none to read, fields of newer keys) is not.
TEST_F(Reader, EveryRecordNotReadWholeIsCountedOnceWithWhy) {
    file("voice.tsy", tsy("CONSTANTE_1;VALUE=1;\nWIDGET_2;;\n"));
    const std::string path =
        file("patch.tsy",
             tsy("WIDGET_1;X=2;\n"               // word 2: no type
                 "VCO_1;\n"                      // 3: no fields
                 "VCO_2;;TYPE=3;\n"              // 4: empty field
                 "VCO_3;TYPE=2;FUTURE_KEY=1;\n"  // 5: read
                 "SAMPLER_1;FILE=nowhere.wav;\n" // 6: sample missing
                 "GENERATOR_1;FILE=" +
                     dir_ +
                     "/missing.tsy;\n" // 7: nested missing
                     "GENERATOR_2;FILE=" +
                     dir_ +
                     "/voice.tsy;\n"                                    // 8: read, its word 3 not
                     "KEY_1;OCTAVE=4;\nFAKE303_1;TYPE=1;\nMIXER_1;;\n", // 9-11
                 "VCO_3;IN=KEY_1;MOD_FREQ=NOBODY;MOD_AMP=NOONE;\n"      // 14: two sources missing
                 "VCO_9;IN=KEY_1;\n"                                    // 15: no such module
                 "VCO_1;\nKEY_1;IN=VCO_3;\nFAKE303_1;IN=VCO_3;\n"       // 16-18: nothing to read
                 "MIXER_1;ADD_CHANELL=VCO_3;\n"));                      // 19
    load_report report;
    stdout_of([&] { EXPECT_EQ(load_patch(g_, path.c_str(), &report), load_with_errors); });
    EXPECT_EQ(report.status, load_with_errors);
    const std::vector<std::string> expected = {
        path + " word 2: no module type in the name WIDGET_1",
        path + " word 3: a record without fields",
        path + " word 4: an empty field",
        path + " word 6: the file nowhere.wav could not be loaded",
        path + " word 7: the nested patch " + dir_ + "/missing.tsy was not loaded",
        dir_ + "/voice.tsy word 3: no module type in the name WIDGET_2",
        path + " word 14: no source NOBODY",
        path + " word 15: no module VCO_9",
    };
    EXPECT_EQ(report.messages, expected);
    EXPECT_EQ(report.dropped, 8);
    EXPECT_EQ(at<VCO>(K::VCO, 0).type.load(), 2) << "VCO_3 read whole";

    // Only the count goes on past the first hundred lines.
    std::string many;
    for (int i = 0; i < 150; ++i) many += "NOTHING_" + std::to_string(i) + ";A=1;\n";
    stdout_of([&] { load_patch(g_, file("many.tsy", tsy(many)).c_str(), &report); });
    EXPECT_EQ(report.dropped, 150);
    EXPECT_EQ(report.messages.size(), static_cast<std::size_t>(max_report_lines));
}

// The shipped patches, read from the data directory as the program reads them.
TEST(ReaderCorpus, EveryShippedPatchReadsWhole) {
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(TM_SOURCE_DATA_DIR);
    int patches = 0;
    for (const auto& entry : std::filesystem::directory_iterator("TSY")) {
        if (entry.path().extension() != ".tsy") continue;
        SCOPED_TRACE(entry.path().string());
        GENERATOR g;
        load_report report;
        stdout_of([&] { load_patch(g, entry.path().c_str(), &report); });
        EXPECT_EQ(report.status, load_ok);
        EXPECT_EQ(report.dropped, 0) << (report.messages.empty() ? "" : report.messages[0]);
        ++patches;
    }
    std::filesystem::current_path(here);
    EXPECT_GE(patches, 10);
}
