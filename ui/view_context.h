// What the desktop program hands its view: the one measurement run, the port
// table that says which device serves COM1..COM4, where the Setup dialog
// looks for the machine's other ports, and the port the previous session
// chose. The program owns them and outlives the view.
#pragma once

#include <string>

#include "measurement/measurement_run.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"

struct ViewContext {
  MeasurementRun& run;
  const PortTable& ports;
  const PortLister& listPorts;
  // Preselected by the Setup dialog until a Start has chosen a port.
  std::string rememberedPortPath;
};
