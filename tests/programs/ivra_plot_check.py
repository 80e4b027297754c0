#!/usr/bin/env python3
"""ivra_plot_check.py IVRA_PLOT WORKDIR: draws data files with ivra-plot and
checks the pictures: a spike of one sample in 10^6 shows in its pixel column of
a 1000-pixel PNG, the SVG parses as XML, bad lines are reported on stderr, and
a file without a data line fails with a message."""
import os
import random
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zlib

program, workdir = sys.argv[1], sys.argv[2]
os.makedirs(workdir, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def read_png(path):
    """Rows of (r, g, b) tuples of an 8-bit RGB or RGBA PNG without interlace."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG kind"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    pixel = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * pixel
    rows, previous = [], bytearray(stride)
    for y in range(height):
        filter_type = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - pixel] if i >= pixel else 0
            up = previous[i]
            upper_left = previous[i - pixel] if i >= pixel else 0
            if filter_type == 1:
                line[i] = (line[i] + left) & 255
            elif filter_type == 2:
                line[i] = (line[i] + up) & 255
            elif filter_type == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif filter_type == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else upper_left
                line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[x * pixel:x * pixel + 3]) for x in range(width)])
        previous = line
    return rows


def run(*arguments):
    return subprocess.run([program, *arguments], capture_output=True, text=True)


# 10^6 samples of a steady current, one spike, one line that is no data line,
# and a last line still being written.
data = os.path.join(workdir, "spike.dat")
spike_at = 654321
random.seed(7)
with open(data, "w") as f:
    for i in range(1000000):
        if i == 2:
            f.write("# not a data line\n")
        current = 80.0 if i == spike_at else 1.0 + random.random() * 0.01
        f.write("%.2f\ts\t%g\tuA\n" % (i + random.random() * 0.01, current))
    f.write("1000000.00\ts\t1.0")

png = os.path.join(workdir, "spike.png")
result = run(data, "--output", png, "--width", "1000", "--height", "600")
check(result.returncode == 0, "PNG drawn: " + result.stderr)
check("Line 3 of %s is not a data line" % data in result.stderr, "bad line reported: " + result.stderr)
rows = read_png(png)
check(len(rows) == 600 and len(rows[0]) == 1000, "PNG of 1000 x 600")
# Between a quarter and 60 % of the height only the frame, the tick labels of
# the value axis and the spike are drawn; inside the frame the spike alone.
dark_columns = sorted({x for y in range(150, 360) for x in range(100, 960) if sum(rows[y][x]) < 384})
check(len(dark_columns) >= 1 and dark_columns[-1] - dark_columns[0] <= 2,
      "one narrow column above the steady current, got %s" % dark_columns[:20])
if dark_columns:
    # The time axis is widened to whole ticks: the spike sits at its time's place.
    check(550 < dark_columns[0] < 700, "spike at x %d" % dark_columns[0])

svg = os.path.join(workdir, "spike.svg")
result = run(data, "-o", svg, "--from", "650000", "--to", "660000")
check(result.returncode == 0, "SVG drawn: " + result.stderr)
try:
    root = ElementTree.parse(svg).getroot()
    check(root.tag == "{http://www.w3.org/2000/svg}svg", "SVG root element")
    texts = [t.text for t in root.iter("{http://www.w3.org/2000/svg}text")]
    check("Time [s]" in texts and "Current [uA]" in texts, "axis titles in the SVG: %s" % texts)
except ElementTree.ParseError as error:
    check(False, "SVG parses as XML: %s" % error)

empty = os.path.join(workdir, "empty.dat")
with open(empty, "w") as f:
    f.write("time\tcurrent\n")
result = run(empty, "-o", os.path.join(workdir, "empty.png"))
check(result.returncode == 1 and "holds no data line" in result.stderr, "no data line: %s" % result.stderr)
check(not os.path.exists(os.path.join(workdir, "empty.png")), "nothing drawn for a file without data")
result = run(data, "-o", os.path.join(workdir, "bad.gif"))
check(result.returncode == 2 and ".png or .svg" in result.stderr, "unknown format refused: %s" % result.stderr)

# A run with steps: the set voltage is a channel of its own, drawn where the
# steps are (1 V, then 5 V), with its own axis title.
steps = os.path.join(workdir, "steps.dat")
with open(steps, "w") as f:
    for i in range(200):
        f.write("%.2f\ts\t%g\tuA\t%g\tV\n" % (i, 0.1 + i * 0.001, 1.0 if i < 100 else 5.0))
steps_svg = os.path.join(workdir, "steps.svg")
result = run(steps, "-o", steps_svg, "--channel", "set-voltage")
check(result.returncode == 0, "set voltage drawn: " + result.stderr)
try:
    root = ElementTree.parse(steps_svg).getroot()
    texts = [t.text for t in root.iter("{http://www.w3.org/2000/svg}text")]
    check("Set voltage [V]" in texts and "Current [uA]" not in texts, "set voltage's axis title: %s" % texts)
    # The value axis spans the voltages (1..5 V), not the currents (0.1..0.3 uA).
    check("5" in texts or "5.0" in texts, "value axis reaches 5 V: %s" % texts)
except ElementTree.ParseError as error:
    check(False, "set voltage SVG parses as XML: %s" % error)
result = run(steps, "-o", os.path.join(workdir, "steps-current.svg"))
check(result.returncode == 0, "a file with set voltages still draws its current: " + result.stderr)
result = run(data, "-o", os.path.join(workdir, "no-volts.svg"), "--channel", "set-voltage")
check(result.returncode == 1 and "holds no set voltage" in result.stderr, "no set voltage: %s" % result.stderr)
result = run(steps, "-o", os.path.join(workdir, "x.svg"), "--channel", "voltage")
check(result.returncode == 2 and "--channel must be current or set-voltage" in result.stderr,
      "unknown channel refused: %s" % result.stderr)

sys.exit(1 if failures else 0)
