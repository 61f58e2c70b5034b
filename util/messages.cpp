#include "util/messages.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace tmod {

namespace {

std::mutex& sink_lock() {
    static std::mutex m;
    return m;
}
message_sink& current_sink() {
    static message_sink s;
    return s;
}

}  // namespace

void say(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::lock_guard<std::mutex> hold(sink_lock());
    message_sink& sink = current_sink();
    if (!sink) {
        std::vprintf(format, args);
        va_end(args);
        return;
    }
    std::va_list again;
    va_copy(again, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (n >= static_cast<int>(sizeof small)) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<std::size_t>(n));
    } else if (n > 0) {
        text.assign(small, static_cast<std::size_t>(n));
    }
    va_end(again);
    va_end(args);
    if (!text.empty()) sink(text);
}

bool trace_enabled() {
    static const bool on = [] {
        const char* v = std::getenv("TM_TRACE");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return on;
}

void trace(const char* format, ...) {
    if (!trace_enabled()) return;
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

message_sink set_message_sink(message_sink sink) {
    std::lock_guard<std::mutex> hold(sink_lock());
    message_sink previous = std::move(current_sink());
    current_sink() = std::move(sink);
    return previous;
}

struct message_capture::state {
    mutable std::mutex lock;
    std::string text;
};

message_capture::message_capture(bool echo) : state_(std::make_shared<state>()) {
    std::shared_ptr<state> s = state_;
    // The previous sink is only known once this one is in; echo reads it from
    // a shared slot filled right after the swap, under the sink lock.
    auto forward = std::make_shared<message_sink>();
    previous_ = set_message_sink([s, forward, echo](const std::string& text) {
        {
            std::lock_guard<std::mutex> hold(s->lock);
            s->text += text;
        }
        if (!echo) return;
        if (*forward)
            (*forward)(text);
        else
            std::fwrite(text.data(), 1, text.size(), stdout);
    });
    std::lock_guard<std::mutex> hold(sink_lock());
    *forward = previous_;
}

message_capture::~message_capture() { set_message_sink(std::move(previous_)); }

std::string message_capture::text() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->text;
}

std::vector<std::string> message_capture::lines() const {
    const std::string all = text();
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(all.substr(start));
            break;
        }
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace tmod
