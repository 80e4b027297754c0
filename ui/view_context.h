// What the desktop program hands its view: the one measurement run, the port
// table that says which device serves COM1..COM4, where the Setup dialog
// looks for the machine's other ports, the port the previous session chose,
// and the instrument settings. The program owns them and outlives the view.
#pragma once

#include <string>

#include "instrument/instrument_settings.h"
#include "run/measurement_run.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"

struct ViewContext {
  MeasurementRun& run;
  const PortTable& ports;
  const PortLister& listPorts;
  // Preselected by the Setup dialog until a Start has chosen a port.
  std::string rememberedPortPath;
  // Preset in every Setup dialog; an accepted Setup replaces them.
  InstrumentSettings& instrument;
  // The device the program's simulated instrument serves, empty when none.
  std::string simulatedPortPath = {};
};
