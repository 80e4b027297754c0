#include "ui/run_plot_zoom.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A drag narrower than this is a click, not a span.
constexpr int kSmallestDrag = 4;
}  // namespace

void RunPlotZoom::Paint(DrawingSurface& surface, const SurfaceRect& client, const RunStore& store,
                        RunPlotRequest request, bool rememberFrame) {
  if (zoomed_) {
    request.from = from_;
    request.to = to_;
  }
  DrawRunPlot(&surface, client, store, request, rememberFrame ? &frame_ : nullptr);
}

bool RunPlotZoom::EndDrag(int x) {
  const int start = dragStartX_;
  dragStartX_ = -1;
  return start >= 0 && Zoom(start, x);
}

bool RunPlotZoom::Zoom(int x0, int x1) {
  if (std::abs(x1 - x0) < kSmallestDrag || frame_.right <= frame_.left) return false;
  const int left = std::clamp(std::min(x0, x1), frame_.left, frame_.right);
  const int right = std::clamp(std::max(x0, x1), frame_.left, frame_.right);
  if (right - left < kSmallestDrag) return false;
  from_ = frame_.TimeAt(left);
  to_ = frame_.TimeAt(right);
  zoomed_ = true;
  return true;
}

bool RunPlotZoom::ShowWholeRun() {
  const bool changed = zoomed_;
  zoomed_ = false;
  return changed;
}
