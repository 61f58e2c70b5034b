// The allocation tracker: the leak report's exact text, the double-release
// message, the graphics base class, the engine's containers and modules going
// through it, and allocation from several threads at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "diagnostics/alloc_tracker.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "support/harness.hpp"

using namespace tmod;

namespace {

std::string report_path() {
    return test::scratch_dir(testing::UnitTest::GetInstance()->current_test_info()->name()) +
           "/MEMLEAKS.log";
}

// The report of what is live now, and what it printed.
std::string report(std::string& printed) {
    const std::string path = report_path();
    EXPECT_TRUE(open_leak_log(path.c_str()));
    testing::internal::CaptureStdout();
    report_leaks();
    printed = testing::internal::GetCapturedStdout();
    return test::read_text(path);
}

std::string record_line(int i, const void* address, int size, const char* file, int line) {
    char text[400];
    std::snprintf(text, sizeof text, "%04d - ", i);
    std::string out = text;
    // The historical layout pads the address with "%08p"; formatted here by
    // the C library the same way.
    const char* format = "%08p - Lost %8d bytes in file [%s] on line %05d\n";
    std::snprintf(text, sizeof text, format, address, size, file, line);
    return out + text;
}

} // namespace

TEST(LeakReport, NothingLeftSaysSoInTheLogAndPrintsNothing) {
    void* a = tracked_alloc(16, "a.cpp", 1);
    void* b = tracked_alloc_array(32, "b.cpp", 2);
    tracked_free(a);
    tracked_free_array(b);
    std::string printed;
    EXPECT_EQ(report(printed), "Doesn't seem to leak, u work right!!! :)\n");
    EXPECT_EQ(printed, "");
}

TEST(LeakReport, TwoLeakedBlocksAreListedInAllocationOrderWithTheirBytesAndTheTotal) {
    auto* first = static_cast<char*>(tracked_alloc(10, "synth/first.cpp", 42));
    void* freed = tracked_alloc(5, "gone.cpp", 7);
    auto* second = static_cast<char*>(tracked_alloc_array(20, "second.cpp", 12345));
    tracked_free(freed);
    std::memcpy(first, "0123456789", 10);
    std::memcpy(second, "ABCDEFGHIJ\nKLMN\0PQR\xff", 20); // raw bytes, a zero among them

    std::string printed;
    const std::string log = report(printed);
    const std::string expected = record_line(0, first, 10, "synth/first.cpp", 42) +
                                 "Mem Dump [0123456789]\n" +
                                 record_line(1, second, 20, "second.cpp", 12345) + "Mem Dump [" +
                                 std::string("ABCDEFGHIJ\nKLMN\0PQR\xff", 20) + "]\n" +
                                 "For a total of 2 elements and 30 bytes\n";
    EXPECT_EQ(log, expected);
    EXPECT_EQ(printed, "For a total of 2 elements and 30 bytes\n");
    // The sizes and lines are padded as the layout says.
    EXPECT_NE(log.find(" - Lost       10 bytes in file [synth/first.cpp] on line 00042\n"),
              std::string::npos);

    tracked_free(first);
    tracked_free_array(second);
    EXPECT_EQ(tracked_count(), 0u);
}

TEST(LeakReport, AFileNameLongerThan59CharactersIsCut) {
    const std::string name = std::string(70, 'd') + ".cpp";
    void* p = tracked_alloc(1, name.c_str(), 3);
    std::memset(p, 'z', 1);
    std::string printed;
    const std::string log = report(printed);
    EXPECT_NE(log.find("[" + name.substr(0, 59) + "]"), std::string::npos) << log;
    EXPECT_EQ(log.find(name.substr(0, 60)), std::string::npos);
    tracked_free(p);
}

