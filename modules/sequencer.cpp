#include "modules/sequencer.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"
#include "engine/nested_loader.hpp"
#include "engine/note_table.hpp"
#include "engine/param_edits.hpp"
#include "modules/rows.hpp"
#include "util/atomic_file.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
#include "util/text_format.hpp"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "partition files are the little-endian memory block");

namespace tmod {

namespace {
// Step indices come from files and the panel: the step after the last of a
// 64-step pattern is step 0, and anything else outside the pattern reads step 0.
int step_at(int s) {
    return s >= 0 && s < step_count ? s : 0;
}

double note_of_step(const partition_block& m, int p, int s) {
    const long long n = static_cast<long long>(m.note[p][s]) + 12LL * m.octave[p][s];
    // A note beyond the table (a corrupted file) is silent rather than a wild read.
    return n >= 0 && n < note_table_size ? note_frequency(static_cast<int>(n)) : 0.0;
}
} // namespace

SEQUENCER::SEQUENCER() : OUTPUT(name_storage) {
    for (int p = 0; p < pattern_count; ++p) {
        memory.divider[p] = random.next() % 2 ? 2.0f : 1.0f;
        memory.max_step[p] = 32;
        for (int s = 0; s < step_count; ++s) {
            memory.length[p][s] = 1.0f;
            memory.bypass[p][s] = 0;
            memory.note[p][s] = 10;
            memory.octave[p][s] = 3;
            memory.vol[p][s] = 1.0f;
            memory.slide[p][s] = 0;
            memory.accent[p][s] = 0;
        }
    }
}

int SEQUENCER::compute() {
    pulse = 0;
    // Stopped, it waits for a SYNC pulse (a key of the keyboard it follows),
    // which starts it again from its first step.
    if (!running) {
        if (!sync_in.read_or(0)) return 1;
        running = 1;
    }
    int p = current_pattern;
    int s = current_step;
    const int last = memory.max_step[p];
    if (s >= last) {
        if (input_part.connected()) {
            p = saturating_int(input_part.read_or(0.0f) - 16.0f);
            audio_log_post("Pattern sel [%d]\n", p);
            wished_pattern.store_quietly(p);
        } else if (wished_pattern != p) {
            p = wished_pattern;
        }
        // Only patterns 0..31 are played: anything else (a value below 16 on
        // INPUT_PART included) plays pattern 0.
        if (p < 0 || p >= pattern_count) p = 0;
        if (wished_divider.load() != memory.divider[p]) memory.divider[p] = wished_divider;
        if (p >= played_pattern_count) p = 0;
        current_pattern = p;
        s = 0;
    }
    timer = timer + static_cast<float>(tempo_bpm.load()) / 60.0f;
    if (sync_in.read_or(0)) {
        timer = 0.0f;
        s = 0;
    }
    // A divider that is not a positive number (a damaged partition file) would
    // race through the steps or glide to NaN: such a pattern plays one step a beat.
    const float stored_divider = memory.divider[p];
    const float divider = stored_divider > 0.0f && stored_divider < 1e30f ? stored_divider : 1.0f;
    const int here = step_at(s);
    float d = memory.length[p][here] * 44100.0f / divider;
    if (d < 0.0625f) d = 0.0f;
    if (note_on == 1 && timer >= d - 1.0f && memory.bypass[p][step_at(s + 1)] == 0) {
        note_on = 0;
        release();
    }
    const float w = d > 44100.0f ? d : 0.0f;
    if (timer >= 44100.0f / divider + w) {
        timer = 0.0f;
        const long long n =
            static_cast<long long>(memory.note[p][here]) + 12LL * memory.octave[p][here];
        if (n == 0) {
            value = 0.0f; // a silent step halts the sequence until SYNC restarts it
        } else {
            note_on = 1;
            if (memory.vol[p][here] == 1.0f) {
                if (!power) {
                    value = 0.0f;
                } else if (memory.bypass[p][here] == 0) {
                    trigger();
                    pulse = 1;
                    value = static_cast<float>(note_of_step(memory, p, here));
                }
            }
            ++s;
        }
    }
    // The output carries the step that plays next, or a glide from it.
    const int next = step_at(s);
    if (memory.slide[p][next] == 0) {
        value = static_cast<float>(note_of_step(memory, p, next));
    } else {
        const int target = s - 1 < memory.max_step[p] ? step_at(s + 1) : 0;
        const float f = timer == 0.0f ? 1.0f : timer / (44100.0f / divider);
        value = static_cast<float>((1.0f - f) * note_of_step(memory, p, next) +
                                   f * note_of_step(memory, p, target));
    }
    current_step = s;
    return 1;
}

void SEQUENCER::transport(int order) {
    if (order == stop_order || order == rewind_order || order >= 0) {
        running = 0;
        note_on = 0;
        release();
    }
    if (order == rewind_order) {
        current_step = 0;
        timer = 0.0f;
        return;
    }
    if (order >= 0) {
        const int p = current_pattern;
        const float stored = memory.divider[p];
        const double divider = stored > 0.0f && stored < 1e30f ? stored : 1.0;
        const int steps = memory.max_step[p] > 0 ? memory.max_step[p] : 1;
        // Sixteenths are quarter beats; the divider is steps per beat (a wild
        // one from a damaged file stays a finite double here).
        current_step = static_cast<int>(std::fmod(std::floor(order * divider / 4.0), steps));
        timer = 3.0e38f; // the step plays at the next tick
    }
    if (order != stop_order) running = 1;
}

namespace {
// The patterns as they are between two ticks.
std::unique_ptr<partition_block> copy_of(const partition_block& memory) {
    auto copy = std::make_unique<partition_block>();
    patch_edit edit(patch_mutex());
    *copy = memory;
    return copy;
}
} // namespace

bool SEQUENCER::write_patterns(const char* file_name, std::string* error) const {
    const auto copy = copy_of(memory);
    return write_file_atomically(file_name, copy.get(), sizeof *copy, error);
}

bool SEQUENCER::save_partition(const char* file_name, std::string* error) {
    if (!write_patterns(file_name, error)) return false;
    copy_text(partition_file_name, file_name ? file_name : "");
    return true;
}

bool SEQUENCER::partition_differs(const char* file_name) {
    // Only a regular file is read: a pipe could block.
    if (!is_regular_file(file_name)) return true;
    std::FILE* f = std::fopen(file_name, "rb");
    if (!f) return true;
    auto disk = std::make_unique<partition_block>();
    const std::size_t got = std::fread(disk.get(), 1, sizeof *disk, f);
    const bool longer = std::fgetc(f) != EOF;
    std::fclose(f);
    return got != sizeof *disk || longer ||
           std::memcmp(disk.get(), copy_of(memory).get(), sizeof *disk) != 0;
}

std::string SEQUENCER::name_new_partition() {
    // A name no file has yet, so that a save never writes over another
    // sequencer's patterns.
    char generated[64];
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int number = ((random.next() << 15) | random.next()) % 1600000;
        std::snprintf(generated, sizeof generated, "PARTITIONS/%d.PAR", number);
        if (!path_exists(generated)) break;
    }
    copy_text(partition_file_name, generated);
    return generated;
}

