// The patch reader: what a file makes of a container, the reader's quirks,
// its messages, and a corpus of malformed files that must load without harm.
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/control.hpp"
#include "modules/keyboard.hpp"
#include "modules/ports.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "modules/vco.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/harness.hpp"

using namespace tmod;
using K = module_kind;
using ::testing::HasSubstr;

namespace {

struct loaded {
    load_status status;
    std::string output; // what the reader printed
};

class Reader : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::scratch_dir(std::string("reader_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    std::string file(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        test::write_text(path, text);
        return path;
    }
    loaded load(const std::string& path) {
        ::testing::internal::CaptureStdout();
        const load_status s = load_patch(g_, path.c_str());
        return {s, ::testing::internal::GetCapturedStdout()};
    }
    loaded load_text(const std::string& text) { return load(file("patch.tsy", text)); }
    template <class T>
    T& at(K kind, std::size_t i = 0) {
        return *static_cast<T*>(g_.at(kind, i));
    }

    std::string dir_;
    GENERATOR g_;
};

std::string objects(const std::string& body) { return "BEGIN_OBJECTS_DECLARE\n" + body + "END_OBJECTS_DECLARE\n"; }
std::string links(const std::string& body) { return "BEGIN_LINKS_DECLARE\n" + body + "END_LINKS_DECLARE\n"; }

} // namespace

TEST_F(Reader, MarkersOnlyGiveAnEmptyPatch) {
    const loaded r = load_text("BEGIN_OBJECTS_DECLARE\nEND_OBJECTS_DECLARE\n");
    EXPECT_EQ(r.status, load_ok);
    EXPECT_EQ(g_.total_count(), 0u);
    EXPECT_THAT(r.output, HasSubstr("Loading TSY ["));
    EXPECT_EQ(audio_enabled.load(), 1) << "rendering is back on after the load";
}

TEST_F(Reader, ObjectsComeInReverseFileOrderAndLaterLinksWin) {
    load_text(objects("CONSTANTE_1;VALUE=1;\nCONSTANTE_2;VALUE=2;\nSOUND_OUTPUT_1;;\n") +
              links("SOUND_OUTPUT_1;IN=CONSTANTE_1;\nSOUND_OUTPUT_1;IN=CONSTANTE_2;\n"));
    EXPECT_STREQ(g_.at(K::CONSTANTE, 0)->name, "CONSTANTE_2");
    EXPECT_EQ(at<SOUND_OUTPUT>(K::SOUND_OUTPUT).in.source(), &g_.at(K::CONSTANTE, 0)->value);
}

TEST_F(Reader, WaveformDigitsSwapTheAttractorsAndAFinalFieldNeedsItsSeparator) {
    load_text(objects("VCO_1;TYPE=7;\nVCO_2;TYPE=8;\nVCO_3;TYPE=x;\nVCO_4;TYPE=5;FREQ=300\nVCO_5;TYPE=9\n"));
    // Files list the five records; the fifth has a single ";" and is skipped.
    ASSERT_EQ(g_.count(K::VCO), 4u);
    EXPECT_EQ(at<VCO>(K::VCO, 3).type.load(), wave_lorenz);  // VCO_1
    EXPECT_EQ(at<VCO>(K::VCO, 2).type.load(), wave_rossler); // VCO_2
    EXPECT_EQ(at<VCO>(K::VCO, 1).type.load(), 1);            // VCO_3: not a digit
    EXPECT_EQ(at<VCO>(K::VCO, 0).type.load(), 5);            // VCO_4
    EXPECT_EQ(at<VCO>(K::VCO, 0).freq.load(), 110.0f) << "FREQ has no ';' after it";
}

