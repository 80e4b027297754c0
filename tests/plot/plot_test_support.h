// Shared set-up for the plot engine tests.
#pragma once

#include <string>
#include <vector>

#include "plot/recording_surface.h"
#include "plot/xy_plot.h"

// The calls a Draw made for its series: everything after the frame (whose last
// call re-selects the font that was current before) up to the final
// re-selection of brush and pen.
inline std::vector<std::string> SeriesLog(const RecordingSurface& surface) {
  const std::vector<SurfaceCall>& calls = surface.Calls();
  size_t start = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op == SurfaceOp::SelectFont) start = i + 1;
  }
  size_t end = calls.size();
  while (end > start && (calls[end - 1].op == SurfaceOp::SelectBrush || calls[end - 1].op == SurfaceOp::SelectPen)) {
    --end;
  }
  std::vector<std::string> log;
  for (size_t i = start; i < end; ++i) {
    if (calls[i].op != SurfaceOp::GetTextExtent) log.push_back(calls[i].ToString());
  }
  return log;
}

inline std::string Move(int x, int y) { return "MoveTo(" + std::to_string(x) + "," + std::to_string(y) + ")"; }
inline std::string Line(int x, int y) { return "LineTo(" + std::to_string(x) + "," + std::to_string(y) + ")"; }
inline std::string Square(int x, int y, int u) {
  return "Rectangle(" + std::to_string(x - u) + "," + std::to_string(y - u) + "," + std::to_string(x + u + 1) + "," +
         std::to_string(y + u + 1) + ")";
}
