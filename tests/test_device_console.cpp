// The device console: scripted keys give the exact menus and summary; ESC at
// each prompt; the nine-device limit; the choices from the command line; and
// the real program reading its keys from standard input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "diagnostics/console_keys.hpp"
#include "diagnostics/device_console.hpp"
#include "engine/command_line.hpp"
#include "engine/sound_system.hpp"
#include "support/harness.hpp"

using namespace tmod;

namespace {

// Devices as a backend reports them, for any kind chosen.
struct fake_backend : sound_backend {
    std::vector<std::string> outs, ins;
    int driver_count() override { return static_cast<int>(outs.size()); }
    std::string driver_name(int i) override { return outs[static_cast<std::size_t>(i)]; }
    int record_driver_count() override { return static_cast<int>(ins.size()); }
    std::string record_driver_name(int i) override { return ins[static_cast<std::size_t>(i)]; }
    int open_output(sound_system&, int, int, stream_info&) override { return sound_ok; }
    int start_output() override { return sound_ok; }
    void close_output() override {}
    int open_input(int, record_buffer&) override { return sound_ok; }
    void close_input() override {}
};

struct devices {
    std::vector<std::string> outs, ins;
};

// A sound system whose every kind has the given devices, except the kinds
// listed in `empty`, which have none.
void use_fakes(sound_system& sound, const devices& d, std::vector<output_kind> empty = {}) {
    sound.backend_factory = [d, empty](output_kind k) {
        auto b = std::make_unique<fake_backend>();
        if (std::find(empty.begin(), empty.end(), k) == empty.end()) {
            b->outs = d.outs;
            b->ins = d.ins;
        }
        return std::unique_ptr<sound_backend>(std::move(b));
    };
}

struct console_run {
    console_outcome outcome;
    std::string text;
};

// Runs the console with `keys` arriving on a pipe, as standard input does
// when it is not a terminal.
console_run run_console(sound_system& sound, const std::string& keys) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    close(fds[1]);
    std::FILE* out = std::tmpfile();
    console_run r;
    {
        console_keys k(fds[0]);
        EXPECT_FALSE(k.terminal());
        r.outcome = run_device_console(sound, k, out);
    }
    close(fds[0]);
    std::rewind(out);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) r.text.append(buf, n);
    std::fclose(out);
    return r;
}

const std::string sep = "---------------------------------------------------------\n";
const std::string prompt = "Press a corresponding number or ESC to quit\n";
const std::string kind_menu = sep + "Output Type\n" + sep +
                              "1 - ALSA\n2 - PulseAudio\n3 - JACK\n4 - NoSound\n" + sep + prompt;

std::string list(const std::string& heading, const std::vector<std::string>& names) {
    std::string s = sep + heading + sep;
    for (std::size_t i = 0; i < names.size(); ++i)
        s += std::to_string(i + 1) + " - " + names[i] + "\n";
    return s + sep;
}

const devices two_and_two{{"out A", "out B"}, {"in A", "in B"}};

} // namespace

TEST(DeviceConsole, ThisBuildOffersAlsaPulseJackAndNoSound) {
    const std::vector<output_kind> expected = {output_kind::alsa, output_kind::pulse,
                                               output_kind::jack, output_kind::nosound};
    EXPECT_EQ(sound_system::offered_kinds(), expected);
}

TEST(DeviceConsole, AFullChoiceGivesTheMenusAndTheSummary) {
    sound_system sound;
    use_fakes(sound, two_and_two);
    const console_run r = run_console(sound, "32"
                                             "2");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(r.text, kind_menu + list("JACK Driver list\n", two_and_two.outs) + prompt +
                          list("JACK Recording device driver list\n", two_and_two.ins) + prompt +
                          "FSOUND Output Method : FSOUND_OUTPUT_JACK\n"
                          "FSOUND Mixer         : FSOUND_MIXER_QUALITY_FPU\n"
                          "FSOUND Driver        : out B\n"
                          "FSOUND Record Driver : in B\n");
    EXPECT_EQ(sound.output(), output_kind::jack);
    EXPECT_TRUE(sound.initialised());
    EXPECT_EQ(sound.driver(), 1);
    EXPECT_EQ(sound.record_driver(), 1);
}

TEST(DeviceConsole, AlsaHeadingsDifferBetweenOutputAndRecording) {
    sound_system sound;
    use_fakes(sound, two_and_two);
    const console_run r = run_console(sound, "111");
    EXPECT_NE(r.text.find(sep + "Alsa Driver list\n"), std::string::npos);
    EXPECT_NE(r.text.find(sep + "ALSA Recording device driver list\n"), std::string::npos);
    EXPECT_NE(r.text.find("FSOUND Output Method : FSOUND_OUTPUT_ALSA\n"), std::string::npos);
}

