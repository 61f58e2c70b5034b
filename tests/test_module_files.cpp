// What the modules keep in files: every module's record through the writer
// and the reader, the reader's per-module conversions, partition files
// (layout, load, save, short and long files) and the sequencer's older keys.
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

#include "engine/generator.hpp"
#include "engine/ports.hpp"
#include "support/module_support.hpp"
#include "modules/control.hpp"
#include "modules/delay_phaser.hpp"
#include "modules/fake303.hpp"
#include "modules/keyboard.hpp"
#include "modules/multi_vco.hpp"
#include "modules/sampler.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vcf.hpp"
#include "modules/vcf303_formant.hpp"
#include "patchfile/patch_writer.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

namespace {

const std::string data_dir = TM_SOURCE_DATA_DIR;

// The module of that name; a missing one fails the test at once.
template <class T>
T* find(GENERATOR& g, K kind, const char* name) {
    OUTPUT* m = g.find(kind, name);
    if (!m) throw std::runtime_error(std::string("no module ") + name);
    return static_cast<T*>(m);
}

std::string patch_of(GENERATOR& g) {
    return patch_text(g, modules_in_list_order(g));
}

// Loads a patch text from a file of the scratch directory.
std::string load_text(GENERATOR& g, const std::string& dir, const std::string& text) {
    write_text(dir + "/patch.tsy", text);
    std::string printed;
    EXPECT_EQ(load_file(g, dir + "/patch.tsy", &printed), load_ok) << printed;
    return printed;
}

std::int32_t int_at(const std::string& b, std::size_t offset) {
    std::int32_t i = 0;
    for (int k = 3; k >= 0; --k) i = i << 8 | static_cast<unsigned char>(b[offset + k]);
    return i;
}
float float_at(const std::string& b, std::size_t offset) {
    const std::int32_t i = int_at(b, offset);
    float f;
    std::memcpy(&f, &i, 4);
    return f;
}

// Bytes that are not any default: a step of 37 through 0..255.
std::string pattern_bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + 11) & 0xff);
    return s;
}

} // namespace

