// Image bank, bundles, sheets, font lists and the word scanner, without a
// window; and the shipped art and fonts checked for what the editor needs.
#include "support/harness.hpp"
#include "toolkit/tam_lib.hpp"
#include "toolkit/word_scanner.hpp"

#include <gtest/gtest.h>

#include <SDL/SDL_image.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

using namespace tmod;

namespace {

struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

rgb pixel(SDL_Surface* s, int x, int y) {
    SDL_LockSurface(s);
    const Uint8* p =
        static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 value = 0;
    for (int i = s->format->BytesPerPixel - 1; i >= 0; --i) value = (value << 8) | p[i];
    SDL_UnlockSurface(s);
    Uint8 r, g, b;
    SDL_GetRGB(value, s->format, &r, &g, &b);
    return {r, g, b};
}

// A sheet whose every pixel tells where it is: red = x, green = y.
surface_ptr coordinate_sheet(int w, int h) {
    surface_ptr s(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0));
    SDL_LockSurface(s.get());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Uint8* p = static_cast<Uint8*>(s->pixels) + y * s->pitch + x * 3;
            p[0] = static_cast<Uint8>(x);
            p[1] = static_cast<Uint8>(y);
            p[2] = 7;
        }
    SDL_UnlockSurface(s.get());
    return s;
}

surface_ptr solid(int w, int h, Uint8 r, Uint8 g, Uint8 b) {
    surface_ptr s(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0));
    SDL_FillRect(s.get(), nullptr, SDL_MapRGB(s->format, r, g, b));
    return s;
}

std::string save_bmp(const std::string& path, SDL_Surface* s) {
    EXPECT_EQ(SDL_SaveBMP(s, path.c_str()), 0);
    return path;
}

struct bank_fixture : testing::Test {
    std::string dir;
    void SetUp() override {
        dir = test::scratch_dir(testing::UnitTest::GetInstance()->current_test_info()->name());
        image_bank().clear();
    }
    void TearDown() override { image_bank().clear(); }
};

} // namespace

TEST(Bundle, EntriesEndAtEndOrAtAHashFile) {
    std::string problems;
    EXPECT_TRUE(parse_bundle("H1 H2 END A a.png SIMPLEPART", problems).empty());
    EXPECT_TRUE(parse_bundle("", problems).empty());
    EXPECT_TRUE(parse_bundle("ONLY_ONE_HEADER", problems).empty());

    auto e = parse_bundle("H1 H2\nA a.png SIMPLEPART\nB #b.png SIMPLEPART\nC c.png SIMPLEPART\n",
                          problems);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "A");
    EXPECT_FALSE(e[0].sheet);

    // Without END the entries simply run to the end of the text.
    e = parse_bundle("H1 H2 A a.png SIMPLEPART K k.png SHEET 32 32 2 3 1 2", problems);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(e[1].sheet);
    EXPECT_EQ(e[1].cell_w, 32);
    EXPECT_EQ(e[1].cell_h, 32);
    EXPECT_EQ(e[1].rows, 2);
    EXPECT_EQ(e[1].columns, 3);
    EXPECT_EQ(e[1].gap_x, 1);
    EXPECT_EQ(e[1].gap_y, 2);
    EXPECT_TRUE(problems.empty()) << problems;
}

