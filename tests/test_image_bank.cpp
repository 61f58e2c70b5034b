// Image bank, bundles, sheets, font lists and the word scanner, without a
// window; and the shipped art checked for what the editor needs.
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

#include "support/toolkit_support.hpp"
#include "util/messages.hpp"
#include "util/word_scanner.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

// A sheet whose every pixel tells where it is: red = x, green = y.
surface_ptr coordinate_sheet(int w, int h) {
    surface_ptr s = solid(w, h);
    SDL_LockSurface(s.get());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Uint8* p = static_cast<Uint8*>(s->pixels) + y * s->pitch + x * 3;
            p[0] = static_cast<Uint8>(x), p[1] = static_cast<Uint8>(y), p[2] = 7;
        }
    SDL_UnlockSurface(s.get());
    return s;
}

struct Bank : testing::Test {
    std::string dir = scratch_dir();
    IMAGE_BANK& bank = image_bank();
    void SetUp() override { bank.clear(); }
    void TearDown() override { bank.clear(); }
    std::string bmp(const char* name, surface_ptr s) {
        EXPECT_EQ(SDL_SaveBMP(s.get(), (dir + "/" + name).c_str()), 0);
        return dir + "/" + name;
    }
    // Writes the bundle text and loads it; what it printed goes to `log`.
    int load_bundle(const std::string& text, std::string* log = nullptr) {
        write_text(dir + "/bundle.tim", text);
        std::string why;
        int status = 0;
        const std::string out =
            stdout_of([&] { status = bank.try_load_bundle((dir + "/bundle.tim").c_str(), why); });
        if (log) *log = out + why;
        return status;
    }
};

} // namespace

TEST(Bundle, EntriesEndAtEndOrAtAHashFileAndMalformedSheetsAreLeftOut) {
    std::string problems;
    for (const char* empty : {"H1 H2 END A a.png SIMPLEPART", "", "ONLY_ONE_HEADER"})
        EXPECT_TRUE(parse_bundle(empty, problems).empty()) << empty;
    auto e = parse_bundle("H1 H2\nA a.png SIMPLEPART\nB #b.png SIMPLEPART\nC c.png SIMPLEPART\n",
                          problems);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "A");
    EXPECT_FALSE(e[0].sheet);
    // Without END the entries simply run to the end of the text.
    e = parse_bundle("H1 H2 A a.png SIMPLEPART K k.png SHEET 32 32 2 3 1 2", problems);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(e[1].sheet);
    EXPECT_EQ((std::vector<int>{e[1].cell_w, e[1].cell_h, e[1].rows, e[1].columns, e[1].gap_x,
                                e[1].gap_y}),
              (std::vector<int>{32, 32, 2, 3, 1, 2}));
    EXPECT_TRUE(problems.empty()) << problems;

    e = parse_bundle("H1 H2 K k.png SHEET 32 32 x 3 1 2 B b.png SIMPLEPART END", problems);
    EXPECT_NE(problems.find("Sheet [K] needs six integers"), std::string::npos) << problems;
    for (const bundle_entry& entry : e) EXPECT_NE(entry.name, "K");
    problems.clear();
    e = parse_bundle("H1 H2 Z z.png SHEET 0 32 1 1 0 0 Y y.png SHEET 32 32 100 100 0 0 "
                     "X x.png SHEET 99999 8 1 1 0 0 W w.png SIMPLEPART END",
                     problems);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "W");
    for (const char* n : {"[Z]", "[Y]", "[X]"})
        EXPECT_NE(problems.find(std::string("Sheet ") + n + " has an impossible"),
                  std::string::npos)
            << problems;
    // Garbage of every kind: no crash, bounded words.
    std::string garbage = "H1 H2 ";
    for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    garbage += " " + std::string(100000, 'w');
    for (const bundle_entry& entry : parse_bundle(garbage, problems)) {
        EXPECT_LE(entry.name.size(), word_scanner::max_word);
        EXPECT_LE(entry.file.size(), word_scanner::max_word);
    }
}

