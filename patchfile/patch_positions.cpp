#include "patchfile/patch_positions.hpp"

#include <cstdio>
#include <string>

#include "util/text.hpp"
#include "util/word_scanner.hpp"

namespace tmod {

std::vector<saved_place> read_positions(const char* path) {
    std::vector<saved_place> places;
    std::string text;
    if (!is_regular_file(path) || !read_text_file(path, text)) return places;
    word_scanner words(std::move(text));
    std::string word;
    while (words.word(word))
        if (word == "BEGIN_OBJECTS_POSITION_DECLARE") break;
    while (words.word(word) && word != "END_OBJECTS_POSITION_DECLARE") {
        int rank = 0, x = 0, y = 0;
        char end = 0;
        if (std::sscanf(word.c_str(), "%d;%d;%d%c", &rank, &x, &y, &end) != 3 ||
            rank != static_cast<int>(places.size()))
            return {};
        places.push_back({x, y});
    }
    return places;
}

} // namespace tmod