TEST(DeviceConsole, EscapeAtEachPrompt) {
    {
        SCOPED_TRACE("output type: the program ends");
        sound_system sound;
        use_fakes(sound, two_and_two);
        const console_run r = run_console(sound, "\033"
                                                 "2");
        EXPECT_EQ(r.outcome, console_outcome::quit);
        EXPECT_EQ(r.text, kind_menu);
        EXPECT_FALSE(sound.initialised());
    }
    {
        SCOPED_TRACE("output device: the program ends");
        sound_system sound;
        use_fakes(sound, two_and_two);
        const console_run r = run_console(sound, "2\033"
                                                 "1");
        EXPECT_EQ(r.outcome, console_outcome::quit);
        EXPECT_EQ(r.text, kind_menu + list("PulseAudio Driver list\n", two_and_two.outs) + prompt);
        EXPECT_FALSE(sound.initialised());
    }
    {
        SCOPED_TRACE("recording device: no summary, the default recording device");
        sound_system sound;
        use_fakes(sound, two_and_two);
        const console_run r = run_console(sound, "41\033"
                                                 "2");
        EXPECT_EQ(r.outcome, console_outcome::done);
        EXPECT_EQ(r.text, kind_menu + list("NoSound Driver list\n", two_and_two.outs) + prompt +
                              list("NoSound Recording device driver list\n", two_and_two.ins) +
                              prompt);
        EXPECT_TRUE(sound.initialised());
        EXPECT_EQ(sound.record_driver(), 0);
    }
}

TEST(DeviceConsole, EndOfInputCountsAsEscape) {
    sound_system sound;
    use_fakes(sound, two_and_two);
    EXPECT_EQ(run_console(sound, "").outcome, console_outcome::quit);
    sound_system second;
    use_fakes(second, two_and_two);
    const console_run r = run_console(second, "31");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(r.text.find("FSOUND Output Method"), std::string::npos);
}

TEST(DeviceConsole, OtherKeysAreReadAgain) {
    sound_system sound;
    use_fakes(sound, two_and_two);
    // At the output type: 5, 0, x, newline and space are not choices.
    const console_run r = run_console(sound, "50x\n 4"
                                             "3a2"
                                             "\r9"
                                             "1");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(sound.output(), output_kind::nosound);
    EXPECT_EQ(sound.driver(), 1);
    EXPECT_EQ(sound.record_driver(), 0);
    // Each menu was printed once: ignored keys print nothing.
    EXPECT_EQ(r.text, kind_menu + list("NoSound Driver list\n", two_and_two.outs) + prompt +
                          list("NoSound Recording device driver list\n", two_and_two.ins) + prompt +
                          "FSOUND Output Method : FSOUND_OUTPUT_NOSOUND\n"
                          "FSOUND Mixer         : FSOUND_MIXER_QUALITY_FPU\n"
                          "FSOUND Driver        : out B\n"
                          "FSOUND Record Driver : in A\n");
}

TEST(DeviceConsole, OnlyTheFirstNineDevicesCanBeChosen) {
    devices twelve;
    for (int i = 1; i <= 12; ++i) {
        twelve.outs.push_back("output " + std::to_string(i));
        twelve.ins.push_back("input " + std::to_string(i));
    }
    sound_system sound;
    use_fakes(sound, twelve);
    // "1" then "0" would be device 10: neither "0" nor anything past "9" counts.
    const console_run r = run_console(sound, "3"
                                             "0:"
                                             "9"
                                             "0"
                                             "9");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(sound.driver(), 8);
    EXPECT_EQ(sound.record_driver(), 8);
    EXPECT_NE(r.text.find("12 - output 12\n"), std::string::npos);
    EXPECT_NE(r.text.find("FSOUND Driver        : output 9\n"), std::string::npos);
}

TEST(DeviceConsole, WithoutRecordingDevicesOnlyEscapeIsTaken) {
    sound_system sound;
    use_fakes(sound, devices{{"only out"}, {}});
    const console_run r = run_console(sound, "41"
                                             "1239"
                                             "\033");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(r.text, kind_menu + list("NoSound Driver list\n", {"only out"}) + prompt +
                          list("NoSound Recording device driver list\n", {}) + prompt);
    EXPECT_EQ(sound.record_driver(), -1);
}

TEST(DeviceConsole, AKindWithoutAnyOutputDeviceOffersTheKindsAgain) {
    sound_system sound;
    use_fakes(sound, two_and_two, {output_kind::jack});
    const console_run r = run_console(sound, "3"
                                             "4"
                                             "1"
                                             "1");
    EXPECT_EQ(r.outcome, console_outcome::done);
    EXPECT_EQ(sound.output(), output_kind::nosound);
    const std::string jack_empty =
        list("JACK Driver list\n", {}) +
        "No JACK output device found (is a JACK server running?): choose another output type.\n";
    EXPECT_EQ(r.text.substr(0, kind_menu.size() * 2 + jack_empty.size()),
              kind_menu + jack_empty + kind_menu);
}