TEST(LeakReport, ReleasingAnAddressTwiceIsReportedInTheLogAndOnStandardOutput) {
    const std::string path = report_path();
    ASSERT_TRUE(open_leak_log(path.c_str()));
    void* p = tracked_alloc(8, "twice.cpp", 1);
    int on_stack = 0;
    tracked_free(p);
    testing::internal::CaptureStdout();
    tracked_free(p);         // released already
    tracked_free(&on_stack); // never tracked: reported, not handed to free()
    EXPECT_FALSE(unregister(p));
    const std::string printed = testing::internal::GetCapturedStdout();
    char message[200];
    std::snprintf(message, sizeof message, "Damn Bitches [%p] already freed ???\n", p);
    char other[200];
    std::snprintf(other, sizeof other, "Damn Bitches [%p] already freed ???\n",
                  static_cast<void*>(&on_stack));
    const std::string expected = std::string(message) + other + message;
    EXPECT_EQ(printed, expected);
    report_leaks(); // closes the log
    EXPECT_EQ(test::read_text(path), expected + "Doesn't seem to leak, u work right!!! :)\n");
}

namespace {
struct sprite_like : LeakWrapper {
    int payload[6] = {1, 2, 3, 4, 5, 6};
};
struct derived_sprite : sprite_like {
    double more[3] = {};
};
} // namespace

TEST(LeakWrapperClass, ObjectsAreTrackedWithTheirSiteAndReleasedThroughTheBase) {
    const std::size_t before = tracked_count();
    const int line = __LINE__ + 1;
    sprite_like* s = new (__FILE__, line) derived_sprite;
    EXPECT_EQ(tracked_count(), before + 1);
    EXPECT_EQ(tracked_bytes(), sizeof(derived_sprite));
    std::string printed;
    const std::string log = report(printed);
    char site[300];
    std::snprintf(site, sizeof site, "on line %05d\n", line);
    EXPECT_NE(log.find(site), std::string::npos) << log;
    EXPECT_NE(log.find(std::to_string(sizeof(derived_sprite)) + " bytes"), std::string::npos);
    delete s; // virtual destructor: the whole derived object goes back
    EXPECT_EQ(tracked_count(), before);
    EXPECT_EQ(tracked_bytes(), 0u);
}

TEST(TrackedEngine, AContainerAndEveryModuleItLoadsGoThroughTheTrackerAndAreAllReleased) {
    fill_note_table();
    const std::string dir = test::scratch_dir("TrackedEngine");
    test::write_text(dir + "/voice.tsy",
                     "BEGIN_OBJECTS_DECLARE\nKEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=440;\n"
                     "VCA_1;BYPASS=0;ATTACK=5;DECAY=5;SUSTAIN=1;RELEASE=5;INVERT=0;\n"
                     "VCF_1;HICUT=800;Q=1;GAIN=0;TYPE=1;BYPASS=0;\nSOUND_OUTPUT_1;;\n"
                     "END_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\nVCO_1;IN=KEY_1;\n"
                     "VCF_1;IN=VCO_1;\nVCA_1;IN=VCF_1;GATE=KEY_1;\nSOUND_OUTPUT_1;IN=VCA_1;\n"
                     "END_LINKS_DECLARE\n");
    const std::size_t before = tracked_count();
    testing::internal::CaptureStdout();
    GENERATOR* g = TM_NEW(GENERATOR, (dir + "/voice.tsy").c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(g->total_count(), 5u);
    // The container and its five modules at least (slot objects may add more).
    EXPECT_GE(tracked_count(), before + 6);
    tracked_delete(g);
    EXPECT_EQ(tracked_count(), before);
    EXPECT_EQ(tracked_bytes(), 0u);
}

TEST(TrackerThreads, BlocksAllocatedAndReleasedOnManyThreadsAtOnceKeepTheRecordsExact) {
    constexpr int threads = 8, rounds = 2000;
    const std::size_t before = tracked_count();
    std::vector<std::vector<void*>> kept(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t, &kept] {
            std::vector<void*> live;
            for (int i = 0; i < rounds; ++i) {
                live.push_back(i % 2 ? tracked_alloc(16 + i % 7, "worker.cpp", t)
                                     : tracked_alloc_array(8, "worker.cpp", t));
                if (i % 3 == 2) {
                    tracked_free(live.front());
                    live.erase(live.begin());
                }
            }
            // Keep three blocks per thread, release the rest.
            while (live.size() > 3) {
                tracked_free_array(live.back());
                live.pop_back();
            }
            kept[t] = live;
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(tracked_count(), before + threads * 3);
    for (auto& live : kept)
        for (void* p : live) tracked_free(p);
    EXPECT_EQ(tracked_count(), before);
    EXPECT_EQ(tracked_bytes(), 0u);
}
