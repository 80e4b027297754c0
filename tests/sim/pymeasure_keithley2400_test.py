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

    def test_instrument_settings_read_back(self):
        k = self.keithley
        k.reset()
        # The reset state the driver's properties report.
        self.assertAlmostEqual(k.compliance_current, 1.05e-4)
        self.assertEqual(k.output_off_state, "NORM")
        self.assertTrue(k.display_enabled)
        self.assertTrue(k.auto_zero)
        k.apply_voltage(compliance_current=1e-3)
        k.measure_current(nplc=0.1, current=1e-4, auto_range=False)
        # A range reads back as the instrument names it: its top.
        self.assertAlmostEqual(k.current_range, 1.05e-4)
        k.current_range = 1e-5
        self.assertAlmostEqual(k.current_range, 1.05e-5)
        self.assertEqual(k.compliance_current, 1e-3)
        self.assertAlmostEqual(k.current_nplc, 0.1)
        for value in (False, True):
            k.auto_zero = value
            self.assertEqual(k.auto_zero, value)
            k.display_enabled = value
            self.assertEqual(k.display_enabled, value)
        k.output_off_state = "HIMP"
        self.assertEqual(k.output_off_state, "HIMP")
        k.filter_type = "REP"
        k.filter_count = 4
        k.filter_state = "ON"
        self.assertEqual(k.filter_type, "REP")
        self.assertEqual(float(k.ask(":SENS:AVER:COUN?")), 4)
        self.assertEqual(k.ask(":SENS:AVER?").strip(), "1")
        k.use_rear_terminals()
        self.assertEqual(k.ask(":ROUT:TERM?").strip(), "REAR")
        k.use_front_terminals()
        self.assertEqual(k.ask(":SYST:LFR:AUTO?").strip(), "1")
        self.assert_error_queue_empty()

    def test_compliance_and_fixed_range_in_the_reading(self):
        k = self.keithley
        k.reset()
        k.write(":SOUR:VOLT 200")  # 200 uA into 1 MOhm against the 105 uA limit
        k.enable_source()
        volts, amps, _, _, status = k.values(":READ?")
        self.assertAlmostEqual(amps, 1.05e-4, delta=10 * NOISE)
        self.assertAlmostEqual(volts, 105, delta=10 * NOISE * OHMS)
        self.assertTrue(int(status) & 8, status)
        k.compliance_current = 1e-3
        volts, amps, _, _, status = k.values(":READ?")
        self.assertAlmostEqual(amps, 2e-4, delta=10 * NOISE)
        self.assertEqual(volts, 200)
        self.assertFalse(int(status) & 8, status)
        # Beyond the full scale of a fixed range: the over-range marker.
        k.current_range = 1e-4
        volts, amps, _, _, status = k.values(":READ?")
        self.assertEqual(amps, 9.91e37)
        self.assertTrue(int(status) & 1, status)
        # A setting out of the instrument's range is refused and kept.
        k.write(":SENS:CURR:PROT 2")
        self.assertEqual(k.error, (-222, "Parameter data out of range"))
        self.assertEqual(k.compliance_current, 1e-3)
        k.disable_source()
        self.assert_error_queue_empty()

    def test_the_settings_ivra_sends_read_back_through_the_driver(self):
        k = self.keithley
        k.reset()
        # Ivra's own bytes after *RST, then its one error query.
        for command in (":SENS:CURR:PROT 0.001", ":SENS:CURR:RANG 1e-05", ":SENS:CURR:NPLC 0.1",
                        ":SYST:AZER ONCE"):
            k.write(command)
        self.assertEqual(k.error, (0, "No error"))
        self.assertEqual(k.compliance_current, 1e-3)
        self.assertAlmostEqual(k.current_range, 1.05e-5)
        self.assertAlmostEqual(k.current_nplc, 0.1)
        self.assertFalse(k.auto_zero)  # ONCE zeroes now and leaves it off
        # A range above the limit's own range is refused, with the instrument's number and words.
        k.reset()
        k.write(":SENS:CURR:RANG 1")
        self.assertEqual(k.error, (824, "Cannot exceed compliance range"))
        self.assert_error_queue_empty()

    def test_trigger_and_arm_layers(self):
        k = self.keithley
        k.reset()
        k.measure_current(nplc=1)
        k.source_voltage = 1
        k.enable_source()
        k.set_trigger_counts(3, 2)
        k.trigger_delay = 0.01
        k.set_timed_arm(0.3)
        self.assertEqual(k.trigger_count, 2)
        self.assertAlmostEqual(k.trigger_delay, 0.01)
        self.assertEqual(k.ask(":ARM:SOUR?;COUN?;TIM?").strip(), "TIM;3;+3.000000E-01")
        # Three arm passes 300 ms apart, two readings each.
        started = time.monotonic()
        currents = k.values(":READ?")
        self.assertGreaterEqual(time.monotonic() - started, 0.6)
        self.assertEqual(len(currents), 6)
        for current in currents:
            self.assertAlmostEqual(current, 1 / OHMS, delta=10 * NOISE)
        k.output_trigger_on_external(line=3, after="SENS")
        self.assertEqual(k.ask(":TRIG:OUTP?;OLIN?").strip(), "SENS;3")
        k.disable_output_trigger()
        self.assertEqual(k.ask(":TRIG:OUTP?").strip(), "NONE")
        k.trigger_on_external(line=2)
        self.assertEqual(k.ask(":ARM:SOUR?;ILIN?;:TRIG:SOUR?;ILIN?").strip(), "TLIN;2;TLIN;2")
        k.trigger_immediately()
        k.set_trigger_counts(1, 1)
        # :INIT starts the readings; :FETC? returns them once they are done.
        k.write(":INIT")
        self.assertAlmostEqual(k.values(":FETC?")[0], 1 / OHMS, delta=10 * NOISE)
        self.assertEqual(k.ask("*OPC?").strip(), "1")
        k.disable_source()
        self.assert_error_queue_empty()

    def test_another_line_speed(self):
        sim = subprocess.Popen([SIM, "--baud", "19200"], stdout=subprocess.PIPE, text=True)
        try:
            device = sim.stdout.readline().strip()
            resource = "ASRL%s::INSTR" % device
            fast = Keithley2400(resource, visa_library="@py", read_termination="\r",
                                write_termination="\r", timeout=5000)
            # This driver keeps only its own keywords: the speed is set on the line.
            fast.adapter.connection.baud_rate = 19200
            self.assertTrue(fast.id.startswith("KEITHLEY INSTRUMENTS INC.,MODEL 2400,"), fast.id)
            fast.adapter.connection.close()
            # The driver's default 9600 baud: the instrument does not understand.
            slow = Keithley2400(resource, visa_library="@py", read_termination="\r",
                                write_termination="\r", timeout=1500)
            with self.assertRaises(Exception):
                slow.id
            slow.adapter.connection.close()
        finally:
            sim.terminate()
            self.assertEqual(sim.wait(timeout=10), 0)
            sim.stdout.close()

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
