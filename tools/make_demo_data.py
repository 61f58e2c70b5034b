#!/usr/bin/python3
"""Writes the scripted notes of the demo patches (data/TSY/*.events) and the
partition file of the sequencer demo (data/PARTITIONS/demo_bassline.PAR).

Events are "SECONDS COMMAND" lines applied to the keyboard "KEY_1". The demo
keyboards have OCTAVE=4, so "TRIG n" plays table entry n - 38 + 48, which is
MIDI note n + 21: the helpers below take MIDI notes.

    /usr/bin/python3 tools/make_demo_data.py
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")

NAMES = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6,
         "Gb": 6, "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11}


def midi(name):
    """"A4" -> 69."""
    pitch, octave = name[:-1], int(name[-1])
    return 12 * (octave + 1) + NAMES[pitch]


def trig(name):
    return midi(name) - 21


# ---- events ---------------------------------------------------------------


def phrase(notes, start=0.0):
    """(name, start beat offset in seconds, duration) -> event lines."""
    lines = []
    for name, at, length in notes:
        lines.append((start + at, "TRIG %d" % trig(name)))
        lines.append((start + at + length, "UNTRIG %d" % trig(name)))
    return lines


def write_events(name, header, lines):
    path = os.path.join(DATA, "TSY", name + ".events")
    with open(path, "w") as f:
        f.write("# %s\n" % header)
        f.write("# Written by tools/make_demo_data.py; KEY_1 has OCTAVE=4: TRIG n is MIDI note n + 21.\n")
        for at, command in sorted(lines, key=lambda e: e[0]):
            f.write("%.3f %s\n" % (at, command))


def events():
    # A keyboard melody in A minor, legato and staccato notes.
    tune = [("A3", 0.0, 0.45), ("C4", 0.5, 0.45), ("E4", 1.0, 0.45), ("A4", 1.5, 0.9),
            ("G4", 2.5, 0.2), ("E4", 2.75, 0.2), ("D4", 3.0, 0.45), ("C4", 3.5, 0.45),
            ("B3", 4.0, 0.45), ("G3", 4.5, 0.45), ("A3", 5.0, 1.6)]
    write_events("demo_subtractive", "Subtractive voice: a melody in A minor.", phrase(tune))
    write_events("moog3", "Three-oscillator voice: a slow bass figure.",
                 phrase([("A2", 0.0, 0.8), ("E2", 1.0, 0.8), ("G2", 2.0, 0.8), ("D2", 3.0, 1.5)]))

    # The bassline runs by itself; a keyboard note restarts the pattern.
    write_events("demo_bassline", "Sequencer bassline: KEY_1 restarts the pattern (SYNC).",
                 [(0.0, "TRIG 48"), (0.1, "UNTRIG 48")])

    # FAKE303 steps every sixteenth; the keyboard gate cuts a rhythm out of it.
    sixteenth = 0.125  # at --tempo 120
    rhythm = [0, 3, 6, 8, 10, 11, 14]
    lines = []
    for bar in range(4):
        for step in rhythm:
            at = (bar * 16 + step) * sixteenth
            lines += [(at, "TRIG 48"), (at + 0.1, "UNTRIG 48")]
    write_events("demo_fake303", "FAKE303 groove at --tempo 120: the gate plays a rhythm of sixteenths.",
                 lines)

    # An UNTRIG releases the keyboard whatever note it names: notes must not overlap.
    arpeggio = [("A4", 0.0, 0.45), ("E4", 0.5, 0.45), ("C5", 1.0, 0.45), ("A4", 1.5, 0.45),
                ("D5", 2.0, 0.45), ("A4", 2.5, 0.45), ("E5", 3.0, 2.0)]
    write_events("demo_sampler", "Sampler played from the keyboard: a plucked arpeggio.", phrase(arpeggio))

    pad = [("A3", 0.0, 2.5), ("F3", 3.0, 2.5), ("C4", 6.0, 2.0)]
    write_events("demo_delay_phaser", "Delay and phaser texture: three long pad notes.", phrase(pad))

    duet = [("E3", 0.0, 0.9), ("G3", 1.0, 0.9), ("A3", 2.0, 0.9), ("C4", 3.0, 1.8)]
    write_events("demo_nested", "Nested patches: each note sounds with its fifth.", phrase(duet))

    vowels = [("A2", 0.0, 2.7), ("C3", 3.0, 2.7), ("E2", 6.0, 1.8)]
    write_events("demo_formant", "Formant pad: sung vowels on three notes.", phrase(vowels))

    # The chord's root sounds a fourth below the key (voices at 3/4, 9/8, 27/16, 81/32).
    chords = [("F3", 0.0, 1.9), ("D3", 2.0, 1.9), ("Bb2", 4.0, 1.9), ("C3", 6.0, 1.9)]
    write_events("demo_multi_vco", "MULTI_VCO chords: C, A, F, G stacked in fifths.", phrase(chords))

    write_events("demo_micro", "MICRO patch: the keyboard oscillator (the input only adds a drone).",
                 phrase([("A3", 0.0, 1.0), ("E4", 1.5, 1.0), ("A4", 3.0, 1.5)]))


# ---- partition file -------------------------------------------------------

PATTERNS, STEPS = 64, 64


def partition(patterns):
    """patterns: {number: (divider, [(entry or None, length, slide), ...])}.

    The sequencer's output carries the step that plays next, so the pitch,
    length and slide heard on step k are stored on step k + 1 (the step after
    the last included); only the volume, which decides the trigger, stays on k.
    """
    divider = [2.0] * PATTERNS
    max_step = [32] * PATTERNS
    length = [[1.0] * STEPS for _ in range(PATTERNS)]
    bypass = [[0] * STEPS for _ in range(PATTERNS)]
    note = [[10] * STEPS for _ in range(PATTERNS)]
    octave = [[3] * STEPS for _ in range(PATTERNS)]
    vol = [[1.0] * STEPS for _ in range(PATTERNS)]
    slide = [[0] * STEPS for _ in range(PATTERNS)]
    accent = [[0] * STEPS for _ in range(PATTERNS)]
    for p, (div, steps) in patterns.items():
        divider[p] = div
        max_step[p] = len(steps)
        pitch = next(e for e, _, _ in reversed(steps) if e)
        note[p][0], octave[p][0] = pitch % 12, pitch // 12
        for k, (entry, gate, glide) in enumerate(steps):
            vol[p][k] = 1.0 if entry else 0.9
            pitch = entry or pitch
            note[p][k + 1], octave[p][k + 1] = pitch % 12, pitch // 12
            length[p][k + 1] = gate
            slide[p][k + 1] = 1 if glide else 0
    out = struct.pack("<64f", *divider) + struct.pack("<64i", *max_step)
    for table, code in ((length, "f"), (bypass, "i"), (note, "i"), (octave, "i"), (vol, "f"),
                        (slide, "i"), (accent, "i")):
        for row in table:
            out += struct.pack("<64" + code, *row)
    assert len(out) == 115200
    return out


def bassline():
    # Note-table entries: A1 = 22 (55 Hz), E1 = 17, G1 = 20, C2 = 25, D2 = 27,
    # E2 = 29, G2 = 32, A2 = 34. None is a rest.
    A1, C2, D2, E2, G2, A2, E1, G1 = 22, 25, 27, 29, 32, 34, 17, 20
    s, l, r = 0.5, 0.9, None
    bar1 = [(A1, s, 0), (r, s, 0), (A2, s, 0), (A1, s, 0), (r, s, 0), (A1, s, 0), (C2, l, 1), (A1, s, 0),
            (G1, s, 0), (r, s, 0), (A1, s, 0), (A2, s, 0), (E2, s, 0), (D2, s, 0), (C2, s, 0), (A1, l, 1)]
    bar2 = [(A1, s, 0), (r, s, 0), (A2, s, 0), (A1, s, 0), (r, s, 0), (A1, s, 0), (C2, s, 0), (D2, l, 1),
            (E2, s, 0), (r, s, 0), (G2, s, 0), (E2, s, 0), (D2, s, 0), (C2, s, 0), (G1, s, 0), (E1, l, 1)]
    return partition({0: (4.0, bar1 + bar2)})


def main():
    events()
    os.makedirs(os.path.join(DATA, "PARTITIONS"), exist_ok=True)
    with open(os.path.join(DATA, "PARTITIONS", "demo_bassline.PAR"), "wb") as f:
        f.write(bassline())
    print("wrote the demo events and data/PARTITIONS/demo_bassline.PAR")


if __name__ == "__main__":
    main()
