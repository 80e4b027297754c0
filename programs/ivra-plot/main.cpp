// ivra-plot: draws an Ivra data file, whole or a span of it, into a PNG or an
// SVG picture with the plot engine, without a display (see plot_options.h).
#include <wx/defs.h>
// After defs.h, which tells dcgraph.h that graphics contexts are built in.
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "measurement/data_file_reader.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "plot/svg_surface.h"
#include "plot/wx_drawing_surface.h"
#include "programs/ivra-plot/plot_options.h"

namespace {

bool WritePng(const PlotOptions& options, const RunStore& store, const RunPlotRequest& request) {
  wxInitializer initializer;
  if (!initializer.IsOk()) {
    std::fprintf(stderr, "ivra-plot: wxWidgets failed to initialise; an .svg output needs no toolkit.\n");
    return false;
  }
  wxImage::AddHandler(new wxPNGHandler);
  wxImage image(options.width, options.height);
  image.SetRGB(wxRect(0, 0, options.width, options.height), 255, 255, 255);
  {
    // The context writes back into the image when it is destroyed.
    wxGCDC dc(wxGraphicsContext::Create(image));
    WxDrawingSurface surface(dc);
    DrawRunPlot(&surface, SurfaceRect{0, 0, options.width, options.height}, store, request);
  }
  return image.SaveFile(wxString::FromUTF8(options.outputPath.c_str()), wxBITMAP_TYPE_PNG);
}

bool WriteSvg(const PlotOptions& options, const RunStore& store, const RunPlotRequest& request) {
  SvgSurface surface(options.width, options.height);
  DrawRunPlot(&surface, SurfaceRect{0, 0, options.width, options.height}, store, request);
  const std::string document = surface.Document();
  std::FILE* file = std::fopen(options.outputPath.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
  return std::fclose(file) == 0 && written;
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
  AppendingSink<RunStore> sink(store);
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
  if (store.Empty()) {
    std::fprintf(stderr,
                 "ivra-plot: %s holds no data line (seconds, \"s\", current, \"uA\", tab-separated); "
                 "nothing to draw. Is it an Ivra data file?\n",
                 options.dataPath.c_str());
    return 1;
  }

  RunPlotRequest request;
  const ValueRange times = store.TimeRange();
  request.from = options.hasFrom ? options.from : times.min;
  request.to = options.hasTo ? options.to : times.max;
  if ((options.hasFrom || options.hasTo) && request.from >= request.to) {
    std::fprintf(stderr, "ivra-plot: the run in %s lasts from %.2f to %.2f s; --from and --to give no span of it.\n",
                 options.dataPath.c_str(), times.min, times.max);
    return 2;
  }
  const bool written = options.svg ? WriteSvg(options, store, request) : WritePng(options, store, request);
  if (!written) {
    std::fprintf(stderr, "ivra-plot: cannot write %s. Check the folder exists and that you may write there.\n",
                 options.outputPath.c_str());
    return 1;
  }
  return 0;
}