bool SEQUENCER::load_partition(const char* file_name) {
    if (!read_patterns(file_name)) return false;
    copy_text(partition_file_name, file_name);
    return true;
}

bool SEQUENCER::read_patterns(const char* file_name) {
    // A pipe or a device could block the read forever: only regular files.
    std::FILE* f = nullptr;
    if (is_regular_file(file_name))
        f = std::fopen(file_name, "rb");
    else if (file_name && ::access(file_name, F_OK) == 0)
        say("Partition [%s] : pas un fichier ordinaire (tube, peripherique ou "
            "dossier), ignoree\n",
            escaped_controls(file_name).c_str());
    if (!f) {
        say("Erreur de chargement de partition [%s]\n", escaped_controls(file_name).c_str());
        return false;
    }
    // The file is read before the patch lock is taken, which only covers the
    // copy. A short file fills the block as far as it goes; a longer one is
    // read to the size of the block only.
    auto block = std::make_unique<partition_block>();
    const std::size_t got = std::fread(block.get(), 1, sizeof(partition_block), f);
    std::fclose(f);
    {
        patch_edit edit(patch_mutex());
        std::memcpy(&memory, block.get(), got);
    }
    wished_divider = memory.divider[0];
    return true;
}

void SEQUENCER::write_params(std::string& out) const {
    appendf(out, "%s;PARTITION_FILE_NAME=%s;", name, partition_file_name);
}