TEST(Bundle, SheetsAreCutRowByRowWithTheirGaps) {
    // 2 rows of 3 cells of 32 x 32, gaps 1 across and 2 down.
    surface_ptr sheet = coordinate_sheet(3 * 32 + 2 * 1, 2 * 32 + 1 * 2);
    bundle_entry e;
    e.name = "KNOB";
    e.sheet = true;
    e.cell_w = e.cell_h = 32;
    e.rows = 2, e.columns = 3, e.gap_x = 1, e.gap_y = 2;
    std::string problems;
    std::vector<named_surface> cells = cut_sheet(sheet.get(), e, problems);
    ASSERT_EQ(cells.size(), 6u);
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(cells[n].name, "KNOB_" + std::to_string(n));
        const int x0 = (n % 3) * 33, y0 = (n / 3) * 34;
        EXPECT_EQ(cells[n].surface->w, 32);
        EXPECT_EQ(pixel(cells[n].surface.get(), 0, 0), (rgb{x0, y0, 7}));
        EXPECT_EQ(pixel(cells[n].surface.get(), 31, 31), (rgb{x0 + 31, y0 + 31, 7}));
    }
    EXPECT_EQ(pixel(cells[4].surface.get(), 0, 0), (rgb{33, 34, 7})); // KNOB_4 at (33, 34)
    // Cells that would lie outside the sheet are left out, the others kept.
    e.columns = 4;
    problems.clear();
    EXPECT_EQ(cut_sheet(sheet.get(), e, problems).size(), 6u);
    EXPECT_NE(problems.find("Cell [KNOB_3] lies outside the sheet"), std::string::npos);
    e.columns = 3;
    e.gap_x = -40; // cells to the left of the sheet: only column 0 stays inside
    EXPECT_EQ(cut_sheet(sheet.get(), e, problems).size(), 2u);
}

TEST_F(Bank, BundleFillsTheBankInOrderAndANameKeepsItsFirstImage) {
    const std::string sheet = bmp("knob.bmp", coordinate_sheet(98, 66));
    const std::string red = bmp("red.bmp", solid(64, 64, 255, 0, 0));
    std::string why;
    ASSERT_EQ(load_bundle("HEADER 1\nRED " + red + " SIMPLEPART\nKNOB " + sheet +
                              " SHEET 32 32 2 3 1 2\nRED " + sheet +
                              " SIMPLEPART\nEND\nnotes after the end are not read\n",
                          &why),
              1)
        << why;
    EXPECT_EQ(bank.count, 7);
    EXPECT_EQ(bank.find("RED"), 0);
    EXPECT_EQ(bank.find("KNOB_0"), 1);
    EXPECT_EQ(bank.find("KNOB_5"), 6);
    EXPECT_EQ(bank.widths[0], 64); // the first RED stays
    EXPECT_EQ(pixel(bank.surface("RED"), 5, 5), (rgb{255, 0, 0}));
    EXPECT_EQ(pixel(bank.surface("KNOB_4"), 0, 0), (rgb{33, 34, 7}));
    EXPECT_EQ(bank.bundle_path, dir + "/bundle.tim");
    EXPECT_EQ(bank.find("ABSENT"), -1);
    EXPECT_EQ(bank.surface("ABSENT"), nullptr);
    EXPECT_EQ(bank.find(nullptr), -1);

    bank.clear();
    EXPECT_EQ(bank.load_image(bmp("a.bmp", solid(8, 8, 1, 2, 3)).c_str(), "IMG"), 1);
    SDL_Surface* first = bank.surface("IMG");
    EXPECT_EQ(bank.load_image(bmp("b.bmp", solid(16, 16, 4, 5, 6)).c_str(), "IMG"), 1);
    EXPECT_EQ(bank.add_surface(solid(4, 4, 0, 0, 0), "IMG"), 1);
    EXPECT_EQ(bank.surface("IMG"), first);
    EXPECT_EQ(bank.widths[0], 8);
    EXPECT_EQ(bank.load_image((dir + "/missing.bmp").c_str(), "OTHER"), 0);
    EXPECT_EQ(bank.add_surface(nullptr, "OTHER"), 0);
    // add replaces on purpose (the bundle reload path).
    EXPECT_EQ(bank.add("IMG", solid(2, 3, 0, 0, 0), 2, 3), 1);
    EXPECT_EQ(bank.count, 1);
    EXPECT_EQ(bank.heights[0], 3);
}

