// The whole-run view: every sample of the measurement from the first to the
// latest, one channel, drawn with min/max columns; a drag across the plot
// zooms into that time span, Home or Escape returns to the whole run.
//
// Threads: it lives on the window's thread and is fed only from the immutable
// snapshots the run publishes, so it shares nothing with the tick worker.
#pragma once

#include <memory>

#include "run/run_snapshot.h"
#include "plot/drawing_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "ui/run_plot_zoom.h"

// Every sample of the run so far, collected from snapshots. A snapshot holds
// the last 100 samples, so one seen at least every 100 samples misses none.
class WholeRunRecord {
 public:
  WholeRunRecord();
  // Appends the samples `run` took since the snapshot taken before; a new
  // measurement starts the record afresh.
  void Take(const RunSnapshot& run);
  const RunStore& Store() const { return *store_; }

 private:
  std::unique_ptr<RunStore> store_;
  int samplesTaken_ = 0;
  int tickCount_ = 0;
};

// The channels as the live view numbers them (0 current, 1 voltage, 2 and 3
// the auxiliary rows), with the quantity and unit their axis shows. The current
// is kept in microamperes, as the data file has it.
RunPlotRequest WholeRunChannel(int channel);

class WholeRunView {
 public:
  void Take(const RunSnapshot& run) { record_.Take(run); }
  // rememberFrame: false for a picture that is not the screen's (an export).
  void Paint(DrawingSurface& surface, const SurfaceRect& client, int channel, bool rememberFrame = true);

  // A drag across the plot zooms into its span (see RunPlotZoom).
  void BeginDrag(int x) { zoom_.BeginDrag(x); }
  bool EndDrag(int x) { return zoom_.EndDrag(x); }
  void CancelDrag() { zoom_.CancelDrag(); }
  // Back to the whole run. True when the view changed.
  bool ShowWholeRun() { return zoom_.ShowWholeRun(); }
  bool Zoomed() const { return zoom_.Zoomed(); }
  const RunStore& Store() const { return record_.Store(); }

 private:
  WholeRunRecord record_;
  RunPlotZoom zoom_;
};
