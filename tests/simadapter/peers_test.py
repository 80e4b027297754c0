#!/usr/bin/python3
"""ivra-sim's bridge and controller driven by other programs' own code.

Usage: peers_test.py PATH-TO-IVRA-SIM

pyvisa-py's TCPIP SOCKET resource reaches the instrument through
`ivra-sim --listen`, as it would through ser2net; PyMeasure's PrologixAdapter
with its Keithley2400 driver reaches it through `ivra-sim --prologix`, as it
would through a Prologix GPIB-USB controller.
"""
import subprocess
import sys
import unittest

import pyvisa
from pymeasure.adapters import PrologixAdapter
from pymeasure.instruments.keithley import Keithley2400

SIM = None
OHMS = 1e6


class Peers(unittest.TestCase):
    def start_sim(self, *options):
        sim = subprocess.Popen([SIM, "--ohms", str(OHMS), *options], stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_sim, sim)
        return sim.stdout.readline().strip()

    def stop_sim(self, sim):
        sim.terminate()
        self.assertEqual(sim.wait(timeout=10), 0)
        sim.stdout.close()

    def test_pyvisa_socket_resource_through_the_bridge(self):
        where = self.start_sim("--listen", "0")
        self.assertTrue(where.startswith("tcp://127.0.0.1:"), where)
        port = int(where.rsplit(":", 1)[1])
        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % port, read_termination="\r",
                                write_termination="\r", timeout=5000)
        self.addCleanup(inst.close)
        self.assertTrue(inst.query("*IDN?").startswith("KEITHLEY INSTRUMENTS INC.,MODEL 2400,"))
        inst.write("*RST")
        inst.write(":SOUR:VOLT 0.5")
        inst.write(":OUTP ON")
        values = [float(v) for v in inst.query(":READ?").split(",")]
        self.assertEqual(len(values), 5)
        self.assertAlmostEqual(values[1], 0.5 / OHMS, delta=1e-9)
        inst.write(":OUTP OFF")
        self.assertEqual(inst.query(":SYST:ERR?"), '0,"No error"')

    def test_pymeasure_keithley2400_through_a_prologix_controller(self):
        device = self.start_sim("--prologix", "--gpib-address", "24")
        self.assertTrue(device.startswith("/dev/"), device)
        adapter = PrologixAdapter(device, address=24, serial_timeout=0.5)
        self.addCleanup(adapter.connection.close)
        # The simulated controller powers up in device mode, as a used one may;
        # PyMeasure leaves the mode alone, so the user sets it once.
        adapter.connection.write(b"++mode 1\n")
        k = Keithley2400(adapter)
        self.assertTrue(k.id.startswith("KEITHLEY INSTRUMENTS INC.,MODEL 2400,"), k.id)
        k.reset()
        k.apply_voltage(compliance_current=1e-3)
        k.measure_current(nplc=1)
        k.source_voltage = 0.5
        k.enable_source()
        self.assertAlmostEqual(k.current, 0.5 / OHMS, delta=1e-9)
        k.shutdown()
        self.assertFalse(k.source_enabled)


if __name__ == "__main__":
    SIM = sys.argv.pop(1)
    unittest.main()
