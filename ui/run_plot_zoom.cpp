#include "ui/run_plot_zoom.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A drag narrower than this is a click, not a span.
constexpr int kSmallestDrag = 4;
}  // namespace

RunPlotFrame RunPlotZoom::Paint(DrawingSurface& surface, const SurfaceRect& client, const RunStore& store,
                                RunPlotRequest request, bool rememberFrame) {
  if (m_zoomed) {
    request.from = m_from;
    request.to = m_to;
  }
  RunPlotFrame frame;
  DrawRunPlot(&surface, client, store, request, &frame);
  if (rememberFrame) m_frame = frame;
  return frame;
}

bool RunPlotZoom::EndDrag(int x) {
  const int start = m_dragStartX;
  m_dragStartX = -1;
  return start >= 0 && Zoom(start, x);
}

bool RunPlotZoom::Zoom(int x0, int x1) {
  if (std::abs(x1 - x0) < kSmallestDrag || m_frame.right <= m_frame.left) return false;
  const int left = std::clamp(std::min(x0, x1), m_frame.left, m_frame.right);
  const int right = std::clamp(std::max(x0, x1), m_frame.left, m_frame.right);
  if (right - left < kSmallestDrag) return false;
  m_from = m_frame.TimeAt(left);
  m_to = m_frame.TimeAt(right);
  m_zoomed = true;
  return true;
}

bool RunPlotZoom::ShowWholeRun() {
  const bool changed = m_zoomed;
  m_zoomed = false;
  return changed;
}