TEST(Bundle, MalformedSheetsAreLeftOutWithAReason) {
    std::string problems;
    auto e = parse_bundle("H1 H2 K k.png SHEET 32 32 x 3 1 2 B b.png SIMPLEPART END", problems);
    EXPECT_NE(problems.find("Sheet [K] needs six integers"), std::string::npos) << problems;
    for (const bundle_entry& entry : e) EXPECT_NE(entry.name, "K");

    problems.clear();
    e = parse_bundle("H1 H2 Z z.png SHEET 0 32 1 1 0 0 "
                     "Y y.png SHEET 32 32 100 100 0 0 "
                     "X x.png SHEET 99999 8 1 1 0 0 "
                     "W w.png SIMPLEPART END",
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
    problems.clear();
    for (const bundle_entry& entry : parse_bundle(garbage, problems)) {
        EXPECT_LE(entry.name.size(), word_scanner::max_word);
        EXPECT_LE(entry.file.size(), word_scanner::max_word);
    }
}

TEST_F(bank_fixture, SheetsAreCutRowByRowWithTheirGaps) {
    // 2 rows of 3 cells of 32 x 32, gaps 1 across and 2 down.
    surface_ptr sheet = coordinate_sheet(3 * 32 + 2 * 1, 2 * 32 + 1 * 2);
    bundle_entry e;
    e.name = "KNOB";
    e.sheet = true;
    e.cell_w = e.cell_h = 32;
    e.rows = 2;
    e.columns = 3;
    e.gap_x = 1;
    e.gap_y = 2;
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
    cells = cut_sheet(sheet.get(), e, problems);
    EXPECT_EQ(cells.size(), 6u);
    EXPECT_NE(problems.find("Cell [KNOB_3] lies outside the sheet"), std::string::npos);
    e.columns = 3;
    e.gap_x = -40; // cells to the left of the sheet
    problems.clear();
    cells = cut_sheet(sheet.get(), e, problems);
    EXPECT_EQ(cells.size(), 2u); // only column 0 stays inside
}

TEST_F(bank_fixture, BundleFillsTheBankInOrder) {
    const std::string sheet = save_bmp(dir + "/knob.bmp", coordinate_sheet(98, 66).get());
    const std::string red = save_bmp(dir + "/red.bmp", solid(64, 64, 255, 0, 0).get());
    const std::string bundle = dir + "/bundle.tim";
    test::write_text(bundle, "HEADER 1\nRED " + red + " SIMPLEPART\nKNOB " + sheet +
                                 " SHEET 32 32 2 3 1 2\nRED " + sheet +
                                 " SIMPLEPART\nEND\nnotes after the end are not read\n");
    IMAGE_BANK& bank = image_bank();
    std::string why;
    ASSERT_EQ(bank.try_load_bundle(bundle.c_str(), why), 1) << why;
    EXPECT_EQ(bank.count, 7);
    EXPECT_EQ(bank.find("RED"), 0);
    EXPECT_EQ(bank.find("KNOB_0"), 1);
    EXPECT_EQ(bank.find("KNOB_5"), 6);
    EXPECT_EQ(bank.widths[0], 64); // the first RED stays
    EXPECT_EQ(pixel(bank.surface("RED"), 5, 5), (rgb{255, 0, 0}));
    EXPECT_EQ(pixel(bank.surface("KNOB_4"), 0, 0), (rgb{33, 34, 7}));
    EXPECT_EQ(bank.bundle_path, bundle);
    EXPECT_EQ(bank.find("ABSENT"), -1);
    EXPECT_EQ(bank.surface("ABSENT"), nullptr);
    EXPECT_EQ(bank.find(nullptr), -1);
}

TEST_F(bank_fixture, ANameAddedTwiceKeepsTheFirstImage) {
    IMAGE_BANK& bank = image_bank();
    const std::string a = save_bmp(dir + "/a.bmp", solid(8, 8, 1, 2, 3).get());
    const std::string b = save_bmp(dir + "/b.bmp", solid(16, 16, 4, 5, 6).get());
    EXPECT_EQ(bank.load_image(a.c_str(), "IMG"), 1);
    SDL_Surface* first = bank.surface("IMG");
    EXPECT_EQ(bank.load_image(b.c_str(), "IMG"), 1);
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

TEST_F(bank_fixture, TheBankHoldsFourHundredImagesAndNoMore) {
    const std::string sheet = save_bmp(dir + "/dots.bmp", solid(20, 21, 9, 9, 9).get());
    const std::string one = save_bmp(dir + "/one.bmp", solid(2, 2, 9, 9, 9).get());
    const std::string bundle = dir + "/many.tim";
    // 20 x 20 cells of one pixel, then a row more, then another image.
    test::write_text(bundle, "H H DOT " + sheet + " SHEET 1 1 20 20 0 0 ROW " + sheet +
                                 " SHEET 1 1 1 20 0 0 LAST " + one + " SIMPLEPART END");
    IMAGE_BANK& bank = image_bank();
    std::string why;
    testing::internal::CaptureStdout();
    ASSERT_EQ(bank.try_load_bundle(bundle.c_str(), why), 1);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(bank.count, IMAGE_BANK::capacity);
    EXPECT_EQ(bank.find("DOT_399"), 399);
    EXPECT_EQ(bank.find("ROW_0"), -1);
    EXPECT_EQ(bank.find("LAST"), -1);
    EXPECT_NE(log.find("More than 400 images"), std::string::npos) << log;

    testing::internal::CaptureStdout();
    EXPECT_EQ(bank.add("ONE_TOO_MANY", solid(1, 1, 0, 0, 0), 1, 1), 0);
    EXPECT_EQ(bank.add_surface(solid(1, 1, 0, 0, 0), "ANOTHER"), IMAGE_BANK::capacity);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Image bank full"), std::string::npos);
    EXPECT_EQ(bank.count, IMAGE_BANK::capacity);
}

TEST_F(bank_fixture, ABrokenBundleOnReloadKeepsTheOldImages) {
    const std::string a = save_bmp(dir + "/a.bmp", solid(8, 8, 1, 2, 3).get());
    const std::string bundle = dir + "/live.tim";
    test::write_text(bundle, "H H A " + a + " SIMPLEPART B " + a + " SIMPLEPART END");
    IMAGE_BANK& bank = image_bank();
    std::string why;
    ASSERT_EQ(bank.try_load_bundle(bundle.c_str(), why), 1);
    SDL_Surface* a_before = bank.surface("A");

    test::write_text(bundle, "H H A " + a + " SIMPLEPART C " + dir + "/gone.png SIMPLEPART END");
    testing::internal::CaptureStdout();
    EXPECT_EQ(bank.reload(), -1);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Erreur au de chargement simplepart [" + dir + "/gone.png]"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("the images stay as they were"), std::string::npos);
    EXPECT_EQ(bank.count, 2);
    EXPECT_EQ(bank.surface("A"), a_before);
    EXPECT_NE(bank.surface("B"), nullptr);

    std::filesystem::remove(bundle);
    testing::internal::CaptureStdout();
    EXPECT_EQ(bank.reload(), -1);
    log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Impossible d'ouvrir [" + bundle + "]"), std::string::npos) << log;
    EXPECT_EQ(bank.count, 2);

    // A good bundle again: replaced in one go.
    test::write_text(bundle, "H H C " + a + " SIMPLEPART END");
    EXPECT_EQ(bank.reload(), 1);
    EXPECT_EQ(bank.count, 1);
    EXPECT_EQ(bank.find("A"), -1);
}

TEST(BankDeathTest, StartUpWithoutItsImagesEndsTheProgram) {
    EXPECT_EXIT(image_bank().load_bundle("/nonexistent/opengl.tim"), testing::ExitedWithCode(255),
                "");
    const std::string dir = test::scratch_dir("BankDeathTest");
    const std::string bundle = dir + "/broken.tim";
    test::write_text(bundle, "H H A " + dir + "/absent.png SIMPLEPART END");
    EXPECT_EXIT(image_bank().load_bundle(bundle.c_str()), testing::ExitedWithCode(255), "");
}

TEST(Bank, UploadPathAndBankFormat) {
    using path = IMAGE_BANK::upload_path;
    struct row {
        int w, h;
        bool no_direct;
        path expected;
    };
    const row rows[] = {{64, 64, false, path::direct},    {128, 256, false, path::direct},
                        {256, 64, false, path::direct},   {64, 64, true, path::mipmaps},
                        {100, 50, false, path::mipmaps},  {32, 32, false, path::mipmaps},
                        {512, 512, false, path::mipmaps}, {64, 63, false, path::mipmaps}};
    for (const row& r : rows)
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
    Uint32* px = static_cast<Uint32*>(rgba->pixels);
    px[0] = SDL_MapRGBA(rgba->format, 250, 250, 250, 0);
    px[1] = SDL_MapRGBA(rgba->format, 250, 120, 0, 255);
    flat = to_bank_format(rgba);
    SDL_FreeSurface(rgba);
    ASSERT_TRUE(flat);
    EXPECT_EQ(pixel(flat.get(), 0, 0), (rgb{0, 0, 0}));
    EXPECT_EQ(pixel(flat.get(), 1, 0), (rgb{250, 120, 0}));
    EXPECT_FALSE(to_bank_format(nullptr));
}

TEST(Fonts, FontListEntriesAndLimits) {
    std::string problems;
    EXPECT_TRUE(parse_font_list("FONTS 1 END Fonts/x.ttf", problems).empty());
    auto e = parse_font_list("FONTS 1 A a.ttf B #b.ttf C c.ttf", problems);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].name, "A");
    EXPECT_EQ(e[0].file, "a.ttf");

    std::string twelve = "FONTS 1";
    for (int i = 0; i < 12; ++i) twelve += " F" + std::to_string(i) + " f.ttf";
    problems.clear();
    e = parse_font_list(twelve, problems);
    EXPECT_EQ(e.size(), 10u);
    EXPECT_NE(problems.find("[F10] and the fonts after it are not loaded"), std::string::npos);

    struct side {
        int value, texture;
    };
    for (side s : {side{20, 32}, side{33, 64}, side{0, 1}, side{1, 1}, side{64, 64}, side{3, 4}})
        EXPECT_EQ(glyph_texture_side(s.value), s.texture) << s.value;
    EXPECT_NEAR(line_spacing(32.0f), 32.0 / 0.63, 1e-3);
}

