// The patch writer: the empty file, link and position records, round trips
// through the reader, and safe replacement of the file. (Every module's own
// record is checked in test_module_files.)
#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/generator.hpp"
#include "engine/midi_map.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "modules/keyboard.hpp"
#include "modules/sampler.hpp"
#include "modules/sequencer.hpp"
#include "modules/vca_mixer.hpp"
#include "modules/vco.hpp"
#include "patchfile/patch_reader.hpp"
#include "patchfile/patch_writer.hpp"
#include "support/harness.hpp"
#include "util/text.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;
using ::testing::HasSubstr;

namespace {

std::string text_of(GENERATOR& g, std::string* printed = nullptr,
                    const std::vector<placed_module>* placed = nullptr) {
    std::string text;
    const std::string out =
        stdout_of([&] { text = patch_text(g, placed ? *placed : modules_in_list_order(g)); });
    if (printed) *printed = out;
    return text;
}

// Writes, reads back and writes again; returns the two texts.
std::pair<std::string, std::string> round_trip(GENERATOR& g, const char* file) {
    const std::string first = text_of(g);
    write_text(file, first);
    GENERATOR back;
    load_file(back, file);
    return {first, text_of(back)};
}

// Runs the test inside a scratch directory (sequencers save partition files
// relative to the working directory).
class Writer : public in_scratch_dir {};

} // namespace

TEST_F(Writer, AnEmptyPatchIsTheSixMarkers) {
    GENERATOR g;
    EXPECT_EQ(text_of(g), "BEGIN_OBJECTS_DECLARE\n\nEND_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\n"
                          "END_LINKS_DECLARE\nBEGIN_OBJECTS_POSITION_DECLARE\n\n"
                          "END_OBJECTS_POSITION_DECLARE\n\n");
}

TEST_F(Writer, LinkRecordsNameTheirSourcesInSlotOrder) {
    GENERATOR g;
    auto* key = add_named<KEYBOARD>(g, K::KEYBOARD, "KEY_1");
    auto* lfo = add_named<VCO>(g, K::VCO, "VCO_LFO");
    auto* vco = add_named<VCO>(g, K::VCO, "VCO_1");
    vco->in.connect(&key->value);
    vco->mod_freq.connect(&lfo->value);
    vco->alt_amp.connect(&lfo->value);
    vco->gate_in.connect(&key->gate);
    vco->sync_in.connect(&key->pulse);
    auto* port = add_named<SOUND_INPUT>(g, K::SOUND_INPUT, "SOUND_INPUT_1");
    port->in.connect(&key->value);
    auto* vca = add_named<VCA>(g, K::VCA, "VCA_1");
    vca->in.connect(&vco->value);
    vca->gate_in.connect(&port->inner_gate.gate);
    auto* inside = add_named<VCO>(g, K::VCO, "VCO_IN"); // fed by the port, as in a nested patch
    inside->in.connect(&port->inner_output.value);
    inside->sync_in.connect(&port->inner_sync.pulse);
    std::string printed;
    const std::string text = text_of(g, &printed);
    EXPECT_THAT(text, HasSubstr("\nVCO_1;IN=KEY_1;MOD_FREQ=VCO_LFO;ALT_AMP=VCO_LFO;GATE=KEY_1;"
                                "SYNC=KEY_1;\n"));
    EXPECT_THAT(text, HasSubstr("\nVCO_LFO;\n")) << "an unconnected module: its name and ';'";
    EXPECT_THAT(text, HasSubstr("\nSOUND_INPUT_1;\n")) << "the port's connections are not saved";
    EXPECT_THAT(text, HasSubstr("\nVCA_1;IN=VCO_1;GATE=SOUND_INPUT_1;\n"));
    EXPECT_THAT(text, HasSubstr("\nVCO_IN;IN=SOUND_INPUT_1;SYNC=SOUND_INPUT_1;\n"));
    EXPECT_THAT(text, Not(HasSubstr("\nKEY_1;\n"))) << "keyboards write no link record";
    EXPECT_THAT(printed, HasSubstr("Named[KEY_1]\n"));

    // A source with no panel in the list given is left out, with its message;
    // positions are written as integers.
    const std::vector<placed_module> only_vca = {{vca, K::VCA, 12.9f, -3.5f}};
    const std::string partial = text_of(g, &printed, &only_vca);
    EXPECT_THAT(partial, HasSubstr("\nVCA_1;\n"));
    EXPECT_THAT(printed, HasSubstr("Return get_name_by_OBJET(NULL)\n"));
    EXPECT_THAT(partial, HasSubstr("BEGIN_OBJECTS_POSITION_DECLARE\n\n0;12;-3\n"
                                   "END_OBJECTS_POSITION_DECLARE\n\n"));
}

