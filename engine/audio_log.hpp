// Messages from the audio thread. The audio path must not print (printing can
// block), so a module posts a format and one integer into a fixed ring, and
// whoever drives the engine (render loop, headless loop, editor) prints them.
// Single producer (the audio thread), single consumer.
#pragma once

namespace tmod {

// Real-time safe: never blocks or allocates; a full ring drops the message.
// The format must be a string literal with one %d.
void audio_log_post(const char* format, int argument);

// Prints the pending messages on standard output; returns how many.
int audio_log_flush();

} // namespace tmod
