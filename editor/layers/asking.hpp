// The layers that wait for the user's answer: a line typed in a prompt, a
// key for a question. Both draw over the patch view, which goes on showing
// the sound; both take every key and button, so no note plays while the user
// answers. A line read from standard input answers them too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "editor/layers/layer.hpp"

namespace tmod {

class editor_host;

class asking_layer : public layer {
  public:
    explicit asking_layer(editor_host& e) : ed_(e) {}
    // A line from standard input, as if typed and confirmed.
    virtual void answer(const std::string& line) = 0;
    // The band of the box, after any event or change.
    void find_damage(damage& d, int result) override;
    bool opaque() const override { return false; }

  protected:
    // The box of the layer's lines, across the window's middle.
    void draw_box(const std::string& first, const std::string& second,
                  const std::string& third) const;
    editor_host& ed_;
    bool changed_ = true;
};

// A name (or any line) typed in the window. `accept` gets the text on Enter:
// it returns an empty string when it took the answer (the prompt closes), or
// why it did not (said under the field; the prompt stays open). Esc calls
// `cancelled` and closes.
class prompt : public asking_layer {
  public:
    using acceptor = std::function<std::string(const std::string&)>;
    prompt(editor_host& e, std::string question, std::string text, acceptor accept,
           std::function<void()> cancelled = {});

    bool handle(SDL_Event& e, int& result) override;
    void answer(const std::string& line) override;
    void draw(const screen_rect& region) override;

  private:
    void enter(const std::string& text);
    // Byte positions of the characters before and after `at` (UTF-8).
    std::size_t previous_character(std::size_t at) const;
    std::size_t next_character(std::size_t at) const;

    std::string question_, text_, refused_;
    std::size_t cursor_;
    acceptor accept_;
    std::function<void()> cancelled_;
};

// A question answered by one key ("replace x.tsy? (y/n)"). A key that is
// no choice is ignored; Esc calls `cancelled` and closes.
class question : public asking_layer {
  public:
    struct choice {
        char key; // a lower-case letter
        std::function<void()> act;
    };
    question(editor_host& e, std::string text, std::vector<choice> choices,
             std::function<void()> cancelled = {});

    bool handle(SDL_Event& e, int& result) override;
    void answer(const std::string& line) override;
    void draw(const screen_rect& region) override;

  private:
    bool choose(char key);

    std::string text_;
    std::vector<choice> choices_;
    std::function<void()> cancelled_;
};

} // namespace tmod