TEST(ParameterLines, EveryModuleWritesItsRecordInListOrderAndReadsItBack) {
    const std::string dir = scratch_dir();
    write_text(dir + "/inner.tsy", tsy(""));
    GENERATOR g;
    stdout_of([&] {
        auto* src = add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_SRC");
        src->constant = -7.0f;
        add_named<AFFICHAGE>(g, K::AFFICHAGE, "AFFICHAGE_1");
        add_named<BASIC_OPERATION>(g, K::BASIC_OPERATION, "BASIC_OPERATION_1")->type = 13;
        auto* f303 = add_named<FAKE303>(g, K::FAKE303, "FAKE303_1");
        f303->type = 3, f303->freq = 82.5f, f303->amount = 0.75f, f303->phase = 2.9f;
        auto* nested = add_named<GENERATOR>(g, K::GENERATOR, "GENERATOR_1");
        load_patch(*nested, (dir + "/inner.tsy").c_str());
        add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1")->octave = 6;
        auto* mixer = add_named<MIXER>(g, K::MIXER, "MIXER_1");
        mixer->add_channel(&src->value);
        mixer->add_channel(&src->value);
        mixer->volumes[0] = 0.25f, mixer->volumes[1] = 1.5f, mixer->bypasses[1] = 1.0f;
        mixer->volumes[2] = 0.25f; // no input on channel 2: written as 1.000
        add_named<MICRO>(g, K::MICRO, "MICRO_1");
        auto* ph = add_named<PHASER>(g, K::PHASER, "PHASER_1");
        ph->set_rate(1.25f), ph->depth = 0.5f, ph->feedback = 0.3f, ph->set_range(300.0f, 2500.0f);
        ph->bypass = 0;
        add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1")
            ->save_partition((dir + "/seq.PAR").c_str());
        add_named<SAMPLER>(g, K::SAMPLER, "SAMPLER_1")
            ->load_sample((data_dir + "/sounds/guitare.wav").c_str());
        auto* delay = add_named<SFX_DELAY>(g, K::SFX_DELAY, "SFX_DELAY_1");
        delay->set_delay(-12345.0f), delay->volume = 0.25f; // a negative delay is its size
        add_named<SOUND_INPUT>(g, K::SOUND_INPUT, "SOUND_INPUT_1");
        add_named<SOUND_OUTPUT>(g, K::SOUND_OUTPUT, "SOUND_OUTPUT_1");
        add_named<VARIABLE>(g, K::VARIABLE, "VARIABLE_1");
        auto* vca = add_named<VCA>(g, K::VCA, "VCA_1");
        vca->attack = 12.0f, vca->decay = 250.0f, vca->sustain = 1.0f, vca->release = 30.0f;
        vca->invert = 1;
        auto* formant = add_named<FORMANT_VCF>(g, K::FORMANT_VCF, "FORMANT_VCF_1");
        formant->gain = 3.0f, formant->vowelnum = 2.0f, formant->bypass = 0;
        auto* v303 = add_named<VCF303>(g, K::VCF303, "VCF303_1");
        v303->set_hicut(900), v303->q = 0.98f, v303->mix = 7.5f, v303->bypass = 0;
        auto* vcf = add_named<VCF>(g, K::VCF, "VCF_1");
        vcf->set_hicut(1234), vcf->q = 2.5f, vcf->gain = -6.0f, vcf->type = 5, vcf->bypass = 0;
        auto* multi = add_named<MULTI_VCO>(g, K::MULTI_VCO, "MULTI_VCO_1");
        multi->type = 4, multi->freq = 220.0f, multi->amount = 0.5f;
        auto* vco = add_named<VCO>(g, K::VCO, "VCO_1");
        vco->type = 9, vco->freq = 440.0f, vco->amount = 0.456f, vco->phase = -1.5f;
    });
    const std::string first = patch_of(g);
    // The corners are kept as fractions of 22050 in floats and written back
    // multiplied by 22050 in double precision.
    char phaser_line[200];
    std::snprintf(phaser_line, sizeof phaser_line,
                  "PHASER_1;RATE=1.250000;DEPTH=0.500000;FEEDBACK=0.300000;HI=%f;LOW=%f;BYPASS=0;",
                  static_cast<double>(2500.0f / 22050.0f) * 22050.0,
                  static_cast<double>(300.0f / 22050.0f) * 22050.0);
    const std::string expected_lines[] = {
        "AFFICHAGE_1;;",
        "BASIC_OPERATION_1;TYPE=13;",
        "CONSTANTE_SRC;VALUE=-7.000000;",
        "FAKE303_1;TYPE=3;FREQ=82.500000;AMOUNT=0.75;PHASE=2;",
        "GENERATOR_1;FILE=" + dir + "/inner.tsy;",
        "KEY_1;OCTAVE=6;",
        "MIXER_1;V_00=0.250;V_01=1.500;V_02=1.000;V_03=1.000;",
        "V_23=1.000;BYP_00=0;BYP_01=1;BYP_02=0;",
        "BYP_23=0;",
        "MICRO_1;;",
        phaser_line,
        "SEQUENCER_1;PARTITION_FILE_NAME=" + dir + "/seq.PAR;",
        "SAMPLER_1;FILE=" + data_dir + "/sounds/guitare.wav;",
        "SFX_DELAY_1;DELAY=12345.000;VOLUME=0.250;",
        "SOUND_INPUT_1;;",
        "SOUND_OUTPUT_1;;",
        "VARIABLE_1;;",
        "VCA_1;BYPASS=0;ATTACK=12.000000;DECAY=250.000000;SUSTAIN=1.000000;RELEASE=30.000000;"
        "INVERT=1;",
        "FORMANT_VCF_1;GAIN=3.000000;VOWELNUM=2;BYPASS=0;",
        "VCF303_1;HICUT=900;Q=0.980000;MIX=7.500000;BYPASS=0;",
        "VCF_1;HICUT=1234;Q=2.500000;GAIN=-6.000000;TYPE=5;BYPASS=0;",
        "MULTI_VCO_1;TYPE=4;FREQ=220.000000;AMOUNT=0.50;PHASE=0;",
        // The fields at the end keep what the older ones round, in the
        // fewest digits that read back the same float.
        "VCO_1;TYPE=9;FREQ=440.000000;AMOUNT=0.46;PHASE=-1;WAVE=9;PITCH=440;LEVEL=0.456;PWM=0.1;"
        "POWER=1;\n",
    };
    std::size_t at = 0;
    for (const std::string& line : expected_lines) {
        const std::size_t found = first.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nafter " << at << " in\n" << first;
        at = found; // in list order
    }

    // Written, read and written again: the same text.
    GENERATOR back;
    load_text(back, dir, first);
    EXPECT_EQ(patch_of(back), first);
    // The values themselves, on the modules read back.
    EXPECT_EQ(find<MIXER>(back, K::MIXER, "MIXER_1")->volumes[0], 0.25f);
    EXPECT_EQ(find<MIXER>(back, K::MIXER, "MIXER_1")->bypasses[1], 1.0f);
    EXPECT_NEAR(find<PHASER>(back, K::PHASER, "PHASER_1")->upper * 22050.0f, 2500.0f, 1e-3f);
    EXPECT_NEAR(find<PHASER>(back, K::PHASER, "PHASER_1")->lower * 22050.0f, 300.0f, 1e-3f);
    // GAIN -6 sets the level to -6 / 10, then LEVEL at the end puts it back.
    EXPECT_EQ(find<VCF>(back, K::VCF, "VCF_1")->level, 1.0f);
    EXPECT_EQ(find<FAKE303>(back, K::FAKE303, "FAKE303_1")->phase, 2.0f);
    EXPECT_EQ(find<SAMPLER>(back, K::SAMPLER, "SAMPLER_1")->length, 132300);
    EXPECT_EQ(find<SFX_DELAY>(back, K::SFX_DELAY, "SFX_DELAY_1")->delay, 12345.0f);
}

