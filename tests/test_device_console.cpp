// The device console: scripted keys give the exact menus and summary; ESC at
// each prompt; the nine-device limit; the choices from the command line; and
// the real program reading its keys from standard input.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/console_keys.hpp"
#include "app/device_console.hpp"
#include "support/sound_support.hpp"

using namespace tmod;
using namespace tmod::test;
using O = console_outcome;

namespace {

// What was written to a temporary file.
std::string contents(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

// Runs the console with `keys` arriving on a pipe, as standard input does
// when it is not a terminal; returns what it printed.
std::string run_console(sound_system& sound, const std::string& keys, O& outcome) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    close(fds[1]);
    std::FILE* out = std::tmpfile();
    {
        console_keys k(fds[0]);
        EXPECT_FALSE(k.terminal());
        outcome = run_device_console(sound, k, out);
    }
    close(fds[0]);
    return contents(out);
}

const std::string sep = std::string(57, '-') + "\n";
const std::string prompt = "Press a corresponding number or ESC to quit\n";
const std::string kind_menu = golden("console_kinds.txt");

// A device list and its prompt, as in the golden transcripts.
std::string list(const std::string& heading, const std::vector<std::string>& names) {
    std::string s = sep + heading + sep;
    for (std::size_t i = 0; i < names.size(); ++i)
        s += std::to_string(i + 1) + " - " + names[i] + "\n";
    return s + sep + prompt;
}

std::string summary(const std::string& kind, const std::string& out, const std::string& in) {
    return "FSOUND Output Method : FSOUND_OUTPUT_" + kind +
           "\nFSOUND Mixer         : FSOUND_MIXER_QUALITY_FPU\nFSOUND Driver        : " + out +
           "\nFSOUND Record Driver : " + in + "\n";
}

fake_backend devices(std::vector<std::string> outs, std::vector<std::string> ins) {
    fake_backend b;
    b.outs = std::move(outs);
    b.ins = std::move(ins);
    return b;
}

const fake_backend two_and_two = devices({"out A", "out B"}, {"in A", "in B"});
const std::vector<std::string> outs = two_and_two.outs, ins = two_and_two.ins;

// What the console chose: the kind and the two device numbers.
struct chosen {
    output_kind kind;
    int driver, record_driver;
};

// Runs the console on the keys with the devices given (none for the kinds in
// `empty`) and checks what it printed and chose; `choice` null: nothing set up.
void expect_console(const char* what, const fake_backend& devices, std::vector<output_kind> empty,
                    const std::string& keys, O outcome, const std::string& text,
                    const chosen* choice) {
    SCOPED_TRACE(what);
    sound_system sound;
    use_fakes(sound, devices, empty);
    O got;
    EXPECT_EQ(run_console(sound, keys, got), text);
    EXPECT_EQ(got, outcome);
    EXPECT_EQ(sound.initialised(), choice != nullptr);
    if (!choice) return;
    EXPECT_EQ(sound.output(), choice->kind);
    EXPECT_EQ(sound.driver(), choice->driver);
    EXPECT_EQ(sound.record_driver(), choice->record_driver);
}

// Both device lists of a kind, as the console shows them.
std::string lists(const std::string& kind, const std::vector<std::string>& o = outs,
                  const std::vector<std::string>& i = ins) {
    return list(kind + " Driver list\n", o) + list(kind + " Recording device driver list\n", i);
}

} // namespace

TEST(DeviceConsole, ScriptedKeysGiveTheExactMenusAndSummary) {
    const chosen jack_b_b{output_kind::jack, 1, 1}, nosound_first{output_kind::nosound, 0, 0};
    expect_console("a full choice", two_and_two, {}, "322", O::done,
                   golden("console_jack_out_b_in_b.txt"), &jack_b_b);
    const chosen alsa{output_kind::alsa, 0, 0};
    expect_console(
        "ALSA headings differ between output and recording", two_and_two, {}, "111", O::done,
        kind_menu + list("Alsa Driver list\n", outs) +
            list("ALSA Recording device driver list\n", ins) + summary("ALSA", "out A", "in A"),
        &alsa);
    expect_console("ESC at the output type ends the program", two_and_two, {}, "\0332", O::quit,
                   kind_menu, nullptr);
    expect_console("ESC at the output device ends the program", two_and_two, {}, "2\0331", O::quit,
                   kind_menu + list("PulseAudio Driver list\n", outs), nullptr);
    expect_console("ESC at the recording device: no summary, the default device", two_and_two, {},
                   "41\0332", O::done, kind_menu + lists("NoSound"), &nosound_first);
    expect_console("the end of input counts as ESC", two_and_two, {}, "", O::quit, kind_menu,
                   nullptr);
    const chosen jack_first{output_kind::jack, 0, 0};
    expect_console("the end of input at the recording device", two_and_two, {}, "31", O::done,
                   kind_menu + lists("JACK"), &jack_first);
    const chosen nosound_b_a{output_kind::nosound, 1, 0};
    expect_console("other keys are read again and print nothing", two_and_two, {}, "50x\n 43a2\r91",
                   O::done, kind_menu + lists("NoSound") + summary("NOSOUND", "out B", "in A"),
                   &nosound_b_a);

    // "1" then "0" would be device 10: neither "0" nor anything past "9" counts.
    std::vector<std::string> twelve_outs, twelve_ins;
    for (int i = 1; i <= 12; ++i)
        twelve_outs.push_back("output " + std::to_string(i)),
            twelve_ins.push_back("input " + std::to_string(i));
    const chosen ninth{output_kind::jack, 8, 8};
    expect_console(
        "only the first nine devices", devices(twelve_outs, twelve_ins), {}, "30:909", O::done,
        kind_menu + lists("JACK", twelve_outs, twelve_ins) + summary("JACK", "output 9", "input 9"),
        &ninth);
    const chosen no_recording{output_kind::nosound, 0, -1};
    expect_console("without recording devices only ESC is taken", devices({"only out"}, {}), {},
                   "411239\033", O::done, kind_menu + lists("NoSound", {"only out"}, {}),
                   &no_recording);
    expect_console("a kind without an output device offers the kinds again", two_and_two,
                   {output_kind::jack}, "3411", O::done, golden("console_no_jack_device.txt"),
                   &nosound_first);

    // The real NoSound backend: one output and no recording device.
    sound_system nosound;
    O outcome;
    EXPECT_EQ(run_console(nosound, "41\033", outcome),
              kind_menu + lists("NoSound", {"Null output (the sound is discarded)"}, {}));
    EXPECT_EQ(outcome, O::done);
    EXPECT_TRUE(nosound.initialised());
    EXPECT_EQ(nosound.record_driver(), -1);
}

