// ivra-plot: draws an Ivra data file, whole or a span of it, into a PNG or an
// SVG picture with the plot engine, without a display (see plot_options.h).
#include <wx/init.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "datafile/data_file_reader.h"
#include "plot/picture_export.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "programs/ivra-plot/plot_options.h"

namespace {

// std::fopen takes the name as the command line gave it, in the system's own
// encoding.
bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// The set voltage of each line that holds one, as the store's one channel.
class SetVoltageSink : public DataLineSink {
 public:
  explicit SetVoltageSink(RunStore& store) : store_(store) {}
  bool TakeSample(double, double) override {
    ++linesWithoutVolts_;
    return true;
  }
  bool TakeSampleWithVolts(double seconds, double, double volts) override { return store_.Append(seconds, &volts); }
  std::uint64_t LinesWithoutVolts() const { return linesWithoutVolts_; }

 private:
  RunStore& store_;
  std::uint64_t linesWithoutVolts_ = 0;
};

bool WritePicture(const PlotOptions& options, const RunStore& store, const RunPlotRequest& request) {
  const SurfacePainter painter = [&](DrawingSurface& surface, const SurfaceRect& client) {
    DrawRunPlot(&surface, client, store, request);
  };
  if (options.svg) {
    return WriteBytes(options.outputPath, DrawPicture(PictureFormat::Svg, options.width, options.height, painter));
  }
  wxInitializer initializer;
  if (!initializer.IsOk()) {
    std::fprintf(stderr, "ivra-plot: wxWidgets failed to initialise; an .svg output needs no toolkit.\n");
    return false;
  }
  const std::string png = DrawPicture(PictureFormat::Png, options.width, options.height, painter);
  return !png.empty() && WriteBytes(options.outputPath, png);
}

}  // namespace

int main(int argc, char** argv) {
  const PlotOptions options = ParsePlotOptions(argc, argv);
  if (options.help) {
    std::fputs(PlotUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("ivra-plot %s\nLicence: MIT\n", IVRA_VERSION);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "ivra-plot: %s\n%s", options.error.c_str(), PlotUsage().c_str());
    return 2;
  }

  // The file's current, one channel: a store of it alone takes half the memory.
  RunStore store(1);
  AppendingSink<RunStore> currentSink(store);
  SetVoltageSink voltsSink(store);
  DataLineSink& sink = options.setVoltage ? static_cast<DataLineSink&>(voltsSink) : currentSink;
  const DataFileReading reading = ReadDataFile(options.dataPath, sink);
  if (reading.status == DataFileStatus::CannotOpen) {
    std::fprintf(stderr, "ivra-plot: cannot open %s: %s. Check the name and that you may read it.\n",
                 options.dataPath.c_str(), std::strerror(errno));
    return 1;
  }
  if (reading.status == DataFileStatus::ReadFailed) {
    std::fprintf(stderr, "ivra-plot: reading %s failed part way; nothing was drawn.\n", options.dataPath.c_str());
    return 1;
  }
  const std::string badLines = BadLinesText(options.dataPath, reading.tally);
  if (!badLines.empty()) std::fprintf(stderr, "ivra-plot: %s\n", badLines.c_str());
  if (options.setVoltage && store.Empty() && voltsSink.LinesWithoutVolts() > 0) {
    std::fprintf(stderr,
                 "ivra-plot: %s holds no set voltage (its lines end with the current in uA); only runs with steps "
                 "or a ramp write one. Draw its current without --channel.\n",
                 options.dataPath.c_str());
    return 1;
  }
  if (store.Empty()) {
    std::fprintf(stderr,
                 "ivra-plot: %s holds no data line (seconds, \"s\", current, \"uA\", tab-separated); "
                 "nothing to draw. Is it an Ivra data file?\n",
                 options.dataPath.c_str());
    return 1;
  }

  RunPlotRequest request;
  if (options.setVoltage) {
    request.quantity = "Set voltage";
    request.unit = "V";
  }
  const ValueRange times = store.TimeRange();
  request.from = options.hasFrom ? options.from : times.min;
  request.to = options.hasTo ? options.to : times.max;
  if ((options.hasFrom || options.hasTo) && request.from >= request.to) {
    std::fprintf(stderr, "ivra-plot: the run in %s lasts from %.2f to %.2f s; --from and --to give no span of it.\n",
                 options.dataPath.c_str(), times.min, times.max);
    return 2;
  }
  const bool written = WritePicture(options, store, request);
  if (!written) {
    std::fprintf(stderr, "ivra-plot: cannot write %s. Check the folder exists and that you may write there.\n",
                 options.outputPath.c_str());
    return 1;
  }
  return 0;
}
