#include "engine/signal.hpp"

#include <memory>
#include <mutex>
#include <vector>

#include "util/text.hpp"

namespace tmod {

std::atomic<std::uint32_t> change_count{0};

namespace {
// Cells are handed out lowest free first, so a patch loaded after another
// was cleared fills the same lines again in its own order.
class value_pool {
  public:
    sample_value& take() {
        std::lock_guard<std::mutex> hold(mutex_);
        while (lowest_free_ < used_.size() && used_[lowest_free_]) ++lowest_free_;
        if (lowest_free_ == used_.size()) {
            chunks_.emplace_back(new line[lines_per_chunk]);
            used_.resize(used_.size() + cells_per_chunk, false);
        }
        const std::size_t i = lowest_free_++;
        used_[i] = true;
        sample_value& cell = chunks_[i / cells_per_chunk][i % cells_per_chunk / 16].cells[i % 16];
        cell = 0.0f;
        return cell;
    }
    void give(sample_value& cell) {
        std::lock_guard<std::mutex> hold(mutex_);
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            const sample_value* first = chunks_[c][0].cells;
            if (&cell >= first && &cell < first + cells_per_chunk) {
                const std::size_t i = c * cells_per_chunk + static_cast<std::size_t>(&cell - first);
                used_[i] = false;
                if (i < lowest_free_) lowest_free_ = i;
                return;
            }
        }
    }

  private:
    struct alignas(64) line {
        sample_value cells[16];
    };
    static constexpr std::size_t lines_per_chunk = 256;
    static constexpr std::size_t cells_per_chunk = lines_per_chunk * 16;
    std::mutex mutex_;
    std::vector<std::unique_ptr<line[]>> chunks_;
    std::vector<bool> used_;
    std::size_t lowest_free_ = 0;
};

// Never destroyed: modules made by static objects may outlive any order of
// destruction at exit.
value_pool& pool() {
    static value_pool* p = new value_pool;
    return *p;
}
} // namespace

sample_value& take_value_cell() {
    return pool().take();
}

void give_value_cell(sample_value& cell) {
    pool().give(cell);
}

void OUTPUT::set_name(std::string_view text) {
    copy_text(name, module_name_capacity, text);
}

} // namespace tmod