TEST_F(Writer, WriteReadWriteIsByteIdentical) {
    // One module of every type, connected the way the reader takes back.
    write_text(
        "first.tsy",
        "BEGIN_OBJECTS_DECLARE\n\nAFFICHAGE_1;;\nBASIC_OPERATION_1;TYPE=4;\nCONSTANTE_1;VALUE=3.0;"
        "\n"
        "FAKE303_1;TYPE=2;FREQ=55.0;AMOUNT=0.80;PHASE=0;\nKEY_1;OCTAVE=3;\n"
        "MIXER_1;V_00=0.700;V_01=0.300;;\nMICRO_1;;\n"
        "PHASER_1;RATE=0.25;DEPTH=0.5;FEEDBACK=0.6;HI=1800.0;LOW=400.0;BYPASS=0;\n"
        "SEQUENCER_1;PARTITION_FILE_NAME=PARTITIONS/seq.PAR;\nSAMPLER_1;FILE=sample.wav;\n"
        "SFX_DELAY_1;DELAY=4410.000;VOLUME=0.600;\nSOUND_INPUT_1;;\nSOUND_OUTPUT_1;;\n"
        "VARIABLE_1;;\nVCA_1;BYPASS=0;ATTACK=10.0;DECAY=300.0;SUSTAIN=0.0;RELEASE=100.0;INVERT=0;\n"
        "FORMANT_VCF_1;GAIN=1.0;VOWELNUM=3;BYPASS=0;\nVCF303_1;HICUT=1200;Q=0.99;MIX=8.0;BYPASS=0;"
        "\n"
        "VCF_1;HICUT=800;Q=4.0;GAIN=0.0;TYPE=1;BYPASS=0;\n"
        "MULTI_VCO_1;TYPE=3;FREQ=110.0;AMOUNT=0.50;PHASE=0;\n"
        "VCO_1;TYPE=6;FREQ=220.0;AMOUNT=1.00;PHASE=1;\nGENERATOR_1;FILE=inner.tsy;\n"
        "END_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\n"
        "VCO_1;IN=KEY_1;MOD_AMP=CONSTANTE_1;\nMULTI_VCO_1;IN=SEQUENCER_1;\n"
        "VCF_1;IN=VCO_1;MOD_FREQ=MULTI_VCO_1;GATE=KEY_1;SYNC=SEQUENCER_1;\n"
        "VCF303_1;IN=VCF_1;SYNC=SEQUENCER_1;\nFORMANT_VCF_1;IN=VCF303_1;\n"
        "VCA_1;IN=FORMANT_VCF_1;GATE=KEY_1;\nMIXER_1;ADD_CHANELL=VCA_1;ADD_CHANELL=MICRO_1;\n"
        "SFX_DELAY_1;IN=MIXER_1;\nPHASER_1;IN=SFX_DELAY_1;\nSAMPLER_1;IN=KEY_1;GATE=KEY_1;\n"
        "BASIC_OPERATION_1;IN2=PHASER_1;IN1=SAMPLER_1;\n"
        "VARIABLE_1;IN=BASIC_OPERATION_1;IN_ASSIGN=CONSTANTE_1;\nAFFICHAGE_1;IN=VARIABLE_1;\n"
        "SEQUENCER_1;SYNC=KEY_1;\nGENERATOR_1;IN=VCA_1;GATE=KEY_1;SYNC=SEQUENCER_1;\n"
        "SOUND_OUTPUT_1;IN=AFFICHAGE_1;\nEND_LINKS_DECLARE\n");
    write_text("inner.tsy", tsy("SOUND_INPUT_1;;\nSOUND_OUTPUT_1;;\n"));
    // The sampler and the sequencer need their files.
    write_text("sample.wav", read_text(std::string(TM_TEST_DATA_DIR) + "/one_second.wav"));
    SEQUENCER().save_partition("PARTITIONS/seq.PAR");
    GENERATOR a;
    load_file(a, "first.tsy");
    for (int k = 0; k < module_kind_count; ++k)
        EXPECT_EQ(a.count(static_cast<K>(k)), 1u) << type_of(k).class_name;
    const auto [w1, w2] = round_trip(a, "second.tsy");
    EXPECT_EQ(w1, w2);
    EXPECT_THAT(w1,
                HasSubstr("VCF_1;IN=VCO_1;MOD_FREQ=MULTI_VCO_1;GATE=KEY_1;SYNC=SEQUENCER_1;\n"));
    EXPECT_THAT(w1, HasSubstr("MIXER_1;ADD_CHANELL=VCA_1;ADD_CHANELL=MICRO_1;\n"));
}

