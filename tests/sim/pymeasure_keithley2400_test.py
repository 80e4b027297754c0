#!/usr/bin/python3
"""ivra-sim driven by Debian's PyMeasure Keithley2400 driver over pyvisa-py.

Usage: pymeasure_keithley2400_test.py PATH-TO-IVRA-SIM

A script written for a real SourceMeter 2400 must run unchanged against the
simulator on its pseudo-terminal: every query answered, the values right for
the simulated 1 MOhm resistor, and nothing left in the error queue.
"""
import logging
import subprocess
import sys
import time
import unittest

from pymeasure.instruments.keithley import Keithley2400

SIM = None
OHMS = 1e6
NOISE = 1e-10  # amperes; small, but every reading differs from the last


class ErrorLog(logging.Handler):
    """Keeps what the driver logs when it drains a non-empty error queue."""

    def __init__(self):
        super().__init__(logging.INFO)
        self.errors = []

    def emit(self, record):
        if "reported error" in record.getMessage():
            self.errors.append(record.getMessage())


class Keithley2400OnIvraSim(unittest.TestCase):
    def setUp(self):
        self.sim = subprocess.Popen(
            [SIM, "--ohms", str(OHMS), "--noise", str(NOISE), "--seed", "7"],
            stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_sim)
        device = self.sim.stdout.readline().strip()
        self.assertTrue(device.startswith("/dev/"), device)
        self.errors = ErrorLog()
        driver_log = logging.getLogger("pymeasure.instruments.keithley.keithley2400")
        driver_log.setLevel(logging.INFO)
        driver_log.addHandler(self.errors)
        self.addCleanup(driver_log.removeHandler, self.errors)
        # The instrument ends its replies with CR; a query waits 5 s at most.
        self.keithley = Keithley2400("ASRL%s::INSTR" % device, visa_library="@py",
                                     read_termination="\r", write_termination="\r",
                                     timeout=5000)
        self.addCleanup(self.keithley.adapter.connection.close)
        self.started = time.monotonic()

    def stop_sim(self):
        self.sim.terminate()
        self.assertEqual(self.sim.wait(timeout=10), 0)
        self.sim.stdout.close()
        print("%s: %.2f s" % (self.id().split(".")[-1], time.monotonic() - self.started))

    def assert_error_queue_empty(self):
        self.assertEqual(self.keithley.error, (0, "No error"))
        self.assertEqual(self.errors.errors, [])

    def test_apply_voltage_and_measure_current(self):
        k = self.keithley
        self.assertTrue(k.id.startswith("KEITHLEY INSTRUMENTS INC.,MODEL 2400,"), k.id)
        k.reset()
        k.apply_voltage(compliance_current=1e-3)
        k.measure_current(nplc=1)
        k.source_voltage = 0.5
        k.enable_source()
        self.assertTrue(k.source_enabled)
        currents = [k.current for _ in range(5)]
        for current in currents:
            self.assertIsInstance(current, float)
            self.assertAlmostEqual(current, 0.5 / OHMS, delta=10 * NOISE)
        self.assertEqual(len(set(currents)), 5, "each read is a new measurement")
        # Ten line cycles with auto-zero: three conversions of 200 ms each.
        k.current_nplc = 10
        self.assertEqual(k.current_nplc, 10)
        started = time.monotonic()
        self.assertAlmostEqual(k.current, 0.5 / OHMS, delta=10 * NOISE)
        self.assertGreaterEqual(time.monotonic() - started, 0.55)
        self.assertEqual(k.source_voltage, 0.5)
        self.assertEqual(k.compliance_current, 1e-3)
        self.assertEqual(k.source_mode, "voltage")
        k.disable_source()
        self.assertFalse(k.source_enabled)
        self.assert_error_queue_empty()

    def test_source_current_and_measure_voltage(self):
        k = self.keithley
        k.reset()
        k.apply_current(compliance_voltage=10)
        k.measure_voltage(nplc=0.1)
        k.source_current = 2e-6
        k.enable_source()
        self.assertAlmostEqual(k.voltage, 2e-6 * OHMS, delta=10 * NOISE * OHMS)
        self.assertEqual(k.source_current, 2e-6)
        self.assertEqual(k.source_mode, "current")
        # 20 uA into 1 MOhm needs 20 V: the voltage stops at the compliance,
        # and the status field says so.
        k.source_current = 20e-6
        k.write(":FORM:ELEM VOLT,STAT")
        volts, status = k.values(":READ?")
        self.assertEqual(volts, 10.0)
        self.assertTrue(int(status) & 8, status)
        k.shutdown()
        self.assertFalse(k.source_enabled)
        self.assertEqual(k.source_current, 0.0)
        self.assert_error_queue_empty()

    def test_unknown_command_is_reported_not_ignored(self):
        k = self.keithley
        k.write(":SOUR:SWE:SPAC LIN")
        self.assertEqual(k.error, (-113, "Undefined header"))
        self.assert_error_queue_empty()


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    SIM = sys.argv.pop(1)
    unittest.main(verbosity=2)
