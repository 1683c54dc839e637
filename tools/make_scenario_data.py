#!/usr/bin/env python3
"""Fills the bulky parts of scenario traces: eye points and capture data.

A scenario trace marks each generated block with a comment line naming what
to generate, and a closing "# @end" line:

    # @eye MODEM KIND TICKS SEED MIN MAX
        TICKS times: one eye line of MIN..MAX points of constellation KIND,
        then "wait 100" (the eye display fetches points every 100 ms).
        KIND: qam16, qam64, qpsk (training), pcm (V.90 downstream levels).
    # @cap MODEM BYTES SEED
        BYTES bytes of capture data in cap lines of 64 bytes.
    # @end

Everything between a marker and its "# @end" is replaced; the rest of the
file is kept as written. Each block has its own seed, so running this again
gives the same files byte for byte.

    python3 tools/make_scenario_data.py scenarios/*.trace
"""
import random
import sys


def clamp16(value):
    return max(-32768, min(32767, int(round(value))))


# Constellation points in the eye display's logical units (the display
# spans -20000..20000), with Gaussian noise of the given spread.
def constellation(kind):
    if kind == "qam16":
        levels = [-3, -1, 1, 3]
        return [(x * 4000, y * 4000) for x in levels for y in levels], 550
    if kind == "qam64":
        levels = [-7, -5, -3, -1, 1, 3, 5, 7]
        return [(x * 2200, y * 2200) for x in levels for y in levels], 300
    if kind == "qpsk":
        return [(x, y) for x in (-9000, 9000) for y in (-9000, 9000)], 1400
    if kind == "pcm":
        # Downstream PCM: amplitude levels on one axis, little on the other.
        levels = [-15000, -9000, -5000, -2500, -1000, 1000, 2500, 5000, 9000, 15000]
        return [(x, 0) for x in levels], 350
    raise SystemExit("unknown eye kind: " + kind)


def eye_block(args):
    modem, kind, ticks, seed, low, high = args
    rng = random.Random(int(seed))
    points, noise = constellation(kind)
    lines = []
    for _ in range(int(ticks)):
        count = rng.randint(int(low), int(high))
        values = []
        for _ in range(count):
            x, y = rng.choice(points)
            values.append(str(clamp16(rng.gauss(x, noise))))
            values.append(str(clamp16(rng.gauss(y, noise))))
        lines.append("eye %s %s" % (modem, " ".join(values)))
        lines.append("wait 100")
    return lines


def cap_block(args):
    modem, total, seed = args
    rng = random.Random(int(seed))
    total = int(total)
    lines = []
    for start in range(0, total, 64):
        chunk = bytes(rng.randrange(256) for _ in range(min(64, total - start)))
        groups = [chunk[i:i + 16].hex() for i in range(0, len(chunk), 16)]
        lines.append("cap %s %s" % (modem, " ".join(groups)))
    return lines


GENERATORS = {"@eye": (eye_block, 6), "@cap": (cap_block, 3)}


def regenerate(path):
    with open(path) as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    out = []
    i = 0
    while i < len(lines):
        line = lines[i]
        words = line.split()
        out.append(line)
        i += 1
        if len(words) >= 2 and words[0] == "#" and words[1] in GENERATORS:
            generate, arity = GENERATORS[words[1]]
            args = words[2:]
            if len(args) != arity:
                raise SystemExit("%s: %s needs %d values: %s" % (path, words[1], arity, line))
            out.extend(generate(args))
            # Drop the previous contents of the block, up to its end marker.
            while i < len(lines) and lines[i].strip() != "# @end":
                i += 1
            if i == len(lines):
                raise SystemExit("%s: %s without # @end" % (path, words[1]))
            out.append(lines[i])
            i += 1
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    for path in sys.argv[1:]:
        regenerate(path)


if __name__ == "__main__":
    main()
