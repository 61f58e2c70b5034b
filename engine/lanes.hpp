// Lanes: the modules of one type list that depend on no module of their own
// list within a tick are computed several at a time with SIMD, their hot state
// packed in blocks of `width` modules (a structure of arrays per block) apart
// from the modules' objects. Each lane does exactly the scalar code's IEEE
// operations, in its order, so the output is the same to the bit.
//
// The packed state belongs to the lanes between two plans; the objects hold it
// again whenever the plan is remade (a change made from outside, a list that
// grows or shrinks, lanes switched off), so the rest of the system, and the
// modules' own scalar code, only ever see the objects.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/module_types.hpp"
#include "engine/signal.hpp"

namespace tmod {

// The lane kernels run when the processor has AVX2, unless TM_LANES=0.
bool lanes_supported();
bool lanes_enabled();
// For tests that compare the two paths; takes effect from the next tick.
void set_lanes_enabled(bool on);

// The packed state of one list, owned by its container.
struct lane_store {
    // Sized on the editing thread (under the patch lock) whenever the list
    // changes, so that planning and ticking on the audio thread never allocate.
    void resize(std::size_t modules, std::size_t block_bytes, std::size_t width,
                std::size_t spare_bytes);

    struct block_deleter {
        void operator()(std::byte* p) const { ::operator delete[](p, std::align_val_t(64)); }
    };
    using buffer = std::unique_ptr<std::byte[], block_deleter>;
    buffer blocks;
    std::size_t capacity_bytes = 0;
    // Room for what a type packs beside its blocks (an oscillator's recorded
    // cycle), up to `spare_bytes` per module and 4 MiB in all, handed out in
    // plan order; null when there is no more.
    buffer spare;
    std::size_t spare_capacity = 0, spare_used = 0;
    template <class U>
    U* take_spare(std::size_t count) {
        const std::size_t bytes = (count * sizeof(U) + 63) / 64 * 64;
        if (spare_used + bytes > spare_capacity) return nullptr;
        U* p = reinterpret_cast<U*>(spare.get() + spare_used);
        spare_used += bytes;
        return p;
    }
    std::size_t block_count = 0; // blocks in use by the current plan
    std::uint32_t seen = 0;      // the change count the plan was made for
    bool stale = true;           // the plan must be made again before the next tick