TEST_F(Writer, TwoModulesOfATypeSwapOnEveryLoadAndWaveformSevenComesBackAsSeven) {
    write_text("p.tsy", tsy("VCO_A;TYPE=2;\nVCO_B;TYPE=3;\n"));
    GENERATOR a;
    load_file(a, "p.tsy");
    const auto [w1, w2] = round_trip(a, "q.tsy");
    EXPECT_LT(w1.find("VCO_B;"), w1.find("VCO_A;"));
    EXPECT_LT(w2.find("VCO_A;"), w2.find("VCO_B;"));
    GENERATOR b;
    write_text("r.tsy", w2);
    load_file(b, "r.tsy");
    EXPECT_EQ(text_of(b), w1);

    // TYPE=7 still reads as 8 (older files), and the field at the end puts 7 back.
    GENERATOR g;
    add_named<VCO>(g, K::VCO, "VCO_1")->type = 7;
    const auto [first, again] = round_trip(g, "w.tsy");
    EXPECT_THAT(first, HasSubstr("VCO_1;TYPE=7;FREQ=110.000000;AMOUNT=1.00;PHASE=0;WAVE=7;"));
    EXPECT_EQ(again, first);
}

TEST_F(Writer, SavingReplacesTheFileWholeOrNotAtAll) {
    GENERATOR g;
    add_named<CONSTANTE>(g, K::CONSTANTE, "CONSTANTE_1");
    write_text("keep.tsy", "old patch");
    std::string error;
    stdout_of([&] {
        EXPECT_TRUE(save_patch(g, modules_in_list_order(g), "keep.tsy", &error));
        EXPECT_FALSE(save_patch(g, modules_in_list_order(g), "missing_dir/x.tsy", &error));
    });
    EXPECT_THAT(read_text("keep.tsy"), HasSubstr("CONSTANTE_1;VALUE=4.000000;"));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists("missing_dir"));
}

