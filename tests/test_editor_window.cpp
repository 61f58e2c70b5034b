// The program with its window, driven like a user with xdotool in a virtual
// display: a note key sounds at its pitch, Esc ends cleanly.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

#include "support/harness.hpp"
#include "support/window_support.hpp"

using namespace tmod::test;

namespace {

// The same command line with --recover.
std::vector<std::string> recovering(std::vector<std::string> run) {
    run.insert(run.begin() + 1, "--recover");
    return run;
}

double loudest_pitch(const std::vector<float>& s) {
    // The loudest fifth of a second: where the key was held.
    const std::size_t win = 44100 / 5;
    std::size_t best = 0;
    double best_energy = -1;
    for (std::size_t a = 0; a + win <= s.size(); a += win / 4) {
        double e = 0;
        for (std::size_t i = a; i < a + win; ++i) e += s[i] * s[i];
        if (e > best_energy) best_energy = e, best = a;
    }
    // Fundamental by autocorrelation between 40 and 1000 Hz: the filtered
    // sawtooth crosses zero more than once a period.
    double top = 0;
    int top_lag = 0;
    for (int lag = 44; lag < 1100; ++lag) {
        double r = 0;
        for (std::size_t i = best; i + lag < best + win; ++i) r += s[i] * s[i + lag];
        if (r > top * 1.02) top = r, top_lag = lag;
    }
    return top_lag ? 44100.0 / top_lag : 0.0;
}

// F4 with the name already typed on the program's input, then Esc: the saved
// file's text once the program has ended with status 0.
std::string save_and_quit(child& program, const std::string& saved) {
    xdo("key F4");
    EXPECT_TRUE(wait_until([&] {
        return read_text(saved).find("END_OBJECTS_POSITION") != std::string::npos;
    })) << program.output();
    xdo("key Escape");
    EXPECT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
    return read_text(saved);
}

} // namespace

TEST(EditorWindow, NoteKeySoundsAndEscEndsCleanly) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    child program({TM_PROGRAM, "--audio", "nosound", "--record", dir + "/out.wav", "--remote-port",
                   "0", "--data", data, data + "/TSY/demo_subtractive.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    xdo("mousemove 600 600");
    // A picture of the editor for people to look at (not compared).
    shell("command -v xwd >/dev/null && command -v convert >/dev/null && xwd -root | convert xwd:- "
          "'" +
          std::string(TM_BINARY_DIR) + "/editor_demo_subtractive.png'");
    // "q" is note 1 of KEY_1 at octave 4: keyboard index 49 of the note
    // table, C4 = 440 * 2^(-9/12) Hz.
    xdo("keydown q");
    ASSERT_TRUE(program.wait_for("[1]")) << program.output();
    // Held long enough for the recording to carry it.
    const long from = recorded_frames(dir + "/out.wav");
    ASSERT_TRUE(wait_until([&] { return recorded_frames(dir + "/out.wav") > from + 44100 / 2; }))
        << program.output();
    xdo("keyup q");
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();

    const sound s = read_sound(dir + "/out.wav");
    ASSERT_GT(s.frames, 44100 / 2);
    const double c4 = 440.0 * std::pow(2.0, -9.0 / 12.0);
    EXPECT_NEAR(loudest_pitch(s.channel(0)), c4, c4 * 0.03);
    EXPECT_NE(read_text(data + "/MEMLEAKS.log").find("Doesn't seem to leak"), std::string::npos)
        << read_text(data + "/MEMLEAKS.log");
}

TEST(EditorWindow, KnobDragIsSavedWithF4) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    // The name the save asks for on the console.
    write_text(dir + "/typed.txt", "knob_test.tsy\n");
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data,
                   data + "/TSY/demo_subtractive.tsy"},
                  dir + "/log.txt", dir + "/typed.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    // F5 moves the dashboards away; the oscillator's column starts at x 128,
    // y 150 (below the dashboards' band), and its FREQ knob sits 18, 70 into
    // the panel (RC/VCO.RC).
    xdo("mousemove 600 700 key F5");
    xdo("mousemove 160 235");
    xdo("mousedown 1");
    // Seven pixels up: seven steps up, 1 Hz each above 50 Hz, from 88.
    xdo("mousemove 160 228");
    xdo("mouseup 1");
    const std::string text = save_and_quit(program, data + "/TSY/knob_test.tsy");
    const auto vco = text.find("VCO_1;");
    ASSERT_NE(vco, std::string::npos) << text;
    const auto freq = text.find("FREQ=", vco);
    ASSERT_NE(freq, std::string::npos) << text;
    EXPECT_NEAR(std::stod(text.substr(freq + 5)), 95.0, 1e-3) << text;
    // The keyboard's link is kept.
    EXPECT_NE(text.find("VCO_1;IN=KEY_1;"), std::string::npos) << text;
}