    // Per module of the list (list order), reused by each plan.
    std::vector<std::uint8_t> eligible; // may join a lane, as the module saw itself
    std::vector<std::uint8_t> reads;    // how it reads or is read within the list
    std::vector<std::pair<const void*, std::uint32_t>> by_value; // value address, index
    std::vector<std::uint32_t> laned;     // indexes in lanes: those before the others, then after
    std::vector<std::uint32_t> leftovers; // the others, in list order
    std::size_t before_count = 0, laned_count = 0, leftover_count = 0;
    std::size_t short_of_block = 0; // eligible modules that would fill a block more
    std::size_t newly_eligible = 0; // leftovers eligible since the plan
};

// Chooses the modules that go in lanes: the eligible ones that read no module
// of their own list. Those that only later modules of the list read are
// computed before the others, those that only earlier ones read after them
// (the readers must see their previous value), and the others in list order
// between the two: every module sees the values the list order gives it. Only
// whole blocks are laned; the rest stay in list order.
void plan_lanes(const module_ptr* list, std::size_t n, const module_type& type, lane_store& s,
                std::size_t width);

template <class Block>
Block* lane_blocks(lane_store& s) {
    return reinterpret_cast<Block*>(s.blocks.get());
}

// What a type's lanes supply, as a traits class K (deriving lane_traits):
//   module, kind, width        the module class, its list, lanes a block
//   spare_bytes                room packed beside the blocks, per module
//   block                      the packed state of `width` modules, with their
//                              objects in `module[]`
//   eligible(const T&)         may join a lane (asked after its own tick)
//   load(block&, lane, T&, lane_store&)   object -> lane
//   store(const block&, lane, T&)         lane -> object
//   run(block*, count)         one tick of every block (AVX2)
template <class T, module_kind Kind, std::size_t Width, std::size_t SpareBytes = 0>
struct lane_traits {
    using module = T;
    static constexpr module_kind kind = Kind;
    static constexpr std::size_t width = Width;
    static constexpr std::size_t spare_bytes = SpareBytes;
};

template <class K>
void lanes_write_back(lane_store& s) {
    auto* blocks = lane_blocks<typename K::block>(s);
    for (std::size_t b = 0; b < s.block_count; ++b)
        for (std::size_t l = 0; l < K::width; ++l) K::store(blocks[b], l, *blocks[b].module[l]);
    s.block_count = s.laned_count = 0;
    s.stale = true;
}

template <class K>
void lanes_tick(const module_ptr* list, std::size_t n, lane_store& s) {
    using T = typename K::module;
    const std::uint32_t now = changes_seen();
    auto at = [list](std::size_t i) -> T& { return *static_cast<T*>(list[i].get()); };
    if (s.stale || now != s.seen) {
        // The objects take their state back, tick on their own once (working
        // out what changed) and the lanes are planned again from what they saw.
        lanes_write_back<K>(s);
        for (std::size_t i = 0; i < n; ++i) {
            at(i).tick(now);
            s.eligible[i] = K::eligible(at(i));
        }
        plan_lanes(list, n, type_of(K::kind), s, K::width);
        s.newly_eligible = 0;
        auto* blocks = lane_blocks<typename K::block>(s);
        s.block_count = s.laned_count / K::width;
        s.spare_used = 0;
        for (std::size_t j = 0; j < s.laned_count; ++j)
            K::load(blocks[j / K::width], j % K::width, at(s.laned[j]), s);
        s.seen = now;
        s.stale = false;
        return;
    }
    auto* blocks = lane_blocks<typename K::block>(s);
    const std::size_t before = s.before_count / K::width;
    K::run(blocks, before);
    for (std::size_t j = 0; j < s.leftover_count; ++j) {
        T& m = at(s.leftovers[j]);
        m.tick(now);
        // Modules that become eligible by themselves (oscillators whose cycle
        // is now recorded whole) join the lanes at the next plan, made once
        // they may fill a block.
        if (!s.eligible[s.leftovers[j]] && K::eligible(m)) {
            s.eligible[s.leftovers[j]] = 1;
            if (++s.newly_eligible >= s.short_of_block) s.stale = true;
        }
    }
    K::run(blocks + before, s.block_count - before);
}

// The outputs of four or eight lanes, each into its module's value; taken
// from the register lane by lane, not through memory (a wide store read back
// a float at a time waits for the store).
[[gnu::target("avx2")]] inline void store_lanes(sample_value* const* dst, __m128 v) {
    dst[0]->store(_mm_cvtss_f32(v));
    dst[1]->store(_mm_cvtss_f32(_mm_movehdup_ps(v)));
    dst[2]->store(_mm_cvtss_f32(_mm_movehl_ps(v, v)));
    dst[3]->store(_mm_cvtss_f32(_mm_shuffle_ps(v, v, 3)));
}
[[gnu::target("avx2")]] inline void store_lanes(sample_value* const* dst, __m256 v) {
    store_lanes(dst, _mm256_castps256_ps128(v));
    store_lanes(dst + 4, _mm256_extractf128_ps(v, 1));
}

// The row entry of a type with lanes.
struct lane_kernel {
    std::size_t block_bytes;
    std::size_t width;
    std::size_t spare_bytes;
    void (*tick)(const module_ptr*, std::size_t, lane_store&);
    void (*write_back)(lane_store&);
};

template <class K>
constexpr lane_kernel lane_kernel_of() {
    return {sizeof(typename K::block), K::width, K::spare_bytes, lanes_tick<K>,
            lanes_write_back<K>};
}

} // namespace tmod