namespace {
// The note of pattern p, step s in a partition file (the notes start at byte 33280).
int note_in(const std::string& file, int p, int s) {
    const std::string b = read_text(file);
    const std::size_t at = 33280 + static_cast<std::size_t>(p * 64 + s) * 4;
    if (b.size() != 115200) return -1;
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

bool save(GENERATOR& g, const char* path, std::string* error,
          std::vector<std::string>* written = nullptr) {
    bool ok = false;
    stdout_of([&] { ok = save_patch(g, modules_in_list_order(g), path, error, written); });
    return ok;
}
} // namespace

TEST_F(Writer, ASaveWritesThePartitionsThatChangedFirstAndSaysWhich) {
    GENERATOR g;
    SEQUENCER *fresh = nullptr, *own = nullptr, *sharing = nullptr;
    stdout_of([&] {
        fresh = add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1");
        fresh->memory.note[0][0] = 5;
        own = add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_2");
        own->save_partition("PARTITIONS/own.PAR");
        sharing = add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_3");
        sharing->load_partition("PARTITIONS/own.PAR");
        sharing->memory.note[1][2] = 7;
    });
    const std::string own_bytes = read_text("PARTITIONS/own.PAR");
    std::string error;
    std::vector<std::string> written;
    ASSERT_TRUE(save(g, "p.tsy", &error, &written)) << error;
    // The sequencer without a file and the one whose patterns differ from the
    // file it shares get new files; own.PAR, unchanged, is not written.
    ASSERT_EQ(written.size(), 2u);
    std::sort(written.begin(), written.end());
    std::vector<std::string> named = {fresh->partition_file_name, sharing->partition_file_name};
    std::sort(named.begin(), named.end());
    EXPECT_EQ(written, named);
    EXPECT_EQ(note_in(fresh->partition_file_name, 0, 0), 5);
    EXPECT_EQ(note_in(sharing->partition_file_name, 1, 2), 7);
    EXPECT_THAT(fresh->partition_file_name, ::testing::MatchesRegex("PARTITIONS/[0-9]+\\.PAR"));
    EXPECT_STREQ(own->partition_file_name, "PARTITIONS/own.PAR");
    EXPECT_EQ(read_text("PARTITIONS/own.PAR"), own_bytes);
    const std::string patch = read_text("p.tsy");
    for (const SEQUENCER* s : {fresh, own, sharing})
        EXPECT_THAT(patch, HasSubstr(std::string(s->name) +
                                     ";PARTITION_FILE_NAME=" + s->partition_file_name + ";"));

    // A step changed in memory: that partition only, and it holds the step.
    own->memory.note[3][4] = 2;
    written.clear();
    ASSERT_TRUE(save(g, "p.tsy", &error, &written)) << error;
    EXPECT_EQ(written, std::vector<std::string>{"PARTITIONS/own.PAR"});
    EXPECT_EQ(note_in("PARTITIONS/own.PAR", 3, 4), 2);

    // A text made outside a save (a recovery set) names a file that exists.
    GENERATOR other;
    auto* named_by_text = add_named<SEQUENCER>(other, K::SEQUENCER, "SEQUENCER_4");
    named_by_text->memory.note[2][2] = 9;
    const std::string text = text_of(other);
    EXPECT_THAT(text, HasSubstr(std::string("PARTITION_FILE_NAME=") +
                                named_by_text->partition_file_name + ";"));
    EXPECT_EQ(note_in(named_by_text->partition_file_name, 2, 2), 9);
}

TEST_F(Writer, APartitionThatCannotBeWrittenFailsTheSaveAndKeepsTheOldPatch) {
    write_text("keep.tsy", "the old patch");
    GENERATOR g;
    auto* seq = add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1");
    copy_text(seq->partition_file_name, "PARTITIONS/x.PAR");
    const auto fails_naming = [&](const std::string& file) {
        std::string error;
        EXPECT_FALSE(save(g, "keep.tsy", &error));
        EXPECT_THAT(error, HasSubstr(file));
        EXPECT_THAT(error, HasSubstr("SEQUENCER_1"));
        EXPECT_EQ(read_text("keep.tsy"), "the old patch");
    };
    // A folder without write permission (root writes there all the same).
    ::chmod("PARTITIONS", 0555);
    if (::access("PARTITIONS", W_OK) != 0) fails_naming("PARTITIONS/x.PAR");
    ::chmod("PARTITIONS", 0755);
    // A folder that cannot be made: PARTITIONS is a file.
    std::filesystem::remove_all("PARTITIONS");
    write_text("PARTITIONS", "not a folder");
    fails_naming("PARTITIONS/x.PAR");
    seq->partition_file_name[0] = '\0';
    fails_naming("PARTITIONS/");
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos)
            << "a temporary was left: " << entry.path();
}

TEST_F(Writer, NamesThePatchReaderWouldSplitOrMisreadAreNeverWritten) {
    write_text("keep.tsy", "the old patch");
    const std::pair<const char*, const char*> partitions[] = {
        {"PARTITIONS/my part.PAR", "a blank"},   {"PARTITIONS/semi;colon.PAR", "a ';'"},
        {"PARTITIONS/a=b.PAR", "an '='"},        {"PARTITIONS/bell\a.PAR", "a control character"},
        {"PARTITIONS/NOTE_3.PAR", "holds NOTE"}, // the reader would set a step from it
    };
    for (const auto& [name, why] : partitions) {
        SCOPED_TRACE(name);
        GENERATOR g;
        auto* seq = add_named<SEQUENCER>(g, K::SEQUENCER, "SEQUENCER_1");
        copy_text(seq->partition_file_name, name);
        std::string error;
        EXPECT_FALSE(save(g, "keep.tsy", &error));
        EXPECT_THAT(error, HasSubstr("SEQUENCER_1"));
        EXPECT_THAT(error, HasSubstr(escaped_controls(name)));
        EXPECT_THAT(error, HasSubstr(why));
        EXPECT_FALSE(path_exists(name)) << "nothing is written";
    }
    GENERATOR g;
    SAMPLER* sampler = nullptr;
    stdout_of([&] { sampler = add_named<SAMPLER>(g, K::SAMPLER, "SAMPLER_1"); });
    copy_text(sampler->file, "sounds/two words.wav");
    std::string error;
    EXPECT_FALSE(save(g, "keep.tsy", &error));
    EXPECT_THAT(error, HasSubstr("SAMPLER_1: the name \"sounds/two words.wav\" has a blank"));
    EXPECT_EQ(read_text("keep.tsy"), "the old patch");
}

