// The port options of both programs, read in one place: --com1=PATH ..
// --com4=PATH point a classic port at a device, and ivra-run's --port chooses
// the port by number (1..4), COM name (COM3) or device path. Each program's
// own parser (wxCmdLineParser, CLI11) only collects the values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/run_snapshot.h"
#include "serial/port_table.h"

// One --comN=PATH, as given.
struct PortPathOption {
  int portNumber = 0;  // N
  std::string path;    // may be empty: ApplyPortOptions refuses that
};

struct PortOptions {
  std::optional<std::string> port;  // --port, as given
  // --comN=PATH in the order given: a later one for the same port wins.
  std::vector<PortPathOption> comPaths;
  bool simulate = false;            // --simulate
  std::optional<std::string> gpib;  // --gpib, as given

  // Whether a --comN names the device of port n.
  bool GivesPath(int portNumber) const;
  // --gpib as a number, -1 when it is not given or not an address 0..30.
  int GpibAddress() const;
};

// Points the ports named by --comN at their devices in `table`, in the order
// given. The first --comN without a path is the problem: "--com2 " followed by
// `missingPathWords` (each program keeps its own: "needs a value." for
// ivra-run, "needs a device path" for the desktop program); nothing is applied
// then. Returns the problem, empty when the options are good.
std::string ApplyComPaths(const PortOptions& options, PortTable& table, const std::string& missingPathWords);

// ApplyComPaths, then --port into `settings`: a value with a slash (or a
// backslash on Windows) is a device path; "COMn" (any case) and a plain number
// are port n, which must be 1..4 — except on Windows, where COM5 and above are
// devices of their own; "tcp://HOST:PORT" is a serial bridge or GPIB-ETHERNET
// controller on the network. --gpib (0..30) puts a Prologix controller in front
// of whatever the port names. Unless --port named a device, settings.portPath becomes
// the table's device for settings.portNumber, so that the run opens the right
// one. A bad --port reads e.g. "Serial port: please enter an integer between 1 and 4."
std::string ApplyPortOptions(const PortOptions& options, PortTable& table, MeasurementSettings& settings,
                             const std::string& missingPathWords);
