// Definition of tick_list, included by each module source that instantiates it.
#pragma once

#include "engine/module_types.hpp"

namespace tmod {

template <class T>
void tick_list(const module_ptr* list, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) static_cast<T*>(list[i].get())->T::compute();
}

} // namespace tmod
