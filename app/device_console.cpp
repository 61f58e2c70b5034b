#include "app/device_console.hpp"

#include "app/command_line.hpp"
#include "app/console_keys.hpp"
#include "audio/sound_system.hpp"

namespace tmod {

namespace {
const char* const separator = "---------------------------------------------------------\n";
const char* const prompt = "Press a corresponding number or ESC to quit\n";

// Digits 1..9 choose among `count` entries; returns the entry from 1, 0 for
// ESC (or end of input). Other keys are read again.
int choose(console_keys& keys, int count) {
    for (;;) {
        const int k = keys.get();
        if (k == key_escape) return 0;
        if (k >= '1' && k <= '9' && k - '0' <= count) return k - '0';
    }
}

void print_list(std::FILE* out, const char* heading, const char* title, int count,
                std::string (sound_system::*name)(int), sound_system& sound) {
    std::fprintf(out, "%s%s%s%s", separator, heading, title, separator);
    for (int i = 0; i < count; ++i) std::fprintf(out, "%d - %s\n", i + 1, (sound.*name)(i).c_str());
    std::fputs(separator, out);
}

void print_error(std::FILE* out, const sound_system& sound) {
    std::fprintf(out, "Error!\n");
    std::fprintf(out, "%s\n", sound_error_text(sound.error()));
}

const char* missing_device_hint(output_kind k) {
    switch (k) {
    case output_kind::jack:
        return " (is a JACK server running?)";
    case output_kind::pulse:
        return " (is a PulseAudio server running?)";
    case output_kind::alsa:
        return " (is there a sound card?)";
    default:
        return "";
    }
}
} // namespace

void print_sound_summary(sound_system& sound, std::FILE* out) {
    std::fprintf(out, "FSOUND Output Method : %s\n", kind_summary_name(sound.output()));
    // The patch is mixed one way only: in floating point.
    std::fprintf(out, "FSOUND Mixer         : FSOUND_MIXER_QUALITY_FPU\n");
    std::fprintf(out, "FSOUND Driver        : %s\n", sound.driver_name(sound.driver()).c_str());
    std::fprintf(out, "FSOUND Record Driver : %s\n",
                 sound.record_driver_name(sound.record_driver()).c_str());
    std::fflush(out);
}

console_outcome run_device_console(sound_system& sound, console_keys& keys, std::FILE* out) {
    const std::vector<output_kind> kinds = sound_system::offered_kinds();
    const int kind_count = static_cast<int>(kinds.size());
    int driver = 0;
    while (driver == 0) {
        std::fprintf(out, "%sOutput Type\n%s", separator, separator);
        for (int i = 0; i < kind_count; ++i)
            std::fprintf(out, "%d - %s\n", i + 1,
                         kind_menu_name(kinds[static_cast<std::size_t>(i)]));
        std::fprintf(out, "%s%s", separator, prompt);
        std::fflush(out);
        const int kind = choose(keys, kind_count);
        if (kind == 0) return console_outcome::quit;
        const output_kind k = kinds[static_cast<std::size_t>(kind - 1)];
        if (!sound.set_output(k)) {
            print_error(out, sound);
            continue;
        }
        const int count = sound.driver_count();
        print_list(out, kind_heading(k, false), " Driver list\n", count, &sound_system::driver_name,
                   sound);
        if (count == 0) {
            // Only ESC could be taken here: offer the other kinds instead.
            std::fprintf(out, "No %s output device found%s: choose another output type.\n",
                         kind_menu_name(k), missing_device_hint(k));
            continue;
        }
        std::fputs(prompt, out);
        std::fflush(out);
        driver = choose(keys, count);
        if (driver == 0) return console_outcome::quit;
    }
    sound.set_driver(driver - 1);
    if (!sound.init()) {
        print_error(out, sound);
        std::fflush(out);
        return console_outcome::done;
    }

    const int records = sound.record_driver_count();
    print_list(out, kind_heading(sound.output(), true), " Recording device driver list\n", records,
               &sound_system::record_driver_name, sound);
    std::fputs(prompt, out);
    std::fflush(out);
    const int record = choose(keys, records);
    if (record == 0) return console_outcome::done; // the sound system's default, no summary
    if (!sound.set_record_driver(record - 1)) {
        print_error(out, sound);
        sound.close();
        std::fflush(out);
        return console_outcome::done;
    }
    print_sound_summary(sound, out);
    return console_outcome::done;
}

int choose_sound_from_options(sound_system& sound, const options& o, std::FILE* out,
                              std::string& error) {
    output_kind k = output_kind::nosound;
    if (!o.audio.empty()) {
        if (!kind_from_word(o.audio.c_str(), k)) {
            error = "--audio " + o.audio + ": expected alsa, pulse, jack or nosound";
            return 2;
        }
        if (!sound.set_output(k)) {
            error = std::string("this build has no ") + kind_menu_name(k) + " support";
            return 1;
        }
    } else {
        // --driver or --record-driver alone: the first kind that has a device.
        for (output_kind c : sound_system::offered_kinds())
            if (sound.set_output(c) && sound.driver_count() > 0) break;
    }
    k = sound.output();
    const int count = sound.driver_count();
    if (count == 0) {
        error = std::string("no ") + kind_menu_name(k) + " output device" + missing_device_hint(k);
        return 1;
    }
    if (o.driver > count) {
        error = "--driver " + std::to_string(o.driver) + ": " + kind_menu_name(k) + " has " +
                std::to_string(count) + " output device(s):";
        for (int i = 0; i < count; ++i)
            error += "\n  " + std::to_string(i + 1) + " - " + sound.driver_name(i);
        return 2;
    }
    if (o.driver > 0) sound.set_driver(o.driver - 1);
    if (!sound.init()) {
        print_error(out, sound);
        std::fflush(out);
        return 0;
    }
    const int records = sound.record_driver_count();
    if (o.record_driver > records) {
        error = "--record-driver " + std::to_string(o.record_driver) + ": " + kind_menu_name(k) +
                " has " + std::to_string(records) + " recording device(s):";
        for (int i = 0; i < records; ++i)
            error += "\n  " + std::to_string(i + 1) + " - " + sound.record_driver_name(i);
        return 2;
    }
    if (o.no_record)
        sound.set_record_driver(-1);
    else if (o.record_driver > 0)
        sound.set_record_driver(o.record_driver - 1);
    print_sound_summary(sound, out);
    return 0;
}

} // namespace tmod
