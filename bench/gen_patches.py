#!/usr/bin/env python3
"""Writes the benchmark patches (and the voice case's events) into a directory.

The graphs are those the peer engines render (see ../shared/peers):
  osc   : 256 sine VCOs at 100 + 31*i Hz, summed through MIXERs
  voice : 128 x (saw VCO -> low-pass VCF, Q 4 -> VCA, 5 ms attack, 400 ms
          decay), retriggered every 500 ms by scripted notes, summed
  all   : one module of every type, wired into one signal chain
  mixed : 20 000 modules of the common types, each fed by the one before
          (the editor's memory benchmark)
Usage: gen_patches.py OUT_DIR [SECONDS]
"""
import os
import sys

N_OSC = 256
N_VOICE = 128
GROUP = 16  # channels per mixer


def osc_freq(i):
    return 100.0 + 31.0 * i


def voice_freq(i):
    return round(55.0 + 3.7 * i, 3)


def voice_cutoff(i):
    return 500 + 20 * i


def mixer_tree(sources, objects, links):
    """Sums the sources through mixers of GROUP channels; returns the root's name."""
    level = 0
    while len(sources) > 1:
        parents = []
        for g in range(0, len(sources), GROUP):
            name = "MIXER_L%d_%d" % (level, g // GROUP)
            objects.append(name + ";;")
            links.append(name + ";" + "".join("ADD_CHANELL=%s;" % s for s in sources[g:g + GROUP]))
            parents.append(name)
        sources = parents
        level += 1
    return sources[0]


def patch_text(objects, links):
    return ("BEGIN_OBJECTS_DECLARE\n\n" + "\n".join(objects) + "\nEND_OBJECTS_DECLARE\n\n"
            "BEGIN_LINKS_DECLARE\n" + "\n".join(links) + "\nEND_LINKS_DECLARE\n")


def osc_patch():
    objects, links = [], []
    names = []
    for i in range(N_OSC):
        name = "VCO_%d" % (i + 1)
        objects.append("%s;TYPE=1;FREQ=%f;AMOUNT=1.00;PHASE=0;" % (name, osc_freq(i)))
        names.append(name)
    root = mixer_tree(names, objects, links)
    objects.append("SOUND_OUTPUT_1;;")
    links.append("SOUND_OUTPUT_1;IN=%s;" % root)
    return patch_text(objects, links)


def voice_patch():
    objects, links = ["KEY_1;OCTAVE=4;"], []
    names = []
    for i in range(N_VOICE):
        vco, vcf, vca = "VCO_%d" % (i + 1), "VCF_%d" % (i + 1), "VCA_%d" % (i + 1)
        objects.append("%s;TYPE=3;FREQ=%f;AMOUNT=1.00;PHASE=0;" % (vco, voice_freq(i)))
        # GAIN 0 dB; it also sets the output level to 0, so the VCF outputs its filter.
        objects.append("%s;HICUT=%d;Q=4.000000;GAIN=0.000000;TYPE=1;BYPASS=0;" % (vcf, voice_cutoff(i)))
        objects.append("%s;BYPASS=0;ATTACK=5;DECAY=400;SUSTAIN=0;RELEASE=0;INVERT=0;" % vca)
        links.append("%s;IN=%s;" % (vcf, vco))
        links.append("%s;IN=%s;GATE=KEY_1;" % (vca, vcf))
        names.append(vca)
    root = mixer_tree(names, objects, links)
    objects.append("SOUND_OUTPUT_1;;")
    links.append("SOUND_OUTPUT_1;IN=%s;" % root)
    return patch_text(objects, links)


def voice_events(seconds):
    # The gate closes one frame before each new note, so every note restarts
    # the envelope's attack.
    lines, t = [], 0.0
    while t < seconds:
        if t > 0:
            lines.append("%.6f UNTRIG 60" % (t - 1.0 / 44100))
        lines.append("%.6f TRIG 60" % t)
        t += 0.5
    return "\n".join(lines) + "\n"


def all_patch(partition):
    objects = [
        "KEY_1;OCTAVE=3;",
        "SEQUENCER_1;PARTITION_FILE_NAME=%s;" % partition,
        "CONSTANTE_1;VALUE=1;",
        "VCO_1;TYPE=3;FREQ=44.000000;AMOUNT=1.00;PHASE=0;",
        "MULTI_VCO_1;TYPE=1;FREQ=44.000000;AMOUNT=0.80;PHASE=0;",
        "FAKE303_1;TYPE=1;FREQ=110.000000;AMOUNT=0.80;PHASE=0;",
        "SAMPLER_1;FILE=sounds/guitare.wav;",
        "MICRO_1;;",
        "VCF_1;HICUT=1200;Q=2.000000;GAIN=0.000000;TYPE=1;BYPASS=0;",
        "VCF303_1;HICUT=1400;Q=0.995000;MIX=8.000000;BYPASS=0;",
        "FORMANT_VCF_1;GAIN=1;VOWELNUM=2;BYPASS=0;",
        "VCA_1;BYPASS=0;ATTACK=5;DECAY=300;SUSTAIN=0;RELEASE=100;INVERT=0;",
        "MIXER_1;;",
        "SFX_DELAY_1;DELAY=11025.000;VOLUME=0.600;",
        "PHASER_1;RATE=0.300000;DEPTH=1.000000;FEEDBACK=0.700000;HI=1600.000000;LOW=440.000000;BYPASS=0;",
        "BASIC_OPERATION_1;TYPE=4;",
        "VARIABLE_1;;",
        "AFFICHAGE_1;;",
        "GENERATOR_1;FILE=TSY/EMPTY.tsy;",
        "SOUND_INPUT_1;;",
        "SOUND_OUTPUT_1;;",
    ]
    links = [
        "SEQUENCER_1;SYNC=KEY_1;",
        "VCO_1;IN=SEQUENCER_1;",
        "MULTI_VCO_1;IN=KEY_1;",
        "VCF_1;IN=VCO_1;GATE=SEQUENCER_1;",
        "VCF303_1;IN=VCF_1;SYNC=SEQUENCER_1;",
        "FORMANT_VCF_1;IN=MULTI_VCO_1;",
        "SAMPLER_1;IN=KEY_1;GATE=KEY_1;",
        "MIXER_1;ADD_CHANELL=VCF303_1;ADD_CHANELL=FORMANT_VCF_1;ADD_CHANELL=FAKE303_1;ADD_CHANELL=SAMPLER_1;ADD_CHANELL=MICRO_1;",
        "VCA_1;IN=MIXER_1;GATE=SEQUENCER_1;",
        "SFX_DELAY_1;IN=VCA_1;",
        "PHASER_1;IN=SFX_DELAY_1;",
        "BASIC_OPERATION_1;IN2=PHASER_1;IN1=CONSTANTE_1;",
        "VARIABLE_1;IN=BASIC_OPERATION_1;IN_ASSIGN=CONSTANTE_1;",
        "AFFICHAGE_1;IN=VARIABLE_1;",
        "GENERATOR_1;IN=AFFICHAGE_1;",
        "SOUND_INPUT_1;IN=GENERATOR_1;",
        "SOUND_OUTPUT_1;IN=AFFICHAGE_1;",
    ]
    return patch_text(objects, links)


N_MIXED = 20000
MIXED_TYPES = [
    ("VCO", "TYPE=3;FREQ=110.000000;AMOUNT=0.50;PHASE=0;"),
    ("VCF", "HICUT=1200;Q=2.000000;GAIN=0.000000;TYPE=1;BYPASS=0;"),
    ("VCA", "BYPASS=0;ATTACK=5;DECAY=300;SUSTAIN=0;RELEASE=100;INVERT=0;"),
    ("CONSTANTE", "VALUE=1;"),
    ("BASIC_OPERATION", "TYPE=4;"),
    ("VCF303", "HICUT=1400;Q=0.500000;MIX=8.000000;BYPASS=0;"),
    ("FAKE303", "TYPE=1;FREQ=110.000000;AMOUNT=0.80;PHASE=0;"),
    ("MULTI_VCO", "TYPE=1;FREQ=44.000000;AMOUNT=0.80;PHASE=0;"),
    ("MIXER", ";"),
    ("VARIABLE", ";"),
    ("AFFICHAGE", ";"),
    ("PHASER", "RATE=0.300000;DEPTH=1.000000;FEEDBACK=0.700000;HI=1600.000000;LOW=440.000000;BYPASS=0;"),
    ("FORMANT_VCF", "GAIN=1;VOWELNUM=2;BYPASS=0;"),
]


def mixed_patch():
    objects, links = ["KEY_1;OCTAVE=3;"], []
    previous = "KEY_1"
    for i in range(N_MIXED):
        kind, fields = MIXED_TYPES[i % len(MIXED_TYPES)]
        name = "%s_%d" % (kind, i // len(MIXED_TYPES) + 1)
        objects.append("%s;%s" % (name, fields))
        slot = "ADD_CHANELL" if kind == "MIXER" else "IN1" if kind == "BASIC_OPERATION" else "IN"
        links.append("%s;%s=%s;" % (name, slot, previous))
        previous = name
    objects.append("SOUND_OUTPUT_1;;")
    links.append("SOUND_OUTPUT_1;IN=%s;" % previous)
    return patch_text(objects, links)


def main():
    out = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "osc.tsy"), "w") as f:
        f.write(osc_patch())
    with open(os.path.join(out, "voice.tsy"), "w") as f:
        f.write(voice_patch())
    with open(os.path.join(out, "voice.events"), "w") as f:
        f.write(voice_events(seconds))
    with open(os.path.join(out, "all.tsy"), "w") as f:
        f.write(all_patch(os.path.join(out, "all.PAR")))
    with open(os.path.join(out, "mixed.tsy"), "w") as f:
        f.write(mixed_patch())
    with open(os.path.join(out, "all.events"), "w") as f:
        f.write("0.0 TRIG 60\n")


if __name__ == "__main__":
    main()
