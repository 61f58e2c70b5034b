// The patch writer: the exact records of every type, link and position
// records, round trips through the reader, and safe replacement of the file.
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/generator.hpp"
#include "modules/control.hpp"
#include "modules/delay_phaser.hpp"
#include "modules/keyboard.hpp"
#include "modules/ports.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "modules/vco.hpp"
#include "patchfile/patch_reader.hpp"
#include "patchfile/patch_writer.hpp"
#include "support/harness.hpp"
#include "util/text.hpp"

using namespace tmod;
using K = module_kind;
using ::testing::HasSubstr;

namespace {

std::string quiet_text(GENERATOR& g, const std::vector<placed_module>& placed, std::string* printed = nullptr) {
    ::testing::internal::CaptureStdout();
    std::string text = patch_text(g, placed);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    return text;
}

std::string quiet_text(GENERATOR& g) { return quiet_text(g, modules_in_list_order(g)); }

void quiet_load(GENERATOR& g, const std::string& path) {
    ::testing::internal::CaptureStdout();
    load_patch(g, path.c_str());
    ::testing::internal::GetCapturedStdout();
}

// Runs the test inside a scratch directory (sequencers save partition files
// relative to the working directory).
class Writer : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::scratch_dir(std::string("writer_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        std::filesystem::create_directory("PARTITIONS");
    }
    void TearDown() override { std::filesystem::current_path(old_); }
    std::string dir_;
    std::filesystem::path old_;
};

} // namespace

TEST_F(Writer, AnEmptyPatchIsTheSixMarkers) {
    GENERATOR g;
    EXPECT_EQ(quiet_text(g), "BEGIN_OBJECTS_DECLARE\n\nEND_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\n"
                             "END_LINKS_DECLARE\nBEGIN_OBJECTS_POSITION_DECLARE\n\n"
                             "END_OBJECTS_POSITION_DECLARE\n\n");
}