TEST_F(Reader, IntegerKeysTruncateAndNoteSetsTheFrequency) {
    load_text(objects("VCA_1;ATTACK=12.75;DECAY=3.9;SUSTAIN=0.5;\nCONSTANTE_1;VALUE=2.5;\n"
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
    load_text(objects("KEY_1;;\nSEQUENCER_1;PARTITION_FILE_NAME=none.PAR;\nVARIABLE_1;;\nSOUND_INPUT_1;;\n"
                      "CONSTANTE_1;VALUE=1;\nVCO_1;TYPE=1;\n") +
              links("VARIABLE_1;IN_ASSIGN=CONSTANTE_1;\nSOUND_INPUT_1;IN_GATE=KEY_1;IN_SYNC=SEQUENCER_1;\n"
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
    load_text(objects("KEY_SEQUENCER;;\nSEQUENCER_KEY;PARTITION_FILE_NAME=x;\nVCA_1;ATTACK=1;\nVCA_2;ATTACK=1;\n"
                      "SOUND_INPUT_1;;\nCONSTANTE_1;VALUE=1;\n") +
              links("VCA_1;IN=CONSTANTE_1;GATE=SEQUENCER_KEY;\nVCA_2;IN=CONSTANTE_1;GATE=SOUND_INPUT_1;\n"));
    // "SEQUENCER_KEY" holds both words: KEY is tested first and finds no keyboard
    // of that name, SEQUENCER then finds the sequencer.
    EXPECT_EQ(at<VCA>(K::VCA, 1).gate_in.source(), &at<SEQUENCER>(K::SEQUENCER).gate);
    EXPECT_EQ(at<VCA>(K::VCA, 0).gate_in.source(), &at<SOUND_INPUT>(K::SOUND_INPUT).inner_gate.gate);
}

TEST_F(Reader, TypeWordTrapsInBothPasses) {
    load_text(objects("VCF303_1;HICUT=900;\nVCF_1;HICUT=500;\nMULTI_VCO_1;TYPE=2;\nCONSTANTE_1;VALUE=1;\n") +
              links("VCF303_1;IN=CONSTANTE_1;\nMULTI_VCO_1;IN=CONSTANTE_1;\n"));
    EXPECT_EQ(g_.count(K::VCF303), 1u);
    EXPECT_EQ(g_.count(K::VCF), 1u);
    EXPECT_EQ(g_.count(K::MULTI_VCO), 1u);
    EXPECT_EQ(g_.count(K::VCO), 0u);
    EXPECT_EQ(at<VCF>(K::VCF).hicut.load(), 500);
}

TEST_F(Reader, WithoutTheEndMarkerLinkRecordsBecomeObjects) {
    load_text("VCO_1;TYPE=2;\nSOUND_OUTPUT_1;;\nBEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=VCO_1;\nEND_LINKS_DECLARE\n");
    EXPECT_EQ(g_.count(K::SOUND_OUTPUT), 2u);
    EXPECT_EQ(at<SOUND_OUTPUT>(K::SOUND_OUTPUT, 0).in.source(), &g_.at(K::VCO, 0)->value);
}

TEST_F(Reader, ThePositionsSectionIsNeverRead) {
    load_text(objects("VCO_1;TYPE=1;\nSOUND_OUTPUT_1;;\n") + links("") +
              "BEGIN_OBJECTS_POSITION_DECLARE\nSOUND_OUTPUT_1;IN=VCO_1;\nEND_OBJECTS_POSITION_DECLARE\n");
    EXPECT_FALSE(at<SOUND_OUTPUT>(K::SOUND_OUTPUT).in.connected());
}

TEST_F(Reader, MessagesOfBadRecords) {
    const loaded r = load_text(objects("VCO_1;;TYPE=3;\nVCO_2;TYPE=4;\nKEY_1;;OCTAVE=2;\nMIXER_1;V_00=0.5;;V_01=0.2;\n") +
                               links("VCO_9;IN=KEY_1;\nGENERATOR_3;IN=KEY_1;\nSOUND_OUTPUT_4;IN=VCO_2;\n"
                                     "SOUND_INPUT_5;IN=VCO_2;\nVCO_2;\nVCO_2;IN=;;MOD_FREQ=KEY_1;\n"));
    EXPECT_EQ(r.status, load_with_errors);
    // Word counts: the objects pass counts from the first word of the file.
    EXPECT_THAT(r.output, HasSubstr("Erreur, au niveau des parametre ligne [2]\n"));
    EXPECT_THAT(r.output, HasSubstr("Cannot Found VCO [VCO_9]\n"));
    EXPECT_THAT(r.output, HasSubstr("Cannot Found GENERATOR [GENERATOR_3]\n"));
    EXPECT_THAT(r.output, HasSubstr("Cannot Found SOUND_OUTPUT [SOUND_OUTPUT_4]\n"));
    EXPECT_THAT(r.output, HasSubstr("Cannot Found SOUND_IN [SOUND_INPUT_5]\n"));
    EXPECT_THAT(r.output, HasSubstr("Ligne 12 semble avoir moins de 2 parametres\n"));
    EXPECT_THAT(r.output, HasSubstr("Erreur, au niveau des parametre ligne [13]\n"));
    // The bad VCO record stops at its empty field, the keyboard skips it, the
    // mixer ends its record there.
    EXPECT_EQ(at<VCO>(K::VCO, 1).type.load(), 1);
    EXPECT_EQ(at<KEYBOARD>(K::KEYBOARD).octave.load(), 2);
    EXPECT_FLOAT_EQ(at<MIXER>(K::MIXER).volumes[0], 0.5f);
    EXPECT_FLOAT_EQ(at<MIXER>(K::MIXER).volumes[1], 1.0f);
    EXPECT_FALSE(at<VCO>(K::VCO, 0).mod_freq.connected()) << "fields after the empty one are skipped";
}

TEST_F(Reader, Vcf303ReportsAMissingSourceAndStillTakesItsGate) {
    const loaded r = load_text(objects("KEY_1;;\nVCF303_1;BYPASS=0;\n") + links("VCF303_1;IN=NOBODY;\nVCF303_1;GATE=KEY_1;\n"));
    EXPECT_THAT(r.output, HasSubstr("Probleme output VCF303\n"));
    auto& f = *static_cast<VCF303*>(g_.at(K::VCF303, 0));
    EXPECT_FALSE(f.in.connected());
    EXPECT_EQ(f.gate_in.source(), &at<KEYBOARD>(K::KEYBOARD).gate);
}

TEST_F(Reader, AMissingFileLoadsNothingAndTheContainerStaysUsable) {
    const loaded r = load(dir_ + "/nope.tsy");
    EXPECT_EQ(r.status, load_failed);
    EXPECT_THAT(r.output, HasSubstr("Must Specify a true filename [" + dir_ + "/nope.tsy]\n"));
    EXPECT_EQ(g_.total_count(), 0u);
    EXPECT_EQ(load_patch(g_, nullptr), load_failed);
    EXPECT_EQ(audio_enabled.load(), 1);
}

TEST_F(Reader, LongNamesAreCutAndLongWordsSkipped) {
    const std::string long_name = "CONSTANTE_" + std::string(100, 'x');
    const loaded r = load_text(objects(long_name + ";VALUE=3;\nVCO_1;FREQ=" + std::string(5000, '1') + ";\n"
                                                    "CONSTANTE_2;VALUE=1;\n"));
    ASSERT_EQ(g_.count(K::CONSTANTE), 2u);
    EXPECT_EQ(std::string(g_.at(K::CONSTANTE, 1)->name), long_name.substr(0, 79));
    EXPECT_EQ(g_.count(K::VCO), 0u) << "the 5000-character word is skipped";
    EXPECT_THAT(r.output, HasSubstr("Ligne 3 :"));
    EXPECT_EQ(r.status, load_with_errors);
}

TEST_F(Reader, NestedPatchesLoadCompletelyAndSelfIncludeIsRefused) {
    file("inner.tsy", objects("CONSTANTE_1;VALUE=5;\nSOUND_OUTPUT_1;;\n") + links("SOUND_OUTPUT_1;IN=CONSTANTE_1;\n"));
    file("loop_a.tsy", objects("GENERATOR_1;FILE=" + dir_ + "/loop_b.tsy;\n"));
    file("loop_b.tsy", objects("GENERATOR_1;FILE=" + dir_ + "/loop_a.tsy;\nCONSTANTE_1;VALUE=1;\n"));
    const loaded ok = load_text(objects("GENERATOR_1;FILE=" + dir_ + "/inner.tsy;\nSOUND_OUTPUT_1;;\n") +
                                links("SOUND_OUTPUT_1;IN=GENERATOR_1;\n"));
    EXPECT_EQ(ok.status, load_ok);
    test::run(g_, 3);
    EXPECT_EQ(g_.value.load(), 5.0f);

    GENERATOR self;
    ::testing::internal::CaptureStdout();
    load_patch(self, (dir_ + "/loop_a.tsy").c_str());
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, HasSubstr("s'inclut lui-meme"));
    auto* b = static_cast<GENERATOR*>(self.at(K::GENERATOR, 0));
    EXPECT_EQ(b->count(K::CONSTANTE), 1u);
    EXPECT_EQ(static_cast<GENERATOR*>(b->at(K::GENERATOR, 0))->total_count(), 0u);
}

TEST_F(Reader, DevicesAndPipesAreNotFiles) {
    const loaded r = load(std::string(TM_TEST_DATA_DIR) + "/patches/devices.tsy");
    EXPECT_THAT(r.output, HasSubstr("Must Specify a true filename [/dev/zero]"));
    EXPECT_THAT(r.output, HasSubstr("Must Specify a true filename [/dev/stdin]"));
    EXPECT_EQ(g_.count(K::GENERATOR), 2u);
}

// Every file of the malformed corpus loads without a crash (this suite also
// runs under AddressSanitizer and UBSan) and the patch then ticks.
TEST(ReaderCorpus, MalformedFilesLoadWithoutHarm) {
    namespace fs = std::filesystem;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(std::string(TM_TEST_DATA_DIR) + "/patches")) {
        SCOPED_TRACE(entry.path().string());
        GENERATOR g;
        ::testing::internal::CaptureStdout();
        const load_status s = load_patch(g, entry.path().c_str());
        ::testing::internal::GetCapturedStdout();
        EXPECT_NE(s, load_failed);
        for (int i = 0; i < 2000; ++i) g.compute();
        ++files;
    }
    EXPECT_GE(files, 10);
}
