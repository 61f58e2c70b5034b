// Every demo patch rendered by the real program with its scripted notes: the
// 16-bit output is neither silent nor saturated, and each demo sounds the way
// it promises (pitches, chord tones, rests, echoes).
#include <cmath>
#include <gtest/gtest.h>

#include "support/module_support.hpp"

using namespace tmod::test;

namespace {

const std::string data_dir = TM_SOURCE_DATA_DIR;

struct demo {
    const char* name;
    double seconds;
    int tempo;              // 0: the default
    const char* input = ""; // a recording for MICRO, under the data directory
};

// Test names show the demo, not the bytes of the parameter.
void PrintTo(const demo& d, std::ostream* os) {
    *os << d.name;
}

// The left channel of the rendered file, as -1..1.
std::vector<float> render(const demo& d) {
    // One directory per test and demo: ctest runs the cases in parallel.
    const std::string dir = scratch_dir(test_name() + "_" + d.name + "_" + std::to_string(d.tempo));
    const std::string demo = data_dir + "/TSY/" + d.name;
    std::string args = "--render " + dir + "/out.wav --seconds " + std::to_string(d.seconds) +
                       " --data " + data_dir + " --events " + demo + ".events";
    if (d.tempo) args += " --tempo " + std::to_string(d.tempo);
    if (*d.input) args += " --input " + data_dir + "/" + d.input;
    EXPECT_EQ(run_program(args + " " + demo + ".tsy", dir + "/log.txt"), 0) << args;
    const std::string log = read_text(dir + "/log.txt");
    for (const char* problem : {"introuvable", "Cannot Found", "Erreur", "Oula", "Must Specify"})
        EXPECT_EQ(log.find(problem), std::string::npos) << log;
    const sound s = read_sound(dir + "/out.wav");
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.rate, 44100);
    return s.channel(0);
}

std::vector<float> window(const std::vector<float>& s, double from, double seconds) {
    const auto a = static_cast<std::size_t>(from * 44100);
    const auto b = std::min(s.size(), a + static_cast<std::size_t>(seconds * 44100));
    return a < b ? std::vector<float>(s.begin() + a, s.begin() + b) : std::vector<float>();
}

// Fundamental by autocorrelation between 40 and 1000 Hz.
double pitch(const std::vector<float>& s) {
    double best = 0;
    int best_lag = 0;
    for (int lag = 44; lag < 1100; ++lag) {
        double r = 0;
        for (std::size_t i = 0; i + lag < s.size(); ++i) r += s[i] * s[i + lag];
        if (r > best * 1.02)
            best = r, best_lag = lag; // the first of near-equal peaks: the shortest period
    }
    return best_lag ? 44100.0 / best_lag : 0.0;
}

// Level of one frequency (Goertzel), as an amplitude.
double level_at(const std::vector<float>& s, double hz) {
    const double w = 2 * 3.14159265358979 * hz / 44100.0, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float x : s) {
        const double s0 = x + c * s1 - s2;
        s2 = s1, s1 = s0;
    }
    return 2 * std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) / s.size();
}

// The strongest level within 1 % of a frequency: oscillator cycles are whole
// numbers of samples, so a tone can sit a little off its nominal pitch.
double level_near(const std::vector<float>& s, double hz) {
    double best = 0;
    for (double f = hz * 0.99; f <= hz * 1.01; f += 0.25) best = std::max(best, level_at(s, f));
    return best;
}

void expect_pitch(const std::vector<float>& s, double from, double hz) {
    const double got = pitch(window(s, from, 0.2));
    EXPECT_NEAR(got, hz, hz * 0.03) << "at " << from << " s";
}

class Demo : public ::testing::TestWithParam<demo> {};

} // namespace

TEST_P(Demo, RendersNeitherSilentNorSaturated) {
    const demo d = GetParam();
    const auto s = render(d);
    ASSERT_EQ(s.size(), static_cast<std::size_t>(std::llround(d.seconds * 44100)));
    // The pump writes a patch value of 1 as 0.4 of full scale: -34 dB is quiet
    // but audible; a clipped sample is one at the 16-bit limit.
    EXPECT_GT(rms(s), 0.02);
    std::size_t clipped = 0;
    for (float x : s) clipped += std::fabs(x) >= 32767.0f / 32768.0f;
    EXPECT_LT(clipped, s.size() / 1000);
    for (float x : s) ASSERT_TRUE(std::isfinite(x));
}

