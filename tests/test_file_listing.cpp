// File listing: which files, in which order, and stepping through them.
#include "support/harness.hpp"
#include "toolkit/file_listing.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tmod;
namespace fs = std::filesystem;

namespace {

struct listing_fixture : testing::Test {
    std::string dir;
    void SetUp() override {
        dir = test::scratch_dir(testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const char* f : {"b.tsy", "A.TSY", "c.txt", "noext", "sub/a.tsy", "Zeta/x.Tsy",
                              "Zeta/deeper/y.tsy", "sub.tsy/inside.tsy", "alpha/old.tsy.bak"}) {
            fs::create_directories(fs::path(dir + "/" + f).parent_path());
            test::write_text(dir + "/" + f, "x");
        }
        fs::create_directories(dir + "/empty");
    }

    std::vector<std::string> listed(const char* extension) {
        testing::internal::CaptureStdout();
        auto l = list_files(dir.c_str(), extension);
        testing::internal::GetCapturedStdout();
        return l;
    }

    std::string next(const char* current) { return step(current, true); }
    std::string previous(const char* current) { return step(current, false); }
    std::string step(const char* current, bool forward) {
        char out[256] = "UNCHANGED";
        testing::internal::CaptureStdout();
        char* r = forward ? next_file(current, dir.c_str(), "tsy", out, sizeof out)
                          : previous_file(current, dir.c_str(), "tsy", out, sizeof out);
        testing::internal::GetCapturedStdout();
        if (!r) return std::string("null:") + out;
        EXPECT_EQ(r, out);
        return r;
    }
};

} // namespace

TEST_F(listing_fixture, FilesOfADirectoryComeBeforeItsSubdirectoriesByNameWithoutCase) {
    // A directory named sub.tsy is no file; its content is listed in its turn.
    const std::vector<std::string> expected = {dir + "/A.TSY",      dir + "/b.tsy",
                                               dir + "/sub/a.tsy",  dir + "/sub.tsy/inside.tsy",
                                               dir + "/Zeta/x.Tsy", dir + "/Zeta/deeper/y.tsy"};
    EXPECT_EQ(listed("tsy"), expected);
    EXPECT_EQ(listed("TSY"), expected); // the extension matches without case
    EXPECT_EQ(listed("txt"), std::vector<std::string>{dir + "/c.txt"});
    EXPECT_TRUE(listed("wav").empty());
}

TEST_F(listing_fixture, ListingPrintsEachEntry) {
    testing::internal::CaptureStdout();
    list_files((dir + "/sub").c_str(), "tsy");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[[S[" + dir + "/sub/a.tsy]\n");
}

TEST_F(listing_fixture, NextAndPreviousStopAtTheEnds) {
    EXPECT_EQ(next(""), dir + "/A.TSY");
    EXPECT_EQ(previous(""), dir + "/Zeta/deeper/y.tsy");
    EXPECT_EQ(next("a.tsy"), dir + "/b.tsy"); // first match by base name: A.TSY
    EXPECT_EQ(next("TSY/B.TSY"), dir + "/sub/a.tsy");
    EXPECT_EQ(next("somewhere\\else\\Y.TSY"), dir + "/Zeta/deeper/y.tsy"); // the last stays
    EXPECT_EQ(previous("A.tsy"), dir + "/A.TSY");                          // the first stays
    EXPECT_EQ(previous("x.tsy"), dir + "/sub.tsy/inside.tsy");
    EXPECT_EQ(next("unknown.tsy"), "null:UNCHANGED");
    EXPECT_EQ(previous("unknown.tsy"), "null:UNCHANGED");
}

TEST_F(listing_fixture, OutputIsCutToItsBuffer) {
    char small[8] = {};
    testing::internal::CaptureStdout();
    ASSERT_NE(next_file("", dir.c_str(), "tsy", small, sizeof small), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(small), (dir + "/A.TSY").substr(0, 7));
}

TEST_F(listing_fixture, EmptyMissingAndLoopingDirectories) {
    char out[64] = "UNCHANGED";
    testing::internal::CaptureStdout();
    EXPECT_EQ(next_file("", (dir + "/empty").c_str(), "tsy", out, sizeof out), nullptr);
    EXPECT_EQ(previous_file("", (dir + "/empty").c_str(), "tsy", out, sizeof out), nullptr);
    EXPECT_TRUE(list_files((dir + "/missing").c_str(), "tsy").empty());
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(out), "UNCHANGED");
    EXPECT_NE(log.find("Oula \n"), std::string::npos);

    // A link back up the tree is not followed.
    fs::create_directory_symlink(dir, dir + "/sub/loop");
    const auto entries = listed("tsy");
    EXPECT_EQ(entries.size(), 6u);
}

TEST(Listing, BaseNames) {
    EXPECT_EQ(base_name("TSY/demo.tsy"), "demo.tsy");
    EXPECT_EQ(base_name("C:\\TSY\\demo.tsy"), "demo.tsy");
    EXPECT_EQ(base_name("line\ndemo.tsy"), "demo.tsy");
    EXPECT_EQ(base_name("demo.tsy"), "demo.tsy");
    EXPECT_EQ(base_name("dir/"), "");
}
