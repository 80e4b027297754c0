#include "programs/ivra-plot/plot_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

bool EndsWith(std::string text, const std::string& suffix) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::string PlotUsage() {
  return "usage: ivra-plot DATA --output OUT.png|OUT.svg [--width W] [--height H] [--from S] [--to S]\n"
         "                 [--channel current|set-voltage]\n"
         "Draws an Ivra data file (time in s, current in uA) as a PNG or SVG picture, without a display.\n"
         "Every pixel column shows the smallest and largest current of the samples in it.\n"
         "  -o, --output FILE  the picture to write; .png or .svg picks the format\n"
         "  --width W          width in pixels, 1..10000 (default 1000)\n"
         "  --height H         height in pixels, 1..10000 (default 600)\n"
         "  --from S           start of the span in seconds (default: the first sample)\n"
         "  --to S             end of the span in seconds (default: the latest sample)\n"
         "  --channel C        current (default), or set-voltage: the voltage set for each\n"
         "                     sample, in files of runs with steps or a ramp\n"
         "  -h, --help         show this help\n"
         "  --version          show the version\n";
}

PlotOptions ParsePlotOptions(int argc, const char* const* argv) {
  PlotOptions options;
  CLI::App app;
  app.set_help_flag();  // our own --help text, not CLI11's
  app.allow_windows_style_options(false);
  app.add_flag("--help,-h", options.help);
  app.add_flag("--version", options.version);
  app.add_option("DATA", options.dataPath);
  app.add_option("--output,-o", options.outputPath);
  app.add_option("--width", options.width);
  app.add_option("--height", options.height);
  CLI::Option* from = app.add_option("--from", options.from);
  CLI::Option* to = app.add_option("--to", options.to);
  std::string channel = "current";
  app.add_option("--channel", channel);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    options.error = e.what();
    return options;
  }
  if (options.help || options.version) return options;
  options.hasFrom = from->count() > 0;
  options.hasTo = to->count() > 0;
  if (options.dataPath.empty()) {
    options.error = "give the data file to draw";
  } else if (options.outputPath.empty()) {
    options.error = "give the picture to write with --output OUT.png or --output OUT.svg";
  } else if (!EndsWith(options.outputPath, ".png") && !EndsWith(options.outputPath, ".svg")) {
    options.error = "--output must name a .png or .svg file, not " + options.outputPath;
  } else if (options.width < 1 || options.width > 10000 || options.height < 1 || options.height > 10000) {
    options.error = "--width and --height must be 1..10000 pixels";
  } else if ((options.hasFrom && !std::isfinite(options.from)) || (options.hasTo && !std::isfinite(options.to))) {
    options.error = "--from and --to must be numbers of seconds";
  } else if (options.hasFrom && options.hasTo && options.from >= options.to) {
    options.error = "--from must be earlier than --to";
  } else if (channel != "current" && channel != "set-voltage") {
    options.error = "--channel must be current or set-voltage, not " + channel;
  }
  options.setVoltage = channel == "set-voltage";
  options.svg = EndsWith(options.outputPath, ".svg");
  return options;
}