INSTANTIATE_TEST_SUITE_P(EveryDemo, Demo,
                         ::testing::Values(demo{"demo_subtractive", 7, 0}, demo{"moog3", 5, 0},
                                           demo{"demo_bassline", 4, 120},
                                           demo{"demo_fake303", 4, 120}, demo{"demo_sampler", 5, 0},
                                           demo{"demo_delay_phaser", 10, 0},
                                           demo{"demo_nested", 5, 0}, demo{"demo_formant", 8, 0},
                                           demo{"demo_multi_vco", 8, 0}, demo{"demo_micro", 5, 0}),
                         [](const ::testing::TestParamInfo<demo>& i) {
                             return std::string(i.param.name);
                         });

TEST(DemoSound, KeyboardVoicesPlayTheScriptedNotes) {
    const auto sub = render({"demo_subtractive", 6, 0});
    expect_pitch(sub, 0.1, 220.0);  // A3
    expect_pitch(sub, 0.6, 261.6);  // C4
    expect_pitch(sub, 1.6, 440.0);  // A4
    expect_pitch(sub, 4.55, 196.0); // G3

    const auto moog = render({"moog3", 4, 0});
    // The square an octave below gives the low fundamental: A2 played, A1 heard.
    expect_pitch(moog, 0.2, 55.0);
    expect_pitch(moog, 2.2, 49.0); // G2 -> G1

    const auto sampler = render({"demo_sampler", 4, 0});
    expect_pitch(sampler, 0.05, 440.0); // the string at its own pitch
    expect_pitch(sampler, 0.55, 329.6); // E4: played slower
    expect_pitch(sampler, 2.05, 587.3); // D5

    const auto micro = render({"demo_micro", 3, 0});
    expect_pitch(micro, 0.2, 220.0); // without an input only the keyboard voice sounds
}

TEST(DemoSound, TheChordAndTheNestedFifthHaveTheirTones) {
    // F3 held: the bank plays 3/4, 9/8, 27/16 and 81/32 of 174.6 Hz (C3 G3 D4 A4).
    const auto chord = window(render({"demo_multi_vco", 2, 0}), 0.5, 1.0);
    const double key = 174.614;
    double weakest = 1e9;
    for (double ratio : {0.75, 1.125, 1.6875, 2.53125})
        weakest = std::min(weakest, level_near(chord, key * ratio));
    for (double off : {150.0, 230.0, 350.0, 500.0})
        EXPECT_LT(level_near(chord, off) * 5, weakest) << off;

    // Nested voices: E3 and the B3 a fifth above, both present.
    const auto duet = window(render({"demo_nested", 1, 0}), 0.1, 0.5);
    const double root = level_near(duet, 164.81), fifth = level_near(duet, 247.22);
    EXPECT_GT(fifth, 0.3 * root);
    EXPECT_GT(root, 0.3 * fifth);
    EXPECT_GT(root, 5 * level_near(duet, 205.0));
}

TEST(DemoSound, RhythmsRestsAndEchoes) {
    // The groove's gate leaves silent sixteenths; the bassline has rests.
    for (demo d : {demo{"demo_fake303", 4, 120}, demo{"demo_bassline", 4, 120}}) {
        SCOPED_TRACE(d.name);
        const auto s = render(d);
        int quiet = 0, loud = 0;
        for (double t = 0.5; t < 3.9; t += 0.02) {
            const double r = rms(window(s, t, 0.02));
            quiet += r < 0.005;
            loud += r > 0.03;
        }
        EXPECT_GT(quiet, 15);
        EXPECT_GT(loud, 50);
    }
    // The delays go on after the last note has been released.
    const auto texture = render({"demo_delay_phaser", 10, 0});
    EXPECT_GT(rms(window(texture, 9.0, 0.3)), 0.005);
    EXPECT_LT(rms(window(texture, 9.8, 0.2)), rms(window(texture, 9.0, 0.3)));
}

TEST(DemoSound, TempoChangesTheBasslineSpeed) {
    // At 60 BPM the same two bars take twice as long: a rest that falls in the
    // first half second at 120 BPM moves to the first second.
    const auto fast = render({"demo_bassline", 2, 120});
    const auto slow = render({"demo_bassline", 2, 60});
    // Step 1 (a rest) starts after one step: 0.25 s at 120, 0.5 s at 60.
    EXPECT_LT(rms(window(fast, 0.27, 0.08)), 0.005);
    EXPECT_LT(rms(window(slow, 0.52, 0.2)), 0.005);
    EXPECT_GT(rms(window(slow, 0.27, 0.2)), 0.02);
}

TEST(DemoSound, TheMicroDroneFollowsTheRecordedInput) {
    // The drone is a saw on 55 Hz whose amplitude is the input's level.
    const auto plain = window(render({"demo_micro", 1, 0}), 0.1, 0.4);
    const auto heard = window(render({"demo_micro", 1, 0, "sounds/guitare.wav"}), 0.1, 0.4);
    EXPECT_LT(level_near(plain, 55.0), 0.001);
    EXPECT_GT(level_near(heard, 55.0), 0.01);
}