TEST_F(Writer, EveryTypeWritesItsRecordFormat) {
    GENERATOR g;
    test::add_named<AFFICHAGE>(g, K::AFFICHAGE, "AFFICHAGE_1");
    test::add_named<BASIC_OPERATION>(g, K::BASIC_OPERATION, "BASIC_OPERATION_1")->type = 13;
    test::add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1")->constant = 2.5f;
    auto* fake = test::add_named<OUTPUT>(g, K::FAKE303, "FAKE303_1");
    (void)fake;
    test::add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1")->octave = 3;
    auto* mixer = test::add_named<MIXER>(g, K::MIXER, "MIXER_1");
    auto* c2 = test::add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_2");
    mixer->add_channel(&c2->value);
    mixer->volumes[0] = 0.5f;
    mixer->volumes[1] = 0.25f; // no input: written as 1.000
    mixer->bypasses[2] = 1.0f;
    test::add_named<MICRO>(g, K::MICRO, "MICRO_1");
    auto* phaser = test::add_named<PHASER>(g, K::PHASER, "PHASER_1");
    phaser->set_range(1378.125f, 2756.25f); // exact in float: 1/16 and 1/8 of 22050
    test::add_named<SFX_DELAY>(g, K::SFX_DELAY, "SFX_DELAY_1")->set_delay(-22050.0f);
    test::add_named<SOUND_INPUT>(g, K::SOUND_INPUT, "SOUND_INPUT_1");
    test::add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_1");
    test::add_named<VARIABLE>(g, K::VARIABLE, "VARIABLE_1");
    auto* vca = test::add_named<VCA>(g, K::VCA, "VCA_1");
    vca->attack = 12.75f;
    vca->invert = 1;
    auto* formant = test::add_named<FORMANT_VCF>(g, K::FORMANT_VCF, "FORMANT_VCF_1");
    formant->vowelnum = 2.7f;
    formant->bypass = 0;
    test::add_named<VCF303>(g, K::VCF303, "VCF303_1")->set_hicut(900);
    auto* vcf = test::add_named<VCF>(g, K::VCF, "VCF_1");
    vcf->type = 1;
    vcf->bypass = 0;
    vcf->q = 4.0f;
    auto* multi = test::add_named<OUTPUT>(g, K::MULTI_VCO, "MULTI_VCO_1");
    (void)multi;
    auto* vco = test::add_named<VCO>(g, K::VCO, "VCO_1");
    vco->type = 7;
    vco->freq = 261.625f;
    vco->amount = 0.456f;
    vco->phase = 2.9f;

    const std::string text = quiet_text(g);
    std::string mixer_line = "MIXER_1;V_00=0.500;V_01=1.000;";
    for (int i = 2; i < 24; ++i) mixer_line += "V_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "=1.000;";
    for (int i = 0; i < 24; ++i)
        mixer_line += "BYP_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + (i == 2 ? "=1;" : "=0;");
    const char* lines[] = {
        "AFFICHAGE_1;;\n",
        "BASIC_OPERATION_1;TYPE=13;\n",
        "CONSTANTE_1;VALUE=2.500000;\n",
        "CONSTANTE_2;VALUE=4.000000;\n",
        "FAKE303_1;TYPE=1;FREQ=110.000000;AMOUNT=1.00;PHASE=0;\n",
        "KEY_1;OCTAVE=3;\n",
        "MICRO_1;;\n",
        "PHASER_1;RATE=0.500000;DEPTH=1.000000;FEEDBACK=0.700000;HI=2756.250000;LOW=1378.125000;BYPASS=1;\n",
        "SFX_DELAY_1;DELAY=22050.000;VOLUME=0.600;\n",
        "SOUND_INPUT_1;;\n",
        "SOUND_OUTPUT_1;;\n",
        "VARIABLE_1;;\n",
        "VCA_1;BYPASS=0;ATTACK=12.750000;DECAY=1000.000000;SUSTAIN=1.000000;RELEASE=1000.000000;INVERT=1;\n",
        "FORMANT_VCF_1;GAIN=1.000000;VOWELNUM=2;BYPASS=0;\n",
        "VCF303_1;HICUT=900;Q=0.995000;MIX=10.000000;BYPASS=1;\n",
        "VCF_1;HICUT=300;Q=4.000000;GAIN=1.000000;TYPE=1;BYPASS=0;\n",
        "MULTI_VCO_1;TYPE=1;FREQ=110.000000;AMOUNT=1.00;PHASE=0;\n",
        "VCO_1;TYPE=7;FREQ=261.625000;AMOUNT=0.46;PHASE=2;\n",
    };
    std::size_t at = 0;
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const std::size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos);
        at = found; // in list order
    }
    EXPECT_THAT(text, HasSubstr(mixer_line + "\n"));
}

TEST_F(Writer, LinkRecordsNameTheirSourcesInSlotOrder) {
    GENERATOR g;
    auto* key = test::add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1");
    auto* lfo = test::add_named<VCO>(g, K::VCO, "VCO_LFO");
    auto* vco = test::add_named<VCO>(g, K::VCO, "VCO_1");
    vco->in.connect(&key->value);
    vco->mod_freq.connect(&lfo->value);
    vco->alt_amp.connect(&lfo->value);
    vco->gate_in.connect(&key->gate);
    vco->sync_in.connect(&key->pulse);
    auto* port = test::add_named<SOUND_INPUT>(g, K::SOUND_INPUT, "SOUND_INPUT_1");
    port->in.connect(&key->value);
    auto* vca = test::add_named<VCA>(g, K::VCA, "VCA_1");
    vca->in.connect(&vco->value);
    vca->gate_in.connect(&port->inner_gate.gate);
    std::string printed;
    const std::string text = quiet_text(g, modules_in_list_order(g), &printed);
    EXPECT_THAT(text, HasSubstr("\nVCO_1;IN=KEY_1;MOD_FREQ=VCO_LFO;ALT_AMP=VCO_LFO;GATE=KEY_1;SYNC=KEY_1;\n"));
    EXPECT_THAT(text, HasSubstr("\nVCO_LFO;\n")) << "an unconnected module: its name and ';'";
    EXPECT_THAT(text, HasSubstr("\nSOUND_INPUT_1;\n")) << "the port's connections are not saved";
    EXPECT_THAT(text, HasSubstr("\nVCA_1;IN=VCO_1;GATE=SOUND_INPUT_1;\n"));
    EXPECT_THAT(text, Not(HasSubstr("\nKEY_1;\n"))) << "keyboards write no link record";
    EXPECT_THAT(printed, HasSubstr("Named[KEY_1]\n"));
}

