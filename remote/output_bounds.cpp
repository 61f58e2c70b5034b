#include "remote/output_bounds.hpp"

#include "util/text.hpp"

namespace tmod {

std::string shown_line(std::string_view line) {
    if (line.size() <= shown_line_bytes) return escaped_controls(line);
    std::string s = escaped_controls(line.substr(0, shown_line_bytes));
    s += "...(cut, " + std::to_string(line.size()) + " bytes)";
    return s;
}

output_budget::verdict output_budget::take(clock::time_point now) {
    if (!open_ || now - window_ >= std::chrono::seconds(1)) {
        open_ = true;
        window_ = now;
        taken_ = 0;
    }
    ++taken_;
    if (taken_ <= lines_per_second) return verdict::show;
    return taken_ == lines_per_second + 1 ? verdict::notice : verdict::quiet;
}

std::string output_budget::notice_text() {
    return "Remote control: more than " + std::to_string(lines_per_second) +
           " lines a second on one connection; the rest of this second is not shown";
}

} // namespace tmod
