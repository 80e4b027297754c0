#!/usr/bin/env python3
"""Compares published readings with the data file they came from.

  check_readings.py mqtt DATAFILE WATCHFILE    "TOPIC JSON" lines of a watcher
  check_readings.py jsonl DATAFILE STDOUT      one JSON object per line
  check_readings.py influx DATAFILE STDOUT     one line-protocol point per line
  check_readings.py status STATE               the run state on stdin

Every line of the data file must arrive (QoS 1 may repeat one), each equal to
its line: the same elapsed seconds and the same microamperes; nothing else.
A file whose lines hold the set voltage (steps or a ramp) must have it in
each reading as set_voltage; a file without it, in none.
"""
import json
import re
import sys

INFLUX = re.compile(
    r'^ivra,bench=(?P<bench>(?:[^ ,=\\]|\\.)+) '
    r'current=(?P<current>[-+0-9.eE]+),voltage=(?P<voltage>[-+0-9.eE]+),'
    r'elapsed=(?P<elapsed>[-+0-9.eE]+),sample=(?P<sample>\d+)i,compliance=(?P<compliance>true|false) '
    r'(?P<ns>\d{18,20})$')


def fail(message):
    print("check_readings: " + message, file=sys.stderr)
    sys.exit(1)


def data_lines(path):
    lines = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == 6 and fields[5] == "V":
                lines.append((fields[0], fields[2], fields[4]))
            else:
                seconds, s, micro, ua = fields
                lines.append((seconds, micro, None))
    if not lines:
        fail(path + " holds no lines")
    return lines


def readings_of(kind, path):
    readings = []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if kind == "mqtt":
                topic, _, payload = line.partition(" ")
                if not topic.endswith("/reading"):
                    continue
                readings.append(json.loads(payload))
            elif kind == "jsonl":
                readings.append(json.loads(line))
            else:
                match = INFLUX.match(line)
                if not match:
                    fail("line %d of %s is not a point: %r" % (number, path, line))
                readings.append({"sample": int(match["sample"]), "elapsed": float(match["elapsed"]),
                                 "current": float(match["current"]), "voltage": float(match["voltage"]),
                                 "time": int(match["ns"])})
    return readings


def compare(kind, data_path, readings_path):
    lines = data_lines(data_path)
    by_sample = {}
    for reading in readings_of(kind, readings_path):
        for key in ("sample", "elapsed", "time", "current", "voltage"):
            if key not in reading:
                fail("a reading lacks %s: %r" % (key, reading))
        if kind != "influx" and not re.match(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?[+-]\d\d:\d\d$", reading["time"]):
            fail("not ISO 8601 with an offset: %r" % reading["time"])
        earlier = by_sample.setdefault(reading["sample"], reading)
        if earlier != reading:
            fail("sample %d came twice, differently" % reading["sample"])
    expected = set(range(1, len(lines) + 1))
    if set(by_sample) != expected:
        missing = sorted(expected - set(by_sample))
        extra = sorted(set(by_sample) - expected)
        fail("%s: missing samples %s, samples not in the file %s" % (kind, missing[:20], extra[:20]))
    for number, (seconds, micro, volts) in enumerate(lines, 1):
        reading = by_sample[number]
        if "%.2f" % reading["elapsed"] != seconds or "%g" % (reading["current"] * 1e6) != micro:
            fail("sample %d is %r, its file line %s s %s uA" % (number, reading, seconds, micro))
        if kind != "influx" and (volts is None) != ("set_voltage" not in reading):
            fail("sample %d is %r, its file line's set voltage %s" % (number, reading, volts))
        if volts is not None and kind != "influx" and "%g" % reading["set_voltage"] != volts:
            fail("sample %d sets %r V, its file line %s V" % (number, reading["set_voltage"], volts))
    print("%s: %d readings equal to the %d lines of %s" % (kind, len(by_sample), len(lines), data_path))


def main():
    if sys.argv[1] == "status":
        text = sys.stdin.read().strip()
        state = json.loads(text)["state"] if text else "(nothing retained)"
        if state != sys.argv[2]:
            fail("the retained state is %s, not %s: %s" % (state, sys.argv[2], text))
        print("retained state: " + state)
    else:
        compare(sys.argv[1], sys.argv[2], sys.argv[3])


main()