TEST(ParameterLines, TheReaderConvertsAsEachModuleSays) {
    GENERATOR g;
    load_text(g, scratch_dir(),
              tsy("VCA_1;DECAY=0.5;SUSTAIN=1.9;RELEASE=-3;\nFORMANT_VCF_1;VOWELNUM=2.7;GAIN=4.9;\n"
                  "MULTI_VCO_1;NOTE=58;\nFAKE303_1;TYPE=5;NOTE=22;\nFAKE303_2;TYPE=6;\n"
                  "VCF_1;AMOUNT=0.3;GAIN=25;\nVCF_2;GAIN=25;AMOUNT=0.3;\n"
                  "VCF303_1;Q=0.9;HICUT=700;\n"));
    auto* vca = find<VCA>(g, K::VCA, "VCA_1");
    EXPECT_EQ(vca->decay, 0.0f);
    EXPECT_EQ(vca->sustain, 1.0f);
    EXPECT_EQ(vca->release, -3.0f);
    EXPECT_EQ(find<FORMANT_VCF>(g, K::FORMANT_VCF, "FORMANT_VCF_1")->vowelnum, 2.0f);
    EXPECT_EQ(find<FORMANT_VCF>(g, K::FORMANT_VCF, "FORMANT_VCF_1")->gain, 4.0f);
    EXPECT_NEAR(find<MULTI_VCO>(g, K::MULTI_VCO, "MULTI_VCO_1")->freq, 440.0f, 1e-3f);
    EXPECT_EQ(find<FAKE303>(g, K::FAKE303, "FAKE303_1")->type, 5);
    EXPECT_NEAR(find<FAKE303>(g, K::FAKE303, "FAKE303_1")->freq, note_hz(22), 1e-3);
    EXPECT_EQ(find<FAKE303>(g, K::FAKE303, "FAKE303_2")->type, 1);
    EXPECT_EQ(find<VCF>(g, K::VCF, "VCF_1")->level, 2.0f); // GAIN 25 replaces AMOUNT: 25 / 10
    EXPECT_EQ(find<VCF>(g, K::VCF, "VCF_2")->level, 0.3f);
    EXPECT_FLOAT_EQ(find<VCF303>(g, K::VCF303, "VCF303_1")->q, 0.995f); // HICUT resets Q
}