TEST(Fonts, FreeTypeFailuresCarryTheirMessage) {
    const std::string dir = test::scratch_dir("FontFailures");
    const std::string bad = dir + "/bad.ttf";
    test::write_text(bad, "this is not a font");
    FONT f;
    try {
        f.init(bad.c_str(), 32);
        FAIL() << "a text file was taken for a font";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "FT_New_Face failed (there is probably a problem with your font file)");
    }
    EXPECT_FALSE(f.loaded());

    // The list stops at the bad font; the fonts before it stay counted.
    const std::string list = dir + "/Fonts.FNTS";
    test::write_text(list, "FONTS 1 GOOD " TM_SOURCE_DATA_DIR "/Fonts/DejaVuSans.ttf BAD " + bad +
                               " LATER " TM_SOURCE_DATA_DIR "/Fonts/DejaVuSans.ttf END");
    FONT_TABLE table;
    std::string why;
    EXPECT_EQ(table.try_load_font_list(list.c_str(), why), -1);
    EXPECT_NE(why.find("FT_New_Face failed"), std::string::npos) << why;
    EXPECT_EQ(table.count, 1);
    EXPECT_STREQ(table.names[0], "GOOD");
    EXPECT_FALSE(table.get(5, 12).loaded());
    EXPECT_FALSE(table.get(-3, 12).loaded());

    EXPECT_EXIT(table.load_font_list((dir + "/missing.FNTS").c_str()), testing::ExitedWithCode(255),
                "");
}

