#include "editor/editor_layout.hpp"

#include <algorithm>
#include <cctype>

#include "editor/module_rows.hpp"

namespace tmod {

int clamp_scroll_x(int x) {
    return std::clamp(x, 0, scroll_max_x);
}

int clamp_scroll_y(int y) {
    return std::clamp(y, 0, scroll_max_y);
}

int snap_to_grid(int v) {
    return v - v % 32;
}

panel_box palette_spot(const std::vector<panel_box>& taken, int w, int h, int scroll_x,
                       int scroll_y, int view_w, int view_h, int index) {
    auto free = [&](int x, int y) {
        for (const panel_box& t : taken)
            if (x < t.x + t.w && t.x < x + w && y < t.y + t.h && t.y < y + h) return false;
        return true;
    };
    const int left = scroll_x + 10, top = scroll_y + dashboard_band;
    for (int y = top; y + h <= scroll_y + view_h; y += 32)
        for (int x = left; x + w <= scroll_x + view_w; x += 32)
            if (free(x, y)) return {x, y, w, h};
    return {left, top + 64 * index, w, h};
}

std::vector<panel_spot> column_layout(const std::size_t (&counts)[module_kind_count],
                                      const int (&heights)[module_kind_count]) {
    std::vector<panel_spot> spots;
    int column = 0;
    int top = dashboard_band; // below the panels of a type that shares its column
    for (module_kind kind : column_order) {
        const int k = index_of(kind);
        if (counts[k] == 0) continue;
        for (std::size_t i = 0; i < counts[k]; ++i)
            spots.push_back({kind, i, column, top + static_cast<int>(i) * heights[k]});
        const int width = row_of(kind).column_width;
        column += width;
        top = width == 0 ? top + static_cast<int>(counts[k]) * heights[k] : dashboard_band;
    }
    return spots;
}

panel_box clamp_into_world(panel_box b, int view_w, int view_h) {
    b.x = std::clamp(b.x, 0, std::max(0, scroll_max_x + view_w - b.w));
    b.y = std::clamp(b.y, dashboard_band, std::max(dashboard_band, scroll_max_y + view_h - b.h));
    return b;
}

int dialog_scroll(int first, int direction, int names) {
    const int last_first = std::max(0, names - dialog_rows);
    return std::clamp(first + direction, 0, last_first);
}

std::string typed_file_name(const std::string& typed, const char* extension, std::string& why) {
    constexpr std::size_t longest = 120;
    why.clear();
    if (typed.empty()) {
        why = "type a name";
    } else if (typed.size() > longest) {
        why = "a name has at most 120 characters";
    } else if (typed.find('/') != std::string::npos || typed.find('\\') != std::string::npos) {
        why = "a name cannot hold \"/\": it stays in its folder";
    } else if (typed.find("..") != std::string::npos || typed[0] == '.') {
        why = "a name cannot start with \".\" or hold \"..\"";
    } else {
        for (unsigned char c : typed) {
            const bool allowed = std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80;
            if (allowed) continue;
            if (c == ' ')
                why = "a name is one word, without blanks";
            else if (c < 32 || c == 127)
                why = "a name cannot hold control characters";
            else
                why = std::string("a name cannot hold \"") + static_cast<char>(c) +
                      "\": only letters, digits, _ - and .";
            break;
        }
    }
    if (!why.empty()) return {};
    return typed.find('.') == std::string::npos ? typed + extension : typed;
}

} // namespace tmod
