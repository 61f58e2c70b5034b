// Definition of tick_list, included by each module source that instantiates it.
#pragma once

#include "engine/module_types.hpp"

namespace tmod {

// Flattened, so that each module's compute is inlined into the loop over its list.
template <class T>
[[gnu::flatten]] void tick_list(const module_ptr* list, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) static_cast<T*>(list[i].get())->T::compute();
}

} // namespace tmod
