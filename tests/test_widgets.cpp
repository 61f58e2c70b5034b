// Widgets without a window: message handling order, toggling, slider steps,
// derived masks, label rules and dumps.
#include "toolkit/tam_lib.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace tmod;

namespace {

GUI_MESSAGE text(const char* t) {
    return GUI_MESSAGE::command(t, nullptr);
}
GUI_MESSAGE press() {
    return GUI_MESSAGE::mouse(SDL_MOUSEBUTTONDOWN, 1, nullptr);
}
GUI_MESSAGE release() {
    return GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, nullptr);
}

surface_ptr solid(int w, int h) {
    return surface_ptr(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0));
}

} // namespace

TEST(Widgets, MessageEventTypesAreTheSdlOnes) {
    EXPECT_EQ(press().event_type(), 5);
    EXPECT_EQ(release().event_type(), 6);
    EXPECT_EQ(event_user, 24);
    EXPECT_EQ(press().kind, 1);
    EXPECT_EQ(text("TOUCH_IN").kind, 0);
    // A text longer than the record is cut, never overflowed.
    const std::string huge(2000, 'T');
    GUI_MESSAGE m = GUI_MESSAGE::command(huge.c_str(), nullptr);
    EXPECT_EQ(std::string(m.text), std::string(639, 'T'));
}

TEST(Widgets, ButtonDerivesItsMaskFromTheOffImage) {
    struct row {
        const char* off;
        const char* explicit_mask;
        const char* mask;
    };
    const row rows[] = {
        {"BTN_VCO_OFF", nullptr, "BTN_VCO_MASK"},
        {"BTN_SFX_DELAY_OFF", nullptr, "BTN_SFX_DELAY_MASK"},
        {"CHK_4_OFF", nullptr, "CHK_4_MASK"},
        {"PLAIN", nullptr, ""},    // no "_" at all
        {"_LEADING", nullptr, ""}, // "_" only as the first character
        {"BTN_VCO_OFF", "MY_MASK", "MY_MASK"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.off);
        BUTTON b("B", r.off, "0", "ON_IMAGE", r.explicit_mask);
        EXPECT_EQ(std::string(b.mask), r.mask);
        EXPECT_EQ(std::string(b.image), r.off); // shows the off image at first
        EXPECT_EQ(b.state, 0);
    }
}

TEST(Widgets, ButtonTogglesOnReleaseAndHighlightsWhileTouched) {
    BUTTON b("POWER", "P_OFF", "P_TOUCHED", "P_ON");
    b.post(press());
    b.update();
    EXPECT_EQ(b.pressed, 1);
    EXPECT_EQ(b.state, 0); // not on press
    b.post(release());
    b.update();
    EXPECT_EQ(b.pressed, 0);
    EXPECT_EQ(b.state, 1);
    EXPECT_EQ(std::string(b.image), "P_ON");

    b.post(text("TOUCH_IN"));
    b.update();
    EXPECT_EQ(std::string(b.image), "P_TOUCHED"); // the highlight wins over the state
    b.post(text("TOUCH_OUT"));
    b.update();
    EXPECT_EQ(std::string(b.image), "P_ON");

    // A press and a release in one frame: a full click, one toggle.
    b.post(press());
    b.post(release());
    b.update();
    EXPECT_EQ(b.state, 0);
    EXPECT_EQ(b.count(), 0);

    // Other events and texts are consumed without effect.
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    b.post(GUI_MESSAGE::input(motion, nullptr));
    b.post(text("SOMETHING_ELSE"));
    b.update();
    EXPECT_EQ(b.count(), 0);
    EXPECT_EQ(b.state, 0);
    EXPECT_EQ(b.touched, 0);
}

TEST(Widgets, NewestMessageIsHandledFirst) {
    // TOUCH_IN then TOUCH_OUT posted in one frame: the newer TOUCH_OUT is handled
    // first, so the older TOUCH_IN decides.
    BUTTON b("B", "X_OFF", "X_TOUCHED", "X_ON");
    b.post(text("TOUCH_IN"));
    b.post(text("TOUCH_OUT"));
    b.update();
    EXPECT_EQ(b.touched, 1);

    SLIDER s("S", "SLD2");
    s.post(text("TOUCH_OUT"));
    s.post(text("TOUCH_IN"));
    s.update();
    EXPECT_EQ(s.touched, 0);
}