TEST(DeviceConsole, NoSoundAlwaysHasAnOutputAndNoRecordingDevice) {
    sound_system nosound;
    const console_run n = run_console(nosound, "41\033");
    EXPECT_EQ(n.outcome, console_outcome::done);
    EXPECT_NE(n.text.find("1 - Null output (the sound is discarded)\n"), std::string::npos);
    EXPECT_TRUE(nosound.initialised());
    EXPECT_EQ(nosound.record_driver(), -1);
}

TEST(DeviceChoiceFromOptions, AudioDriverAndRecordDriverSkipTheQuestions) {
    auto choose = [](sound_system& sound, const std::vector<const char*>& args, std::string& text,
                     std::string& error) {
        std::vector<const char*> argv = {"tmodular"};
        argv.insert(argv.end(), args.begin(), args.end());
        options o;
        std::string parse_error;
        EXPECT_TRUE(parse_command_line(static_cast<int>(argv.size()), argv.data(), o, parse_error))
            << parse_error;
        std::FILE* out = std::tmpfile();
        const int status = choose_sound_from_options(sound, o, out, error);
        std::rewind(out);
        char buf[2048];
        text.assign(buf, std::fread(buf, 1, sizeof buf, out));
        std::fclose(out);
        return status;
    };
    std::string text, error;
    {
        sound_system sound;
        use_fakes(sound, two_and_two);
        EXPECT_EQ(choose(sound, {"--audio", "pulse", "--driver", "2", "--record-driver", "none"},
                         text, error),
                  0);
        EXPECT_EQ(text, "FSOUND Output Method : FSOUND_OUTPUT_PULSE\n"
                        "FSOUND Mixer         : FSOUND_MIXER_QUALITY_FPU\n"
                        "FSOUND Driver        : out B\n"
                        "FSOUND Record Driver : \n");
        EXPECT_EQ(sound.record_driver(), -1);
    }
    {
        sound_system sound;
        use_fakes(sound, two_and_two);
        EXPECT_EQ(choose(sound, {"--audio", "jack", "--driver", "3"}, text, error), 2);
        EXPECT_EQ(error, "--driver 3: JACK has 2 output device(s):\n  1 - out A\n  2 - out B");
        EXPECT_FALSE(sound.initialised());
    }
    {
        sound_system sound;
        use_fakes(sound, two_and_two);
        EXPECT_EQ(choose(sound, {"--audio", "alsa", "--record-driver", "5"}, text, error), 2);
        EXPECT_NE(error.find("--record-driver 5: ALSA has 2 recording device(s):"),
                  std::string::npos);
    }
    {
        sound_system sound;
        use_fakes(sound, two_and_two, {output_kind::jack});
        EXPECT_EQ(choose(sound, {"--audio", "jack"}, text, error), 1);
        EXPECT_EQ(error, "no JACK output device (is a JACK server running?)");
    }
    {
        // --driver alone: the first kind that has a device.
        sound_system sound;
        use_fakes(sound, two_and_two, {output_kind::alsa, output_kind::pulse});
        EXPECT_EQ(choose(sound, {"--driver", "1"}, text, error), 0);
        EXPECT_EQ(sound.output(), output_kind::jack);
    }
}

namespace {
int run_shell(const std::string& cmd) {
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(DeviceConsoleProgram, EscapeOrEndOfInputOnStandardInputEndsTheProgramWithStatusZero) {
    const std::string dir = test::scratch_dir("DeviceConsoleProgram");
    const std::string program = std::string(TM_PROGRAM) + " --headless --data " + dir;
    EXPECT_EQ(run_shell("printf '\\033' | " + program + " > " + dir + "/esc.txt 2>&1"), 0);
    EXPECT_EQ(test::read_text(dir + "/esc.txt"), kind_menu);
    EXPECT_EQ(run_shell("printf '4\\033' | " + program + " > " + dir + "/esc2.txt 2>&1"), 0);
    EXPECT_EQ(test::read_text(dir + "/esc2.txt"),
              kind_menu + list("NoSound Driver list\n", {"Null output (the sound is discarded)"}) +
                  prompt);
    EXPECT_EQ(run_shell(program + " < /dev/null > " + dir + "/eof.txt 2>&1"), 0);
    EXPECT_EQ(test::read_text(dir + "/eof.txt"), kind_menu);
    // The start-up stopped before its log line.
    EXPECT_EQ(test::read_text(dir + "/log_standard.log").find("INIT_T_MODULAR"), std::string::npos);
    // A device number that does not exist is an option mistake.
    EXPECT_EQ(
        run_shell(program + " --audio nosound --driver 2 < /dev/null > " + dir + "/bad.txt 2>&1"),
        2);
    EXPECT_NE(test::read_text(dir + "/bad.txt").find("--driver 2: NoSound has 1 output device(s):"),
              std::string::npos);
}
