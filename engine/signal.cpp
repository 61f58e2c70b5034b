#include "engine/signal.hpp"

#include "util/text.hpp"

namespace tmod {

std::atomic<std::uint32_t> change_count{0};

void OUTPUT::set_name(std::string_view text) {
    copy_text(name, module_name_capacity, text);
}

} // namespace tmod
