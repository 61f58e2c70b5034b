#!/usr/bin/python3
"""Renders the patches of data/TSY (the demos) and the benchmark graphs and checks the SHA-256 of their
sound against a recorded list, so that a change which alters the sound by a
single bit is seen.

The hash covers the 16-bit frames only (the WAV data chunk), not the header.
  render_hashes.py [--program BIN] [--data DIR] [--list FILE]   check, status 1 on a change
  render_hashes.py --record ...                                 write the list
  render_hashes.py --print ...                                  print the hashes only
"""
import argparse
import hashlib
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEMO_SECONDS = 3
BENCH_SECONDS = 1
# The empty patches, and the voice that demo_nested.tsy loads twice.
NOT_RENDERED = {"EMPTY.tsy", "empty.tsy", "demo_nested_voice.tsy"}


def cases(data_dir, bench_dir):
    """(name, patch, events or None, seconds), in a fixed order."""
    tsy = os.path.join(data_dir, "TSY")
    out = []
    for f in sorted(os.listdir(tsy)):
        if not f.endswith(".tsy") or f in NOT_RENDERED:
            continue
        events = os.path.join(tsy, f[:-4] + ".events")
        out.append(("TSY/" + f, os.path.join(tsy, f),
                    events if os.path.isfile(events) else None, DEMO_SECONDS))
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen_patches.py"), bench_dir,
                    str(BENCH_SECONDS)], check=True)
    for name in ("osc", "voice", "all"):
        events = os.path.join(bench_dir, name + ".events")
        out.append(("bench/" + name, os.path.join(bench_dir, name + ".tsy"),
                    events if os.path.isfile(events) else None, BENCH_SECONDS))
    return out


def frames_digest(path):
    """SHA-256 of the data chunk of a RIFF/WAVE file."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:4] not in (b"RIFF", b"RF64") or blob[8:12] != b"WAVE":
        raise ValueError("%s is not a WAV file" % path)
    pos = 12
    while pos + 8 <= len(blob):
        tag, size = blob[pos:pos + 4], struct.unpack("<I", blob[pos + 4:pos + 8])[0]
        if tag == b"data":
            return hashlib.sha256(blob[pos + 8:pos + 8 + size]).hexdigest()
        pos += 8 + size + (size & 1)
    raise ValueError("%s has no data chunk" % path)


def render(program, data_dir, case, work):
    name, patch, events, seconds = case
    out = os.path.join(work, "out.wav")
    cmd = [program, "--data", data_dir, "--render", out, "--seconds", str(seconds)]
    if events:
        cmd += ["--events", events]
    cmd.append(patch)
    run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, cwd=work)
    if run.returncode != 0:
        sys.stdout.write(run.stdout.decode(errors="replace"))
        raise RuntimeError("%s: the render ended with status %d" % (name, run.returncode))
    digest = frames_digest(out)
    os.remove(out)
    return digest


def read_list(path):
    recorded = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                digest, name = line.split(None, 1)
                recorded[name] = digest
    return recorded


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--program", default=os.path.join(ROOT, "build", "tmodular"))
    ap.add_argument("--data", default=os.path.join(ROOT, "data"))
    ap.add_argument("--list", default=os.path.join(ROOT, "tests", "data", "render_hashes.txt"))
    mode = ap.add_mutually_exclusive_group()
    mode.add_argument("--record", action="store_true")
    mode.add_argument("--print", action="store_true")
    args = ap.parse_args()
    program, data_dir = os.path.abspath(args.program), os.path.abspath(args.data)
    if not os.access(program, os.X_OK):
        sys.exit("render_hashes: no program %s (build it first)" % program)

    try:
        with tempfile.TemporaryDirectory(prefix="render_hashes.") as work:
            found = [(c[0], render(program, data_dir, c, work))
                     for c in cases(data_dir, os.path.join(work, "bench"))]
    except (RuntimeError, ValueError, OSError, subprocess.CalledProcessError) as e:
        print("render_hashes: %s" % e)
        return 1

    if args.print:
        for name, digest in found:
            print("%s  %s" % (digest, name))
        return 0
    if args.record:
        with open(args.list, "w") as f:
            f.write("# SHA-256 of the 16-bit frames of each render (tools/render_hashes.py):\n"
                    "# demos %d s with their events, benchmark graphs %d s.\n"
                    % (DEMO_SECONDS, BENCH_SECONDS))
            for name, digest in found:
                f.write("%s  %s\n" % (digest, name))
        print("render_hashes: %d renders recorded in %s" % (len(found), args.list))
        return 0

    try:
        recorded = read_list(args.list)
    except (OSError, ValueError) as e:
        print("render_hashes: cannot read the list: %s" % e)
        return 1
    bad = same = 0
    for name, digest in found:
        want = recorded.pop(name, None)
        if want is None:
            print("NEW      %s (not in the list: record it with --record)" % name)
            bad += 1
        elif want != digest:
            print("CHANGED  %s\n  recorded %s\n  now      %s" % (name, want, digest))
            bad += 1
        else:
            print("same     %s" % name)
            same += 1
    for name in sorted(recorded):
        print("MISSING  %s (in the list, no longer rendered)" % name)
        bad += 1
    print("render_hashes: %d of %d renders as recorded" % (same, len(found) + len(recorded)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