TEST_F(Writer, AnUnnamedSourceIsLeftOutWithItsMessage) {
    GENERATOR g;
    auto* key = test::add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1");
    auto* out = test::add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_1");
    out->in.connect(&key->value);
    // The keyboard has no panel in the list given.
    std::string printed;
    const std::string text = quiet_text(g, {{out, K::SOUND_OUTPUT, 12.9f, -3.5f}}, &printed);
    EXPECT_THAT(text, HasSubstr("\nSOUND_OUTPUT_1;\n"));
    EXPECT_THAT(printed, HasSubstr("Return get_name_by_OBJET(NULL)\n"));
    EXPECT_THAT(text, HasSubstr("BEGIN_OBJECTS_POSITION_DECLARE\n\n0;12;-3\nEND_OBJECTS_POSITION_DECLARE\n\n"));
}

TEST_F(Writer, WriteReadWriteIsByteIdentical) {
    // One module of every type, connected the way the reader takes back.
    const std::string patch =
        "BEGIN_OBJECTS_DECLARE\n\nAFFICHAGE_1;;\nBASIC_OPERATION_1;TYPE=4;\nCONSTANTE_1;VALUE=3.000000;\n"
        "FAKE303_1;TYPE=2;FREQ=55.000000;AMOUNT=0.80;PHASE=0;\nKEY_1;OCTAVE=3;\nMIXER_1;V_00=0.700;V_01=0.300;;\n"
        "MICRO_1;;\nPHASER_1;RATE=0.250000;DEPTH=0.500000;FEEDBACK=0.600000;HI=1800.000000;LOW=400.000000;BYPASS=0;\n"
        "SEQUENCER_1;PARTITION_FILE_NAME=PARTITIONS/seq.PAR;\nSAMPLER_1;FILE=sample.wav;\n"
        "SFX_DELAY_1;DELAY=4410.000;VOLUME=0.600;\nSOUND_INPUT_1;;\nSOUND_OUTPUT_1;;\nVARIABLE_1;;\n"
        "VCA_1;BYPASS=0;ATTACK=10.000000;DECAY=300.000000;SUSTAIN=0.000000;RELEASE=100.000000;INVERT=0;\n"
        "FORMANT_VCF_1;GAIN=1.000000;VOWELNUM=3;BYPASS=0;\nVCF303_1;HICUT=1200;Q=0.990000;MIX=8.000000;BYPASS=0;\n"
        "VCF_1;HICUT=800;Q=4.000000;GAIN=0.000000;TYPE=1;BYPASS=0;\n"
        "MULTI_VCO_1;TYPE=3;FREQ=110.000000;AMOUNT=0.50;PHASE=0;\nVCO_1;TYPE=6;FREQ=220.000000;AMOUNT=1.00;PHASE=1;\n"
        "GENERATOR_1;FILE=inner.tsy;\n"
        "END_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\n"
        "VCO_1;IN=KEY_1;MOD_AMP=CONSTANTE_1;\nMULTI_VCO_1;IN=SEQUENCER_1;\nVCF_1;IN=VCO_1;MOD_FREQ=MULTI_VCO_1;GATE=KEY_1;SYNC=SEQUENCER_1;\n"
        "VCF303_1;IN=VCF_1;SYNC=SEQUENCER_1;\nFORMANT_VCF_1;IN=VCF303_1;\nVCA_1;IN=FORMANT_VCF_1;GATE=KEY_1;\n"
        "MIXER_1;ADD_CHANELL=VCA_1;ADD_CHANELL=MICRO_1;\nSFX_DELAY_1;IN=MIXER_1;\nPHASER_1;IN=SFX_DELAY_1;\n"
        "SAMPLER_1;IN=KEY_1;GATE=KEY_1;\nBASIC_OPERATION_1;IN2=PHASER_1;IN1=SAMPLER_1;\n"
        "VARIABLE_1;IN=BASIC_OPERATION_1;IN_ASSIGN=CONSTANTE_1;\nAFFICHAGE_1;IN=VARIABLE_1;\n"
        "SEQUENCER_1;SYNC=KEY_1;\nGENERATOR_1;IN=VCA_1;GATE=KEY_1;SYNC=SEQUENCER_1;\nSOUND_OUTPUT_1;IN=AFFICHAGE_1;\nEND_LINKS_DECLARE\n";
    test::write_text("first.tsy", patch);
    test::write_text("inner.tsy", "BEGIN_OBJECTS_DECLARE\nSOUND_INPUT_1;;\nSOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\n");
    // The sampler and the sequencer need their files.
    test::write_text("sample.wav", test::read_text(std::string(TM_TEST_DATA_DIR) + "/one_second.wav"));
    {
        SEQUENCER s;
        s.save_partition("PARTITIONS/seq.PAR");
    }
    GENERATOR a, b;
    quiet_load(a, "first.tsy");
    const std::string w1 = quiet_text(a);
    test::write_text("second.tsy", w1);
    quiet_load(b, "second.tsy");
    const std::string w2 = quiet_text(b);
    EXPECT_EQ(w1, w2);
    for (int k = 0; k < module_kind_count; ++k) EXPECT_EQ(b.count(static_cast<K>(k)), 1u) << type_of(k).class_name;
    EXPECT_THAT(w1, HasSubstr("VCF_1;IN=VCO_1;MOD_FREQ=MULTI_VCO_1;GATE=KEY_1;SYNC=SEQUENCER_1;\n"));
    EXPECT_THAT(w1, HasSubstr("MIXER_1;ADD_CHANELL=VCA_1;ADD_CHANELL=MICRO_1;\n"));
}

