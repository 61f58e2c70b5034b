#!/usr/bin/python3
"""Writes data/sounds/guitare.wav: a plucked string (Karplus-Strong) on A4.

The sampler plays a file at its own pitch when IN carries 440 Hz, so the
string is tuned to 440 Hz: a keyboard on IN then plays it in tune. Standard
library only; a fixed seed makes the file identical on every run.

    /usr/bin/python3 tools/make_guitare.py [OUT.wav]
"""

import os
import struct
import sys
import wave

RATE = 44100
PITCH = 440.0
SECONDS = 3.0
SEED = 20240611


class Lcg:
    """A small generator of our own, so the noise never depends on Python's version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def uniform(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 2147483648.0 - 1.0


def pluck():
    # The loop delays by N samples, half a sample in the averaging filter and
    # a fractional part in a first-order all-pass: together one period.
    period = RATE / PITCH
    n = int(period - 0.5)
    frac = period - 0.5 - n
    allpass = (1.0 - frac) / (1.0 + frac)
    loss = 0.9985  # per trip round the loop: about -6 dB a second

    rnd = Lcg(SEED)
    # The excitation: noise, softened by a one-pole low-pass (a pick, not a
    # hammer) and combed at a fifth of the string (where it was plucked).
    noise, last = [], 0.0
    for _ in range(n):
        last = 0.6 * last + 0.4 * rnd.uniform()
        noise.append(last)
    pick = n // 5
    line = [noise[i] - (noise[i - pick] if i >= pick else 0.0) for i in range(n)]

    out = []
    pos, prev, ap_x1, ap_y1 = 0, 0.0, 0.0, 0.0
    total = int(SECONDS * RATE)
    for i in range(total):
        current = line[pos]
        averaged = loss * 0.5 * (current + prev)
        prev = current
        tuned = allpass * averaged + ap_x1 - allpass * ap_y1
        ap_x1, ap_y1 = averaged, tuned
        line[pos] = tuned
        pos = (pos + 1) % n
        out.append(current)

    # A short fade so the file does not end on a click.
    fade = int(0.05 * RATE)
    for i in range(fade):
        out[total - fade + i] *= 1.0 - i / fade
    # No DC: the comb and the noise leave a small offset, which a one-pole
    # high-pass at about 20 Hz removes.
    clean, x1, y1 = [], 0.0, 0.0
    for x in out:
        y1 = x - x1 + 0.997 * y1
        x1 = x
        clean.append(y1)
    peak = max(abs(x) for x in clean)
    return [x * 0.8 / peak for x in clean]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "sounds", "guitare.wav")
    frames = b"".join(struct.pack("<h", int(round(x * 32767))) for x in pluck())
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    with wave.open(target, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)
    print("wrote", target)


if __name__ == "__main__":
    main()
