// The tokenizer, value conversions and the atomic file replacement.
#include <filesystem>
#include <gtest/gtest.h>

#include "support/harness.hpp"
#include "util/atomic_file.hpp"
#include "util/text.hpp"
#include "util/tstr_parser.hpp"

using namespace tmod;

TEST(TstrParser, CountIsSeparatorsAndItemsFollowThem) {
    const tstr_parser a("A=1;B=2;", ';');
    EXPECT_EQ(a.count(), 2);
    EXPECT_EQ(a.get(0), "A=1");
    EXPECT_EQ(a.get(1), "B=2");
    EXPECT_TRUE(a.get(2).empty()); // starts at the end of the text

    const tstr_parser b("A=1;B=2", ';');
    EXPECT_EQ(b.count(), 1);
    EXPECT_EQ(b.get(1), "B=2");
}

TEST(TstrParser, EmptyItemsAndOutOfRangeIndicesGiveNothing) {
    const tstr_parser p(";;X;", ';');
    EXPECT_EQ(p.count(), 3);
    EXPECT_TRUE(p.get(0).empty());
    EXPECT_TRUE(p.get(1).empty());
    EXPECT_EQ(p.get(2), "X");
    EXPECT_TRUE(p.get(3).empty());
    EXPECT_TRUE(p.get(-1).empty());
    EXPECT_TRUE(p.get(1000).empty());
    EXPECT_EQ(tstr_parser("", ';').count(), 0);
}

TEST(Conversions, BehaveAsTheCLibraryAndSaturate) {
    EXPECT_EQ(parse_int("12.75"), 12);
    EXPECT_EQ(parse_int("  -7xyz"), -7);
    EXPECT_EQ(parse_int("abc"), 0);
    EXPECT_EQ(parse_int(""), 0);
    EXPECT_EQ(parse_int("99999999999999999999"), INT_MAX);
    EXPECT_EQ(parse_int("-99999999999999999999"), INT_MIN);
    EXPECT_FLOAT_EQ(parse_float("0.5abc"), 0.5f);
    EXPECT_FLOAT_EQ(parse_float("x"), 0.0f);
}

TEST(CopyText, CutsAtCapacityAndAtNul) {
    char name[80];
    copy_text(name, std::string(200, 'N'));
    EXPECT_EQ(std::string(name), std::string(79, 'N'));
    copy_text(name, std::string_view("AB\0CD", 5));
    EXPECT_STREQ(name, "AB");
}

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporary) {
    namespace fs = std::filesystem;
    const std::string dir = test::scratch_dir("atomic_file");
    const std::string target = dir + "/patch.tsy";
    test::write_text(target, "old");
    ASSERT_TRUE(write_file_atomically(target.c_str(), "new text", 8));
    EXPECT_EQ(test::read_text(target), "new text");
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(AtomicFile, AFailureReplacesNothing) {
    namespace fs = std::filesystem;
    const std::string dir = test::scratch_dir("atomic_fail");
    // A directory cannot be replaced by a file: the rename fails.
    const std::string target = dir + "/taken";
    fs::create_directory(target);
    test::write_text(target + "/inside", "keep");
    std::string error;
    EXPECT_FALSE(write_file_atomically(target.c_str(), "x", 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::read_text(target + "/inside"), "keep");
    const auto entries = std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    EXPECT_EQ(entries, 1) << "the temporary file must be removed";

    EXPECT_FALSE(write_file_atomically((dir + "/no/such/dir/file").c_str(), "x", 1, &error));
}