TEST(ParameterLines, MixerChannelsOutsideTheTwentyFourAreRefused) {
    std::string links = "MIXER_1;";
    for (int i = 0; i < 25; ++i) links += "ADD_CHANELL=CONSTANTE_1;";
    GENERATOR g;
    const std::string dir = scratch_dir();
    write_text(
        dir + "/mixer.tsy",
        tsy("CONSTANTE_1;VALUE=1;\nMIXER_1;V_00=0.5;V_25=0.7;V_-1=0.1;BYP_99=1;\n", links + "\n"));
    std::string out;
    load_file(g, dir + "/mixer.tsy", &out);
    auto* mixer = find<MIXER>(g, K::MIXER, "MIXER_1");
    EXPECT_EQ(mixer->channel_count, 24);
    EXPECT_EQ(mixer->volumes[0], 0.5f);
    EXPECT_NE(out.find("no channel 25"), std::string::npos) << out;
    EXPECT_NE(out.find("no channel 99"), std::string::npos) << out;
    for (int i = 1; i < 24; ++i) EXPECT_EQ(mixer->volumes[i], 1.0f);
    run(g, 2);
    EXPECT_FLOAT_EQ(mixer->value, (0.5f + 23.0f) / 24.0f * 1.5f);
}

TEST(PartitionFiles, SaveWritesTheLittleEndianBlock) {
    const std::string dir = scratch_dir();
    SEQUENCER seq;
    seq.memory.divider[3] = 4.0f;
    seq.memory.max_step[5] = 16;
    seq.memory.length[1][2] = 0.5f;
    seq.memory.bypass[2][3] = 1;
    seq.memory.note[2][7] = 11;
    seq.memory.octave[63][63] = 9;
    seq.memory.vol[0][1] = 0.9f;
    seq.memory.slide[4][0] = 1;
    seq.memory.accent[63][63] = 7;
    const std::string path = dir + "/a.PAR";
    ASSERT_TRUE(seq.save_partition(path.c_str()));
    EXPECT_STREQ(seq.partition_file_name, path.c_str());
    const std::string b = read_text(path);
    ASSERT_EQ(b.size(), 115200u);
    // Nine arrays one after the other: 64 dividers, 64 step counts, then seven
    // of 64 x 64 steps (16384 bytes each); the defaults are kept where unset.
    const auto step = [](int p, int s) { return static_cast<std::size_t>(p * 64 + s) * 4; };
    EXPECT_EQ(float_at(b, 3 * 4), 4.0f);
    EXPECT_EQ(int_at(b, 256 + 5 * 4), 16);
    EXPECT_EQ(int_at(b, 256), 32);
    EXPECT_EQ(float_at(b, 512 + step(1, 2)), 0.5f);
    EXPECT_EQ(float_at(b, 512 + step(0, 0)), 1.0f);
    EXPECT_EQ(int_at(b, 16896 + step(2, 3)), 1);
    EXPECT_EQ(int_at(b, 33280 + step(2, 7)), 11);
    EXPECT_EQ(int_at(b, 33280 + step(0, 0)), 10);
    EXPECT_EQ(int_at(b, 49664 + step(63, 63)), 9);
    EXPECT_EQ(int_at(b, 49664 + step(0, 0)), 3);
    EXPECT_EQ(float_at(b, 66048 + step(0, 1)), 0.9f);
    EXPECT_EQ(int_at(b, 82432 + step(4, 0)), 1);
    EXPECT_EQ(int_at(b, 98816 + step(63, 63)), 7);
    // A file that cannot be written: nothing, and the name stays.
    EXPECT_FALSE(seq.save_partition((dir + "/no/such/dir/b.PAR").c_str()));
    EXPECT_STREQ(seq.partition_file_name, path.c_str());
}

