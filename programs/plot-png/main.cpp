// plot-png: draws a 100-point plot like the live view's (square markers joined
// by lines, "Time [s]" against "Amplitude") into an 800 x 600 PNG, headless.
//   plot-png OUTPUT.png [WIDTH HEIGHT]
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "programs/plot-png/sample_plot.h"

namespace {

constexpr const char* kUsage =
    "usage: plot-png OUTPUT.png [WIDTH HEIGHT]\n"
    "Draws a 100-point sample plot like the live view's into a PNG (800 x 600 by default).\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // A name that looks like an option is a mistake, not a file to create.
  if ((argc != 2 && argc != 4) || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const int width = argc == 4 ? std::atoi(argv[2]) : 800;
  const int height = argc == 4 ? std::atoi(argv[3]) : 600;
  if (width < 1 || height < 1 || width > 10000 || height > 10000) {
    std::fprintf(stderr, "plot-png: size must be 1..10000 by 1..10000\n");
    return 2;
  }
  wxInitializer initializer;
  if (!initializer.IsOk()) {
    std::fprintf(stderr, "plot-png: wxWidgets failed to initialise\n");
    return 1;
  }
  wxImage::AddHandler(new wxPNGHandler);

  wxImage image(width, height);
  const bool drawn = DrawSamplePlot(image);
  if (!image.SaveFile(wxString::FromUTF8(argv[1]), wxBITMAP_TYPE_PNG)) {
    std::fprintf(stderr, "plot-png: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %d x %d, plot %s\n", argv[1], width, height, drawn ? "drawn" : "too small to draw");
  return 0;
}