TEST_F(Bank, TheBankHoldsFourHundredImagesAndNoMore) {
    const std::string sheet = bmp("dots.bmp", solid(20, 21, 9, 9, 9));
    const std::string one = bmp("one.bmp", solid(2, 2, 9, 9, 9));
    // 20 x 20 cells of one pixel, then a row more, then another image.
    std::string log;
    ASSERT_EQ(load_bundle("H H DOT " + sheet + " SHEET 1 1 20 20 0 0 ROW " + sheet +
                              " SHEET 1 1 1 20 0 0 LAST " + one + " SIMPLEPART END",
                          &log),
              1);
    EXPECT_EQ(bank.count, IMAGE_BANK::capacity);
    EXPECT_EQ(bank.find("DOT_399"), 399);
    EXPECT_EQ(bank.find("ROW_0"), -1);
    EXPECT_EQ(bank.find("LAST"), -1);
    EXPECT_NE(log.find("More than 400 images"), std::string::npos) << log;
    EXPECT_NE(stdout_of([&] {
                  EXPECT_EQ(bank.add("ONE_TOO_MANY", solid(1, 1), 1, 1), 0);
                  EXPECT_EQ(bank.add_surface(solid(1, 1), "ANOTHER"), IMAGE_BANK::capacity);
              }).find("Image bank full"),
              std::string::npos);
    EXPECT_EQ(bank.count, IMAGE_BANK::capacity);
}

TEST_F(Bank, ABrokenBundleOnReloadKeepsTheOldImages) {
    const std::string a = bmp("a.bmp", solid(8, 8, 1, 2, 3));
    ASSERT_EQ(load_bundle("H H A " + a + " SIMPLEPART B " + a + " SIMPLEPART END"), 1);
    SDL_Surface* a_before = bank.surface("A");
    const std::string bundle = dir + "/bundle.tim";
    write_text(bundle, "H H A " + a + " SIMPLEPART C " + dir + "/gone.png SIMPLEPART END");
    std::string log = stdout_of([&] { EXPECT_EQ(bank.reload(), -1); });
    EXPECT_NE(log.find("Erreur au de chargement simplepart [" + dir + "/gone.png]"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("the images stay as they were"), std::string::npos);
    EXPECT_EQ(bank.count, 2);
    EXPECT_EQ(bank.surface("A"), a_before);
    EXPECT_NE(bank.surface("B"), nullptr);
    std::filesystem::remove(bundle);
    log = stdout_of([&] { EXPECT_EQ(bank.reload(), -1); });
    EXPECT_NE(log.find("Impossible d'ouvrir [" + bundle + "]"), std::string::npos) << log;
    EXPECT_EQ(bank.count, 2);
    // A good bundle again: replaced in one go.
    write_text(bundle, "H H C " + a + " SIMPLEPART END");
    EXPECT_EQ(bank.reload(), 1);
    EXPECT_EQ(bank.count, 1);
    EXPECT_EQ(bank.find("A"), -1);
}

TEST(BankStartUp, WithoutItsImagesIsToldNotEnded) {
    const std::string dir = scratch_dir();
    write_text(dir + "/broken.tim", "H H A " + dir + "/absent.png SIMPLEPART END");
    for (const std::string& path : {std::string("/nonexistent/opengl.tim"), dir + "/broken.tim"}) {
        SCOPED_TRACE(path);
        message_capture cap;
        EXPECT_EQ(image_bank().load_bundle(path.c_str()), -1);
        EXPECT_FALSE(cap.text().empty()) << "the failure is said";
    }
}

TEST(BankFormat, UploadPathAndColours) {
    using path = IMAGE_BANK::upload_path;
    const struct {
        int w, h;
        bool no_direct;
        path expected;
    } rows[] = {{64, 64, false, path::direct},    {128, 256, false, path::direct},
                {256, 64, false, path::direct},   {64, 64, true, path::mipmaps},
                {100, 50, false, path::mipmaps},  {32, 32, false, path::mipmaps},
                {512, 512, false, path::mipmaps}, {64, 63, false, path::mipmaps}};
    for (const auto& r : rows)
        EXPECT_EQ(IMAGE_BANK::choose_upload_path(r.w, r.h, r.no_direct), r.expected)
            << r.w << "x" << r.h;
    // A paletted image keeps its colours.
    SDL_Surface* indexed = SDL_CreateRGBSurface(SDL_SWSURFACE, 2, 1, 8, 0, 0, 0, 0);
    SDL_Color colours[2] = {{10, 20, 30, 0}, {200, 100, 50, 0}};
    SDL_SetColors(indexed, colours, 0, 2);
    static_cast<Uint8*>(indexed->pixels)[1] = 1;
    surface_ptr flat = to_bank_format(indexed);
    SDL_FreeSurface(indexed);
    ASSERT_TRUE(flat);
    EXPECT_EQ(flat->format->BitsPerPixel, 24);
    EXPECT_EQ(pixel(flat.get(), 0, 0), (rgb{10, 20, 30}));
    EXPECT_EQ(pixel(flat.get(), 1, 0), (rgb{200, 100, 50}));
    // Transparent pixels of an image with alpha become black.
    SDL_Surface* rgba = SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, 2, 1, 32, 0xFF, 0xFF00,
                                             0xFF0000, 0xFF000000);
    static_cast<Uint32*>(rgba->pixels)[0] = SDL_MapRGBA(rgba->format, 250, 250, 250, 0);
    static_cast<Uint32*>(rgba->pixels)[1] = SDL_MapRGBA(rgba->format, 250, 120, 0, 255);
    flat = to_bank_format(rgba);
    SDL_FreeSurface(rgba);
    ASSERT_TRUE(flat);
    EXPECT_EQ(pixel(flat.get(), 0, 0), (rgb{0, 0, 0}));
    EXPECT_EQ(pixel(flat.get(), 1, 0), (rgb{250, 120, 0}));
    EXPECT_FALSE(to_bank_format(nullptr));
}

