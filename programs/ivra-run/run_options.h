// The command line of ivra-run: the Setup dialog's five values as options, with
// the dialog's defaults, ranges and words.
#pragma once

#include <string>

#include "programs/common/port_options.h"
#include "run/run_snapshot.h"
#include "serial/port_table.h"

struct RunOptions {
  MeasurementSettings settings;     // the dialog's defaults, output voltage 0.5 V
  bool simulate = false;            // serve the chosen port from a simulated instrument
  bool overwrite = false;           // --overwrite: an output file with data in it may be replaced
  bool help = false;                // --help: print the usage, nothing else
  bool version = false;             // --version: print the version, nothing else
  bool listPorts = false;           // --list-ports: print the detected ports, nothing else
  bool unfinished = false;          // --unfinished: list the unfinished runs, nothing else
  std::string recoverPath;          // --recover PATH: switch an unfinished run's output off and close its record
  std::string resumePath;           // --resume PATH: continue an unfinished run into its file
  bool resumeIfUnfinished = false;  // --resume-if-unfinished: resume the output's unfinished run, else start
};

struct ParsedRunOptions {
  RunOptions options;
  std::string error;  // empty when the command line is good
};

// Parses argv[1..]. The port options go through ApplyPortOptions: --comN=PATH
// points a port of `table` at a device, and settings.portPath names the device
// to open (--port's path, or the table's device for its number). Any bad value
// yields an error that names the option, e.g.
// "--time: please enter an integer between 10 and 10000000."
ParsedRunOptions ParseRunOptions(int argc, const char* const* argv, PortTable& table);

// The text printed by --help.
std::string RunUsage();