namespace {
SEQUENCER& seq(OUTPUT& m) {
    return static_cast<SEQUENCER&>(m);
}
const SEQUENCER& seq(const OUTPUT& m) {
    return static_cast<const SEQUENCER&>(m);
}

// Position of a key word inside its field: the older keys count character
// positions from the first character of the key.
std::string_view key_from(const field_text& f, const char* word) {
    const std::size_t at = f.key.find(word);
    return at == std::string_view::npos ? std::string_view() : f.key.substr(at);
}

std::string_view at_position(std::string_view key, std::size_t pos,
                             std::size_t max_len = std::string_view::npos) {
    return pos < key.size() ? key.substr(pos, max_len) : std::string_view();
}

bool valid_step(int p, int s) {
    return p >= 0 && p < pattern_count && s >= 0 && s < step_count;
}

void report_outside(const OUTPUT& m, const field_text& f) {
    say("SEQUENCER [%s]: field [%s] names no pattern step, ignored\n",
        escaped_controls(m.name).c_str(), escaped_controls(f.field).c_str());
}

// BYPASS, VOLUME and LENGHT keys: "KEY_ppp_ss" (longer than 9) or "KEY_ss".
bool pattern_and_step(const field_text& f, const char* word, std::size_t max_len, int& p, int& s) {
    const std::string_view key = key_from(f, word);
    if (key.size() > 9) {
        p = parse_int(at_position(key, 7, max_len));
        s = parse_int(at_position(key, 11, max_len));
    } else {
        p = 0;
        s = parse_int(at_position(key, 7, max_len));
    }
    return valid_step(p, s);
}

void read_partition_file_name(OUTPUT& m, const field_text& f) {
    const std::string file(f.value);
    if (!seq(m).load_partition(file.c_str()) && f.nested && !file.empty())
        f.nested->file_not_loaded(file.c_str());
}

void read_divider_key(OUTPUT& m, const field_text& f) {
    const int p = parse_int(at_position(key_from(f, "DIVIDER"), 8, 3));
    if (p < 0 || p >= pattern_count) return report_outside(m, f);
    const float d = parse_float(f.value);
    seq(m).memory.divider[p] = d;
    seq(m).wished_divider = d;
}

void read_nbr_step_key(OUTPUT& m, const field_text& f) {
    seq(m).memory.max_step[0] = parse_int(f.value);
}

void read_note_key(OUTPUT& m, const field_text& f) {
    const std::string_view key = key_from(f, "NOTE");
    const int p = parse_int(at_position(key, 5, 3));
    const int s = parse_int(at_position(key, 9));
    if (!valid_step(p, s)) return report_outside(m, f);
    const int v = parse_int(f.value);
    seq(m).memory.octave[p][s] = v / 12;
    seq(m).memory.note[p][s] = v - 12 * (v / 12);
}

void read_bypass_key(OUTPUT& m, const field_text& f) {
    int p, s;
    if (!pattern_and_step(f, "BYPASS", std::string_view::npos, p, s)) return report_outside(m, f);
    seq(m).memory.bypass[p][s] = parse_int(f.value);
}

void read_volume_key(OUTPUT& m, const field_text& f) {
    int p, s;
    if (!pattern_and_step(f, "VOLUME", 3, p, s)) return report_outside(m, f);
    seq(m).memory.vol[p][s] = parse_float(f.value);
}

void read_length_key(OUTPUT& m, const field_text& f) {
    int p, s;
    if (!pattern_and_step(f, "LENGHT", 3, p, s)) return report_outside(m, f);
    seq(m).memory.length[p][s] = parse_float(f.value);
}

using namespace row;

const char* partition_file(const OUTPUT& m) {
    return seq(m).partition_file_name;
}
bool save_partition_file(OUTPUT& m, const char* path) {
    return seq(m).save_partition(path);
}

bool partition_differs(OUTPUT& m, const char* path) {
    return seq(m).partition_differs(path);
}
bool write_partition(OUTPUT& m, const char* path, std::string* error) {
    return seq(m).save_partition(path, error);
}
std::string name_new_partition(OUTPUT& m) {
    return seq(m).name_new_partition();
}
constexpr own_file_ops partition_file_ops = {partition_differs, write_partition,
                                             name_new_partition};

void write_sequencer(OUTPUT& m, std::string& out) {
    seq(m).write_params(out);
}

// Step fields are indexed by pattern * 64 + step; the panel edits the steps
// of the pattern the sequencer plays.
int pattern_of(int i) {
    return clamp_index(i, pattern_count * step_count) / step_count;
}
int step_of(int i) {
    return clamp_index(i, pattern_count * step_count) % step_count;
}
template <auto Field>
double get_step(const OUTPUT& m, int i) {
    return (seq(m).memory.*Field)[pattern_of(i)][step_of(i)];
}
template <auto Field>
void set_step(OUTPUT& m, int i, double v) {
    auto& field = (seq(m).memory.*Field)[pattern_of(i)][step_of(i)];
    field = number_as<std::remove_reference_t<decltype(field)>>(v);
}
template <auto Field>
constexpr param_desc step_field(const char* key, void (*reader)(OUTPUT&, const field_text&)) {
    param_desc d;
    d.key = key;
    d.apply = reader;
    d.get = get_step<Field>;
    d.set = set_step<Field>;
    d.count = pattern_count * step_count;
    // The partition is plain memory the tick reads.
    return d.on_audio_thread().in_file();
}

double get_max_step(const OUTPUT& m, int p) {
    return seq(m).memory.max_step[clamp_index(p, pattern_count)];
}
void set_max_step(OUTPUT& m, int p, double v) {
    seq(m).memory.max_step[clamp_index(p, pattern_count)] = saturating_int(v);
}
// Steps in each pattern, indexed by pattern.
constexpr param_desc max_step_param() {
    param_desc d = read_only("NBR_STEP", read_nbr_step_key);
    d.get = get_max_step, d.set = set_max_step, d.count = pattern_count;
    return d.range(1, 32, 32)
        .steps(step_rule::fixed, 1.0f)
        .display("%d")
        .on_audio_thread()
        .in_file();
}

// PARTITION_FILE_NAME loads the whole pattern memory; the older per-field
// keys name their pattern and step in the key. The sequencer writes its own
// record; a patch save writes the partition file first when it is not up to
// date. The divider the panel wishes is kept at the end of the record.
constexpr param_desc sequencer_params[] = {
    file_name("PARTITION_FILE_NAME", read_partition_file_name, partition_file)
        .saved_by(save_partition_file)
        .writes_own_file(partition_file_ops),
    number<SEQUENCER, &SEQUENCER::wished_divider>("DIVIDER")
        .read_by(read_divider_key)
        .range(0.0, unbounded, 2.0)
        .steps(step_rule::doubling)
        .display("%3.3f")
        .kept("BEAT_DIV"),
    max_step_param(),
    step_field<&partition_block::note>("NOTE", read_note_key)
        .range(0, 12, 10)
        .steps(step_rule::fixed, 1.0f)
        .display("%d"),
    step_field<&partition_block::bypass>("BYPASS", read_bypass_key)
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%d"),
    step_field<&partition_block::vol>("VOLUME", read_volume_key)
        .range(-unbounded, unbounded, 1.0)
        .steps(step_rule::fixed, 0.1f)
        .display("%2.1f"),
    step_field<&partition_block::length>("LENGHT", read_length_key)
        .range(0.0, unbounded, 1.0)
        .steps(step_rule::doubling)
        .display("%2.1f"),
};

template <auto Field>
constexpr param_desc panel_step_field() {
    return step_field<Field>(nullptr, nullptr);
}

double get_current_step(const OUTPUT& m, int) {
    return seq(m).current_step;
}
void set_current_step(OUTPUT& m, int, double v) {
    seq(m).current_step = clamp_index(saturating_int(v), step_count);
}
double get_timer(const OUTPUT& m, int) {
    return seq(m).timer;
}
void set_timer(OUTPUT& m, int, double v) {
    seq(m).timer = static_cast<float>(v);
}
// The step and the timer are the tick's own state, changed between two ticks.
constexpr param_desc tick_state(double (*get)(const OUTPUT&, int),
                                void (*set)(OUTPUT&, int, double)) {
    param_desc d;
    d.get = get, d.set = set;
    return d.on_audio_thread().moves();
}

// Indexed controls ("%d": the step from 1, or the pattern button) are the
// panel's own; their words name them.
constexpr param_desc sequencer_panel_params[] = {
    panel_step_field<&partition_block::octave>()
        .range(0, 10, 3)
        .steps(step_rule::fixed, 1.0f)
        .display("%d", "BUTTON_OCT_%d"),
    panel_step_field<&partition_block::accent>()
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%d", "BUTTON_ACCENT_%d"),
    panel_step_field<&partition_block::slide>()
        .range(0, 1, 0)
        .steps(step_rule::toggle)
        .display("%d", "BUTTON_SLIDE_%d"),
    // Taken over at the next pattern end.
    panel_number<SEQUENCER, &SEQUENCER::wished_pattern>()
        .range(0, pattern_count - 1, 0)
        .display("%d", "BUTTON_PATTERN_%d")
        .kept("PATTERN"),
    // The step that plays next (its lamp is lit) and the time into it.
    tick_state(get_current_step, set_current_step)
        .range(0, step_count - 1, 0)
        .display("%d", "LAMPE_STEP_%d"),
    tick_state(get_timer, set_timer).range(0.0, unbounded, 0.0).display("%f", "STEP_TIMER"),
    power_switch<SEQUENCER>(),
};

constexpr source_rule key_only[] = {{"KEY", module_kind::KEYBOARD}};
constexpr slot_desc sequencer_slots[] = {
    sig<SEQUENCER, &SEQUENCER::input_part>("INPUT_PART", RS, "INPUT_PART"),
    sync<SEQUENCER, &SEQUENCER::sync_in>("SYNC", RS, nullptr, key_only),
};
} // namespace

template void tick_list<SEQUENCER>(const module_ptr*, std::size_t);

const param_desc sequencer_transport =
    panel_number_set_by<SEQUENCER, &SEQUENCER::running, &SEQUENCER::transport>()
        .range(SEQUENCER::rewind_order, 16383, 1)
        .moves();

const module_type sequencer_type = {
    module_kind::SEQUENCER,
    "SEQUENCER",
    "SEQUENCER",
    "SEQUENCER",
    "SEQUENCER",
    "SEQUENCER",
    REJECT,
    true,
    sequencer_slots,
    sequencer_params,
    sequencer_panel_params,
    create_as<SEQUENCER>,
    destroy_as<SEQUENCER>,
    tick_list<SEQUENCER>,
    write_sequencer,
    own_value,
    own_gate<SEQUENCER>,
    own_pulse<SEQUENCER>,
    nullptr,
    [](OUTPUT& m) { set_param(m, sequencer_transport, 0, SEQUENCER::rewind_order); }};

} // namespace tmod