TEST(Fonts, FontListEntriesLimitsAndFreeTypeFailures) {
    std::string problems;
    EXPECT_TRUE(parse_font_list("FONTS 1 END Fonts/x.ttf", problems).empty());
    auto e = parse_font_list("FONTS 1 A a.ttf B #b.ttf C c.ttf", problems);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "A");
    EXPECT_EQ(e[0].file, "a.ttf");
    std::string twelve = "FONTS 1";
    for (int i = 0; i < 12; ++i) twelve += " F" + std::to_string(i) + " f.ttf";
    EXPECT_EQ(parse_font_list(twelve, problems).size(), 10u);
    EXPECT_NE(problems.find("[F10] and the fonts after it are not loaded"), std::string::npos);
    for (auto [value, side] : {std::pair{20, 32}, {33, 64}, {0, 1}, {1, 1}, {64, 64}, {3, 4}})
        EXPECT_EQ(glyph_texture_side(value), side) << value;

    const std::string dir = scratch_dir(), bad = dir + "/bad.ttf";
    write_text(bad, "this is not a font");
    FONT f;
    try {
        f.init(bad.c_str(), 32);
        ADD_FAILURE() << "a text file was taken for a font";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     "FT_New_Face failed (there is probably a problem with your font file)");
    }
    EXPECT_FALSE(f.loaded());
    // The list stops at the bad font; the fonts before it stay counted.
    write_text(dir + "/Fonts.FNTS",
               "FONTS 1 GOOD " TM_SOURCE_DATA_DIR "/Fonts/DejaVuSans.ttf BAD " + bad +
                   " LATER " TM_SOURCE_DATA_DIR "/Fonts/DejaVuSans.ttf END");
    FONT_TABLE table;
    std::string why;
    EXPECT_EQ(table.try_load_font_list((dir + "/Fonts.FNTS").c_str(), why), -1);
    EXPECT_NE(why.find("FT_New_Face failed"), std::string::npos) << why;
    EXPECT_EQ(table.count, 1);
    EXPECT_STREQ(table.names[0], "GOOD");
    EXPECT_FALSE(table.get(5, 12).loaded());
    EXPECT_FALSE(table.get(-3, 12).loaded());
    message_capture cap;
    EXPECT_EQ(table.load_font_list((dir + "/missing.FNTS").c_str()), -1);
    EXPECT_EQ(cap.text(), "Impossible d'ouvrir [" + dir + "/missing.FNTS]\n");
}

TEST(Scanner, WordsAndNumbersAreBounded) {
    word_scanner in("  first\t" + std::string(1000, 'x') +
                    "\n-12 +7 99999999999 -99999999999 abc 3.25 .5e1 nan");
    std::string w;
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w, "first");
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w.size(), word_scanner::max_word);
    for (int expected : {-12, 7, 2147483647, -2147483647 - 1}) {
        int v = 0;
        ASSERT_TRUE(in.integer(v));
        EXPECT_EQ(v, expected);
    }
    int v = 0;
    EXPECT_FALSE(in.integer(v)); // "abc" stays for the next word
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w, "abc");
    for (float expected : {3.25f, 5.0f, 0.0f}) { // a layout has no use for "nan"
        float f = -1;
        ASSERT_TRUE(in.real(f));
        EXPECT_EQ(f, expected);
    }
    EXPECT_TRUE(in.at_end());
    EXPECT_FALSE(in.word(w));
}