TEST(Widgets, ButtonWithoutHighlightShowsItsState) {
    BUTTON b("B", "X_OFF", "0", "X_ON");
    b.post(text("TOUCH_IN"));
    b.update();
    EXPECT_EQ(b.touched, 1);
    EXPECT_EQ(std::string(b.image), "X_OFF");
}

TEST(Widgets, SliderStepsOneDegreePerCommandWithoutBounds) {
    SLIDER s("FREQ", "SLD2");
    EXPECT_EQ(std::string(s.mask), "SLD2_MASK");
    EXPECT_EQ(std::string(s.image), "SLD2");
    for (int i = 0; i < 3; ++i) s.post(text("SLD_DOWN"));
    s.update();
    EXPECT_EQ(s.angle, 3);
    for (int i = 0; i < 5; ++i) s.post(text("SLD_UP"));
    s.update();
    EXPECT_EQ(s.angle, -2);
    s.angle = 360;
    s.post(text("SLD_DOWN"));
    s.update();
    EXPECT_EQ(s.angle, 361);

    s.post(press());
    s.update();
    EXPECT_EQ(s.pressed, 1);
    s.post(release());
    s.update();
    EXPECT_EQ(s.pressed, 0);
    EXPECT_EQ(s.angle, 361); // events never turn the knob

    s.redraw = 0;
    s.post(text("SLD_DOWN"));
    s.update();
    EXPECT_EQ(s.redraw, 1);
}

TEST(Widgets, LabelRulesForSizeFontAndPosition) {
    struct row {
        int font, size, expected_font, expected_size;
    };
    const row rows[] = {{3, 12, 3, 12}, {12, 30, 0, 10}, {-1, 24, 0, 10}, {9, 23, 9, 23}};
    for (const row& r : rows) {
        LABEL l("X", 7, 100, 50, 50, r.font, r.size, 0xFFFFFF);
        EXPECT_EQ(l.font, r.expected_font);
        EXPECT_EQ(l.size, r.expected_size);
        EXPECT_EQ(l.x, 7.0f);
        EXPECT_EQ(l.y, 647.0f); // 747 - y: the text routine draws y upward
        EXPECT_EQ(l.text_transform, 1);
    }
}

TEST(Widgets, LabelBoxIsItsTextEvenWithThePlaceholderImageInTheBank) {
    image_bank().clear();
    image_bank().add_surface(solid(64, 64), "IMG_001");
    LABEL l("CPU_USAGE", 0, 0, 50, 50, 0, 14, 0x00FF00);
    l.update();
    EXPECT_EQ(l.w, 9 * 14 / 2);
    EXPECT_EQ(l.h, 14);
    l.update();
    EXPECT_EQ(l.w, 63.0f);

    l.redraw = 0;
    l.update();
    EXPECT_EQ(l.redraw, 0);
    l.set_caption("LONGER_CAPTION");
    l.update();
    EXPECT_EQ(l.redraw, 1);
    EXPECT_EQ(l.w, 14 * 14 / 2);
    l.redraw = 0;
    l.colour = 0xFF0000;
    l.update();
    EXPECT_EQ(l.redraw, 1);

    // Captions longer than the label's buffer are cut.
    l.set_caption(std::string(5000, 'c').c_str());
    EXPECT_EQ(std::string(l.caption).size(), 799u);
    image_bank().clear();
}

TEST(Widgets, DumpsNameTheWidgetAndItsValue) {
    BUTTON b("PWR", "X_OFF", "0", "X_ON");
    b.state = 1;
    testing::internal::CaptureStdout();
    b.dump();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("BUTTON : SPRITE:\n-------\nNAME[             PWR]", 0), 0u) << out;
    EXPECT_NE(out.find("\n\t STATE[1]\r\n"), std::string::npos);

    SLIDER s("S", "SLD2");
    s.angle = -7;
    testing::internal::CaptureStdout();
    s.dump();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("SLIDER : SPRITE:", 0), 0u);
    EXPECT_NE(out.find("\n\t STATE[-7]\r\n"), std::string::npos);

    LABEL l("HELLO_WORLD", 3, 747, 0, 0, 2, 12, 0xABCDEF);
    l.set_name("LBL");
    l.w = 66;
    l.h = 12;
    testing::internal::CaptureStdout();
    l.dump();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "LABEL:\n-------\n"
                   "NAME[             LBL] XYWH[  3-  0- 66- 12] Zoom=1.0000 Angle=0.0000\n"
                   "Font Nr=  2 Size= 12 Col=00abcdef Col2=00000000\n"
                   "CAPTION [HELLO_WORLD]\n,"
                   "--------------------------------------------------------------\n");
}