TEST(DeviceChoiceFromOptions, AudioDriverAndRecordDriverSkipTheQuestions) {
    const struct {
        std::vector<const char*> args;
        std::vector<output_kind> empty;
        int status;
        std::string text_or_error;
        output_kind kind = output_kind::nosound;
        bool initialised = status == 0; // a bad recording device is found after the output
    } cases[] = {
        {{"--audio", "pulse", "--driver", "2", "--record-driver", "none"},
         {},
         0,
         summary("PULSE", "out B", ""),
         output_kind::pulse},
        {{"--audio", "jack", "--driver", "3"},
         {},
         2,
         "--driver 3: JACK has 2 output device(s):\n  1 - out A\n  2 - out B"},
        {{"--audio", "alsa", "--record-driver", "5"},
         {},
         2,
         "--record-driver 5: ALSA has 2 recording device(s):\n  1 - in A\n  2 - in B",
         output_kind::alsa,
         true},
        {{"--audio", "jack"},
         {output_kind::jack},
         1,
         "no JACK output device (is a JACK server running?)"},
        // --driver alone: the first kind that has a device.
        {{"--driver", "1"},
         {output_kind::alsa, output_kind::pulse},
         0,
         summary("JACK", "out A", "in A"),
         output_kind::jack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
        sound_system sound;
        use_fakes(sound, two_and_two, c.empty);
        std::vector<const char*> argv = {"tmodular"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        options o;
        std::string error;
        ASSERT_TRUE(parse_command_line(static_cast<int>(argv.size()), argv.data(), o, error))
            << error;
        std::FILE* out = std::tmpfile();
        EXPECT_EQ(choose_sound_from_options(sound, o, out, error), c.status);
        const std::string printed = contents(out);
        EXPECT_EQ(c.status == 0 ? printed : error, c.text_or_error);
        EXPECT_EQ(sound.initialised(), c.initialised);
        if (c.initialised) {
            EXPECT_EQ(sound.output(), c.kind);
        }
    }
}

TEST(DeviceConsoleProgram, EscapeOrEndOfInputOnStandardInputEndsTheProgramWithStatusZero) {
    const std::string dir = scratch_dir();
    const std::string program = std::string(TM_PROGRAM) + " --headless --data " + dir;
    EXPECT_EQ(shell("printf '\\033' | " + program + " > " + dir + "/esc.txt 2>&1"), 0);
    EXPECT_EQ(read_text(dir + "/esc.txt"), kind_menu);
    EXPECT_EQ(shell("printf '4\\033' | " + program + " > " + dir + "/esc2.txt 2>&1"), 0);
    EXPECT_EQ(read_text(dir + "/esc2.txt"),
              kind_menu + list("NoSound Driver list\n", {"Null output (the sound is discarded)"}));
    EXPECT_EQ(shell(program + " < /dev/null > " + dir + "/eof.txt 2>&1"), 0);
    EXPECT_EQ(read_text(dir + "/eof.txt"), kind_menu);
    // The start-up stopped before its log line.
    EXPECT_EQ(read_text(dir + "/log_standard.log").find("INIT_T_MODULAR"), std::string::npos);
    // A device number that does not exist is an option mistake.
    EXPECT_EQ(shell(program + " --audio nosound --driver 2 < /dev/null > " + dir + "/bad.txt 2>&1"),
              2);
    EXPECT_NE(read_text(dir + "/bad.txt").find("--driver 2: NoSound has 1 output device(s):"),
              std::string::npos);
}
