#include "util/word_scanner.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tmod {
namespace {

bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

void word_scanner::skip_blanks() {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
}

bool word_scanner::at_end() {
    skip_blanks();
    return pos_ >= text_.size();
}

bool word_scanner::word(std::string& out, bool* cut) {
    out.clear();
    skip_blanks();
    if (pos_ >= text_.size()) return false;
    std::size_t start = pos_;
    while (pos_ < text_.size() && !is_blank(text_[pos_])) ++pos_;
    std::size_t n = pos_ - start;
    out.assign(text_, start, n < longest_ ? n : longest_);
    if (cut) *cut = n > longest_;
    return true;
}

bool word_scanner::integer(int& out) {
    skip_blanks();
    std::size_t p = pos_;
    bool negative = false;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) negative = text_[p++] == '-';
    if (p >= text_.size() || !is_digit(text_[p])) return false;
    long long value = 0;
    while (p < text_.size() && is_digit(text_[p])) {
        if (value <= INT_MAX) value = value * 10 + (text_[p] - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    out = static_cast<int>(value);
    pos_ = p;
    return true;
}

bool word_scanner::real(float& out) {
    skip_blanks();
    if (pos_ >= text_.size()) return false;
    // strtod needs a terminated text; a number is never longer than a word.
    std::size_t end = pos_;
    while (end < text_.size() && !is_blank(text_[end]) && end - pos_ < 64) ++end;
    std::string number(text_, pos_, end - pos_);
    char* stop = nullptr;
    double v = std::strtod(number.c_str(), &stop);
    std::size_t used = static_cast<std::size_t>(stop - number.c_str());
    if (used == 0) return false;
    if (v != v) v = 0.0; // "nan" is a number to strtod, not to a layout
    if (v > 3.4e38) v = 3.4e38;
    if (v < -3.4e38) v = -3.4e38;
    out = static_cast<float>(v);
    pos_ += used;
    return true;
}

bool read_text_file(const char* path, std::string& out, std::size_t max_bytes) {
    out.clear();
    if (!path) return false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (out.size() + n > max_bytes) {
            out.append(buffer, max_bytes - out.size());
            say("[%s] is larger than %zu bytes: the rest is ignored\n",
                escaped_controls(path).c_str(), max_bytes);
            break;
        }
        out.append(buffer, n);
    }
    std::fclose(f);
    return true;
}

} // namespace tmod
