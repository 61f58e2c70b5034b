#include "engine/lanes.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tmod {

namespace {
bool detect_lanes() {
    const char* env = std::getenv("TM_LANES");
    if (env && std::strcmp(env, "0") == 0) return false;
    return lanes_supported();
}
relaxed<bool> lanes_on{detect_lanes()};
} // namespace

bool lanes_supported() {
    // Asked from a static initializer, which may run before the runtime's own
    // detection: it is made here first.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool lanes_enabled() {
    return lanes_on.load();
}

void set_lanes_enabled(bool on) {
    lanes_on = on && lanes_supported();
}

namespace {
// Grows an aligned buffer to at least `need` bytes (its contents are not kept).
void reserve(lane_store::buffer& b, std::size_t& capacity, std::size_t need) {
    if (need <= capacity) return;
    b.reset(static_cast<std::byte*>(::operator new[](need, std::align_val_t(64))));
    capacity = need;
}
} // namespace

void lane_store::resize(std::size_t modules, std::size_t block_bytes, std::size_t width,
                        std::size_t spare_bytes) {
    reserve(blocks, capacity_bytes, (modules / width) * block_bytes);
    // A plan looks at what the previous one left in the blocks (an
    // oscillator's copied record is kept when it is the same module's): after
    // a change of the list, a module made where a removed one was must not
    // pass for it.
    if (capacity_bytes) std::memset(blocks.get(), 0, capacity_bytes);
    // Bounded, so a patch of thousands of oscillators does not double its
    // memory: a lane without room packed for it reads its module's own.
    constexpr std::size_t spare_limit = std::size_t(4) << 20;
    reserve(spare, spare_capacity, std::min(modules * spare_bytes, spare_limit));
    spare_used = 0;
    eligible.assign(modules, 0);
    reads.assign(modules, 0);
    by_value.assign(modules, {nullptr, 0});
    laned.assign(modules, 0);
    leftovers.assign(modules, 0);
    block_count = before_count = laned_count = leftover_count = 0;
    stale = true;
}

void plan_lanes(const module_ptr* list, std::size_t n, const module_type& type, lane_store& s,
                std::size_t width) {
    enum : std::uint8_t { reader = 1, read_later = 2, read_earlier = 4 };
    for (std::size_t i = 0; i < n; ++i) {
        s.reads[i] = 0;
        s.by_value[i] = {&list[i]->value, static_cast<std::uint32_t>(i)};
    }
    const auto values = s.by_value.begin();
    const auto values_end = values + static_cast<std::ptrdiff_t>(n);
    std::sort(values, values_end);
    auto reads = [&](std::size_t p, const sample_value* src) {
        if (!src) return;
        const auto it =
            std::lower_bound(values, values_end, std::make_pair(static_cast<const void*>(src), 0u));
        if (it == values_end || it->first != src) return;
        s.reads[p] |= reader;
        s.reads[it->second] |= it->second > p ? read_earlier : read_later;
    };
    for (std::size_t p = 0; p < n; ++p) {
        OUTPUT& m = *list[p];
        for (const slot_desc& slot : type.slots) {
            if (slot.kind == slot_kind::signal) reads(p, slot.signal(m)->source());
            if (slot.kind == slot_kind::channel)
                for (int c = 0; c < slot.channel_max; ++c) reads(p, slot.channel(m, c)->source());
        }
    }
    // Before the others: read by later modules only, or by none; after them:
    // read by earlier modules only (which must see the previous value).
    auto phase = [&](std::size_t i) -> int {
        if (!s.eligible[i] || (s.reads[i] & reader)) return 0;
        if ((s.reads[i] & (read_later | read_earlier)) == (read_later | read_earlier)) return 0;
        return s.reads[i] & read_earlier ? 2 : 1;
    };
    std::size_t in_phase[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) ++in_phase[phase(i)];
    std::size_t room[3] = {0, in_phase[1] / width * width, in_phase[2] / width * width};
    s.short_of_block = width - std::max(in_phase[1] - room[1], in_phase[2] - room[2]);
    s.before_count = room[1];
    s.laned_count = room[1] + room[2];
    s.leftover_count = 0;
    std::size_t next[3] = {0, 0, room[1]};
    for (std::size_t i = 0; i < n; ++i) {
        const int ph = phase(i);
        if (ph && room[ph]) {
            --room[ph];
            s.laned[next[ph]++] = static_cast<std::uint32_t>(i);
        } else {
            s.leftovers[s.leftover_count++] = static_cast<std::uint32_t>(i);
        }
    }
}

} // namespace tmod
