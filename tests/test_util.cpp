// The tokenizer, value conversions and the atomic file replacement.
#include <climits>
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
    EXPECT_EQ(tstr_parser("A=1;B=2", ';').count(), 1);
    EXPECT_EQ(tstr_parser("A=1;B=2", ';').get(1), "B=2");
    EXPECT_EQ(tstr_parser("", ';').count(), 0);

    const tstr_parser p(";;X;", ';');
    EXPECT_EQ(p.count(), 3);
    for (int i : {0, 1, 3, -1, 1000}) EXPECT_TRUE(p.get(i).empty()) << i;
    EXPECT_EQ(p.get(2), "X");
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

    char name[80];
    copy_text(name, std::string(200, 'N'));
    EXPECT_EQ(std::string(name), std::string(79, 'N'));
    copy_text(name, std::string_view("AB\0CD", 5));
    EXPECT_STREQ(name, "AB");
}

TEST(EscapedControls, ControlBytesAndBrokenUtf8AreEscapedPrintableTextIsKept) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> rows[] = {
        {"TRIG 60 [x] \\ ~", "TRIG 60 [x] \\ ~"},
        {"Fa\u00e7ade \u65e5\u672c \U0001f3b9 \u00a0",
         "Fa\u00e7ade \u65e5\u672c \U0001f3b9 \u00a0"},
        {"\x1b]0;owned\x07\x1b[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
        {"a\tb\rc\nd\x7f"s + '\0', "a\\x09b\\x0dc\\x0ad\\x7f\\x00"},
        {"\xc2\x9b[31m \x9b[31m", "\\xc2\\x9b[31m \\x9b[31m"}, // CSI, as UTF-8 and as a byte
        {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80",             // overlong, surrogate, past U+10FFFF
         "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},
        {"\xc2", "\\xc2"},
        {"", ""},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(escaped_controls(rows[i].first), rows[i].second) << "row " << i;
}

TEST(AtomicFile, ReplacesTheTargetWholeOrNotAtAll) {
    namespace fs = std::filesystem;
    const std::string dir = test::scratch_dir();
    test::write_text(dir + "/patch.tsy", "old");
    ASSERT_TRUE(write_file_atomically((dir + "/patch.tsy").c_str(), "new text", 8));
    EXPECT_EQ(test::read_text(dir + "/patch.tsy"), "new text");

    // A directory cannot be replaced by a file: the rename fails.
    fs::create_directory(dir + "/taken");
    test::write_text(dir + "/taken/inside", "keep");
    std::string error;
    EXPECT_FALSE(write_file_atomically((dir + "/taken").c_str(), "x", 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::read_text(dir + "/taken/inside"), "keep");
    EXPECT_FALSE(write_file_atomically((dir + "/no/such/dir/file").c_str(), "x", 1, &error));
    // No temporary file is left behind, neither after success nor failure.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