TEST(EditorWindow, WithoutADisplayItSuggestsHeadless) {
    const std::string dir = scratch_dir();
    const int status = shell("env -u DISPLAY '" TM_PROGRAM "' --audio nosound --remote-port 0 > '" +
                             dir + "/log.txt' 2>&1");
    EXPECT_EQ(status, 2);
    EXPECT_NE(read_text(dir + "/log.txt").find("--headless"), std::string::npos);
}

TEST(EditorWindow, LoadDialogOpensTheChosenPatch) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data,
                   data + "/TSY/demo_subtractive.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    // The system panel's LOAD button, then the first name of the list.
    xdo("mousemove 815 40 click 1");
    ASSERT_TRUE(program.wait_for("Load dialog: ")) << program.output();
    xdo("mousemove 200 85 click 1");
    ASSERT_TRUE(program.wait_for("Load [")) << program.output();
    const std::string out = program.output();
    const auto at = out.find("Load [") + 6;
    const std::string name = out.substr(at, out.find(']', at) - at);
    EXPECT_NE(name.find(".tsy"), std::string::npos) << out;
    ASSERT_TRUE(program.wait_for("Loading TSY [TSY/" + name + "]")) << program.output();
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}

TEST(EditorWindow, EscLeavesANestedPatchThenEndsTheProgram) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data,
                   data + "/TSY/demo_nested.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    // Dashboards away, then a click on the first nested patch's panel (the
    // GENERATOR column is the last on screen, from x 768).
    xdo("mousemove 600 700 key F5");
    xdo("mousemove 990 210 click 1");
    xdo("key Escape");
    ASSERT_TRUE(program.wait_for("gen_gui_recursive_list Size2 [1]")) << program.output();
    EXPECT_TRUE(program.running());
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}

// Edit mode (F6): a cable dragged from an oscillator's output onto the
// filter's frequency modulation input is saved as that link.
TEST(EditorWindow, CableDrawnInEditModeIsSaved) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    write_text(dir + "/typed.txt", "cable_test.tsy\n");
    write_text(dir + "/two.tsy", tsy("VCO_1;TYPE=1;FREQ=220.000000;AMOUNT=0.50;PHASE=0;\n"
                                     "VCF_1;HICUT=350;Q=1.6;GAIN=0;TYPE=1;BYPASS=0;\n"));
    child program(
        {TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data, dir + "/two.tsy"},
        dir + "/log.txt", dir + "/typed.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    // Dashboards away, edit mode. The oscillator stands at x 0, the filter at
    // 256, both at y 150; on their back faces (RC/BACK_VCO.RC, RC/BACK_VCF.RC) OUTPUT sits at
    // 212, 76 and INPUT_MOD_FREQ at 92, 26, jacks 28 wide, drawn 15 pixels lower
    // (where the pointer aims).
    xdo("mousemove 600 700 key F5 key F6");
    xdo("mousemove 226 255 mousedown 1 mousemove 300 225 mousemove 362 205 mouseup 1");
    const std::string text = save_and_quit(program, data + "/TSY/cable_test.tsy");
    const auto links = text.find("BEGIN_LINKS_DECLARE");
    ASSERT_NE(links, std::string::npos) << text;
    EXPECT_NE(text.find("\nVCF_1;MOD_FREQ=VCO_1;", links), std::string::npos) << text;
}

