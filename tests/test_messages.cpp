// User messages: standard output by default, a sink or a scoped capture when a
// caller wants them, traces off unless asked for, and the messages of a load.
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

#include "engine/generator.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/harness.hpp"
#include "util/messages.hpp"

using namespace tmod;
using namespace tmod::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(Messages, GoToStandardOutputUnlessASinkOrCaptureTakesThem) {
    testing::internal::CaptureStdout();
    say("Ligne %d : [%s] %.2f\n", 7, "VCO_1", 0.5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ligne 7 : [VCO_1] 0.50\n");

    std::string seen;
    message_sink before = set_message_sink([&](const std::string& t) { seen += t; });
    testing::internal::CaptureStdout();
    say("%s", std::string(2000, 'x').c_str());  // longer than the formatting buffer
    say("ORDER:[%s] : ", "FINISH");
    {
        message_capture inner;
        say("kept\nand an unfinished");
        EXPECT_THAT(inner.lines(), ElementsAre("kept", "and an unfinished"));
    }
    say("back\n");
    set_message_sink(std::move(before));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(seen, std::string(2000, 'x') + "ORDER:[FINISH] : back\n");

    testing::internal::CaptureStdout();
    {
        message_capture echoed(true);
        say("both\n");
        EXPECT_EQ(echoed.text(), "both\n");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "both\n");
}

TEST(Messages, ThreadsSayingAtOnceLoseNoLine) {
    message_capture cap;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) say("thread %d line %d\n", t, i);
        });
    for (auto& th : threads) th.join();
    const auto lines = cap.lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& l : lines) EXPECT_EQ(l.rfind("thread ", 0), 0u) << l;
}

TEST(Messages, TracesAreOffByDefault) {
    unsetenv("TM_TRACE");
    EXPECT_FALSE(trace_enabled());
    message_capture cap;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    trace("Named[%s]\n", "KEY_1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(cap.text(), "");
}

TEST(Messages, ALoadTellsItsCallerWhatWasSkipped) {
    const std::string dir = scratch_dir();
    const std::string path = dir + "/patch.tsy";
    // Words of the file: 1 BEGIN_OBJECTS_DECLARE, 2-4 the records, 5 its end,
    // 6 BEGIN_LINKS_DECLARE, 7 a link record without any field.
    write_text(path, tsy("CONSTANTE_1;VALUE=1;\nSAMPLER_1;FILE=" + dir +
                             "/missing.wav;\nGENERATOR_1;FILE=" + dir + "/absent.tsy;\n",
                         "CONSTANTE_1\n"));
    GENERATOR g;
    load_status status = load_ok;
    testing::internal::CaptureStdout();
    std::vector<std::string> said;
    {
        message_capture cap;
        status = load_patch(g, path.c_str());
        said = cap.lines();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the capture kept them all";
    EXPECT_EQ(status, load_with_errors);
    EXPECT_THAT(said, ::testing::IsSupersetOf(
                          {"Loading TSY [" + path + "]",
                           "Oula FSOUND_Sample_Load de [" + dir + "/missing.wav] retourn 0",
                           "Must Specify a true filename [" + dir + "/absent.tsy]",
                           std::string("Ligne 7 semble avoir moins de 2 parametres")}));
    // What was not skipped is there.
    EXPECT_EQ(g.count(module_kind::CONSTANTE), 1u);
    EXPECT_EQ(g.count(module_kind::GENERATOR), 1u);
}