TEST(PartitionFiles, LoadThenSaveGivesTheSameBytesWhateverTheFileLength) {
    const std::string dir = scratch_dir();
    write_text(dir + "/in.PAR", pattern_bytes(115200));
    SEQUENCER seq;
    ASSERT_TRUE(seq.load_partition((dir + "/in.PAR").c_str()));
    EXPECT_STREQ(seq.partition_file_name, (dir + "/in.PAR").c_str());
    EXPECT_EQ(seq.wished_divider, seq.memory.divider[0]);
    ASSERT_TRUE(seq.save_partition((dir + "/out.PAR").c_str()));
    EXPECT_EQ(read_text(dir + "/out.PAR"), pattern_bytes(115200));

    // A short file replaces only its bytes, a long one is cut, an empty one
    // changes nothing.
    SEQUENCER other;
    const partition_block before = other.memory;
    const auto* mem = reinterpret_cast<const char*>(&other.memory);
    write_text(dir + "/short.PAR", pattern_bytes(1000));
    ASSERT_TRUE(other.load_partition((dir + "/short.PAR").c_str()));
    EXPECT_EQ(std::string(mem, 1000), pattern_bytes(1000));
    EXPECT_EQ(std::memcmp(mem + 1000, reinterpret_cast<const char*>(&before) + 1000, 114200), 0);
    write_text(dir + "/long.PAR", pattern_bytes(120000));
    ASSERT_TRUE(other.load_partition((dir + "/long.PAR").c_str()));
    EXPECT_EQ(std::string(mem, 115200), pattern_bytes(115200));
    write_text(dir + "/empty.PAR", "");
    ASSERT_TRUE(other.load_partition((dir + "/empty.PAR").c_str()));
    EXPECT_EQ(std::string(mem, 115200), pattern_bytes(115200));

    const std::string missing = dir + "/missing.PAR";
    EXPECT_EQ(stdout_of([&] { EXPECT_FALSE(other.load_partition(missing.c_str())); }),
              "Erreur de chargement de partition [" + missing + "]\n");
    EXPECT_STREQ(other.partition_file_name, (dir + "/empty.PAR").c_str());

    // Whatever a file holds, the sequencer plays it without reading outside
    // (the sanitizer run checks the reads) and without a NaN.
    for (int i = 0; i < 100000; ++i) {
        other.compute();
        ASSERT_FALSE(std::isnan(other.value)) << i;
    }
}

TEST(PartitionFiles, TheOlderPerFieldKeys) {
    GENERATOR g;
    const std::string path = scratch_dir() + "/old.tsy";
    write_text(
        path,
        tsy("SEQUENCER_1;DIVIDER_003=1.5;NBR_STEP=16;NOTE_002_5=62;BYPASS_001_05=1;BYPASS_07=1;"
            "VOLUME_002_03=0.5;LENGHT_12=0.25;NOTE_999_5=40;BYPASS_001_99=1;\n"));
    std::string out;
    load_file(g, path, &out);
    auto* seq = find<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1");
    EXPECT_EQ(seq->memory.divider[3], 1.5f);
    EXPECT_EQ(seq->wished_divider, 1.5f);
    EXPECT_EQ(seq->memory.max_step[0], 16);
    EXPECT_EQ(seq->memory.octave[2][5], 5);
    EXPECT_EQ(seq->memory.note[2][5], 2);
    EXPECT_EQ(seq->memory.bypass[1][5], 1);
    EXPECT_EQ(seq->memory.bypass[0][7], 1);
    EXPECT_EQ(seq->memory.vol[2][3], 0.5f);
    EXPECT_EQ(seq->memory.length[0][12], 0.25f);
    EXPECT_NE(out.find("[NOTE_999_5=40] names no pattern step"), std::string::npos) << out;
    EXPECT_NE(out.find("[BYPASS_001_99=1] names no pattern step"), std::string::npos) << out;
}