// A cable drawn while the patch plays is heard: an oscillator and an output
// with nothing between them are silent until the cable joins them.
TEST(EditorWindow, CableDrawnWhilePlayingIsHeard) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    write_text(dir + "/two.tsy", tsy("VCO_1;TYPE=1;FREQ=220.000000;AMOUNT=0.50;PHASE=0;\n"
                                     "SOUND_OUTPUT_1;;\n"));
    child program({TM_PROGRAM, "--audio", "nosound", "--record", dir + "/out.wav", "--remote-port",
                   "0", "--data", data, dir + "/two.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    ASSERT_TRUE(wait_until([&] { return recorded_frames(dir + "/out.wav") > 44100 / 2; }))
        << program.output();
    // The oscillator stands at x 0, the output at 256: OUTPUT at 212, 76 of
    // the first, INPUT at 8, 26 of the second.
    xdo("mousemove 600 700 key F5 key F6");
    xdo("mousemove 226 255 mousedown 1 mousemove 250 225 mousemove 278 205 mouseup 1");
    const long joined = recorded_frames(dir + "/out.wav");
    ASSERT_TRUE(wait_until([&] { return recorded_frames(dir + "/out.wav") > joined + 44100; }))
        << program.output();
    // A closed terminal ends the editor as its window's close does: the take whole.
    EXPECT_EQ(program.stop(SIGHUP), 0) << program.output();

    const sound s = read_sound(dir + "/out.wav");
    const std::vector<float> left = s.channel(0);
    ASSERT_GT(left.size(), 44100u);
    auto peak = [&](std::size_t from, std::size_t to) {
        float p = 0;
        for (std::size_t i = from; i < to && i < left.size(); ++i)
            p = std::max(p, std::fabs(left[i]));
        return p;
    };
    EXPECT_EQ(peak(0, 44100 / 4), 0.0f); // nothing connected at first
    // The last half second: clearly not silent.
    EXPECT_GT(peak(left.size() - 44100 / 2, left.size()), 0.05f);
}

// A musician's slips taken back: a knob, a cable, a module made, another
// removed; four undos give back the saved patch, four redos the edits; Esc
// over unsaved changes asks, and "d" lets them go.
TEST(EditorWindow, UndoRedoAndTheQuestionBeforeUnsavedChangesGo) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    const std::string patch = data + "/TSY/demo_subtractive.tsy";
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data, patch},
                  dir + "/log.txt", "/dev/null");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    auto saved = [&](const char* why) {
        const std::size_t before = program.output().size();
        xdo("key ctrl+s");
        EXPECT_TRUE(wait_until([&] {
            return program.output().find("Saved ", before) != std::string::npos;
        })) << why << program.output();
        return read_text(patch);
    };
    auto slowly = [](const std::string& keys) {
        xdo(keys);
        usleep(300000);
    };
    const std::string original = saved("first");
    slowly("mousemove 160 235 mousedown 1 mousemove 160 228 mouseup 1");   // FREQ 88 -> 95
    slowly("key F6");                                                    // the filter's
    slowly("mousemove 748 207 mousedown 1 mousemove 400 207 mousemove 196 207 mouseup 1");
    slowly("key F6");                                                    // MOD_FREQ to VCO
    slowly("mousemove 717 133 click 1");                                 // VCO_2
    slowly("mousemove 700 330 key BackSpace");                           // VCF_1 goes
    const std::string edited = saved("edited");
    EXPECT_NE(edited.find("FREQ=95"), std::string::npos) << edited;
    EXPECT_NE(edited.find("VCO_2;"), std::string::npos) << edited;
    EXPECT_EQ(edited.find("VCF_1;"), std::string::npos) << edited;
    for (int i = 0; i < 4; ++i) slowly("key ctrl+z");
    EXPECT_EQ(saved("undone"), original);
    for (int i = 0; i < 4; ++i) slowly("key ctrl+y");
    EXPECT_EQ(saved("redone"), edited);

    slowly("mousemove 160 235 mousedown 1 mousemove 160 240 mouseup 1");
    slowly("key Escape");
    EXPECT_TRUE(program.running()) << "unsaved changes: the question, not the end";
    xdo("key d");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
    EXPECT_EQ(read_text(patch), edited) << "discarded, not saved";
}

