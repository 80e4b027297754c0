#!/usr/bin/python3
"""The peer on the same line: PyMeasure's own Keithley2400 driver (Debian's
python3-pymeasure) through its serial adapter at 57600 baud, against ivra-sim
with Ivra's fastest settings (NPLC 0.01, auto-zero off), reading the current
as fast as its API allows. Prints its sustained rate.

    pymeasure_peer.py IVRA_SIM [seconds]      (default 60)
"""
import subprocess
import sys
import time

from pymeasure.adapters import SerialAdapter
from pymeasure.instruments.keithley import Keithley2400


class TerminatedSerialAdapter(SerialAdapter):
    """PyMeasure 0.9's SerialAdapter sends no line end; the 2400 waits for one."""

    def write(self, command):
        super().write(command + "\r")


def main():
    sim_program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    sim = subprocess.Popen([sim_program, "--baud", "57600"], stdout=subprocess.PIPE, text=True)
    try:
        device = sim.stdout.readline().strip()
        adapter = TerminatedSerialAdapter(device, baudrate=57600, timeout=0.5)
        k = Keithley2400(adapter)
        k.reset()
        k.apply_voltage(compliance_current=105e-6)
        k.measure_current(nplc=0.01)
        k.write(":SYST:AZER OFF")
        k.source_voltage = 0.5
        k.enable_source()
        # The adapter reads until its time-out: the shortest that still holds a reply.
        adapter.connection.timeout = 0.02
        count = 0
        bad = 0
        started = time.monotonic()
        while time.monotonic() - started < seconds:
            try:
                value = k.current
                count += 1 if value is not None else 0
            except Exception:  # a reply cut by the adapter's time-out
                bad += 1
        elapsed = time.monotonic() - started
        k.disable_source()
        print("PyMeasure Keithley2400, SerialAdapter at 57600 baud: %d readings in %.1f s = %.2f samples/s "
              "(%d failed reads)" % (count, elapsed, count / elapsed, bad))
    finally:
        sim.terminate()
        sim.wait(timeout=10)


if __name__ == "__main__":
    main()
