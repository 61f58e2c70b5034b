// Scene objects without a window: identities, item names, hit tests, change
// detection and the dump format.
#include "toolkit/tam_lib.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace tmod;

namespace {

// An item name as "%20lu" pads it: the prefix, blanks to 20 columns, the number.
std::string padded(const std::string& prefix, std::uint32_t id) {
    const std::string digits = std::to_string(id);
    return prefix + std::string(20 - digits.size(), ' ') + digits;
}

// A plain 24-bit surface of one colour, for putting images into the bank.
surface_ptr solid(int w, int h, Uint8 r = 200, Uint8 g = 100, Uint8 b = 50) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, r, g, b));
    return surface_ptr(s);
}

} // namespace

TEST(SceneObjectsDeathTest, FirstObjectOfTheProcessIsItemZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, a fresh counter
    EXPECT_EXIT(
        {
            TAM_ENGINE first;
            const bool ok =
                first.id == 0 && std::string(first.name) == "ITEM_" + std::string(19, ' ') + "0";
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SceneObjects, IdsCountEveryObjectAndNamesFollowTheConstructor) {
    TAM_ENGINE a;
    TAM_ENGINE b;
    EXPECT_EQ(b.id, a.id + 1);
    EXPECT_EQ(std::string(a.name), padded("ITEM_", a.id));
    EXPECT_EQ(std::string(a.spare), "");

    // A BASE built with a name keeps it only during construction.
    BASE named(1, 2, 3, "WHATEVER");
    EXPECT_EQ(named.id, b.id + 1);
    EXPECT_EQ(std::string(named.name), padded("BASE_ITEM_", named.id));
    EXPECT_EQ(named.z, 3.0f);

    TAM_ENGINE anonymous("x");
    anonymous.set_name(nullptr);
    EXPECT_EQ(std::string(anonymous.name), padded("DEFAULT_ITEM_", anonymous.id));

    // A sprite is named after its image; every object built inside it counts once.
    const std::uint32_t before = next_item_id();
    SPRITE s("KNOB", 3, 4, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_EQ(s.id, before);
    EXPECT_EQ(next_item_id(), before + 1);
    EXPECT_EQ(std::string(s.name), "KNOB");
    EXPECT_EQ(std::string(s.image), "KNOB");
    EXPECT_EQ(s.w, 0.0f);
    EXPECT_EQ(s.redraw, 1);
}

TEST(SceneObjects, NamesAndImageNamesAreCutTo79Characters) {
    const std::string long_name(85, 'N');
    TAM_ENGINE t(long_name.c_str());
    EXPECT_EQ(std::string(t.name), std::string(79, 'N'));

    SPRITE s(long_name.c_str(), 0, 0, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_EQ(std::string(s.image), std::string(79, 'N'));
    s.set_mask(std::string(300, 'M').c_str());
    EXPECT_EQ(std::string(s.mask).size(), 79u);
}

TEST(SceneObjects, HitTestsIncludeEveryEdge) {
    IMAGE_BANK& bank = image_bank();
    bank.clear();
    bank.add_surface(solid(30, 40), "HIT_30x40");
    SPRITE s("HIT_30x40", 0, 0, 0, 0, 0, 2.0f, 0, 255);
    s.set_position(10.7f, 20.2f, 0);
    s.update();
    ASSERT_EQ(s.w, 30.0f);
    ASSERT_EQ(s.h, 40.0f);

    // Zoomed: x within [10, 10 + 60], y within [20, 20 + 80].
    struct probe {
        int x, y;
        bool zoomed, plain;
    };
    const probe probes[] = {
        {10, 20, true, true},  {70, 100, true, false},  {71, 100, false, false},
        {9, 20, false, false}, {70, 101, false, false}, {40, 60, true, true},
        {41, 60, true, false}, {40, 61, true, false},
    };
    for (const probe& p : probes) {
        SCOPED_TRACE(testing::Message() << "probe " << p.x << "," << p.y);
        EXPECT_EQ(s.contains(p.x, p.y), p.zoomed);
        EXPECT_EQ(s.contains_point(p.x, p.y), p.plain);
        BASE as_object(static_cast<float>(p.x) + 0.9f, static_cast<float>(p.y) + 0.9f, 0);
        EXPECT_EQ(s.contains(as_object), p.zoomed); // probes are truncated too
    }

    RECTANGLE r(0, 0, 0, 10, 10, 0, nullptr);
    struct other {
        float x, y, w, h;
        bool overlaps;
    };
    const other others[] = {
        {10, 10, 5, 5, true},   // corners touch
        {11, 0, 5, 5, false},   // wholly right
        {-5, -5, 4, 4, false},  // wholly above and left
        {-5, -5, 5, 5, true},   // touches at the origin
        {2, 2, 3, 3, true},     // inside
        {0, 11, 10, 10, false}, // wholly below
    };
    for (const other& o : others) {
        RECTANGLE q(o.x, o.y, 0, o.w, o.h, 0, nullptr);
        EXPECT_EQ(r.overlaps(q), o.overlaps) << o.x << "," << o.y;
        EXPECT_EQ(q.overlaps(r), o.overlaps) << o.x << "," << o.y;
    }
    bank.clear();
}

TEST(SceneObjects, UpdateNoticesChangesAndFollowsTheImageSize) {
    IMAGE_BANK& bank = image_bank();
    bank.clear();
    SPRITE s("LATE_IMAGE", 5, 6, 0, 0, 0, 1.0f, 0, 255);
    s.update();
    EXPECT_EQ(s.w, 0.0f); // not in the bank yet: size untouched
    s.redraw = s.changed = 0;
    s.update();
    EXPECT_EQ(s.redraw, 0); // nothing changed

    bank.add_surface(solid(48, 24), "LATE_IMAGE");
    s.update();
    EXPECT_EQ(s.w, 48.0f);
    EXPECT_EQ(s.h, 24.0f);
    s.update(); // the truncated copies catch up with the new size
    s.redraw = s.changed = 0;
    s.update();
    EXPECT_EQ(s.changed, 0);

    for (int field = 0; field < 4; ++field) {
        SCOPED_TRACE(field);
        s.redraw = s.changed = 0;
        if (field == 0) s.angle += 10;
        if (field == 1) s.touched = !s.touched;
        if (field == 2) s.alpha -= 1;
        if (field == 3) s.x += 3;
        s.update();
        EXPECT_EQ(s.redraw, 1);
        EXPECT_EQ(s.changed, 1);
    }

    s.redraw = s.changed = 0;
    s.set_image("LATE_IMAGE");
    EXPECT_EQ(s.changed, 0); // same name: no change
    s.set_image("OTHER");
    EXPECT_EQ(s.changed, 1);
    EXPECT_EQ(s.redraw, 1);
    bank.clear();
}

TEST(SceneObjects, MaskNamesBeginningWithZeroMeanNoMask) {
    SPRITE s("A", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_FALSE(s.has_mask());
    s.set_mask("0");
    EXPECT_FALSE(s.has_mask());
    s.set_mask("0_ANYTHING");
    EXPECT_FALSE(s.has_mask());
    s.set_mask("KNOB_MASK");
    EXPECT_TRUE(s.has_mask());
}

TEST(SceneObjects, DumpPrintsTheFixedFormat) {
    SPRITE s("KNOB", 12, 34, 1, 0xFF00FF, 0, 1.5f, 45, 200);
    s.w = 30;
    s.h = 40;
    testing::internal::CaptureStdout();
    s.dump();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "SPRITE:\n-------\n"
                   "NAME[            KNOB]  SPR_NAME[            KNOB]  MASK_NAME [           "
                   "     ] XYWH[ 12- 34- 30- 40] Zoom=1.5000 Angle=45.0000\n"
                   "Is_Key=1 Key=00ff00ff Additive=0 Substractive=0 Alpha=200\n"
                   "--------------------------------------------------------------\n");
}

TEST(SceneObjects, BlitWithoutAWindowOnlyReportsMissingImages) {
    image_bank().clear();
    SPRITE s("NOWHERE", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    testing::internal::CaptureStdout();
    s.blit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[NOWHERE] blit image not found \n");
    EXPECT_EQ(s.redraw, 0);
}