TEST(Scanner, WordsAndNumbersAreBounded) {
    word_scanner in("  first\t" + std::string(1000, 'x') +
                    "\n-12 +7 99999999999 -99999999999 "
                    "abc 3.25 .5e1 nan");
    std::string w;
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w, "first");
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w.size(), word_scanner::max_word);
    int v = 0;
    ASSERT_TRUE(in.integer(v));
    EXPECT_EQ(v, -12);
    ASSERT_TRUE(in.integer(v));
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(in.integer(v));
    EXPECT_EQ(v, 2147483647);
    ASSERT_TRUE(in.integer(v));
    EXPECT_EQ(v, -2147483647 - 1);
    EXPECT_FALSE(in.integer(v)); // "abc" stays for the next word
    ASSERT_TRUE(in.word(w));
    EXPECT_EQ(w, "abc");
    float f = 0;
    ASSERT_TRUE(in.real(f));
    EXPECT_EQ(f, 3.25f);
    ASSERT_TRUE(in.real(f));
    EXPECT_EQ(f, 5.0f);
    ASSERT_TRUE(in.real(f));
    EXPECT_EQ(f, 0.0f); // a layout has no use for "nan"
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
    testing::internal::CaptureStdout();
    const int loaded = bank.try_load_bundle("grfx/opengl.tim", why);
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    ASSERT_EQ(loaded, 1) << why;
    EXPECT_EQ(log, "") << "the bundle has problems: " << log;

    std::vector<std::string> wanted = {
        "FOND_GLOBAL",  "FOND_ELECTRO",      "IMG_001",        "FICHE_PLUG",    "FICHE_PLUG_MASK",
        "FICHE_UNPLUG", "FICHE_UNPLUG_MASK", "LAMP_LED_1_0",   "LAMP_LED_1_1",  "CHK_1_ON",
        "CHK_1_OFF",    "CHK_4_ON",          "CHK_4_OFF",      "SLD2",          "SLD2_MASK",
        "BTN_VCO_OFF",  "BTN_VCO_MASK",      "JACK_IN_SIGNAL", "JACK_OUT_GATE", "JACK_IN_SYNC"};
    for (const char* w : {"SIN", "TRI", "SAW", "SQR", "PULSE", "NOISE_WHITE", "NOISE_ROSSLER",
                          "NOISE_LORENZ", "NOISE_TAM"}) {
        wanted.push_back(std::string("DISP_") + w);
        wanted.push_back(std::string("MINI_DISP_") + w);
    }
    for (const char* f :
         {"LOWPASS", "HIGHPASS", "BANDPASS", "NOTCH", "LOWSHELF", "HIGHSHELF", "PEAKING"})
        wanted.push_back(std::string("DISP_FILTRE_") + f);
    for (int d = 0; d <= 10; ++d) {
        wanted.push_back("LED_NUMERIC_1_" + std::to_string(d));
        wanted.push_back("LED_NUMERIC_3_" + std::to_string(d));
    }
    for (int n = 0; n <= 12; ++n) wanted.push_back("LED_NUMERIC_2_" + std::to_string(n));
    for (const std::string& w : wanted) EXPECT_GE(bank.find(w.c_str()), 0) << w;

    // Masks: a button derives "..._MASK" from its off image, a knob adds
    // "_MASK", a lamp cell shares its sheet's.
    auto derived = [](const std::string& n) { return n.substr(0, n.rfind('_') + 1) + "MASK"; };
    int pairs = 0;
    for (int slot = 0; slot < bank.count; ++slot) {
        const std::string name = bank.names[slot];
        if (name.find("MASK") != std::string::npos) continue;
        const bool button_state = name.size() > 4 && (name.rfind("_OFF") == name.size() - 4 ||
                                                      name.rfind("_ON") == name.size() - 3);
        std::string mask = name + "_MASK";
        if (bank.find(mask.c_str()) < 0) mask = derived(name);
        if (button_state) {
            EXPECT_GE(bank.find(mask.c_str()), 0) << name << " has no " << mask;
        }
        if (bank.find(mask.c_str()) < 0) continue;
        SDL_Surface* image = bank.surface(name.c_str());
        SDL_Surface* m = bank.surface(mask.c_str());
        ASSERT_EQ(image->w, m->w) << name;
        ASSERT_EQ(image->h, m->h) << name;
        ++pairs;
        int worst = 0;
        for (int y = 0; y < image->h; ++y)
            for (int x = 0; x < image->w; ++x) {
                const rgb c = pixel(image, x, y), k = pixel(m, x, y);
                // composed over white the result must not exceed white
                worst = std::max({worst, c.r + k.r - 255, c.g + k.g - 255, c.b + k.b - 255});
            }
        EXPECT_LE(worst, 3) << name << " shows colour where " << mask << " keeps the background";
    }
    EXPECT_GE(pairs, 150);
    EXPECT_LE(bank.count, IMAGE_BANK::capacity);
    bank.clear();
}

TEST(ShippedArt, FontListNamesReadableFonts) {
    std::string text;
    ASSERT_TRUE(read_text_file(TM_SOURCE_DATA_DIR "/Fonts/Fonts.FNTS", text));
    std::string problems;
    auto fonts = parse_font_list(text, problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_GE(fonts.size(), 2u);
    for (const font_list_entry& f : fonts) {
        FONT font;
        EXPECT_NO_THROW(font.init((std::string(TM_SOURCE_DATA_DIR) + "/" + f.file).c_str(), 32))
            << f.file;
    }
    EXPECT_TRUE(std::filesystem::exists(TM_SOURCE_DATA_DIR "/Fonts/LICENSE-DejaVu.txt"));
}
