#include "util/tstr_parser.hpp"

namespace tmod {

tstr_parser::tstr_parser(std::string_view text, char separator)
    : text_(text), separator_(separator) {
    for (char c : text_)
        if (c == separator_) ++count_;
}

std::string_view tstr_parser::get(int index) const {
    if (index < 0) return {};
    std::size_t start = 0;
    for (int seen = 0; seen < index; ++seen) {
        std::size_t next = text_.find(separator_, start);
        if (next == std::string_view::npos) return {};
        start = next + 1;
    }
    if (start >= text_.size()) return {};
    std::size_t end = text_.find(separator_, start);
    if (end == std::string_view::npos) end = text_.size();
    return text_.substr(start, end - start);
}

} // namespace tmod
