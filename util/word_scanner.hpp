// Reads the whitespace-separated words and numbers of the text data files
// (patches, RC layouts, the image bundle, the font list) the way "%s", "%d" and
// "%f" conversions would, but bounded: an over-long word is cut (the rest of it
// is consumed, and the caller is told), numbers saturate, and a failed
// conversion consumes nothing, so the failing word is read again as the next
// word. Every call that returns true has consumed at least one character, so
// loops over a scanner always end.
#pragma once

#include <cstddef>
#include <string>

namespace tmod {

class word_scanner {
  public:
    // Longest word the toolkit's files keep; longer words are cut.
    static constexpr std::size_t max_word = 459;

    explicit word_scanner(std::string text, std::size_t longest = max_word)
        : text_(std::move(text)), longest_(longest) {}

    // Next non-blank run of characters, cut to the longest word (`cut` says
    // whether it was); false at the end of the text.
    bool word(std::string& out, bool* cut = nullptr);
    // Optional sign and decimal digits; false (nothing consumed) without digits.
    bool integer(int& out);
    // A decimal real number as strtod reads it; false (nothing consumed) without one.
    bool real(float& out);
    // True when only blanks remain.
    bool at_end();

  private:
    void skip_blanks();

    std::string text_;
    std::size_t longest_;
    std::size_t pos_ = 0;
};

// Reads a whole text file, at most max_bytes of it (larger files are cut and a
// note is printed). False when the file cannot be opened.
bool read_text_file(const char* path, std::string& out, std::size_t max_bytes = 8u << 20);

} // namespace tmod