TEST_F(Writer, TwoModulesOfATypeSwapOnEveryLoad) {
    test::write_text("p.tsy", "BEGIN_OBJECTS_DECLARE\nVCO_A;TYPE=2;\nVCO_B;TYPE=3;\nEND_OBJECTS_DECLARE\n");
    GENERATOR a, b, c;
    quiet_load(a, "p.tsy");
    const std::string w1 = quiet_text(a);
    EXPECT_LT(w1.find("VCO_B;"), w1.find("VCO_A;"));
    test::write_text("q.tsy", w1);
    quiet_load(b, "q.tsy");
    const std::string w2 = quiet_text(b);
    EXPECT_LT(w2.find("VCO_A;"), w2.find("VCO_B;"));
    test::write_text("r.tsy", w2);
    quiet_load(c, "r.tsy");
    EXPECT_EQ(quiet_text(c), w1);
}

TEST_F(Writer, WaveformSevenSavesAsSevenAndComesBackAsEight) {
    GENERATOR g;
    test::add_named<VCO>(g, K::VCO, "VCO_1")->type = 7;
    test::write_text("w.tsy", quiet_text(g));
    GENERATOR back;
    quiet_load(back, "w.tsy");
    EXPECT_EQ(static_cast<VCO*>(back.at(K::VCO, 0))->type.load(), 8);
}

TEST_F(Writer, ASequencerWithoutPartitionFileGetsANewOne) {
    GENERATOR g;
    test::add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1");
    const std::string text = quiet_text(g);
    const std::size_t at = text.find("SEQUENCER_1;PARTITION_FILE_NAME=PARTITIONS/");
    ASSERT_NE(at, std::string::npos);
    const std::size_t start = text.find('=', at) + 1;
    const std::string name = text.substr(start, text.find(';', start) - start);
    EXPECT_THAT(name, ::testing::MatchesRegex("PARTITIONS/[0-9]+\\.PAR"));
    EXPECT_EQ(std::filesystem::file_size(name), 115200u);
}

TEST_F(Writer, SavingReplacesTheFileWholeOrNotAtAll) {
    GENERATOR g;
    test::add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1");
    test::write_text("keep.tsy", "old patch");
    std::string error;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(save_patch(g, modules_in_list_order(g), "keep.tsy", &error));
    EXPECT_FALSE(save_patch(g, modules_in_list_order(g), "missing_dir/x.tsy", &error));
    ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(test::read_text("keep.tsy"), HasSubstr("CONSTANTE_1;VALUE=4.000000;"));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists("missing_dir"));
}