// The shipped art: every picture the editor names, loadable, with masks that
// compose (an image is black wherever its mask lets the background through).
TEST(ShippedArt, BundleHoldsEveryPictureTheEditorNames) {
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
    IMAGE_BANK& bank = image_bank();
    std::string why;
    int loaded = 0;
    const std::string log =
        stdout_of([&] { loaded = bank.try_load_bundle("grfx/opengl.tim", why); });
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    ASSERT_EQ(loaded, 1) << why;
    EXPECT_EQ(log, "") << "the bundle has problems";

    std::vector<std::string> wanted = {
        "FOND_GLOBAL",  "FOND_ELECTRO",      "IMG_001",        "FICHE_PLUG",    "FICHE_PLUG_MASK",
        "FICHE_UNPLUG", "FICHE_UNPLUG_MASK", "LAMP_LED_1_0",   "LAMP_LED_1_1",  "CHK_1_ON",
        "CHK_1_OFF",    "CHK_4_ON",          "CHK_4_OFF",      "SLD2",          "SLD2_MASK",
        "BTN_VCO_OFF",  "BTN_VCO_MASK",      "JACK_IN_SIGNAL", "JACK_OUT_GATE", "JACK_IN_SYNC"};
    for (const char* w : {"SIN", "TRI", "SAW", "SQR", "PULSE", "NOISE_WHITE", "NOISE_ROSSLER",
                          "NOISE_LORENZ", "NOISE_TAM"})
        wanted.push_back(std::string("DISP_") + w), wanted.push_back(std::string("MINI_DISP_") + w);
    for (const char* f :
         {"LOWPASS", "HIGHPASS", "BANDPASS", "NOTCH", "LOWSHELF", "HIGHSHELF", "PEAKING"})
        wanted.push_back(std::string("DISP_FILTRE_") + f);
    for (int d = 0; d <= 12; ++d) {
        if (d <= 10) wanted.push_back("LED_NUMERIC_1_" + std::to_string(d));
        if (d <= 10) wanted.push_back("LED_NUMERIC_3_" + std::to_string(d));
        wanted.push_back("LED_NUMERIC_2_" + std::to_string(d));
    }
    for (const std::string& w : wanted) EXPECT_GE(bank.find(w.c_str()), 0) << w;

    // Masks: a button derives "..._MASK" from its off image, a knob adds
    // "_MASK", a lamp cell shares its sheet's.
    int pairs = 0;
    for (int slot = 0; slot < bank.count; ++slot) {
        const std::string name = bank.names[slot];
        if (name.find("MASK") != std::string::npos) continue;
        const bool button_state = name.size() > 4 && (name.rfind("_OFF") == name.size() - 4 ||
                                                      name.rfind("_ON") == name.size() - 3);
        std::string mask = name + "_MASK";
        if (bank.find(mask.c_str()) < 0) mask = name.substr(0, name.rfind('_') + 1) + "MASK";
        if (button_state) {
            EXPECT_GE(bank.find(mask.c_str()), 0) << name << " has no " << mask;
        }
        if (bank.find(mask.c_str()) < 0) continue;
        SDL_Surface* image = bank.surface(name.c_str());
        SDL_Surface* m = bank.surface(mask.c_str());
        ASSERT_EQ(image->w, m->w) << name;
        ASSERT_EQ(image->h, m->h) << name;
        ++pairs;
        int worst = 0; // composed over white the result must not exceed white
        for (int y = 0; y < image->h; ++y)
            for (int x = 0; x < image->w; ++x) {
                const rgb c = pixel(image, x, y), k = pixel(m, x, y);
                worst = std::max({worst, c.r + k.r - 255, c.g + k.g - 255, c.b + k.b - 255});
            }
        EXPECT_LE(worst, 3) << name << " shows colour where " << mask << " keeps the background";
    }
    EXPECT_GE(pairs, 150);
    EXPECT_LE(bank.count, IMAGE_BANK::capacity);
    bank.clear();
}
