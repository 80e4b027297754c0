// The whole-run view: every sample of the measurement from the first to the
// latest, one channel, drawn with min/max columns; a drag across the plot
// zooms into that time span, Home or Escape returns to the whole run. Under a
// schedule of steps a thin vertical line marks each change of step.
//
// Threads: it lives on the window's thread and is fed only from the immutable
// snapshots the run publishes, so it shares nothing with the tick worker.
#pragma once

#include <memory>
#include <vector>

#include "plot/drawing_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "run/run_snapshot.h"
#include "ui/run_plot_zoom.h"

// Every sample of the run so far, collected from snapshots. A snapshot holds
// the last 100 samples, so one seen at least every 100 samples misses none.
class WholeRunRecord {
 public:
  WholeRunRecord();
  // Appends the samples `run` took since the snapshot taken before; a new
  // measurement starts the record afresh.
  void Take(const RunSnapshot& run);
  const RunStore& Store() const { return *m_store; }
  // The run times (s) at which one step gave way to the next, for the steps
  // the run has reached.
  const std::vector<double>& StepChanges() const { return m_stepChanges; }

 private:
  std::unique_ptr<RunStore> m_store;
  int m_samplesTaken = 0;
  int m_tickCount = 0;
  std::vector<double> m_stepChanges;
  int m_reachedStep = 0;  // over all passes, from 0
};

// The channels as the live view numbers them (0 current, 1 voltage, 2 and 3
// the auxiliary rows), with the quantity and unit their axis shows. The current
// is kept in microamperes, as the data file has it.
RunPlotRequest WholeRunChannel(int channel);

class WholeRunView {
 public:
  void Take(const RunSnapshot& run) { m_record.Take(run); }
  // rememberFrame: false for a picture that is not the screen's (an export).
  void Paint(DrawingSurface& surface, const SurfaceRect& client, int channel, bool rememberFrame = true);

  // A drag across the plot zooms into its span (see RunPlotZoom).
  void BeginDrag(int x) { m_zoom.BeginDrag(x); }
  bool EndDrag(int x) { return m_zoom.EndDrag(x); }
  void CancelDrag() { m_zoom.CancelDrag(); }
  // Back to the whole run. True when the view changed.
  bool ShowWholeRun() { return m_zoom.ShowWholeRun(); }
  bool Zoomed() const { return m_zoom.Zoomed(); }
  const RunStore& Store() const { return m_record.Store(); }
  const std::vector<double>& StepChanges() const { return m_record.StepChanges(); }

 private:
  WholeRunRecord m_record;
  RunPlotZoom m_zoom;
};
