// Redraw regions: how damage is gathered and merged, and what a change of a
// panel marks (no drawing context needed).
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "toolkit/damage.hpp"
#include "toolkit/panel.hpp"
#include "toolkit/widgets.hpp"

using namespace tmod;

namespace {

bool covers(const damage& d, int x, int y) {
    for (const screen_rect& r : d.regions())
        if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) return true;
    return false;
}

// A panel of w x h at (x, y) with a label of size 10 at (10, 10) inside it.
struct test_panel {
    std::unique_ptr<OBJET> panel;
    LABEL* label;
    test_panel(int x, int y, int w, int h, const char* name)
        : panel(std::make_unique<OBJET>(x, y, name)) {
        panel->x = static_cast<float>(x), panel->y = static_cast<float>(y);
        panel->w = static_cast<float>(w), panel->h = static_cast<float>(h);
        label = static_cast<LABEL*>(
            panel->append(std::make_unique<LABEL>("ABCDEFGH", 10, 10, 0, 0, 0, 10, 0xFFFFFFu)));
        label->set_position(10, 10, 0);
    }
};

} // namespace

TEST(Damage, RegionsAreClippedMergedAndGiveWayToTheWholeWindow) {
    damage d(1024, 768);
    EXPECT_TRUE(d.empty());
    d.add({2000, 10, 50, 50}); // outside
    d.add({10, 10, 0, 40});    // no area
    EXPECT_TRUE(d.empty());
    d.add({-10, -20, 30, 30});
    ASSERT_EQ(d.regions().size(), 1u);
    EXPECT_EQ(d.regions()[0], (screen_rect{0, 0, 20, 10}));

    // Two apart stay apart; one that meets both joins them in their union.
    d.clear();
    d.add({100, 100, 20, 20});
    d.add({300, 100, 20, 20});
    EXPECT_EQ(d.regions().size(), 2u);
    d.add({110, 105, 200, 5});
    ASSERT_EQ(d.regions().size(), 1u);
    EXPECT_EQ(d.regions()[0], (screen_rect{100, 100, 220, 20}));
    EXPECT_FALSE(d.whole());

    // The whole window: one region, whatever is added after.
    d.add_all();
    d.add({5, 5, 5, 5});
    EXPECT_TRUE(d.whole());
    ASSERT_EQ(d.regions().size(), 1u);
    EXPECT_EQ(d.regions()[0], (screen_rect{0, 0, 1024, 768}));

    // Many small regions, or most of the window, are drawn as the whole.
    d.clear();
    for (int i = 0; i < 20; ++i) d.add({i * 50, 0, 10, 10});
    EXPECT_TRUE(d.whole());
    d.clear();
    d.add({0, 0, 1024, 500}); // 65 % of the window
    EXPECT_TRUE(d.whole());
}

TEST(Damage, APanelChangeMarksWhereItWasAndWhereItIs) {
    test_panel a(100, 100, 200, 100, "12"), b(600, 500, 100, 100, "13");
    std::vector<OBJET*> panels{a.panel.get(), b.panel.get()};
    panels_drawn drawn;
    damage d(1024, 768);

    // New panels are marked whole; unchanged ones not at all.
    drawn.compare(panels, 0, 0, d);
    for (auto [x, y] : {std::pair{100, 100}, {299, 199}, {600, 500}, {699, 599}})
        EXPECT_TRUE(covers(d, x, y)) << x << ", " << y;
    d.clear();
    drawn.compare(panels, 0, 0, d);
    EXPECT_TRUE(d.empty());

    // A shorter caption: where its last letters stood (8 letters from x 110,
    // at least 5 pixels each; the line 21 below the label), not the other panel.
    a.label->set_caption("AB");
    drawn.compare(panels, 0, 0, d);
    EXPECT_TRUE(covers(d, 110 + 8 * 5 - 1, 110 + 21 - 5));
    EXPECT_FALSE(covers(d, 650, 550));
    EXPECT_FALSE(covers(d, 290, 190)); // the label's panel, away from the label
    d.clear();

    // Moved: both places.
    a.panel->x = 400, a.panel->y = 300;
    drawn.compare(panels, 0, 0, d);
    for (auto [x, y] : {std::pair{100, 100}, {299, 199}, {400, 300}, {599, 399}})
        EXPECT_TRUE(covers(d, x, y)) << x << ", " << y;
    EXPECT_FALSE(covers(d, 650, 550));
    d.clear();

    // Another scroll moves an unchanged panel on the screen.
    drawn.compare(panels, 50, 20, d);
    EXPECT_TRUE(covers(d, 600, 500) && covers(d, 550, 480));
    d.clear();
    drawn.compare(panels, 0, 0, d);
    d.clear();

    // Brought in front of a panel it overlaps: their overlap.
    b.panel->x = 450, b.panel->y = 350;
    drawn.compare(panels, 0, 0, d);
    d.clear();
    std::swap(panels[0], panels[1]);
    drawn.compare(panels, 0, 0, d);
    EXPECT_TRUE(covers(d, 460, 360));
    d.clear();

    // Gone: where it was.
    panels.pop_back();
    drawn.compare(panels, 0, 0, d);
    EXPECT_TRUE(covers(d, 410, 310) && covers(d, 590, 390));
    d.clear();

    // Forgotten: everything is new again.
    drawn.forget();
    drawn.compare(panels, 0, 0, d);
    EXPECT_TRUE(covers(d, 460, 360));
}
