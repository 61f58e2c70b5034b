// Hostile patch loads: partition files that are not files (the real program,
// which must not hang on them), a tree of nested patches that fans out without
// bound, loads at the same time, and a render that must not depend on the run.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "engine/generator.hpp"
#include "engine/ports.hpp"
#include "modules/sequencer.hpp"
#include "support/harness.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;
using ::testing::HasSubstr;

namespace {

// Runs the program; false when it had not ended after a minute (it is then
// killed, so a hang fails the test instead of blocking it).
bool run_with_deadline(const std::vector<std::string>& args, const std::string& log, int& status) {
    std::vector<std::string> argv = {TM_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    child program(argv, log);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (program.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool ended = !program.running();
    status = program.stop(9);
    return ended;
}

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// Lines "GENERATOR_<i>;FILE=<file>;" for i = 1..count.
std::string generators(int count, const std::string& file) {
    std::string objects;
    for (int i = 1; i <= count; ++i)
        objects += "GENERATOR_" + std::to_string(i) + ";FILE=" + file + ";\n";
    return objects;
}

// The CONSTANTE modules two levels of GENERATOR down.
long leaves_of(const GENERATOR& g) {
    long leaves = 0;
    for (std::size_t i = 0; i < g.count(K::GENERATOR); ++i) {
        const auto& mid = *static_cast<GENERATOR*>(g.at(K::GENERATOR, i));
        for (std::size_t j = 0; j < mid.count(K::GENERATOR); ++j)
            leaves += static_cast<GENERATOR*>(mid.at(K::GENERATOR, j))->count(K::CONSTANTE);
    }
    return leaves;
}

} // namespace

TEST(HostilePartitions, PipesDevicesAndDirectoriesAreRefusedAndTheRenderGoesOn) {
    const std::string dir = scratch_dir();
    std::filesystem::create_directories(dir + "/PARTITIONS/folder.PAR");
    ASSERT_EQ(::mkfifo((dir + "/PARTITIONS/fifo.PAR").c_str(), 0644), 0);
    write_text(dir + "/patch.tsy", tsy("SEQUENCER_1;PARTITION_FILE_NAME=PARTITIONS/fifo.PAR;\n"
                                       "SEQUENCER_2;PARTITION_FILE_NAME=/dev/stdin;\n"
                                       "SEQUENCER_3;PARTITION_FILE_NAME=PARTITIONS/folder.PAR;\n"
                                       "SOUND_OUTPUT_1;;\n"));
    int status = -1;
    ASSERT_TRUE(run_with_deadline({"--render", dir + "/out.wav", "--seconds", "0.1", "--data", dir,
                                   dir + "/patch.tsy"},
                                  dir + "/log.txt", status))
        << "the load hung on a partition that is not a file";
    EXPECT_EQ(status, 0);
    const std::string log = read_text(dir + "/log.txt");
    for (const char* file : {"PARTITIONS/fifo.PAR", "/dev/stdin", "PARTITIONS/folder.PAR"}) {
        EXPECT_THAT(log, HasSubstr(std::string("Partition [") + file +
                                   "] : pas un fichier ordinaire"));
        EXPECT_THAT(log, HasSubstr(std::string("Erreur de chargement de partition [") + file + "]"));
    }
    EXPECT_EQ(read_sound(dir + "/out.wav").frames, 4410);
}

TEST(HostilePartitions, ARefusedPartitionLeavesThePatternsAndTheirNameAsTheyWere) {
    const std::string dir = scratch_dir();
    SEQUENCER seq;
    seq.memory.note[0][0] = 7;
    std::string printed = stdout_of([&] { EXPECT_FALSE(seq.load_partition(dir.c_str())); });
    EXPECT_THAT(printed, HasSubstr("pas un fichier ordinaire"));
    EXPECT_EQ(seq.memory.note[0][0], 7);
    EXPECT_STREQ(seq.partition_file_name, "");
}

// The reproducer of a load without bound: 1 000 x 1 000 nested patches.
// A load counts at most 10 000 nested patches: the ten first copies of L1 are
// reached (10 loads of L1 and 9 990 of L0), then the rest is refused.
TEST(HostileTrees, AFanOutOfNestedPatchesStopsAtTheLimitAndKeepsWhatItLoaded) {
    const std::string dir = scratch_dir();
    write_text(dir + "/L0.tsy", tsy("CONSTANTE_1;VALUE=0.25;\nSOUND_OUTPUT_1;;\n",
                                    "SOUND_OUTPUT_1;IN=CONSTANTE_1;\n"));
    write_text(dir + "/L1.tsy", tsy(generators(1000, dir + "/L0.tsy")));
    write_text(dir + "/L2.tsy", tsy(generators(1000, dir + "/L1.tsy") + "SOUND_OUTPUT_1;;\n",
                                    "SOUND_OUTPUT_1;IN=GENERATOR_1;\n"));
    GENERATOR g;
    std::string printed;
    EXPECT_EQ(load_file(g, dir + "/L2.tsy", &printed), load_with_errors);
    EXPECT_EQ(occurrences(printed, "Chargement arrete"), 1u) << printed.substr(0, 2000);
    EXPECT_THAT(printed, HasSubstr("plus de 10000 patchs imbriques"));
    EXPECT_EQ(printed.find("Cannot Found"), std::string::npos);

    ASSERT_EQ(g.count(K::GENERATOR), 10u);
    EXPECT_EQ(leaves_of(g), 9990);
    EXPECT_EQ(g.count(K::SOUND_OUTPUT), 0u) << "records after the limit are not read";

    // The same container takes an ordinary patch again: the limit is per load.
    EXPECT_EQ(load_file(g, dir + "/L1.tsy"), load_ok);
    EXPECT_EQ(g.count(K::GENERATOR), 1000u);
}

// A load keeps its chain of files and its budget to itself: two threads that
// read the same tree at once both get all of it (with one chain between them,
// either would take a file the other is reading for one that includes itself).
TEST(HostileTrees, TwoLoadsAtOnceEachReadTheWholeTree) {
    const std::string dir = scratch_dir();
    write_text(dir + "/L0.tsy", tsy("CONSTANTE_1;VALUE=0.25;\n"));
    write_text(dir + "/L1.tsy", tsy(generators(40, dir + "/L0.tsy")));
    write_text(dir + "/L2.tsy", tsy(generators(40, dir + "/L1.tsy")));
    GENERATOR trees[2];
    load_status status[2] = {load_failed, load_failed};
    std::atomic<int> started{0};
    auto load = [&](int i) {
        ++started;
        while (started.load() < 2) std::this_thread::yield();
        status[i] = load_patch(trees[i], (dir + "/L2.tsy").c_str());
    };
    const std::string printed = stdout_of([&] {
        std::thread other(load, 1);
        load(0);
        other.join();
    });
    EXPECT_EQ(printed.find("s'inclut"), std::string::npos);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(status[i], load_ok);
        EXPECT_EQ(leaves_of(trees[i]), 40 * 40);
    }
}

TEST(HostileTrees, TheRealProgramRendersTheFanOutFromItsDataDirectory) {
    const std::string dir = scratch_dir();
    std::filesystem::create_directories(dir + "/TSY");
    write_text(dir + "/TSY/L0.tsy", tsy("CONSTANTE_1;VALUE=0.25;\nSOUND_OUTPUT_1;;\n",
                                        "SOUND_OUTPUT_1;IN=CONSTANTE_1;\n"));
    write_text(dir + "/TSY/L1.tsy", tsy(generators(1000, "TSY/L0.tsy")));
    write_text(dir + "/TSY/L2.tsy", tsy(generators(1000, "TSY/L1.tsy")));
    int status = -1;
    ASSERT_TRUE(run_with_deadline({"--render", dir + "/out.wav", "--seconds", "0.01", "--data",
                                   dir, dir + "/TSY/L2.tsy"},
                                  dir + "/log.txt", status));
    EXPECT_EQ(status, 0);
    const std::string log = read_text(dir + "/log.txt");
    EXPECT_EQ(occurrences(log, "Chargement arrete a [TSY/L0.tsy] : plus de 10000 patchs"), 1u);
    EXPECT_EQ(read_sound(dir + "/out.wav").frames, 441);
}

TEST(HostileTrees, AFlatPatchStopsAtOneHundredThousandModules) {
    std::string objects;
    for (int i = 1; i <= 100005; ++i) objects += "CONSTANTE_" + std::to_string(i) + ";VALUE=1;\n";
    const std::string path = scratch_dir() + "/flat.tsy";
    write_text(path, tsy(objects));
    GENERATOR g;
    std::string printed;
    EXPECT_EQ(load_file(g, path, &printed), load_with_errors);
    EXPECT_EQ(g.count(K::CONSTANTE), 100000u);
    EXPECT_EQ(occurrences(printed, "plus de 100000 modules"), 1u);
    // The first records of the file are among those kept.
    EXPECT_NE(g.find(K::CONSTANTE, "CONSTANTE_1"), nullptr);
    EXPECT_EQ(g.find(K::CONSTANTE, "CONSTANTE_100001"), nullptr);
}

// Sequencers read with the older per-step keys keep the dividers they are
// created with; eight of them, so that a divider drawn differently in a
// second run would almost surely change the sound.
TEST(Determinism, TheSameCommandRendersTheSameBytes) {
    const std::string dir = scratch_dir();
    std::string objects, links, channels, volumes;
    for (int i = 1; i <= 8; ++i) {
        const std::string n = std::to_string(i);
        objects += "SEQUENCER_" + n + ";NBR_STEP=4;NOTE_000_00=" + std::to_string(40 + i) +
                   ";NOTE_000_01=" + std::to_string(47 + i) + ";NOTE_000_02=" +
                   std::to_string(52 + i) + ";NOTE_000_03=" + std::to_string(44 + i) + ";\n";
        objects += "VCO_" + n + ";TYPE=1;FREQ=44;AMOUNT=0.1;PHASE=0;\n";
        links += "VCO_" + n + ";IN=SEQUENCER_" + n + ";\n";
        channels += "ADD_CHANELL=VCO_" + n + ";";
        volumes += "V_0" + std::to_string(i - 1) + "=1.000;";
    }
    write_text(dir + "/seq.tsy", tsy(objects + "MIXER_1;" + volumes + "\nSOUND_OUTPUT_1;;\n",
                                     links + "MIXER_1;" + channels +
                                         "\nSOUND_OUTPUT_1;IN=MIXER_1;\n"));
    std::vector<std::string> renders;
    for (const char* name : {"a.wav", "b.wav"}) {
        int status = -1;
        ASSERT_TRUE(run_with_deadline({"--render", dir + "/" + name, "--seconds", "2", "--tempo",
                                       "120", "--data", dir, dir + "/seq.tsy"},
                                      dir + "/log.txt", status));
        ASSERT_EQ(status, 0) << read_text(dir + "/log.txt");
        renders.push_back(read_text(dir + "/" + name));
    }
    const sound s = read_sound(dir + "/a.wav");
    ASSERT_EQ(s.frames, 2 * 44100);
    float loudest = 0.0f;
    for (float x : s.samples) loudest = std::max(loudest, std::abs(x));
    EXPECT_GT(loudest, 0.01f) << "two silent renders would prove nothing";
    EXPECT_TRUE(renders[0] == renders[1]) << "the two renders differ";
}
