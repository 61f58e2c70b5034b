// Definition of tick_list, included by each module source that instantiates it.
#pragma once

#include <type_traits>
#include <utility>

#include "engine/module_types.hpp"

namespace tmod {

namespace detail {
// Modules that cache what they derive take the change count as read once for
// the whole list; the others compute on their own.
template <class T, class = void>
struct has_tick : std::false_type {};
template <class T>
struct has_tick<T, std::void_t<decltype(std::declval<T&>().tick(0u))>> : std::true_type {};
} // namespace detail

// Flattened, so that each module's compute is inlined into the loop over its list.
template <class T>
[[gnu::flatten]] void tick_list(const module_ptr* list, std::size_t count) {
    if constexpr (detail::has_tick<T>::value) {
        const std::uint32_t now = changes_seen();
        for (std::size_t i = 0; i < count; ++i) static_cast<T*>(list[i].get())->tick(now);
    } else {
        for (std::size_t i = 0; i < count; ++i) static_cast<T*>(list[i].get())->T::compute();
    }
}

} // namespace tmod
