// ivra-plot's command line:
//   ivra-plot DATA --output OUT.png|OUT.svg [--width W] [--height H] [--from S] [--to S]
//             [--channel current|set-voltage]
#pragma once

#include <string>

struct PlotOptions {
  bool help = false;
  bool version = false;
  std::string dataPath;
  std::string outputPath;
  bool svg = false;  // from the output's extension
  int width = 1000;
  int height = 600;
  bool hasFrom = false;
  bool hasTo = false;
  double from = 0.0;
  double to = 0.0;
  bool setVoltage = false;  // --channel set-voltage: the voltage set for each sample, not the current
  std::string error;        // a usage mistake, for the user; empty when the line was good
};

PlotOptions ParsePlotOptions(int argc, const char* const* argv);
std::string PlotUsage();