// The mappings section: after the positions, so a reader that stops there
// (ours without mappings, or an older one) loads the very same modules.
TEST_F(Writer, MidiMappingsFollowThePositionsAndComeBackPerLevel) {
    const std::string objects = "VCF_1;HICUT=800;Q=4.0;GAIN=0.0;TYPE=1;BYPASS=0;\n"
                                "VCO_1;TYPE=3;FREQ=220.0;AMOUNT=1.00;PHASE=0;\n"
                                "GENERATOR_1;FILE=inner.tsy;\n";
    const std::string mappings = "BEGIN_MIDI_MAP_DECLARE\n"
                                 "74;1;VCF_1;HICUT;0\n74;1;VCO_1;FREQ;1\nVELOCITY;2;VCF_1;TYPE;0\n"
                                 "PRESSURE;16;VCO_1;POWER;0\n"
                                 "74;1;VCF_9;HICUT;0\n75;1;VCF_1;NOPE;0\n200;1;VCF_1;HICUT;0\n"
                                 "7;1;VCF_1;HICUT\nEND_MIDI_MAP_DECLARE\n";
    write_text("p.tsy", tsy(objects, "VCF_1;IN=VCO_1;\n") + mappings);
    write_text("inner.tsy", tsy("VCO_1;TYPE=1;\n") + "BEGIN_MIDI_MAP_DECLARE\n1;3;VCO_1;AMOUNT;0\n"
                                                     "END_MIDI_MAP_DECLARE\n");
    GENERATOR a;
    load_report report;
    stdout_of([&] { load_patch(a, "p.tsy", &report); });
    EXPECT_EQ(report.status, load_with_errors);
    ASSERT_EQ(report.dropped, 4) << ::testing::PrintToString(report.messages);
    EXPECT_THAT(report.messages[0], HasSubstr("no module VCF_9"));
    EXPECT_THAT(report.messages[1], HasSubstr("no parameter NOPE of VCF_1"));
    EXPECT_THAT(report.messages[2], HasSubstr("controller is not 0 to 119"));
    EXPECT_THAT(report.messages[3], HasSubstr("five fields"));
    using S = midi_source;
    const std::vector<midi_mapping> expected = {{S::control, 74, 1, "VCF_1", "HICUT", false},
                                                {S::control, 74, 1, "VCO_1", "FREQ", true},
                                                {S::velocity, 0, 2, "VCF_1", "TYPE", false},
                                                {S::pressure, 0, 16, "VCO_1", "POWER", false}};
    EXPECT_EQ(a.midi.list(), expected);
    auto* inner = static_cast<GENERATOR*>(a.at(K::GENERATOR, 0));
    EXPECT_EQ(inner->midi.list(),
              (std::vector<midi_mapping>{{S::control, 1, 3, "VCO_1", "AMOUNT", false}}));

    const auto [w1, w2] = round_trip(a, "q.tsy");
    EXPECT_EQ(w1, w2);
    const std::size_t section =
        w1.find("END_OBJECTS_POSITION_DECLARE\n\nBEGIN_MIDI_MAP_DECLARE\n"
                "74;1;VCF_1;HICUT;0\n74;1;VCO_1;FREQ;1\nVELOCITY;2;VCF_1;"
                "TYPE;0\nPRESSURE;16;VCO_1;POWER;0\nEND_MIDI_MAP_DECLARE\n");
    ASSERT_NE(section, std::string::npos) << w1;

    GENERATOR b;
    load_report plain;
    stdout_of([&] { load_patch(b, "q.tsy", &plain, false); });
    EXPECT_EQ(plain.status, load_ok);
    EXPECT_TRUE(b.midi.list().empty());
    EXPECT_EQ(text_of(b), w1.substr(0, w1.find("BEGIN_MIDI_MAP_DECLARE")));

    // A mapping whose module was removed is not written; without any the file is as before.
    a.midi.forget("VCO_1", "FREQ");
    a.midi.forget("VCO_1", "POWER");
    a.midi.forget("VCF_1", "HICUT");
    a.midi.add({S::control, 9, 1, "VCO_7", "FREQ", false});
    a.midi.forget("VCF_1", "TYPE");
    EXPECT_EQ(text_of(a), text_of(b));
}