// A run killed with unsaved changes: the next start offers them back.
TEST(EditorWindow, UnsavedChangesComeBackAfterACrash) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    const std::string patch = data + "/TSY/demo_subtractive.tsy";
    const std::vector<std::string> run = {TM_PROGRAM, "--audio", "nosound", "--remote-port",
                                          "0",        "--data",  data,      patch};
    // A set is whole once it names its file.
    auto recovery_sets = [&] {
        return shell("ls '" + data + "'/recovery/*-*[0-9a-f]/origin >/dev/null 2>&1") == 0;
    };
    {
        child program(run, dir + "/log1.txt", "/dev/null");
        ASSERT_TRUE(editor_shown(program)) << program.output();
        xdo("mousemove 160 235 mousedown 1 mousemove 160 228 mouseup 1");
        ASSERT_TRUE(wait_until(recovery_sets)) << program.output();
        program.stop(SIGKILL);
    }
    {
        // The question, then "r": the change is back, and Ctrl+S keeps it.
        child program(run, dir + "/log2.txt", "/dev/null");
        ASSERT_TRUE(editor_shown(program)) << program.output();
        usleep(500000);
        xdo("key r");
        usleep(300000);
        xdo("key ctrl+s");
        ASSERT_TRUE(wait_until([&] { return read_text(patch).find("FREQ=95") != std::string::npos; }))
            << program.output();
        EXPECT_FALSE(recovery_sets()) << "a save removes the set";
        xdo("mousemove 160 235 mousedown 1 mousemove 160 230 mouseup 1");
        ASSERT_TRUE(wait_until(recovery_sets)) << program.output();
        program.stop(SIGKILL);
    }
    {
        // --recover restores without asking (95, five pixels up: 100).
        child program(recovering(run), dir + "/log3.txt", "/dev/null");
        ASSERT_TRUE(editor_shown(program)) << program.output();
        usleep(300000);
        xdo("key ctrl+s");
        ASSERT_TRUE(wait_until([&] { return read_text(patch).find("FREQ=100") != std::string::npos; }))
            << program.output();
        xdo("mousemove 160 235 mousedown 1 mousemove 160 228 mouseup 1");
        ASSERT_TRUE(wait_until(recovery_sets)) << program.output();
        program.stop(SIGKILL);
    }
    // A set that cannot be read never stops a start: it is set aside.
    ASSERT_EQ(shell("for f in '" + data + "'/recovery/*/patch.tsy; do printf 'garbage' > \"$f\"; done"), 0);
    ASSERT_EQ(shell("for d in '" + data + "'/recovery/*/; do printf '/elsewhere.tsy\\n' > \"$d/origin\"; done"), 0);
    child program(run, dir + "/log4.txt", "/dev/null");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    usleep(300000);
    xdo("key r");
    ASSERT_TRUE(wait_until([&] {
        return shell("ls '" + data + "/recovery/' | grep -q 'bad'") == 0;
    })) << program.output();
    EXPECT_TRUE(program.running());
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}

// A sequencer's step changed and not saved comes back after a crash too: its
// patterns are kept in the recovery set, and a save writes its partition.
TEST(EditorWindow, UnsavedStepsComeBackAfterACrash) {
    if (!have_xdotool()) GTEST_SKIP() << "xdotool is not installed";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    const std::string partition = data + "/PARTITIONS/demo_bassline.PAR";
    const std::string original = read_text(partition);
    const std::vector<std::string> run = {TM_PROGRAM, "--audio", "nosound", "--remote-port", "0",
                                          "--data",   data,      data + "/TSY/demo_bassline.tsy"};
    {
        child program(run, dir + "/log1.txt", "/dev/null");
        ASSERT_TRUE(editor_shown(program)) << program.output();
        // The octave arrow above step 1 of the sequencer: its change reaches
        // the module at the audio thread's next buffer, and is an edit then.
        xdo("mousemove 168 289 click 1");
        ASSERT_TRUE(wait_until([&] {
            return shell("ls '" + data + "'/recovery/*/patterns0.PAR '" + data +
                         "'/recovery/*/origin >/dev/null 2>&1") == 0;
        })) << program.output();
        program.stop(SIGKILL);
    }
    EXPECT_EQ(read_text(partition), original) << "nothing saved before the crash";
    child program(recovering(run), dir + "/log2.txt", "/dev/null");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    usleep(300000);
    xdo("key ctrl+s");
    ASSERT_TRUE(wait_until([&] { return read_text(partition) != original; })) << program.output();
    EXPECT_EQ(read_text(partition).size(), original.size());
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}

TEST(EditorWindow, AStopSignalDuringALargeLoadEndsTheProgramCleanly) {
    const std::string dir = scratch_dir();
    std::string patch = "BEGIN_OBJECTS_DECLARE\n\n";
    for (int i = 1; i <= 20000; ++i)
        patch += "VCO_" + std::to_string(i) + ";TYPE=1;FREQ=110.0;AMOUNT=0.01;PHASE=0;\n";
    patch += "END_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\nEND_LINKS_DECLARE\n";
    write_text(dir + "/big.tsy", patch);
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", dir + "/big.tsy"},
                  dir + "/log.txt");
    // The panels are being made (or have just been): the signal ends the
    // program there, cleanly.
    ASSERT_TRUE(program.wait_for("Init Gui")) << program.output();
    EXPECT_EQ(program.stop(SIGTERM), 0) << program.output();
    // Read once, at the start: the window shows what the start-up read (a
    // second reading would hold two copies of the patch for a while).
    const std::string out = program.output();
    const auto first = out.find("Loading TSY [");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find("Loading TSY [", first + 1), std::string::npos) << out;
}
