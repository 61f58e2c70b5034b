// The allocation tracker: the leak report's exact text, the double-release
// message, objects of the graphics base class and of the engine going through
// it, and blocks allocated on many threads at once.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "engine/generator.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/harness.hpp"
#include "util/alloc_tracker.hpp"

using namespace tmod;

namespace {

// The log in a fresh directory, made once: scratch_dir empties it on every call.
const std::string& log_path() {
    static const std::string path = test::scratch_dir() + "/MEMLEAKS.log";
    return path;
}

// Writes the report of what is live now; returns the log, `printed` gets
// what went to standard output.
std::string report(std::string& printed) {
    EXPECT_TRUE(open_leak_log(log_path().c_str()));
    printed = test::stdout_of(report_leaks);
    return test::read_text(log_path());
}

// One record's lines as the layout gives them, formatted by the C library.
std::string record(int i, const void* block, int size, const char* file, int line) {
    char text[400];
    const char* format = "%04d - %08p - Lost %8d bytes in file [%s] on line %05d\nMem Dump [";
    std::snprintf(text, sizeof text, format, i, block, size, file, line);
    return text + std::string(static_cast<const char*>(block), static_cast<std::size_t>(size)) +
           "]\n";
}

struct sprite_like : LeakWrapper {
    int payload[6] = {1, 2, 3, 4, 5, 6};
};
struct derived_sprite : sprite_like {
    double more[3] = {};
};

} // namespace

TEST(LeakReport, TwoLeakedBlocksAreListedInOrderWithTheirBytesAndTotalsAndACleanRunSaysSo) {
    auto* first = static_cast<char*>(tracked_alloc(10, "synth/first.cpp", 42));
    void* freed = tracked_alloc(5, "gone.cpp", 7);
    auto* second = static_cast<char*>(tracked_alloc_array(20, "second.cpp", 12345));
    tracked_free(freed);
    std::memcpy(first, "0123456789", 10);
    std::memcpy(second, "ABCDEFGHIJ\nKLMN\0PQR\xff", 20); // raw bytes, a zero among them
    std::string printed;
    EXPECT_EQ(report(printed), record(0, first, 10, "synth/first.cpp", 42) +
                                   record(1, second, 20, "second.cpp", 12345) +
                                   "For a total of 2 elements and 30 bytes\n");
    EXPECT_EQ(printed, "For a total of 2 elements and 30 bytes\n");
    EXPECT_NE(test::read_text(log_path())
                  .find(" - Lost       10 bytes in file [synth/first.cpp] "
                        "on line 00042\n"),
              std::string::npos);

    tracked_free(first);
    tracked_free_array(second);
    EXPECT_EQ(report(printed), "Doesn't seem to leak, u work right!!! :)\n");
    EXPECT_EQ(printed, "");

    // A file name longer than 59 characters is cut.
    const std::string name = std::string(70, 'd') + ".cpp";
    void* p = tracked_alloc(1, name.c_str(), 3);
    const std::string log = report(printed);
    EXPECT_NE(log.find("[" + name.substr(0, 59) + "]"), std::string::npos) << log;
    tracked_free(p);
}

TEST(LeakReport, ReleasingAnAddressTwiceIsReportedInTheLogAndOnStandardOutput) {
    ASSERT_TRUE(open_leak_log(log_path().c_str()));
    void* p = tracked_alloc(8, "twice.cpp", 1);
    int on_stack = 0;
    tracked_free(p);
    const std::string printed = test::stdout_of([&] {
        tracked_free(p);
        tracked_free(&on_stack); // never tracked: reported, not handed to free()
    });
    char expected[400];
    std::snprintf(expected, sizeof expected,
                  "Damn Bitches [%p] already freed ???\nDamn Bitches [%p] already freed ???\n", p,
                  static_cast<void*>(&on_stack));
    EXPECT_EQ(printed, expected);
    report_leaks();
    EXPECT_EQ(test::read_text(log_path()),
              expected + std::string("Doesn't seem to leak, u work right!!! :)\n"));
}

TEST(TrackedObjects, GraphicsObjectsAndEngineContainersWithTheirModulesAreTrackedAndReleased) {
    const int line = __LINE__ + 1;
    sprite_like* s = new (__FILE__, line) derived_sprite;
    EXPECT_EQ(tracked_count(), 1u);
    EXPECT_EQ(tracked_bytes(), sizeof(derived_sprite));
    std::string printed;
    char site[300];
    std::snprintf(site, sizeof site, "bytes in file [%s] on line %05d\n", __FILE__, line);
    EXPECT_NE(report(printed).find(site), std::string::npos);
    delete s; // through the base: the whole derived object goes back
    EXPECT_EQ(tracked_count(), 0u);

    const std::string patch = test::scratch_dir() + "/voice.tsy";
    test::write_text(patch,
                     test::tsy("KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=440;\n"
                               "VCF_1;HICUT=800;Q=1;GAIN=0;TYPE=1;BYPASS=0;\nSOUND_OUTPUT_1;;\n"));
    GENERATOR* g = nullptr;
    test::stdout_of([&] {
        g = TM_NEW(GENERATOR);
        load_patch(*g, patch.c_str());
    });
    ASSERT_EQ(g->total_count(), 4u);
    EXPECT_GE(tracked_count(), 5u) << "the container and its four modules";
    tracked_delete(g);
    EXPECT_EQ(tracked_count(), 0u);
    EXPECT_EQ(tracked_bytes(), 0u);
}

TEST(TrackerThreads, BlocksAllocatedAndReleasedOnManyThreadsAtOnceKeepTheRecordsExact) {
    std::vector<std::vector<void*>> kept(8);
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([t, &kept] {
            std::vector<void*>& live = kept[t];
            for (int i = 0; i < 2000; ++i) {
                live.push_back(i % 2 ? tracked_alloc(16 + i % 7, "worker.cpp", t)
                                     : tracked_alloc_array(8, "worker.cpp", t));
                if (i % 3 == 2) tracked_free(live.front()), live.erase(live.begin());
            }
            for (; live.size() > 3; live.pop_back()) tracked_free_array(live.back());
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(tracked_count(), 8u * 3);
    for (auto& live : kept)
        for (void* p : live) tracked_free(p);
    EXPECT_EQ(tracked_count(), 0u);
    EXPECT_EQ(tracked_bytes(), 0u);
}
