// The time span a whole-run plot shows: the whole run, or the span a drag
// across the last painted plot chose. Shared by the live whole-run view and
// the window of an opened file, so both zoom alike.
#pragma once

#include "plot/drawing_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"

class RunPlotZoom {
 public:
  // Draws `request`'s channel of `store` over the chosen span. rememberFrame:
  // false for a picture that is not the screen's (an export), so it does not
  // move where a drag finds the time axis. Returns where the plot's frame lies.
  RunPlotFrame Paint(DrawingSurface& surface, const SurfaceRect& client, const RunStore& store, RunPlotRequest request,
                     bool rememberFrame = true);

  // A drag over the last painted plot: it begins at device column x (a button
  // press) and ends at another (its release), and zooms into that span. True
  // when the view changed (a release with no press, or a drag of a few pixels,
  // does not). CancelDrag forgets a press, as when the view is switched.
  void BeginDrag(int x) { m_dragStartX = x; }
  bool EndDrag(int x);
  void CancelDrag() { m_dragStartX = -1; }
  // Back to the whole run. True when the view changed.
  bool ShowWholeRun();
  bool Zoomed() const { return m_zoomed; }

 private:
  bool Zoom(int x0, int x1);

  int m_dragStartX = -1;
  bool m_zoomed = false;
  double m_from = 0.0;
  double m_to = 0.0;
  RunPlotFrame m_frame;
};
