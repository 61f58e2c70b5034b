// Tokenizer over a text and one separator character. It refers to the text
// without copying it: the text must outlive the parser.
//
// count() is the number of separator characters (not the number of items);
// get(i) is the text from just after the i-th separator (the start for i = 0) up
// to the next separator or the end, and is empty ("nothing") when that item is
// empty or starts at the end of the text. With ';', "A=1;B=2;" has count 2 and
// items "A=1", "B=2"; "A=1;B=2" has count 1 and item 1 is still "B=2".
#pragma once

#include <string>
#include <string_view>

namespace tmod {

class tstr_parser {
  public:
    tstr_parser(std::string_view text, char separator);

    int count() const { return count_; }
    std::string_view get(int index) const;
    std::string get_copy(int index) const { return std::string(get(index)); }

  private:
    std::string_view text_;
    char separator_;
    int count_ = 0;
};

} // namespace tmod
